// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/vcard/syntax/vcardtokenizer.h"

#include <QtGlobal>

#include <climits>
#include <functional>

// Looks ahead within one card, from right after its BEGIN, for what decides
// how the tokenizer unfolds the card's lines. First the card's VERSION line:
// address books and servers write VERSION:3.0 late in the card, after lines
// they folded the 3.0 way (inside words and inside UTF-8 letters). Then, for
// a card that is not 3.0 or 4.0, how its lines were folded: 2.1 folds before
// a blank, which the fold keeps, but a desktop address book cuts every long
// line of its 2.1 cards at one width, inside words, and writes VERSION last.
//
// It reads the card's raw lines as the tokenizer does: lines end at a LF,
// a CR LF or, in a file whose lines end so, a CR alone (in another file one
// before a property's name), and a line that starts with a blank goes on
// with the one before (empty lines between them aside); names are compared
// without their group and without regard to case. It stops at a VERSION
// line of 3.0 or 4.0; at another version (or a VERSION line without a
// value) it stops only when it is not asked to measure the folds, else it
// reads on to the card's END or until the folds read so far rule a fixed
// width out. An END or BEGIN line (the card has none) ends it too, as does
// kMaxBytes, which bounds what a reader holds back while it waits for the
// answer.
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

    // How a writer may have counted a line's width: in octets or in
    // characters, and on a continuation line with or without the blank the
    // fold put before it.
    enum Count { OctetsWithBlank, Octets, CharactersWithBlank, Characters, kCounts };

    // What the folds of some lines of text say, each count apart: those of
    // one card, or pooled over the cards of a file.
    struct Folds {
        // The widest folded line: the width a writer that cuts at one
        // width cut at.
        int widest[kCounts] = { -1, -1, -1, -1 };
        // The least width at which the letter or "=XX" escape that follows
        // a fold would have been split: a line is narrower than the width
        // only where its next letter would not fit.
        int splitAt[kCounts] = { INT_MAX, INT_MAX, INT_MAX, INT_MAX };
        int count = 0;
        // A line ends in a blank, or a blank follows the fold's own: folding
        // before a blank never leaves one beside the fold.
        bool blankBeside = false;
        // A fold stands where two words meet: after a sentence's comma or
        // stop before a letter, or between a small and a capital letter.
        bool betweenWords = false;

        void add(const Folds& more);
        // No more folds can make them cut at one width by one count.
        bool widthsRuledOut() const;
        // Nor by the rule for one card of its own (cutAtOneWidth()).
        bool ruledOut() const;
        // One card's folds alone say it was cut: they need more of them
        // and none where two words meet.
        bool cutAtOneWidth() const;
        // The folds of a whole file's cards, which one writer wrote: a few
        // that all cut at one width say so.
        bool cutByOneWriter() const;
    };

    // atLineStart: the first byte starts a line; else the rest of the BEGIN
    // line comes first. measureFolds: a card that is not 3.0 or 4.0 is read
    // to its END to tell Drops from Spaces; else it is Spaces.
    void start(bool atLineStart, bool measureFolds);
    // `card` holds every byte since start(): those of the calls before,
    // unchanged, and then the new ones. last: nothing follows them, so a
    // card whose VERSION has not been met has none. Returns the answer so
    // far, never Undecided when last.
    Result read(const char* card, qsizetype size, bool last = false);
    // How the file's lines end, as far as the tokenizer has read it; when
    // it has read no line end yet, the card's first one tells, as it tells
    // the tokenizer. Kept from card to card.
    void setLineEnds(CARD_LineEnds lineEnds) { m_lineEnds = lineEnds; }

    // The folds of the text values of the file the cards stand in, pooled
    // (see VCardStreamParser::FoldsOnly), asked for the first time a card
    // with such folds is decided or has a fold where two words meet; null
    // when they are not known. A card is then cut when its folds and the
    // file's are, as one writer's; else, as without them, when its own
    // folds are.
    void setFileFolds(std::function<const Folds*()> fileFolds) { m_fileFolds = std::move(fileFolds); }
    // Pooling: the folds of the cards before this one; a card is read only
    // until its folds and these rule a cut at one width out.
    void setPooled(const Folds* pooled) { m_pooled = pooled; }
    // The folds measured of the card, once decided.
    const Folds& cardFolds() const { return m_cardFolds; }
    // Where the line that ended the card (an END or BEGIN) starts, in the
    // bytes of the last read(); -1 when the card was decided before it.
    qsizetype endLine() const { return m_endLine; }

private:
    // A folded line whose fold waits for the first letter after it.
    struct OpenFold {
        int width[kCounts];
        // Its last two octets, the last one first.
        unsigned char last[2];
    };

    // How far the start of the logical line is read: its name, then its
    // parameters when they are asked for, up to the colon.
    enum Head {
        HeadName,
        HeadParameterStart,
        HeadParameterName,
        HeadParameterValue,
        HeadQuoted,
        HeadVersionParameters,
        HeadVersionValue,
        // The value started at m_valueStart.
        HeadValue,
        // The logical line ended without a colon: no property.
        HeadNone,
    };
    enum Encoding { Plain, QuotedPrintable, Base64 };

    // Takes the physical lines whose ends are in the bytes at hand, and
    // the start of the logical line after them; at the end of the input
    // the last line needs no end.
    void readLines();
    // Passes over the continuation lines of a base64 value, which say
    // nothing of how text is folded, up to the last one at hand.
    void skipBase64Lines();
    void endLogicalLine();
    void startLogicalLine(qsizetype begin);
    // Reads the start of the logical line from m_headAt on, as far as the
    // bytes at hand go or what is asked of it ends.
    void readHead();
    // One byte of it (no line end); false when the reading stops there.
    bool readHeadByte(char c, qsizetype at);
    void endName(bool parametersFollow, qsizetype at);
    void addToWord(char c);
    // A parameter's name or value that names the transfer encoding.
    void takeEncodingWord();
    void startValue(qsizetype colon);
    void notJoining();
    // The physical line [begin, end) is folded: its widths, kept until the
    // continuation shows the letter after the fold.
    void measureFold(qsizetype begin, qsizetype end, bool continuation);
    // The continuation [begin, end) of the line measured last.
    void closeFold(qsizetype begin, qsizetype end);
    bool inQuotedPrintable(qsizetype at) const;
    // The folds read so far rule a cut at one width out, for the card or
    // for the pool it goes into.
    bool foldsRuledOut();
    // The file's folds, asked for once a card.
    const Folds* fileFolds();
    Result byFolds();
    // Whether the CR or LF at `at` ends a line. A CR that the bytes at hand
    // end with is taken as one for now; the readers wait for what follows
    // a line end anyway. So is a CR alone whose bytes after it do not yet
    // tell (vcardsyntax::crAloneAt()): the bytes at hand end with it then.
    bool endsLineAt(qsizetype at)
    {
        return m_card[at] == '\n' || m_lineEnds == CARD_LINES_CR || (at + 1 < m_size && m_card[at + 1] == '\n')
            || crAloneEndsLine(at);
    }
    // A CR with no line feed after it; what follows it is at hand unless
    // it ends the bytes at hand. It may shorten them (m_size).
    [[gnu::noinline, gnu::cold]] bool crAloneEndsLine(qsizetype at);
    // The CR at `at` stands in the value of a free-text property
    // (vcardsyntax::isFreeTextName()), which the logical line from
    // m_lineBegin is: it is a line break of the text.
    bool inFreeTextValue(qsizetype at) const;

    Result m_result = Undecided;
    bool m_measureFolds = false;
    // The end of the bytes at hand is the end of the card.
    bool m_finishing = false;
    // A VERSION that is not 3.0 or 4.0 was met: later ones are not looked
    // at.
    bool m_versionRead = false;
    // The bytes of the call under way.
    const char* m_card = nullptr;
    qsizetype m_size = 0;
    // Where the next physical line starts, where its line feed is looked
    // for, and whether it goes on with the logical line before it.
    qsizetype m_at = 0;
    qsizetype m_searchFrom = 0;
    bool m_continues = false;
    bool m_firstLine = true;
    // The last line end found, in this card or one before, was a CR alone:
    // a CR is looked for first (vcardsyntax::findLineEnd()).
    bool m_crLines = false;
    CARD_LineEnds m_lineEnds = CARD_LINES_UNKNOWN;

    // The logical line being read.
    Head m_head = HeadValue;
    qsizetype m_headAt = 0;
    qsizetype m_lineBegin = 0;
    qsizetype m_endLine = -1;
    // Its name matters: the version is not known yet, or it may be BEGIN
    // or END.
    bool m_nameMatters = false;
    // Its parameters are read: it was folded.
    bool m_wantParameters = false;
    // readHead() has more to read that is asked for.
    bool m_headActive = false;
    // The name read so far, after its last ".", in upper case; only names
    // up to the length of "VERSION" matter.
    char m_name[8] = {};
    int m_nameLength = 0;
    // A parameter's name or value in upper case, as long as the longest
    // encoding word; longer words match none.
    char m_word[16] = {};
    int m_wordLength = 0;
    bool m_escaped = false;
    bool m_encodingNamed = false;
    Encoding m_encoding = Plain;
    qsizetype m_valueStart = 0;
    // Its folds are measured: a line of text, not the BEGIN line.
    bool m_measured = false;
    bool m_foldOpen = false;
    OpenFold m_fold = {};
    Folds m_lineFolds;

    Folds m_cardFolds;
    std::function<const Folds*()> m_fileFolds;
    bool m_fileFoldsAsked = false;
    const Folds* m_file = nullptr;
    const Folds* m_pooled = nullptr;
};
