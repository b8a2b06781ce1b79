// SPDX-License-Identifier: GPL-3.0-or-later
// What the tokenizer does after a line end: a fold, a quoted-printable soft
// break and the bytes it holds back until they tell what the break was, a
// card boundary inside a value, and the lines of a 2.1 base64 value written
// at the start of the line.
#include "fileformats/vcard/syntax/tokenizer/vcardtokenizer_p.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <utility>

namespace cardtok {

void warnDanglingSoftBreak(CARD_Parser* p, long long line)
{
    if (p->warningCallback)
        p->warningCallback(p->userData, line, CARD_WARN_DANGLING_SOFT_BREAK);
}

// How far the held bytes match "BEGIN:VCARD" or "END:VCARD" (ASCII case
// aside): 0 not at all, 1 a proper prefix, 2 the whole line (blanks after
// it allowed).
int matchCardBoundary(const CARD_Parser* p)
{
    static const char* const lines[] = { "BEGIN:VCARD", "END:VCARD" };
    int best = 0;
    for (const char* line : lines) {
        int i = 0;
        for (; i < p->lookaheadCount && line[i]; ++i) {
            unsigned char c = p->lookahead[i];
            if (c >= 'a' && c <= 'z')
                c = (unsigned char)(c - 'a' + 'A');
            if (c != (unsigned char)line[i])
                break;
        }
        if (line[i] == 0) {
            int rest = i;
            while (rest < p->lookaheadCount && (p->lookahead[rest] == ' ' || p->lookahead[rest] == '\t'))
                ++rest;
            if (rest == p->lookaheadCount)
                return 2;
        } else if (i == p->lookaheadCount) {
            best = 1;
        }
    }
    return best;
}

// The held bytes hold no line feed: they go in runs as the bytes of a
// line do, only what no run takes one at a time, and the value of a card
// line they start one at a time too (SOFT_CARD_KIND). A copy is read: that
// value may hold bytes again.
void replayLookahead(CARD_Parser* p)
{
    p->softBreak = SOFT_NONE;
    const int n = p->lookaheadCount;
    unsigned char held[kHeldRoom];
    std::memcpy(held, p->lookahead, size_t(n));
    p->lookaheadCount = 0;
    const long long start = p->lookaheadStart;
    for (int i = 0; i < n;) {
        if (p->softBreak != SOFT_NONE) {
            const unsigned char b = held[i++];
            if (!continueSoftBreak(p, b, start + (i - 1)))
                processChar(p, b);
            continue;
        }
        const int next = takeRun(p, held, i, n);
        if (next != i)
            i = next;
        else
            processChar(p, held[i++]);
    }
}

// The held bytes start a line of their own: the value ends before them.
void startHeldLine(CARD_Parser* p)
{
    p->softBreak = SOFT_NONE;
    processChar(p, '\n');
    p->lineStart = p->lookaheadStart;
    p->lineNumber = p->lookaheadLine;
    replayLookahead(p);
}

namespace {

// The widths of the lines a quoted-printable encoder writes, the "=" of
// its soft break included: 72 to 76 columns, a few less where an escape
// did not fit, one more for an encoder that does not count the "=".
constexpr long long kEncoderLineLeast = 70;
constexpr long long kEncoderLineMost = 77;

bool isEncoderWidth(long long width)
{
    return width >= kEncoderLineLeast && width <= kEncoderLineMost;
}

// Whether the line [from, to) is one a quoted-printable encoder writes
// that ends in a soft break: its last byte is a lone "=", and every "="
// before it opens an escape.
bool endsInSoftBreak(const unsigned char* from, const unsigned char* to)
{
    if (to - from < 2 || to[-1] != '=' || to[-2] == '=')
        return false;
    for (const unsigned char* at = from; at < to - 1; ++at) {
        if (*at == '=' && (to - 1 - at < 3 || hexValue(at[1]) < 0 || hexValue(at[2]) < 0))
            return false;
    }
    return true;
}

// The bytes held after a soft break go on with the value.
void continueHeldValue(CARD_Parser* p)
{
    resumeCutEscape(p, p->lookahead[0]);
    replayLookahead(p);
}

// A soft break's "=", or the run of them it ends, ended the value: the
// line after it reads as a property's line (vcardsyntax::propertyLineAt()).
void endValueAtSoftBreak(CARD_Parser* p)
{
    p->softBreak = SOFT_NONE;
    p->cutEscape = CUT_NONE;
    if (p->dataCallback && p->state == STATE_VALUE)
        p->lineLength = p->softBreakFrom;
    if (p->warningCallback)
        p->warningCallback(p->userData, p->softBreakLine, CARD_WARN_SOFT_BREAK_BEFORE_PROPERTY);
}

// Whether the bytes [from, to) after a soft break may be a card's BEGIN or
// END line (matchCardBoundary()), as far as they go.
bool mayBeCardLine(const unsigned char* from, const unsigned char* to)
{
    for (const char* line : { "BEGIN:VCARD", "END:VCARD" }) {
        const unsigned char* at = from;
        for (; at < to && *line; ++at, ++line) {
            const unsigned char c = *at >= 'a' && *at <= 'z' ? (unsigned char)(*at - 'a' + 'A') : *at;
            if (c != (unsigned char)*line)
                break;
        }
        if (at == to || !*line)
            return true;
    }
    return false;
}

} // namespace

// The held line reads as a property's and is whole (or longer than any
// encoder's line, last: the byte after it is no line end): the value goes
// on with it when it is an encoder's line that ends in a soft break.
void resolveHeldProperty(CARD_Parser* p, bool whole)
{
    p->heldProperty = false;
    if (whole && endsInSoftBreak(p->lookahead, p->lookahead + p->lookaheadCount)) {
        continueHeldValue(p);
        return;
    }
    endValueAtSoftBreak(p);
    p->lineAfterCr = p->softBreakFromCr;
    startHeldLine(p);
}

// The held line is complete: a BEGIN or END line ends the value and is read
// as the line it is; a property's line as endsInSoftBreak() says; anything
// else continues the value.
void resolveLookahead(CARD_Parser* p)
{
    if (p->heldProperty) {
        resolveHeldProperty(p, true);
        return;
    }
    if (matchCardBoundary(p) != 2) {
        continueHeldValue(p);
        return;
    }
    p->cutEscape = CUT_NONE;
    warnDanglingSoftBreak(p, p->softBreakLine);
    startHeldLine(p);
    // The held line is whole: a card line's value it began ends with it.
    p->softBreak = SOFT_NONE;
}

void noteSoftBreak(CARD_Parser* p, const unsigned char* s, int i, long long base)
{
    // A CR alone read as the line end stands there as itself.
    const bool fromCr = s[i - 1] == '\r';
    p->softBreakFrom = p->qpHeld;
    p->softBreakFromCr = fromCr;
    p->cutEscape = p->qpRun ? (p->qpAfterEscape ? CUT_RUN : CUT_NONE) : (p->qpHalf ? CUT_HALF : CUT_NONE);
    // The line's text ends before the CR of a CR LF, which came in this
    // input or in the one before; the next line starts after the line end.
    long long end = base + (i - 1);
    if (!fromCr && (i >= 2 ? s[i - 2] == '\r' : p->crWithLfAt == end - 1))
        --end;
    const long long next = base + i;
    // The value's first soft break: its first line starts with the name.
    const bool first = p->qpLinesOf != p->lineStart;
    if (first) {
        p->qpLinesOf = p->lineStart;
        p->qpLineFrom = p->lineStart;
        p->qpOddWidth = false;
    }
    const long long width = end - p->qpLineFrom;
    p->qpLineFrom = next;
    // An encoder escapes every "=" of the text, a letter or digit never.
    if (p->qpRun || p->qpEscapesText) {
        p->softBreakEncoders = false;
        return;
    }
    if (p->qpAfterEscape && (p->qpEscapedByte == '\n' || p->qpEscapedByte == '\r')) {
        p->softBreakEncoders = true;
        return;
    }
    // The first line holds the name and parameters too, which some
    // encoders count and others do not.
    const bool encoderWidth
        = isEncoderWidth(width) || (first && isEncoderWidth(width - (long long)p->valueColumn));
    if (!encoderWidth && !first)
        p->qpOddWidth = true;
    p->softBreakEncoders = encoderWidth && !p->qpOddWidth;
}

int readLineAfterSoftBreak(CARD_Parser* p, const unsigned char* s, int i, int n, long long base)
{
    // A card's own line is told at its end, one byte at a time.
    if (mayBeCardLine(s + i, s + n))
        return i;
    vcardsyntax::PropertyLine read = p->softBreakEncoders
        ? vcardsyntax::PropertyLine::No
        : vcardsyntax::propertyLineAt(s + i, s + n, false, vcardsyntax::PropertyHead::ParametersOrValue);
    if (read == vcardsyntax::PropertyLine::Yes) {
        // Told at its end: where it ends in this input, as the bytes held
        // one at a time would tell it. A CR alone, which may be a byte of
        // the line, goes that way.
        const int most = n - i > kHeldRoom + 1 ? i + kHeldRoom + 1 : n;
        const unsigned char* const from = s + i;
        const unsigned char* const end = vcardsyntax::findLineEnd(from, s + most, false);
        if (end == s + most) {
            if (most == n)
                return i;
        } else if (*end == '\r' && (end + 1 == s + n || end[1] != '\n')) {
            return i;
        } else if (endsInSoftBreak(from, end)) {
            read = vcardsyntax::PropertyLine::No;
        }
    }
    switch (read) {
    case vcardsyntax::PropertyLine::No:
        p->softBreak = SOFT_NONE;
        resumeCutEscape(p, s[i]);
        break;
    case vcardsyntax::PropertyLine::Yes:
        endValueAtSoftBreak(p);
        processChar(p, '\n');
        p->lineStart = base + i;
        p->lineNumber = p->physLine;
        p->lineAfterCr = p->softBreakFromCr;
        break;
    case vcardsyntax::PropertyLine::Undecided:
        break;
    }
    return i;
}

// How many bytes the UTF-8 letter that the value decoded so far ends with
// still lacks; 0 when it ends with a whole letter or with a byte no UTF-8
// letter starts with, and in a value of another charset.
int missingUtf8Bytes(const CARD_Parser* p)
{
    if (p->otherCharset)
        return 0;
    const size_t most = p->lineLength < 3 ? p->lineLength : 3;
    for (size_t back = 1; back <= most; ++back) {
        const unsigned char c = (unsigned char)p->line[p->lineLength - back];
        if ((c & 0xC0) == 0x80)
            continue;
        const size_t length = c >= 0xF5 ? 0 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        return length > back ? int(length - back) : 0;
    }
    return 0;
}

// Whether a hex digit opens the escape of a UTF-8 continuation byte
// (=80 to =BF).
bool opensContinuation(unsigned char c)
{
    return c == '8' || c == '9' || c == 'A' || c == 'B' || c == 'a' || c == 'b';
}

// The held blank and escapes, read as the text they turned out to be.
void releaseSplitLetter(CARD_Parser* p)
{
    p->softBreak = SOFT_NONE;
    if (std::exchange(p->splitOwnEquals, false))
        p->lookahead[0] = ' ';
    replayLookahead(p);
}

namespace {

// A blank left out of a letter of a value that names no charset: where it
// stood is kept, and the digits that took the soft break's "=" as theirs.
// Past what memory allows it stays out.
void noteFoldJoin(CARD_Parser* p, bool ownEquals)
{
    if (p->foldJoinCount == p->foldJoinCapacity) {
        const int capacity = p->foldJoinCapacity ? p->foldJoinCapacity * 2 : 8;
        auto* grown = static_cast<FoldJoin*>(std::realloc(p->foldJoins, size_t(capacity) * sizeof(FoldJoin)));
        if (!grown)
            return;
        p->foldJoins = grown;
        p->foldJoinCapacity = capacity;
    }
    FoldJoin& join = p->foldJoins[p->foldJoinCount++];
    join.at = p->lineLength;
    join.digits[0] = ownEquals ? p->lookahead[1] : 0;
    join.digits[1] = ownEquals ? p->lookahead[2] : 0;
}

// The length of the UTF-8 letter at `at`, well-formed, that ends by `end`;
// 0 for a byte no such letter starts with.
int utf8LetterAt(const unsigned char* at, const unsigned char* end)
{
    const unsigned char c = at[0];
    const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    if (c < 0xC2 || c > 0xF4 || end - at < length)
        return 0;
    const unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
    if (at[1] < low || at[1] > high)
        return 0;
    for (int i = 2; i < length; ++i) {
        if ((at[i] & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

// Whether the value is UTF-8: every byte beyond ASCII is of a well-formed
// letter, and more than the cut letters of two bytes say so: a letter no
// left-out blank cut, one of three or four bytes, which a code page would
// read as a letter and two signs after a blank, or escaped letters and
// digits, which only writers that escape every byte write. A cut letter of
// two bytes alone may as well be a letter of a code page and a sign after
// a blank ("CAF=C9" and " =BB Lyon", an E-acute and a guillemet).
bool isUtf8ApartFromJoins(const CARD_Parser* p, int joins)
{
    const auto* const line = reinterpret_cast<const unsigned char*>(p->line);
    const unsigned char* const end = line + p->lineLength;
    bool letter = p->qpEscapesText;
    int join = 0;
    for (const unsigned char* at = line; at < end;) {
        if (*at < 0x80) {
            ++at;
            continue;
        }
        const int length = utf8LetterAt(at, end);
        if (length == 0)
            return false;
        const size_t from = size_t(at - line);
        // A blank stood before the byte at `at` of a join, or its digits in
        // that byte's stead.
        while (join < joins && p->foldJoins[join].at < from + (p->foldJoins[join].digits[0] ? 0 : 1))
            ++join;
        if (join == joins || p->foldJoins[join].at >= from + size_t(length) || length > 2)
            letter = true;
        at += length;
    }
    return letter;
}

} // namespace

void settleFoldJoins(CARD_Parser* p)
{
    // A value ended at a soft break may end before its last ones.
    int joins = p->foldJoinCount;
    p->foldJoinCount = 0;
    while (joins > 0 && p->foldJoins[joins - 1].at >= p->lineLength)
        --joins;
    size_t more = 0;
    for (int j = 0; j < joins; ++j)
        more += p->foldJoins[j].digits[0] ? 2 : 1;
    if (joins == 0 || isUtf8ApartFromJoins(p, joins) || !reserve(p, more))
        return;
    // Back to front, each blank where it stood, the digits as written.
    char* const text = p->line;
    size_t from = p->lineLength;
    size_t to = from + more;
    for (int j = joins - 1; j >= 0; --j) {
        const FoldJoin& join = p->foldJoins[j];
        const size_t at = join.at + (join.digits[0] ? 1 : 0);
        to -= from - at;
        std::memmove(text + to, text + at, from - at);
        if (join.digits[0]) {
            text[--to] = char(join.digits[1]);
            text[--to] = char(join.digits[0]);
        }
        text[--to] = ' ';
        from = join.at;
    }
    p->lineLength += more;
}

// Whether a hex digit opens the escape of a UTF-8 lead byte (=C2 to =F4).
bool opensLead(unsigned char c)
{
    return (c >= 'C' && c <= 'F') || (c >= 'c' && c <= 'f');
}

// One more held byte of a split letter; true when it was taken.
bool holdSplitByte(CARD_Parser* p, unsigned char b, int next)
{
    if (p->lookaheadCount == kLookaheadRoom) {
        releaseSplitLetter(p);
        return false;
    }
    p->lookahead[p->lookaheadCount++] = b;
    p->softBreak = next;
    return true;
}

bool applyFold(CARD_Parser* p, int next)
{
    // A fold inside words may split an "=XX" escape, which then goes on.
    // Read as a blank, the fold leaves the bytes held of an escape as the
    // text they are ("=4" and " 1"), but for a writer that folds its lines
    // the 3.0 way: among escapes, the digit after the blank finishes the
    // escape the fold cut ("=69=6" and " 9"), and escapes after it that
    // finish a UTF-8 letter take the blank away ("J=C3" and " =BCrgen").
    if (p->unfoldMode == CARD_UNFOLD_SPACE) {
        if (p->encoding == ENC_QUOTED_PRINTABLE) {
            if (p->qpEscape && p->pendingCount == 1 && p->qpAfterEscape && next >= 0
                && hexValue((unsigned char)next) >= 0)
                return false;
            p->qpEscape = false;
            p->pendingCount = 0;
            if (next == '=' && p->dataCallback && p->state == STATE_VALUE) {
                if (const int missing = missingUtf8Bytes(p); missing > 0) {
                    p->splitMissing = missing;
                    p->splitEquals = false;
                    p->splitOwnEquals = false;
                    p->splitFromFold = true;
                    p->lookaheadCount = 0;
                    return holdSplitByte(p, ' ', SOFT_SPLIT_LETTER);
                }
            }
        }
        processChar(p, ' ');
        return false;
    }
    // A guess about the writer: the reader names the lines it joined so.
    // Of a name or parameters it is not said: the guess is of text.
    if (p->unfoldMode == CARD_UNFOLD_DROP && !p->foldDropSaid && p->state == STATE_VALUE
        && p->encoding != ENC_BASE64) {
        p->foldDropSaid = true;
        if (p->warningCallback)
            p->warningCallback(p->userData, p->lineNumber, CARD_WARN_FOLD_DROPPED);
    }
    return false;
}

// The first byte of a line after a 2.1 base64 value is a base64 character:
// the line is held until it shows what it is.
void holdBase64Line(CARD_Parser* p, unsigned char b, long long offset)
{
    p->softBreak = SOFT_BASE64_LINE;
    p->lookahead[0] = b;
    p->lookaheadCount = 1;
    p->lookaheadStart = offset;
    p->lookaheadLine = p->physLine;
}

struct Base64TextTable {
    bool value[256];
    constexpr Base64TextTable()
        : value()
    {
        for (int c = 0; c < 256; ++c)
            value[c] = kBase64.value[c] < 64 || c == '=' || c == ' ' || c == '\t';
    }
};
constexpr Base64TextTable kBase64Text;

bool isBase64Text(unsigned char b)
{
    return kBase64Text.value[b];
}

int holdBase64Run(CARD_Parser* p, const unsigned char* s, int i, int n, long long base)
{
    // Only whether the line holds more base64 than the room, or nothing
    // but base64 to its end, decides: no more is looked at.
    const int room = kBase64LineRoom - p->lookaheadCount;
    const int last = n - i > room ? i + room + 1 : n;
    const bool* const text = kBase64Text.value;
    int end = i;
    // Eight at a time: a photo's lines are nothing but base64.
    while (last - end >= 8) {
        const unsigned char* const q = s + end;
        if (!(text[q[0]] & text[q[1]] & text[q[2]] & text[q[3]] & text[q[4]] & text[q[5]] & text[q[6]] & text[q[7]]))
            break;
        end += 8;
    }
    while (end < last && text[s[end]])
        ++end;
    const bool lineEnds = end < n && (s[end] == '\n' || (s[end] == '\r' && end + 1 < n && s[end + 1] == '\n'));
    if (end - i > room || lineEnds) {
        // The line goes on with the value: what was held is read, and the
        // rest of the line is read as any line of the value is. Held bytes
        // that stand right before, in this piece, are read again with it.
        const long long held = p->lookaheadStart - base;
        if (held >= 0 && held + p->lookaheadCount == i) {
            p->softBreak = SOFT_NONE;
            p->lookaheadCount = 0;
            return int(held);
        }
        replayLookahead(p);
        return i;
    }
    std::memcpy(p->lookahead + p->lookaheadCount, s + i, size_t(end - i));
    p->lookaheadCount += end - i;
    return end;
}

void watchCardLine(CARD_Parser* p)
{
    p->softBreak = SOFT_CARD_KIND;
    p->cardKindRead = 0;
    p->cardNext = (p->line[0] & ~0x20) == 'E' ? "BEGIN:VCARD" : "END:VCARD";
}

namespace {

unsigned char upperAscii(unsigned char c)
{
    return c >= 'a' && c <= 'z' ? (unsigned char)(c - 'a' + 'A') : c;
}

// The held bytes and b are the whole card line that followed "VCARD": the
// line read so far ends before them, and they start one of their own on
// the same physical line, read as any line's bytes (a BEGIN's reader may
// stop there: the byte loop returns once b is read).
void partCardLines(CARD_Parser* p, unsigned char b)
{
    const bool begins = p->cardNext[0] == 'B';
    unsigned char held[kLookaheadRoom];
    const int n = p->lookaheadCount;
    std::memcpy(held, p->lookahead, size_t(n));
    held[n] = b;
    const long long start = p->lookaheadStart;
    p->softBreak = SOFT_NONE;
    p->lookaheadCount = 0;
    processChar(p, '\n');
    p->lineStart = start;
    p->lineNumber = p->lookaheadLine;
    if (begins && p->warningCallback)
        p->warningCallback(p->userData, p->lineNumber, CARD_WARN_CARDS_JOINED);
    for (int i = 0; i <= n; ++i) {
        if (p->softBreak == SOFT_NONE || !continueSoftBreak(p, held[i], start + i))
            processChar(p, held[i]);
    }
}

} // namespace

// A byte after a soft break; true when it was taken here.
bool continueSoftBreak(CARD_Parser* p, unsigned char b, long long offset)
{
    switch (p->softBreak) {
    case SOFT_CARD_KIND:
        if (p->cardKindRead < 5) {
            if (upperAscii(b) == (unsigned char)"VCARD"[p->cardKindRead])
                ++p->cardKindRead;
            else
                p->softBreak = SOFT_NONE;
            return false;
        }
        if (b == ' ' || b == '\t')
            return false;
        if (upperAscii(b) != (unsigned char)p->cardNext[0]) {
            p->softBreak = SOFT_NONE;
            return false;
        }
        p->softBreak = SOFT_CARD_NEXT;
        p->lookahead[0] = b;
        p->lookaheadCount = 1;
        p->lookaheadStart = offset;
        p->lookaheadLine = p->physLine;
        return true;
    case SOFT_CARD_NEXT:
        if (upperAscii(b) != (unsigned char)p->cardNext[p->lookaheadCount]) {
            replayLookahead(p);
            return false;
        }
        if (p->cardNext[p->lookaheadCount + 1] == 0) {
            partCardLines(p, b);
            return true;
        }
        p->lookahead[p->lookaheadCount++] = b;
        return true;
    case SOFT_BREAK:
        if (b == ' ' || b == '\t') {
            // 3.0/4.0 fold every line end that a blank follows, so there the
            // blank goes with the fold.
            if (p->unfoldMode == CARD_UNFOLD_JOIN) {
                p->softBreak = SOFT_FOLD;
                return true;
            }
            // 2.1: a soft break takes away only the "=" and the line end, and
            // a blank after it is text, which encoders leave unescaped there
            // ("come=" and " to the aid"). A TAB there is a writer's fold: no
            // encoder starts a line of text with one. So is a blank between
            // the bytes of one UTF-8 letter ("=D0=" and " =B2"), which no
            // text can hold; the escapes after the blank tell whether they
            // finish the letter. Among escapes, the soft break's "=" may be
            // that of an escape a 3.0 fold cut: digits after the blank that
            // finish a letter, or start one whose escapes follow, say so
            // ("=D0=" and " B2", "=6F=" and " C4=8D").
            if (b == '\t') {
                p->softBreak = SOFT_NONE;
                return true;
            }
            if (const int missing = missingUtf8Bytes(p); missing > 0 || (p->qpAfterEscape && !p->otherCharset)) {
                p->splitMissing = missing;
                p->splitEquals = true;
                p->splitOwnEquals = false;
                p->splitFromFold = false;
                p->lookaheadCount = 0;
                return holdSplitByte(p, b, SOFT_SPLIT_LETTER);
            }
            p->softBreak = SOFT_NONE;
            return false;
        }
        if (b == '\n') {
            warnDanglingSoftBreak(p, p->softBreakLine);
            p->softBreak = SOFT_NONE;
            return false;
        }
        // A line that may be a card's own or a property's is held until
        // it shows which, a line of text read on.
        if (kNameBytes.is[b]) {
            p->softBreak = SOFT_LOOKAHEAD;
            p->heldProperty = false;
            p->lookahead[0] = b;
            p->lookaheadCount = 1;
            p->lookaheadStart = offset;
            p->lookaheadLine = p->softBreakLine + 1;
            return true;
        }
        p->softBreak = SOFT_NONE;
        resumeCutEscape(p, b);
        return false;
    case SOFT_FOLD:
        p->softBreak = SOFT_NONE;
        if (hexValue(b) >= 0) {
            reopenEscape(p);
        } else if (b == '\n') {
            warnDanglingSoftBreak(p, p->softBreakLine);
        }
        return false;
    // The blank was folding only if every byte the letter lacks follows
    // it: a letter of windows-1252 text ("Caf=E9=" and " =96 Bar", an
    // e-acute and a dash) is whole before its blank.
    case SOFT_SPLIT_LETTER:
        if (b == '=' && p->splitMissing > 0)
            return holdSplitByte(p, b, SOFT_SPLIT_ESCAPE);
        if (p->splitEquals && p->lookaheadCount == 1
            && (p->splitMissing > 0 ? opensContinuation(b) : opensLead(b))) {
            p->lookahead[0] = '=';
            p->splitOwnEquals = true;
            return holdSplitByte(p, b, SOFT_SPLIT_ESCAPE_LOW);
        }
        releaseSplitLetter(p);
        return false;
    case SOFT_SPLIT_ESCAPE:
        if (opensContinuation(b))
            return holdSplitByte(p, b, SOFT_SPLIT_ESCAPE_LOW);
        releaseSplitLetter(p);
        return false;
    case SOFT_SPLIT_ESCAPE_LOW:
        if (hexValue(b) < 0) {
            releaseSplitLetter(p);
            return false;
        }
        if (!holdSplitByte(p, b, SOFT_SPLIT_LETTER))
            return false;
        if (p->splitMissing == 0) {
            // The lead byte the soft break's "=" opened: its escapes follow.
            const int lead = hexValue(p->lookahead[1]) * 16 + hexValue(b);
            if (lead < 0xC2 || lead > 0xF4) {
                releaseSplitLetter(p);
                return true;
            }
            p->splitMissing = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
            p->splitEquals = false;
            return true;
        }
        if (--p->splitMissing == 0) {
            // The letter is whole: the blank was a fold.
            const bool ownEquals = std::exchange(p->splitOwnEquals, false);
            if (!p->utf8Charset && (ownEquals || p->splitFromFold))
                noteFoldJoin(p, ownEquals);
            if (!ownEquals) {
                --p->lookaheadCount;
                std::memmove(p->lookahead, p->lookahead + 1, size_t(p->lookaheadCount));
            }
            releaseSplitLetter(p);
        }
        return true;
    case SOFT_BASE64_LINE:
        // Nothing but base64 to the line's end, or longer than a name: the
        // held bytes go on with the value.
        if (b == '\n' || (isBase64Text(b) && p->lookaheadCount == kBase64LineRoom)) {
            replayLookahead(p);
            return false;
        }
        if (!isBase64Text(b)) {
            startHeldLine(p);
            return false;
        }
        p->lookahead[p->lookaheadCount++] = b;
        return true;
    case SOFT_LOOKAHEAD: {
        if (b == '\n') {
            resolveLookahead(p);
            return false;
        }
        if (p->lookaheadCount == kHeldRoom) {
            if (p->heldProperty)
                resolveHeldProperty(p, false);
            else
                continueHeldValue(p);
            return false;
        }
        p->lookahead[p->lookaheadCount++] = b;
        if (p->heldProperty)
            return true;
        const unsigned char* const held = p->lookahead;
        const vcardsyntax::PropertyLine property = p->softBreakEncoders
            ? vcardsyntax::PropertyLine::No
            : vcardsyntax::propertyLineAt(held, held + p->lookaheadCount, false,
                                          vcardsyntax::PropertyHead::ParametersOrValue);
        if (property == vcardsyntax::PropertyLine::Yes) {
            p->heldProperty = true;
        } else if (property == vcardsyntax::PropertyLine::No
                   && (p->lookaheadCount > kLookaheadRoom || matchCardBoundary(p) == 0)) {
            continueHeldValue(p);
        }
        return true;
    }
    default:
        return false;
    }
}

} // namespace cardtok
