// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// Looks ahead within one card, from right after its BEGIN, for the card's
// VERSION line, so that the tokenizer unfolds every line of the card by its
// version's rule: address books and servers write VERSION:3.0 late in the
// card, after lines they folded the 3.0 way (inside words and inside UTF-8
// letters).
//
// A byte scan of the raw lines, fed in pieces of any size: a line that
// starts with a blank goes on with the one before, as the tokenizer reads
// it; names are compared without their group and without regard to case.
// It stops at the first VERSION line, at an END or BEGIN line (the card has
// none), or after kMaxBytes, which bounds what a reader holds back while it
// waits for the answer.
class VCardVersionLookahead {
public:
    enum Result {
        Undecided,
        // 3.0 or 4.0: a fold and its blank vanish.
        Joins,
        // 2.1, another version or none: a fold is read as a blank.
        Spaces,
    };

    static constexpr qint64 kMaxBytes = qint64(16) * 1024 * 1024;

    // atLineStart: the next byte starts a line; else the rest of the BEGIN
    // line comes first.
    void start(bool atLineStart);
    // Reads the bytes that follow those read before; the answer so far.
    Result read(const char* data, qsizetype length);
    // Nothing follows: a card whose VERSION has not been met has none.
    Result finish();

private:
    enum LineState { SkipLine, Name, Parameters, Value };

    void take(char c);
    void takeInLine(char c);
    void endName(bool parametersFollow);

    Result m_result = Undecided;
    LineState m_line = SkipLine;
    // A line end was read: the next byte that is no blank or line end
    // starts a line, unless a blank came right before it (a fold).
    bool m_afterLineEnd = false;
    bool m_foldBlank = false;
    // The name read so far, after its last ".", in upper case; only names
    // up to the length of "VERSION" matter.
    char m_name[8] = {};
    int m_nameLength = 0;
    bool m_nameTooLong = false;
    qint64 m_read = 0;
};
