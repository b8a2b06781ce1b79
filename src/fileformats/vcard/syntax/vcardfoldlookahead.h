// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// Looks ahead within one card, from right after its BEGIN, for what decides
// how the tokenizer unfolds the card's lines. First the card's VERSION line:
// address books and servers write VERSION:3.0 late in the card, after lines
// they folded the 3.0 way (inside words and inside UTF-8 letters). Then, for
// a card that is not 3.0 or 4.0, how its lines were folded: 2.1 folds at a
// blank, which the fold keeps, but a desktop address book cuts every long
// line of its 2.1 cards at one width, inside words, and writes VERSION last.
//
// A byte scan of the raw lines, fed in pieces of any size: lines end as the
// tokenizer ends them (LF, CR LF or a CR alone), and a line that starts
// with a blank goes on with the one before, as the tokenizer reads it; names are compared without their group and without regard to case.
// It stops at a VERSION line of 3.0 or 4.0; at another version (or a VERSION
// line without a value) it stops only when it is not asked to measure the
// folds, else it reads on to the card's END. An END or BEGIN line (the card
// has none) ends it too, as does kMaxBytes, which bounds what a reader holds
// back while it waits for the answer.
class VCardFoldLookahead {
public:
    enum Result {
        Undecided,
        // 3.0 or 4.0: a fold and its blank vanish.
        Joins,
        // 2.1, another version or none: a fold is read as a blank.
        Spaces,
        // The same versions, cut at a fixed width: a fold and its blank
        // vanish.
        Drops,
    };

    static constexpr qint64 kMaxBytes = qint64(16) * 1024 * 1024;

    // atLineStart: the next byte starts a line; else the rest of the BEGIN
    // line comes first. measureFolds: a card that is not 3.0 or 4.0 is read
    // to its END to tell Drops from Spaces; else it is Spaces. afterCr: the
    // line before ended in a CR, so a line feed next belongs to it.
    void start(bool atLineStart, bool measureFolds, bool afterCr = false);
    // Reads the bytes that follow those read before; the answer so far.
    Result read(const char* data, qsizetype length);
    // Nothing follows: a card whose VERSION has not been met has none.
    Result finish();

private:
    enum LineState { SkipLine, Name, Parameters, Value };

    // A VERSION line starting at `at` (a new line, no fold), read in one
    // piece; returns where the reading goes on, `at` when it is not one.
    const char* readVersionLine(const char* at, const char* end);
    // From inside a line of no interest, past it and every line of no
    // interest after it; returns where the byte-wise reading goes on.
    const char* skipLines(const char* at, const char* end);
    // A line of no interest so far whose name starts at `at`: when the name
    // is plain and ends in this piece, it is read at once and where the
    // line goes on is returned; else null, with nothing read.
    const char* readPlainName(const char* at, const char* end);
    // A line that turned out of no interest before its line end at
    // `lineEnd`: returns where the skimming goes on.
    const char* endUninteresting(const char* lineEnd);
    // The byte at `at`, in the piece being read.
    void take(const char* at);
    void takeInLine(char c);
    // Takes name bytes up to the first ":", ";" or line feed; returns
    // where it stopped.
    const char* readName(const char* at, const char* end);
    void endName(bool parametersFollow);
    // A 2.1 card (or one without a version) is read to its end when its
    // folds are measured.
    void notJoining();
    // The byte `back` places before `at`, in this piece or the one before.
    char byteBefore(const char* at, int back) const;
    void endPhysicalLine(const char* lf);
    void noteFold();
    Result byFolds() const;

    Result m_result = Undecided;
    LineState m_line = SkipLine;
    // A line end was read: the next byte that is no blank or line end
    // starts a line, unless a blank came right before it (a fold).
    bool m_afterLineEnd = false;
    // The last byte read was a CR: a line feed next belongs to it.
    bool m_crEnded = false;
    // The last line end skipLines() found, in this card or one before, was
    // a CR alone: it looks for a CR first (vcardsyntax::findLineEnd()).
    bool m_crLines = false;
    bool m_foldBlank = false;
    // The name read so far, after its last ".", in upper case; only names
    // up to the length of "VERSION" matter.
    char m_name[8] = {};
    int m_nameLength = 0;
    bool m_nameTooLong = false;
    qint64 m_read = 0;

    bool m_measureFolds = false;
    // A VERSION that is not 3.0 or 4.0 was met: later ones are not looked at.
    bool m_versionRead = false;
    // The logical line holds a picture or a sound, whose base64 every writer
    // cuts anywhere: its folds say nothing of how text is folded.
    bool m_binaryLine = false;
    // The piece being read, and the last two bytes of those before it.
    const char* m_data = nullptr;
    char m_tail[2] = {};
    // Where the physical line being read starts, counted from start().
    qint64 m_lineStart = 0;
    // The physical line that ended last: its width without its line end,
    // and whether a fold after it counts.
    qint64 m_endedWidth = 0;
    bool m_endedCounts = false;
    // The folded lines measured: how many, and their distinct widths while
    // those stay within the slack of each other.
    int m_folds = 0;
    bool m_irregular = false;
    struct Width {
        qint64 octets;
        int count;
    };
    Width m_widths[3] = {};
    int m_distinctWidths = 0;
};
