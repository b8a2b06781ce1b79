// SPDX-License-Identifier: GPL-3.0-or-later
// What the tokenizer does at a CR alone, which may end a line or not: out
// of the byte loop, as files hardly ever hold one.
#include "fileformats/vcard/syntax/tokenizer/vcardtokenizer_p.h"

#include <cstring>

namespace cardtok {

namespace {

// A CR alone stands in the value of a free-text property: not where the
// line's end already read leaves it at the start of the next line (one
// that a blank folds goes on with the value), nor after a soft break in a
// line that a card's BEGIN or END line holds whole, which is read as one.
bool inFreeText(const CARD_Parser* p)
{
    // Read or skipped, a value is its property's. A line that began after a
    // CR alone that ended a line is of a card written in such lines (two
    // files joined), whose CRs end its note's lines as they end the others.
    if (p->state < STATE_VALUE || (p->lfPending && !p->foldPending) || p->lineAfterCr
        || (p->softBreak == SOFT_LOOKAHEAD && matchCardBoundary(p) == 2))
        return false;
    const size_t kept = sizeof p->nameEnd;
    return vcardsyntax::isFreeTextName(p->nameEnd, p->nameLength < kept ? p->nameLength : kept);
}

// What the byte loop does with a byte that ends no line, for one read
// alone: a CR held at the end of an input before that turned out to be a
// byte of its line. It is no blank, no base64 character and no byte a run
// takes.
void readLineByte(CARD_Parser* p, unsigned char b, long long offset)
{
    if (!p->lfPending) {
        if (p->softBreak == SOFT_NONE || !continueSoftBreak(p, b, offset))
            processChar(p, b);
        return;
    }
    p->lfPending = false;
    if (p->foldPending) {
        p->foldPending = false;
        applyFold(p, b);
    } else {
        processChar(p, '\n');
        p->lineStart = offset;
        p->lineNumber = p->physLine;
        p->lineAfterCr = p->lfFromCr;
    }
    processChar(p, b);
}

// The held CR with the bytes s[0, n) that came after it (s[0] at offset
// `base`); last: nothing more comes. Returns where s is to be read on, or
// -1 as resumeAfterCr() says.
int settleHeldCr(CARD_Parser* p, const unsigned char* s, int n, long long base, bool last)
{
    using vcardsyntax::CrAlone;
    using vcardsyntax::kCrNameRoom;
    const int held = p->crNameCount;
    const long long cr = base - held - 1;
    // One byte beyond the room decides.
    unsigned char bytes[kCrNameRoom + 1];
    const int more = n < kCrNameRoom + 1 - held ? n : kCrNameRoom + 1 - held;
    std::memcpy(bytes, p->crName, size_t(held));
    if (more > 0)
        std::memcpy(bytes + held, s, size_t(more));
    const CrAlone what = vcardsyntax::crAloneAt(bytes, bytes + held + more, last, inFreeText(p));
    if (what == CrAlone::Undecided && !last) {
        // All of s is the name's, and it is within the room.
        std::memcpy(p->crName + held, s, size_t(n));
        p->crNameCount = held + n;
        return n;
    }
    p->crHeld = false;
    p->crNameCount = 0;
    if (what == CrAlone::EndsLine) {
        static constexpr unsigned char lineFeed = '\n';
        readBytes(p, &lineFeed, 0, 1, cr);
        p->lfFromCr = true;
    } else if (held > 0 || (n > 0 && s[0] != '\n')) {
        // The CR of a CR LF goes with its line feed, and the input's last
        // byte ends the last line anyway: only a byte of the line is read.
        readLineByte(p, '\r', cr);
    } else if (n > 0) {
        p->crWithLfAt = cr;
    }
    // The line end may have completed a BEGIN line held after a soft
    // break, and the held bytes may hold a card's BEGIN line: its reader
    // looks at what follows before the rest is read. Once the input is
    // being ended a stop does nothing.
    int at = 0;
    while (p->stopRequested || (at = readBytes(p, bytes, at, held, cr + 1)) < held) {
        if (!last) {
            p->position = cr + 1 + at;
            return -1;
        }
        p->stopRequested = false;
    }
    return 0;
}

} // namespace

CrRead readCr(CARD_Parser* p, const unsigned char* s, int i, int n)
{
    // CARD_LineEnds is decided at the first CR alone. One that ends the
    // input may yet be the CR of a CR LF; while that is open it is read as
    // a line end.
    if (p->lineEnds == CARD_LINES_UNKNOWN) {
        if (p->physLine != p->firstLine) {
            p->lineEnds = CARD_LINES_LF;
        } else if (i < n) {
            p->lineEnds = CARD_LINES_CR;
        } else {
            p->crEnded = true;
            return CR_LINE_END;
        }
    }
    if (p->lineEnds == CARD_LINES_CR) {
        p->crEnded = i == n;
        return CR_LINE_END;
    }
    // One that ends the input may be the CR of a CR LF: it is held.
    switch (vcardsyntax::crAloneAt(s + i, s + n, false, inFreeText(p))) {
    case vcardsyntax::CrAlone::EndsLine:
        return CR_LINE_END;
    case vcardsyntax::CrAlone::Text:
        return CR_TEXT;
    case vcardsyntax::CrAlone::Undecided:
        break;
    }
    std::memcpy(p->crName, s + i, size_t(n - i));
    p->crNameCount = n - i;
    p->crHeld = true;
    return CR_HELD;
}

int resumeAfterCr(CARD_Parser* p, const unsigned char* s, int n, long long base)
{
    if (p->crHeld)
        return settleHeldCr(p, s, n, base, false);
    p->crEnded = false;
    // The CR of a CR LF: the line end was no CR alone.
    if (s[0] == '\n') {
        p->lfFromCr = false;
        return 1;
    }
    if (p->lineEnds == CARD_LINES_UNKNOWN)
        p->lineEnds = CARD_LINES_CR;
    return 0;
}

void endHeldCr(CARD_Parser* p)
{
    settleHeldCr(p, nullptr, 0, p->position, true);
}

} // namespace cardtok
