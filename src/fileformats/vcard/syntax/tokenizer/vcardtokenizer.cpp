// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/syntax/vcardtokenizer.h"

#include "fileformats/vcard/syntax/tokenizer/vcardtokenizer_p.h"

#include <cstdlib>
#include <cstring>

using namespace cardtok;

namespace cardtok {

void clearLine(CARD_Parser* p)
{
    p->lineLength = 0;
    p->nameNoted = false;
    p->state = STATE_NAME;
    p->skipSpace = true;
    p->encoding = ENC_NONE;
    p->otherCharset = false;
    p->utf8Charset = false;
    p->qpEscape = false;
    p->qpBlanks = false;
    p->qpRun = false;
    p->qpEscapesText = false;
    p->qpEscaped = false;
    p->base64Line = false;
    p->foldDropSaid = false;
    p->paramCount = 0;
    p->paramEscape = false;
    p->paramQuoted = false;
    p->paramBlanks = false;
    p->pendingCount = 0;
    std::memset(p->pending, 0, sizeof p->pending);
    if (p->lineCapacity > kKeepCapacity) {
        std::free(p->line);
        p->line = nullptr;
        p->lineCapacity = 0;
    }
}

void dropLine(CARD_Parser* p)
{
    // What is skipped of a value is still its property's text; a line
    // dropped before its value has none.
    if (p->state != STATE_VALUE)
        p->nameLength = 0;
    ++p->errors;
    p->errorInCall = true;
    p->lineLength = 0;
    p->foldJoinCount = 0;
    p->state = STATE_SKIP;
    if (p->errorCallback)
        p->errorCallback(p->userData, p->lineNumber);
}

bool reserve(CARD_Parser* p, size_t n)
{
    const size_t needed = p->lineLength + n;
    if (needed > p->maxLine)
        return false;
    if (needed <= p->lineCapacity)
        return true;
    // Geometric growth: a 50 MB value must not cost a reallocation per
    // 128 bytes.
    size_t capacity = p->lineCapacity < 256 ? 256 : p->lineCapacity;
    while (capacity < needed)
        capacity = capacity > p->maxLine / 2 ? p->maxLine : capacity * 2;
    char* grown = static_cast<char*>(std::realloc(p->line, capacity));
    if (!grown)
        return false;
    p->line = grown;
    p->lineCapacity = capacity;
    return true;
}

} // namespace cardtok

namespace {

bool equalsIgnoreCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        char x = *a, y = *b;
        if (x >= 'a' && x <= 'z')
            x = char(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = char(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return *a == *b;
}

// The name is that of a card's own line, END or BEGIN, ASCII case aside.
// Asked of every property: its length rules out nearly every other name.
bool isCardWord(const unsigned char* name, size_t length)
{
    if (length == 3)
        return (name[0] & 0xDF) == 'E' && (name[1] & 0xDF) == 'N' && (name[2] & 0xDF) == 'D';
    return length == 5 && (name[0] & 0xDF) == 'B' && (name[1] & 0xDF) == 'E' && (name[2] & 0xDF) == 'G'
        && (name[3] & 0xDF) == 'I' && (name[4] & 0xDF) == 'N';
}

bool addParam(CARD_Parser* p)
{
    if (p->paramCount == p->paramCapacity) {
        const size_t capacity = p->paramCapacity ? p->paramCapacity * 2 : 8;
        auto* grown = static_cast<ParamOffsets*>(std::realloc(p->params, capacity * sizeof(ParamOffsets)));
        if (!grown) {
            dropLine(p);
            return false;
        }
        p->params = grown;
        p->paramCapacity = capacity;
    }
    p->params[p->paramCount++] = { p->lineLength, 0 };
    return true;
}

// A value starts right after the colon: a blank there is part of it (a
// note that starts indented). Only before a quoted-printable value are
// blanks skipped, as they always were: 2.1 writers put one after the colon
// there, and a blank of the text itself such a value can write as "=20".
[[gnu::always_inline]] inline void startValue(CARD_Parser* p)
{
    const auto* const name = reinterpret_cast<const unsigned char*>(p->line);
    const size_t length = p->nameLength;
    // Whether the value is free text is asked only of a CR alone in it:
    // the name's end is kept for that, the buffer being the value's now.
    // A line buffer holds at least eight bytes once it holds any.
    if (name)
        std::memcpy(p->nameEnd, name + (length > sizeof p->nameEnd ? length - sizeof p->nameEnd : 0),
                    sizeof p->nameEnd);
    // A card's own line, its word next.
    const bool cardLine = p->paramCount == 0 && isCardWord(name, length);
    p->skipSpace = p->encoding == ENC_QUOTED_PRINTABLE;
    p->lineLength = 0;
    p->state = STATE_VALUE;
    if (cardLine)
        watchCardLine(p);
}

void endProperty(CARD_Parser* p)
{
    p->valueColumn = p->lineLength + 1;
    if (!p->propCallback) {
        startValue(p);
        return;
    }
    if (!append(p, 0))
        return;
    const size_t slots = (p->paramCount + 1) * 2;
    if (slots > p->paramPtrCapacity) {
        size_t capacity = p->paramPtrCapacity ? p->paramPtrCapacity : 16;
        while (capacity < slots)
            capacity *= 2;
        auto* grown = static_cast<const char**>(std::realloc(p->paramPtrs, capacity * sizeof(const char*)));
        if (!grown) {
            dropLine(p);
            return;
        }
        p->paramPtrs = grown;
        p->paramPtrCapacity = capacity;
    }
    for (size_t i = 0; i < p->paramCount; ++i) {
        const char* name = p->line + p->params[i].name;
        const char* value = p->params[i].value ? p->line + p->params[i].value : nullptr;
        p->paramPtrs[i * 2] = name;
        p->paramPtrs[i * 2 + 1] = value;
        // Most parameters are types (TYPE=WORK, a bare HOME): the first
        // letter rules out the words looked for below before any of them is
        // compared.
        const char initial = char(name[0] & ~0x20);
        if (value && initial == 'C' && equalsIgnoreCase(name, "CHARSET")) {
            p->utf8Charset = equalsIgnoreCase(value, "UTF-8") || equalsIgnoreCase(value, "UTF8");
            p->otherCharset = !p->utf8Charset;
        }
        // ENCODING=X and a bare X both name the transfer encoding.
        const char* word = name;
        if (initial == 'E' && equalsIgnoreCase(name, "ENCODING"))
            word = value;
        if (!word)
            continue;
        switch (word[0]) {
        case 'Q':
        case 'q':
            if (equalsIgnoreCase(word, "QUOTED-PRINTABLE"))
                p->encoding = ENC_QUOTED_PRINTABLE;
            break;
        case 'B':
        case 'b':
            if (equalsIgnoreCase(word, "BASE64") || equalsIgnoreCase(word, "B"))
                p->encoding = ENC_BASE64;
            break;
        case '8':
            if (equalsIgnoreCase(word, "8BIT"))
                p->encoding = ENC_8BIT;
            break;
        default:
            break;
        }
    }
    p->paramPtrs[p->paramCount * 2] = nullptr;
    p->paramPtrs[p->paramCount * 2 + 1] = nullptr;
    p->base64Line = p->encoding == ENC_BASE64;
    p->propCallback(p->userData, p->line, p->paramPtrs);
    startValue(p);
}

// The name ends at its ":" or ";": whether it holds bytes no name holds
// (CARD_IsNameDamaged()). Only a whole byte-order mark is no byte of it.
bool inNameOrParameters(const CARD_Parser* p)
{
    return p->state == STATE_NAME || p->state == STATE_PARAM_NAME || p->state == STATE_PARAM_VALUE;
}

void endValue(CARD_Parser* p)
{
    if (p->dataCallback) {
        if (p->encoding == ENC_BASE64 && p->pendingCount > 0) {
            // A single leftover character carries less than a byte: it is
            // left out rather than costing the whole value.
            if (p->pendingCount >= 2) {
                while (p->pendingCount < 4)
                    p->pending[p->pendingCount++] = '=';
                if (!decodeBase64Group(p))
                    dropLine(p);
            }
            p->pendingCount = 0;
        }
        // An "=" at the value's end had nothing to join: it goes, as a
        // soft break's does.
        if (p->encoding == ENC_QUOTED_PRINTABLE) {
            if (p->qpEscape && p->pendingCount == 0 && p->state != STATE_SKIP)
                p->lineLength = p->qpLast;
            if (p->foldJoinCount > 0)
                settleFoldJoins(p);
        }
        if (p->state == STATE_SKIP) {
            clearLine(p);
            return;
        }
        if (p->lineLength > 0)
            p->dataCallback(p->userData, p->line, int(p->lineLength));
        p->dataCallback(p->userData, nullptr, 0);
    }
    clearLine(p);
}

} // namespace

namespace cardtok {

void processChar(CARD_Parser* p, unsigned char c)
{
    switch (p->state) {
    case STATE_NAME:
        if (c == '\n') {
            // A line without ":" carries no property; blank lines are not
            // counted as damage.
            if (p->lineLength > 0)
                dropLine(p);
            clearLine(p);
        } else if (isSpace(c)) {
            if (p->lineLength > 0)
                noteNameGap(p);
        } else if (c == ':') {
            p->nameLength = p->lineLength;
            endProperty(p);
        } else if (c == ';') {
            p->nameLength = p->lineLength;
            if (append(p, 0))
                p->state = STATE_PARAM_START;
        } else {
            if (!kNameBytes.is[c])
                noteOddNameByte(p, c);
            append(p, c);
        }
        return;
    case STATE_PARAM_START:
        // An empty parameter (";;", or ";" right before the colon, as mail
        // programs write "TEL;WORK;:1") names nothing: it is passed over.
        if (c == '\n') {
            dropLine(p);
            clearLine(p);
        } else if (c == ':') {
            endProperty(p);
        } else if (c != ';' && !isSpace(c)) {
            if (addParam(p) && append(p, c))
                p->state = STATE_PARAM_NAME;
        }
        return;
    case STATE_PARAM_NAME:
        if (c == '\n') {
            dropLine(p);
            clearLine(p);
        } else if (c == ':') {
            endParamName(p);
            endProperty(p);
        } else if (c == ';') {
            endParamName(p);
            if (append(p, 0))
                p->state = STATE_PARAM_START;
        } else if (c == '=') {
            endParamName(p);
            if (append(p, 0))
                p->state = STATE_PARAM_VALUE_START;
        } else if (!isSpace(c)) {
            append(p, c);
        } else {
            keepsParamBlank(p, c);
        }
        return;
    case STATE_PARAM_VALUE_START:
        if (c == '\n') {
            dropLine(p);
            clearLine(p);
        } else if (c == ':' || c == ';') {
            // "TYPE=" names nothing, as an empty parameter does: it is
            // passed over, its name taken back.
            p->lineLength = p->params[--p->paramCount].name;
            if (c == ':')
                endProperty(p);
            else
                p->state = STATE_PARAM_START;
        } else if (!isSpace(c)) {
            p->params[p->paramCount - 1].value = p->lineLength;
            p->paramEscape = false;
            // A value that opens with a double quote may hold ":" and ";"
            // (GEO="geo:1,2"); the quotes themselves stay in the value, and
            // its blanks too, as in any value (keepsParamBlank()).
            p->paramQuoted = c == '"';
            if (append(p, c))
                p->state = STATE_PARAM_VALUE;
        }
        return;
    case STATE_PARAM_VALUE:
        if (c == '\n') {
            dropLine(p);
            clearLine(p);
        } else if (p->paramQuoted && c != '"' && !isSpace(c)) {
            append(p, c);
        } else if (c == '"' && p->paramQuoted) {
            p->paramQuoted = false;
            append(p, c);
        } else if (c == ':') {
            endParamValue(p);
            endProperty(p);
        } else if (c == ';') {
            if (p->paramEscape) {
                p->paramEscape = false;
                append(p, c);
            } else {
                endParamValue(p);
                if (append(p, 0))
                    p->state = STATE_PARAM_START;
            }
        } else if (isSpace(c)) {
            keepsParamBlank(p, c);
        } else if (c == '\\') {
            if (p->paramEscape) {
                p->paramEscape = false;
                append(p, c);
            } else {
                p->paramEscape = true;
            }
        } else {
            p->paramEscape = false;
            append(p, c);
        }
        return;
    case STATE_VALUE:
        if (c == '\n') {
            endValue(p);
            return;
        }
        // A CR that ends no line (CARD_LINES_LF) breaks the text's line;
        // after the "=" of quoted-printable it is a soft break, as where
        // it ends lines.
        if (c == '\r') {
            if (p->encoding == ENC_QUOTED_PRINTABLE && p->qpEscape && p->pendingCount == 0) {
                takeSoftBreak(p);
                return;
            }
            c = '\n';
        }
        valueByte(p, c);
        return;
    case STATE_SKIP:
        if (c == '\n')
            clearLine(p);
        return;
    }
}

} // namespace cardtok

namespace {

// CARD_Parse's byte loop, inside it as if written there.
[[gnu::always_inline]] inline int byteLoop(
    CARD_Parser* p, const unsigned char* s, int i, int n, long long base)
{
    while (i < n) {
        if (!p->lfPending && !p->softBreak && s[i] != '\n') {
            const int next = takeRun(p, s, i, n);
            if (next != i) {
                i = next;
                // A run of name or parameter bytes that stops short of the
                // end stops at a separator or a byte no name holds, which
                // goes one at a time: no run would take it.
                if (i == n || !inNameOrParameters(p))
                    continue;
            }
        } else if (p->softBreak != SOFT_NONE && !p->lfPending) {
            if (p->softBreak == SOFT_BASE64_LINE) {
                i = holdBase64Run(p, s, i, n, base);
                if (i == n || p->softBreak != SOFT_BASE64_LINE)
                    continue;
            } else if (p->softBreak == SOFT_BREAK && kNameBytes.is[s[i]]) {
                // The line after a soft break is told whole when its bytes
                // are at hand, a line of text then read in runs.
                i = readLineAfterSoftBreak(p, s, i, n, base);
                if (p->softBreak == SOFT_NONE)
                    continue;
            } else if (p->softBreak == SOFT_CARD_KIND && p->cardKindRead == 0 && n - i > 5
                       && (s[i + 5] == '\r' || s[i + 5] == '\n')) {
                // Nearly every card line ends right after its word: no
                // other card line follows it there, and the word goes in
                // a run.
                p->softBreak = SOFT_NONE;
                continue;
            }
        }
        // Only a byte read one at a time reaches a callback. A run taken
        // after a stop ends before the line feed: it is the rest of the
        // stopping line's value, which no fold touches.
        if (p->stopRequested)
            break;
        unsigned char b = s[i++];
        bool fromCr = false;
        // A line ends in LF, CR LF or, in files of older Macs, a CR alone.
        // The CR of a CR LF is passed over, so a blank line made of CR LF is
        // a blank line, not a fold. A CR alone is read as a line feed where
        // it ends lines, and so is one that ends the input, whose line feed,
        // if it comes next, then belongs to it; elsewhere only before a
        // property's name, and one whose next bytes are not all at hand
        // waits for them.
        if (b == '\r') {
            if (i < n && s[i] == '\n')
                continue;
            const CrRead read = readCr(p, s, i, n);
            if (read == CR_HELD)
                return n;
            if (read == CR_LINE_END) {
                b = '\n';
                fromCr = true;
            }
        }
        if (!p->lfPending) {
            if (p->softBreak != SOFT_NONE && continueSoftBreak(p, b, base + (i - 1)))
                continue;
            if (b == '\n') {
                ++p->physLine;
                if (p->state == STATE_VALUE && p->encoding == ENC_QUOTED_PRINTABLE && p->qpEscape
                    && p->pendingCount == 0) {
                    // Soft line break: the value goes on with the next line,
                    // nothing inserted; bytes are joined before any charset
                    // decoding, so a break inside UTF-8 is harmless.
                    noteSoftBreak(p, s, i, base);
                    takeSoftBreak(p);
                    p->softBreak = SOFT_BREAK;
                    p->softBreakLine = p->physLine - 1;
                    continue;
                }
                p->lfPending = true;
                p->lfFromCr = fromCr;
                p->foldPending = false;
                // 2.1 writers that do not indent a photo's base64 lines end
                // the value with an empty line instead.
                p->base64Open = p->base64Line && p->unfoldMode != CARD_UNFOLD_JOIN;
                continue;
            }
            processChar(p, b);
            continue;
        }
        if (b == '\n') {
            ++p->physLine;
            p->lfFromCr = fromCr;
            p->base64Open = false;
            p->lineAfterGap = p->physLine;
            if (p->foldPending) {
                // A line of blanks: the fold ends there and a new line end
                // is pending.
                p->foldPending = false;
                applyFold(p, -1);
            }
            continue;
        }
        if (!p->foldPending) {
            if (b == ' ' || b == '\t') {
                p->foldPending = true;
                continue;
            }
            p->lfPending = false;
            if (p->base64Open && base64ToOrd(b) < 64) {
                holdBase64Line(p, b, base + (i - 1));
                continue;
            }
            // A line that starts with "=" is no property of its own: after
            // a phone's own label cut by a soft break it goes on with it.
            if (p->state == STATE_PARAM_VALUE && b == '=' && continuesOwnLabel(p)) {
                processChar(p, b);
                continue;
            }
            processChar(p, '\n');
            p->lineStart = base + (i - 1);
            p->lineNumber = p->physLine;
            p->lineAfterCr = p->lfFromCr;
            if (p->stopRequested) {
                processChar(p, b);
                continue;
            }
            // The new line's first byte is read again, with the rest of
            // its name in one run.
            --i;
            continue;
        }
        p->lfPending = false;
        p->foldPending = false;
        if (!applyFold(p, b) || !continueSoftBreak(p, b, base + (i - 1)))
            processChar(p, b);
    }
    return i;
}

} // namespace

int cardtok::readBytes(CARD_Parser* p, const unsigned char* s, int i, int n, long long base)
{
    return byteLoop(p, s, i, n, base);
}

int CARD_Parse(CARD_Parser* p, const char* data, int len, int isFinal)
{
    p->errorInCall = false;
    p->stopRequested = false;
    const auto* s = reinterpret_cast<const unsigned char*>(data);
    const long long base = p->position;
    const int n = (data && len > 0) ? len : 0;
    int i = 0;
    if ((p->crEnded || p->crHeld) && n > 0) {
        i = resumeAfterCr(p, s, n, base);
        if (i < 0) {
            p->stopRequested = false;
            return p->errorInCall ? 0 : ~0;
        }
    }
    i = byteLoop(p, s, i, n, base);
    p->position = base + i;
    if (p->stopRequested && i < n) {
        p->stopRequested = false;
        return p->errorInCall ? 0 : ~0;
    }
    if (isFinal) {
        if (p->crHeld)
            endHeldCr(p);
        if (p->softBreak == SOFT_CARD_NEXT)
            replayLookahead(p);
        if (p->softBreak == SOFT_CARD_KIND)
            p->softBreak = SOFT_NONE;
        if (p->softBreak == SOFT_BASE64_LINE)
            replayLookahead(p);
        if (p->softBreak == SOFT_SPLIT_LETTER || p->softBreak == SOFT_SPLIT_ESCAPE
            || p->softBreak == SOFT_SPLIT_ESCAPE_LOW)
            releaseSplitLetter(p);
        if (p->softBreak == SOFT_LOOKAHEAD) {
            resolveLookahead(p);
        } else if (p->softBreak != SOFT_NONE) {
            warnDanglingSoftBreak(p, p->softBreakLine);
        } else if (!p->lfPending && p->state == STATE_VALUE && p->encoding == ENC_QUOTED_PRINTABLE && p->qpEscape
                   && p->pendingCount == 0) {
            warnDanglingSoftBreak(p, p->physLine);
        }
        processChar(p, '\n');
        p->lfPending = true;
        p->lfFromCr = false;
        p->foldPending = false;
        p->softBreak = SOFT_NONE;
        p->lookaheadCount = 0;
    }
    p->stopRequested = false;
    return p->errorInCall ? 0 : ~0;
}

const char* CARD_ParserVersion()
{
    return "1.0";
}

