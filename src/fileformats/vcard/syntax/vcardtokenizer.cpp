// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/syntax/vcardtokenizer.h"

#include "fileformats/vcard/syntax/vcardtokenizer_p.h"

#include <cstdlib>
#include <cstring>
#include <new>

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
    p->qpEscape = false;
    p->qpBlanks = false;
    p->qpRun = false;
    p->base64Line = false;
    p->foldDropSaid = false;
    p->paramCount = 0;
    p->paramEscape = false;
    p->paramQuoted = false;
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
    ++p->errors;
    p->errorInCall = true;
    p->lineLength = 0;
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
void startValue(CARD_Parser* p)
{
    p->skipSpace = p->encoding == ENC_QUOTED_PRINTABLE;
    p->lineLength = 0;
    p->state = STATE_VALUE;
}

void endProperty(CARD_Parser* p)
{
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
        if (value && initial == 'C' && equalsIgnoreCase(name, "CHARSET"))
            p->otherCharset = !equalsIgnoreCase(value, "UTF-8") && !equalsIgnoreCase(value, "UTF8");
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

// What is noted of a name but that it has bytes, which nearly no name
// needs: set going at the first such note of its line.
void startNameNotes(CARD_Parser* p)
{
    if (p->nameNoted)
        return;
    p->nameNoted = true;
    p->nameGap = 0;
    p->nameMark = 0;
    p->nameOdd = false;
}

// A control byte or one beyond ASCII in a name: only the bytes of a
// byte-order mark before it are none of its own, as two files joined into
// one leave it before the second one's BEGIN.
[[gnu::noinline, gnu::cold]] void noteOddNameByte(CARD_Parser* p, unsigned char c)
{
    static constexpr unsigned char kMark[3] = { 0xEF, 0xBB, 0xBF };
    startNameNotes(p);
    if (p->lineLength < 3 && p->nameMark == p->lineLength && c == kMark[p->lineLength])
        ++p->nameMark;
    else
        p->nameOdd = true;
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
        if (p->encoding == ENC_QUOTED_PRINTABLE && p->qpEscape && p->pendingCount == 0
            && p->state != STATE_SKIP)
            p->lineLength = p->qpLast;
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
            if (p->lineLength > 0) {
                startNameNotes(p);
                if (p->nameGap == 0)
                    p->nameGap = p->lineLength;
            }
        } else if (c == ':') {
            endProperty(p);
        } else if (c == ';') {
            if (append(p, 0))
                p->state = STATE_PARAM_START;
        } else {
            if (c < 0x20 || c > 0x7E)
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
            endProperty(p);
        } else if (c == ';') {
            if (append(p, 0))
                p->state = STATE_PARAM_START;
        } else if (c == '=') {
            if (append(p, 0))
                p->state = STATE_PARAM_VALUE_START;
        } else if (!isSpace(c)) {
            append(p, c);
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
            // (GEO="geo:1,2"); the quotes themselves stay in the value.
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
            endProperty(p);
        } else if (c == ';') {
            if (p->paramEscape) {
                p->paramEscape = false;
                append(p, c);
            } else if (append(p, 0)) {
                p->state = STATE_PARAM_START;
            }
        } else if (isSpace(c)) {
            return;
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
        // A CR that ends no line (CARD_LINES_LF) breaks the text's line.
        valueByte(p, c == '\r' ? '\n' : c);
        return;
    case STATE_SKIP:
        if (c == '\n')
            clearLine(p);
        return;
    }
}

} // namespace cardtok

CARD_Parser* CARD_ParserCreate()
{
    return new (std::nothrow) CARD_Parser;
}

void CARD_ParserFree(CARD_Parser* parser)
{
    if (!parser)
        return;
    std::free(parser->line);
    std::free(parser->params);
    std::free(parser->paramPtrs);
    delete parser;
}

void CARD_ParserReset(CARD_Parser* parser)
{
    clearLine(parser);
    parser->lfPending = true;
    parser->crEnded = false;
    parser->crHeld = false;
    parser->crNameCount = 0;
    parser->lineEnds = CARD_LINES_UNKNOWN;
    parser->firstLine = 1;
    parser->crLines = false;
    parser->foldPending = false;
    parser->softBreak = SOFT_NONE;
    parser->lookaheadCount = 0;
    parser->base64Open = false;
    parser->unfoldMode = CARD_UNFOLD_SPACE;
    parser->position = 0;
    parser->physLine = 1;
    parser->lineStart = 0;
    parser->lineNumber = 1;
    parser->errors = 0;
    parser->errorInCall = false;
}

void CARD_SetUserData(CARD_Parser* parser, void* userData) { parser->userData = userData; }
void* CARD_GetUserData(CARD_Parser* parser) { return parser->userData; }
void CARD_SetPropHandler(CARD_Parser* parser, CARD_PropHandler handler) { parser->propCallback = handler; }
void CARD_SetDataHandler(CARD_Parser* parser, CARD_DataHandler handler) { parser->dataCallback = handler; }
void CARD_SetErrorHandler(CARD_Parser* parser, CARD_ErrorHandler handler) { parser->errorCallback = handler; }
void CARD_SetWarningHandler(CARD_Parser* parser, CARD_WarningHandler handler) { parser->warningCallback = handler; }

void CARD_SetUnfoldMode(CARD_Parser* parser, CARD_UnfoldMode mode) { parser->unfoldMode = mode; }
void CARD_StopParser(CARD_Parser* parser) { parser->stopRequested = true; }

void CARD_SetMaxLineLength(CARD_Parser* parser, long long bytes)
{
    parser->maxLine = bytes > 0 ? size_t(bytes) : kDefaultMaxLine;
}

void CARD_SetPosition(CARD_Parser* parser, long long byteOffset, long long lineNumber)
{
    parser->position = byteOffset;
    parser->lineStart = byteOffset;
    parser->physLine = lineNumber;
    parser->firstLine = lineNumber;
    parser->lineNumber = lineNumber;
}

CARD_LineEnds CARD_GetLineEnds(const CARD_Parser* parser)
{
    if (parser->lineEnds != CARD_LINES_UNKNOWN)
        return CARD_LineEnds(parser->lineEnds);
    // A CR that ended the input was the first line end: the next byte tells.
    if (parser->crEnded)
        return CARD_LINES_UNKNOWN;
    return parser->physLine != parser->firstLine ? CARD_LINES_LF : CARD_LINES_UNKNOWN;
}

void CARD_SetLineEnds(CARD_Parser* parser, CARD_LineEnds lineEnds)
{
    parser->lineEnds = lineEnds;
}

int CARD_IsNameDamaged(const CARD_Parser* parser)
{
    // The name is the first text of the line. A byte that would end it
    // early, a NUL, is noted.
    if (!parser->nameNoted)
        return parser->line[0] == 0;
    const size_t length = std::strlen(parser->line);
    const size_t mark = parser->nameMark;
    return parser->nameOdd || (mark != 0 && mark != 3) || length == mark
        || (parser->nameGap > mark && parser->nameGap < length);
}

long long CARD_GetLineStart(const CARD_Parser* parser) { return parser->lineStart; }
long long CARD_GetLineNumber(const CARD_Parser* parser) { return parser->lineNumber; }
long long CARD_GetErrorCount(const CARD_Parser* parser) { return parser->errors; }
long long CARD_GetPosition(const CARD_Parser* parser) { return parser->position; }

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
                // end stops at a separator, which goes one at a time: no
                // run would take it.
                if (i == n || !inNameOrParameters(p))
                    continue;
            }
        } else if (!p->lfPending && p->softBreak == SOFT_BASE64_LINE) {
            i = holdBase64Run(p, s, i, n, base);
            if (i == n || p->softBreak != SOFT_BASE64_LINE)
                continue;
        }
        // Only a byte read one at a time reaches a callback. A run taken
        // after a stop ends before the line feed: it is the rest of the
        // stopping line's value, which no fold touches.
        if (p->stopRequested)
            break;
        unsigned char b = s[i++];
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
            if (read == CR_LINE_END)
                b = '\n';
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
                    takeSoftBreak(p);
                    p->softBreak = SOFT_BREAK;
                    p->softBreakLine = p->physLine - 1;
                    continue;
                }
                p->lfPending = true;
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
            p->base64Open = false;
            if (p->foldPending) {
                // A line of blanks: the fold ends there and a new line end
                // is pending.
                p->foldPending = false;
                applyFold(p);
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
            processChar(p, '\n');
            p->lineStart = base + (i - 1);
            p->lineNumber = p->physLine;
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
        applyFold(p);
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

