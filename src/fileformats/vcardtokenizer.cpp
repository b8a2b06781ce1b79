// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcardtokenizer.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

enum State {
    STATE_NAME,
    STATE_PARAM_START,
    STATE_PARAM_NAME,
    STATE_PARAM_VALUE_START,
    STATE_PARAM_VALUE,
    STATE_VALUE,
    // The rest of a malformed logical line is read and thrown away.
    STATE_SKIP,
};

enum Encoding {
    ENC_NONE,
    ENC_QUOTED_PRINTABLE,
    ENC_BASE64,
    ENC_8BIT,
};

// The line buffer moves while it grows, so parameters are kept as offsets;
// a value offset of 0 means a bare parameter (the name starts at 0).
struct ParamOffsets {
    size_t name;
    size_t value;
};

constexpr size_t kDefaultMaxLine = size_t(512) * 1024 * 1024;
// A line buffer that grew beyond this is given back after its line, so one
// huge photo does not pin memory for the rest of the file.
constexpr size_t kKeepCapacity = 64 * 1024;

bool isSpace(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int hexValue(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

struct Base64Table {
    unsigned char value[256];
    constexpr Base64Table()
        : value()
    {
        for (int i = 0; i < 256; ++i)
            value[i] = 255;
        for (int i = 0; i < 26; ++i) {
            value['A' + i] = (unsigned char)i;
            value['a' + i] = (unsigned char)(i + 26);
        }
        for (int i = 0; i < 10; ++i)
            value['0' + i] = (unsigned char)(i + 52);
        value[(unsigned char)'+'] = 62;
        value[(unsigned char)'/'] = 63;
    }
};
constexpr Base64Table kBase64;

unsigned char base64ToOrd(unsigned char c)
{
    return kBase64.value[c];
}

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

} // namespace

struct CARD_Parser {
    bool lfPending = true;
    bool foldPending = false;
    // "=" ended a quoted-printable line: the value goes on with the next line.
    bool softBreak = false;

    char* line = nullptr;
    size_t lineCapacity = 0;
    size_t lineLength = 0;
    int state = STATE_NAME;
    bool skipSpace = true;

    ParamOffsets* params = nullptr;
    size_t paramCount = 0;
    size_t paramCapacity = 0;
    const char** paramPtrs = nullptr;
    size_t paramPtrCapacity = 0;
    bool paramEscape = false;
    bool paramQuoted = false;

    int encoding = ENC_NONE;
    bool qpEscape = false;
    unsigned char pending[4] = { 0, 0, 0, 0 };
    int pendingCount = 0;

    void* userData = nullptr;
    CARD_PropHandler propCallback = nullptr;
    CARD_DataHandler dataCallback = nullptr;
    CARD_ErrorHandler errorCallback = nullptr;

    int unfoldMode = CARD_UNFOLD_SPACE;
    size_t maxLine = kDefaultMaxLine;

    long long position = 0;
    long long physLine = 1;
    long long lineStart = 0;
    long long lineNumber = 1;
    long long errors = 0;
    bool errorInCall = false;
};

namespace {

void clearLine(CARD_Parser* p)
{
    p->lineLength = 0;
    p->state = STATE_NAME;
    p->skipSpace = true;
    p->encoding = ENC_NONE;
    p->qpEscape = false;
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

// Drops the current logical line; what is left of it up to its end is
// skipped.
void dropLine(CARD_Parser* p)
{
    ++p->errors;
    p->errorInCall = true;
    p->lineLength = 0;
    p->state = STATE_SKIP;
    if (p->errorCallback)
        p->errorCallback(p->userData, p->lineNumber);
}

// Makes room for n more bytes; false when the line would be too long or
// memory is exhausted.
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

bool append(CARD_Parser* p, unsigned char c)
{
    if ((p->lineLength == p->lineCapacity || p->lineLength >= p->maxLine) && !reserve(p, 1)) {
        dropLine(p);
        return false;
    }
    p->line[p->lineLength++] = char(c);
    return true;
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

// Decodes the four characters in pending; false on a character outside the
// base64 alphabet (padding aside).
bool decodeBase64Group(CARD_Parser* p)
{
    const unsigned a = base64ToOrd(p->pending[0]);
    const unsigned b = base64ToOrd(p->pending[1]);
    p->pendingCount = 0;
    if (a == 255 || b == 255)
        return false;
    if (!append(p, (unsigned char)((a * 4 + b / 16) & 0xFF)))
        return true; // the line is already dropped
    if (p->pending[2] == '=')
        return true;
    const unsigned c = base64ToOrd(p->pending[2]);
    if (c == 255)
        return false;
    if (!append(p, (unsigned char)((b * 16 + c / 4) & 0xFF)))
        return true;
    if (p->pending[3] == '=')
        return true;
    const unsigned d = base64ToOrd(p->pending[3]);
    if (d == 255)
        return false;
    append(p, (unsigned char)((c * 64 + d) & 0xFF));
    return true;
}

void endProperty(CARD_Parser* p)
{
    if (!p->propCallback) {
        p->lineLength = 0;
        p->state = STATE_VALUE;
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
        // ENCODING=X and a bare X both name the transfer encoding.
        const char* word = name;
        if (equalsIgnoreCase(name, "ENCODING"))
            word = value;
        if (!word)
            continue;
        if (equalsIgnoreCase(word, "QUOTED-PRINTABLE"))
            p->encoding = ENC_QUOTED_PRINTABLE;
        else if (equalsIgnoreCase(word, "BASE64") || equalsIgnoreCase(word, "B"))
            p->encoding = ENC_BASE64;
        else if (equalsIgnoreCase(word, "8BIT"))
            p->encoding = ENC_8BIT;
    }
    p->paramPtrs[p->paramCount * 2] = nullptr;
    p->paramPtrs[p->paramCount * 2 + 1] = nullptr;
    p->propCallback(p->userData, p->line, p->paramPtrs);
    p->lineLength = 0;
    p->state = STATE_VALUE;
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

void valueByte(CARD_Parser* p, unsigned char c)
{
    if (p->skipSpace) {
        if (isSpace(c))
            return;
        p->skipSpace = false;
    }
    switch (p->encoding) {
    case ENC_QUOTED_PRINTABLE:
        // The escape is tracked even without a data callback: a soft line
        // break decides where the line ends.
        if (!p->qpEscape) {
            if (c == '=') {
                p->qpEscape = true;
                p->pendingCount = 0;
                return;
            }
            if (p->dataCallback)
                append(p, c);
            return;
        }
        // Blanks between "=" and the line end are tolerated, so "= " CR LF
        // still reads as a soft break.
        if (p->pendingCount == 0 && (c == ' ' || c == '\t'))
            return;
        p->pending[p->pendingCount++] = c;
        if (p->pendingCount == 2) {
            // Read like sscanf("%X"): hex digits up to the first other
            // character, 0 when there is none.
            const int high = hexValue(p->pending[0]);
            const int low = hexValue(p->pending[1]);
            int value = 0;
            if (high >= 0)
                value = low >= 0 ? high * 16 + low : high;
            p->qpEscape = false;
            p->pendingCount = 0;
            if (p->dataCallback)
                append(p, (unsigned char)value);
        }
        return;
    case ENC_BASE64:
        if (isSpace(c) || !p->dataCallback)
            return;
        p->pending[p->pendingCount++] = c;
        if (p->pendingCount == 4 && !decodeBase64Group(p))
            dropLine(p);
        return;
    default:
        if (p->dataCallback)
            append(p, c);
        return;
    }
}

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
            return;
        } else if (c == ':') {
            endProperty(p);
        } else if (c == ';') {
            if (append(p, 0))
                p->state = STATE_PARAM_START;
        } else {
            append(p, c);
        }
        return;
    case STATE_PARAM_START:
        if (c == '\n') {
            dropLine(p);
            clearLine(p);
        } else if (c == ':') {
            dropLine(p);
        } else if (!isSpace(c)) {
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
            dropLine(p);
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
        if (c == '\r')
            return;
        if (c == '\n') {
            endValue(p);
            return;
        }
        valueByte(p, c);
        return;
    case STATE_SKIP:
        if (c == '\n')
            clearLine(p);
        return;
    }
}

// The blank after a line end joins the next line to this one.
void applyFold(CARD_Parser* p)
{
    if (p->encoding == ENC_QUOTED_PRINTABLE)
        p->qpEscape = false;
    if (p->unfoldMode == CARD_UNFOLD_SPACE)
        processChar(p, ' ');
}

// Bytes that the name and parameter states copy as they are, one bit per
// state: everything else (separators, blanks, line ends, escapes) changes
// state or is dropped and goes through processChar one at a time.
enum TokenClass : unsigned char {
    TOKEN_NAME = 1,
    TOKEN_PARAM_NAME = 2,
    TOKEN_PARAM_VALUE = 4,
    TOKEN_QUOTED_VALUE = 8,
};

struct TokenTable {
    unsigned char bits[256];
    constexpr TokenTable()
        : bits()
    {
        for (int c = 0; c < 256; ++c) {
            const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
            if (space)
                continue;
            unsigned char b = 0;
            if (c != '"')
                b |= TOKEN_QUOTED_VALUE;
            if (c != ':' && c != ';')
                b |= TOKEN_NAME;
            if (c != ':' && c != ';' && c != '=')
                b |= TOKEN_PARAM_NAME;
            if (c != ':' && c != ';' && c != '\\')
                b |= TOKEN_PARAM_VALUE;
            bits[c] = b;
        }
    }
};
constexpr TokenTable kTokens;

// How a run of bytes up to the next line feed may be taken in one piece.
enum FastPath {
    FAST_NONE,
    // Copied as they are (CR dropped) or, without a data callback, skipped.
    FAST_PLAIN,
    // Quoted-printable text and escapes up to the line feed.
    FAST_QUOTED_PRINTABLE,
    FAST_BASE64,
    // Name or parameter bytes that are copied as they are (kTokens).
    FAST_TOKEN,
};

FastPath fastPathFor(const CARD_Parser* p)
{
    switch (p->state) {
    case STATE_SKIP:
        return FAST_PLAIN;
    case STATE_NAME:
    case STATE_PARAM_NAME:
    case STATE_PARAM_VALUE:
        return FAST_TOKEN;
    case STATE_VALUE:
        break;
    default:
        return FAST_NONE;
    }
    // Without a data callback the text between escapes is skipped, but
    // each escape must still be read: a soft break decides where the line
    // ends.
    if (p->encoding == ENC_QUOTED_PRINTABLE)
        return p->skipSpace ? FAST_NONE : FAST_QUOTED_PRINTABLE;
    if (!p->dataCallback)
        return FAST_PLAIN;
    if (p->encoding == ENC_BASE64)
        return FAST_BASE64;
    return p->skipSpace ? FAST_NONE : FAST_PLAIN;
}

unsigned char tokenClassFor(const CARD_Parser* p)
{
    switch (p->state) {
    case STATE_NAME:
        return TOKEN_NAME;
    case STATE_PARAM_NAME:
        return TOKEN_PARAM_NAME;
    case STATE_PARAM_VALUE:
        return p->paramQuoted ? TOKEN_QUOTED_VALUE : TOKEN_PARAM_VALUE;
    default:
        return 0;
    }
}

// The same as feeding each byte of a run of kTokens bytes to processChar.
void appendToken(CARD_Parser* p, const unsigned char* bytes, size_t n)
{
    if (p->state == STATE_PARAM_VALUE && !p->paramQuoted)
        p->paramEscape = false;
    if (!reserve(p, n)) {
        dropLine(p);
        return;
    }
    std::memcpy(p->line + p->lineLength, bytes, n);
    p->lineLength += n;
}

void appendPlain(CARD_Parser* p, const unsigned char* bytes, size_t n)
{
    if (p->state == STATE_SKIP || !p->dataCallback || n == 0)
        return;
    if (!reserve(p, n)) {
        dropLine(p);
        return;
    }
    // CR LF files put a CR before every line feed: copy the pieces around
    // each CR rather than testing byte by byte.
    const unsigned char* end = bytes + n;
    while (bytes < end) {
        const void* cr = std::memchr(bytes, '\r', size_t(end - bytes));
        const unsigned char* stop = cr ? static_cast<const unsigned char*>(cr) : end;
        const size_t piece = size_t(stop - bytes);
        std::memcpy(p->line + p->lineLength, bytes, piece);
        p->lineLength += piece;
        bytes = stop + (cr ? 1 : 0);
    }
}

// The same as feeding each byte of a run without line feeds to valueByte in
// quoted-printable mode (CRs aside, which the caller drops anyway), in one
// pass. False, with nothing read, when the decoded run might not fit the
// line limit: the byte-wise path then finds where it overflows.
bool appendQuotedPrintable(CARD_Parser* p, const unsigned char* bytes, size_t n)
{
    const bool keep = p->dataCallback != nullptr;
    if (keep && !reserve(p, n))
        return false;
    char* out = keep ? p->line + p->lineLength : nullptr;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = bytes[i];
        if (c == '\r')
            continue;
        if (!p->qpEscape) {
            if (c == '=') {
                p->qpEscape = true;
                p->pendingCount = 0;
            } else if (keep) {
                *out++ = char(c);
            }
            continue;
        }
        if (p->pendingCount == 0 && (c == ' ' || c == '\t'))
            continue;
        p->pending[p->pendingCount++] = c;
        if (p->pendingCount < 2)
            continue;
        const int high = hexValue(p->pending[0]);
        const int low = hexValue(p->pending[1]);
        p->qpEscape = false;
        p->pendingCount = 0;
        if (keep)
            *out++ = char(high < 0 ? 0 : low < 0 ? high : high * 16 + low);
    }
    if (keep)
        p->lineLength = size_t(out - p->line);
    return true;
}

// The same as feeding each byte to valueByte in base64 mode, in one pass.
void appendBase64(CARD_Parser* p, const unsigned char* bytes, size_t n)
{
    if (!reserve(p, n / 4 * 3 + 3)) {
        dropLine(p);
        return;
    }
    p->skipSpace = false;
    size_t i = 0;
    while (i < n) {
        // Whole groups straight from the input while nothing is pending:
        // a photo is almost all such groups.
        if (p->pendingCount == 0) {
            while (i + 4 <= n) {
                const unsigned a = base64ToOrd(bytes[i]);
                const unsigned b = base64ToOrd(bytes[i + 1]);
                const unsigned x = base64ToOrd(bytes[i + 2]);
                const unsigned y = base64ToOrd(bytes[i + 3]);
                if ((a | b | x | y) >= 64)
                    break;
                char* out = p->line + p->lineLength;
                out[0] = char((a << 2 | b >> 4) & 0xFF);
                out[1] = char((b << 4 | x >> 2) & 0xFF);
                out[2] = char((x << 6 | y) & 0xFF);
                p->lineLength += 3;
                i += 4;
            }
            if (i == n)
                return;
        }
        const unsigned char c = bytes[i++];
        if (isSpace(c))
            continue;
        p->pending[p->pendingCount++] = c;
        if (p->pendingCount < 4)
            continue;
        const unsigned a = base64ToOrd(p->pending[0]);
        const unsigned b = base64ToOrd(p->pending[1]);
        const unsigned x = base64ToOrd(p->pending[2]);
        const unsigned y = base64ToOrd(p->pending[3]);
        if ((a | b | x | y) < 64) {
            // A full group without padding: room was reserved above.
            char* out = p->line + p->lineLength;
            out[0] = char((a << 2 | b >> 4) & 0xFF);
            out[1] = char((b << 4 | x >> 2) & 0xFF);
            out[2] = char((x << 6 | y) & 0xFF);
            p->lineLength += 3;
            p->pendingCount = 0;
            continue;
        }
        if (!decodeBase64Group(p)) {
            dropLine(p);
            return;
        }
        if (p->state == STATE_SKIP)
            return;
    }
}

} // namespace

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
    parser->foldPending = false;
    parser->softBreak = false;
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

void CARD_SetUnfoldMode(CARD_Parser* parser, CARD_UnfoldMode mode) { parser->unfoldMode = mode; }

void CARD_SetMaxLineLength(CARD_Parser* parser, long long bytes)
{
    parser->maxLine = bytes > 0 ? size_t(bytes) : kDefaultMaxLine;
}

void CARD_SetPosition(CARD_Parser* parser, long long byteOffset, long long lineNumber)
{
    parser->position = byteOffset;
    parser->lineStart = byteOffset;
    parser->physLine = lineNumber;
    parser->lineNumber = lineNumber;
}

long long CARD_GetLineStart(const CARD_Parser* parser) { return parser->lineStart; }
long long CARD_GetLineNumber(const CARD_Parser* parser) { return parser->lineNumber; }
long long CARD_GetErrorCount(const CARD_Parser* parser) { return parser->errors; }

int CARD_Parse(CARD_Parser* p, const char* data, int len, int isFinal)
{
    p->errorInCall = false;
    const auto* s = reinterpret_cast<const unsigned char*>(data);
    const long long base = p->position;
    const int n = (data && len > 0) ? len : 0;
    int i = 0;
    while (i < n) {
        if (!p->lfPending && !p->softBreak && s[i] != '\n') {
            const FastPath fast = fastPathFor(p);
            if (fast == FAST_TOKEN) {
                const unsigned char tokenClass = tokenClassFor(p);
                int end = i;
                while (end < n && (kTokens.bits[s[end]] & tokenClass))
                    ++end;
                if (end > i) {
                    appendToken(p, s + i, size_t(end - i));
                    i = end;
                    continue;
                }
            } else if (fast == FAST_QUOTED_PRINTABLE) {
                const void* lf = std::memchr(s + i, '\n', size_t(n - i));
                const int end = lf ? int(static_cast<const unsigned char*>(lf) - s) : n;
                if (appendQuotedPrintable(p, s + i, size_t(end - i))) {
                    i = end;
                    continue;
                }
            } else if (fast != FAST_NONE) {
                const void* lf = std::memchr(s + i, '\n', size_t(n - i));
                const int end = lf ? int(static_cast<const unsigned char*>(lf) - s) : n;
                if (fast == FAST_BASE64)
                    appendBase64(p, s + i, size_t(end - i));
                else
                    appendPlain(p, s + i, size_t(end - i));
                i = end;
                continue;
            }
        }
        const unsigned char b = s[i++];
        // A CR is part of the line end; a blank line made of CR LF is a
        // blank line, not a fold.
        if (b == '\r')
            continue;
        if (!p->lfPending) {
            if (b == '\n') {
                ++p->physLine;
                if (p->state == STATE_VALUE && p->encoding == ENC_QUOTED_PRINTABLE && p->qpEscape
                    && p->pendingCount == 0) {
                    // Soft line break: the value goes on with the next line,
                    // nothing inserted; bytes are joined before any charset
                    // decoding, so a break inside UTF-8 is harmless.
                    p->qpEscape = false;
                    p->softBreak = true;
                    continue;
                }
                p->softBreak = false;
                p->lfPending = true;
                p->foldPending = false;
                continue;
            }
            if (p->softBreak) {
                p->softBreak = false;
                // Writers that fold their soft breaks put one blank after
                // them; spaces of the text itself are always written =20.
                if (b == ' ' || b == '\t')
                    continue;
            }
            processChar(p, b);
            continue;
        }
        if (b == '\n') {
            ++p->physLine;
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
            processChar(p, '\n');
            p->lineStart = base + (i - 1);
            p->lineNumber = p->physLine;
            processChar(p, b);
            continue;
        }
        p->lfPending = false;
        p->foldPending = false;
        applyFold(p);
        processChar(p, b);
    }
    p->position = base + n;
    if (isFinal) {
        processChar(p, '\n');
        p->lfPending = true;
        p->foldPending = false;
        p->softBreak = false;
    }
    return p->errorInCall ? 0 : ~0;
}

const char* CARD_ParserVersion()
{
    return "1.0";
}
