// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/syntax/tokenizer/vcardtokenizer_p.h"

#include <cstring>

// Transfer encodings of values: quoted-printable and base64 decoded byte by
// byte, and the same decoders over whole runs of a line for the fast paths.

namespace cardtok {

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

bool keepDataUri(CARD_Parser* p)
{
    // The group that failed is still in pending: ":ima" of "data:image...".
    if (p->lineLength != 3 || p->pending[0] != ':')
        return false;
    // The three bytes back in base64: the value began with "data" in any
    // letter case.
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const auto* b = reinterpret_cast<const unsigned char*>(p->line);
    const char start[4] = { alphabet[b[0] >> 2], alphabet[(b[0] & 3) << 4 | b[1] >> 4],
                            alphabet[(b[1] & 15) << 2 | b[2] >> 6], alphabet[b[2] & 63] };
    const char* word = "data";
    for (int i = 0; i < 4; ++i) {
        if ((start[i] | 0x20) != word[i])
            return false;
    }
    std::memcpy(p->line, start, 3);
    p->lineLength = 3;
    if (!append(p, (unsigned char)start[3]))
        return true; // the line is already dropped
    for (const unsigned char c : p->pending) {
        if (!append(p, c))
            return true;
    }
    p->pendingCount = 0;
    p->encoding = ENC_NONE;
    return true;
}

namespace {

// Letters and digits, which a standard quoted-printable encoder writes as
// they are.
struct AlnumTable {
    bool is[256];
    constexpr AlnumTable()
        : is()
    {
        for (int c = 0; c < 256; ++c)
            is[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    }
};
constexpr AlnumTable kAlnum;

// A run of "=" before an escape: soft breaks whose line ends were lost, as
// an export that joins its lines leaves them ("Jules ==4BONE"). Only a
// value that is kept is named.
[[gnu::cold, gnu::noinline]] void warnStrayEquals(CARD_Parser* p)
{
    if (p->warningCallback)
        p->warningCallback(p->userData, p->qpLine, CARD_WARN_STRAY_EQUALS);
}

// Quoted-printable decoding. `out` is where the next byte of the line goes,
// null when the value is not kept; each returns where the byte after goes.
// An input byte writes at most one byte, so room for the input is room
// enough.

// An "=" that opens an escape: it is written as it stands until what
// follows tells.
char* openEscape(CARD_Parser* p, char* out)
{
    p->qpEscape = true;
    p->qpBlanks = false;
    p->qpRun = false;
    p->qpAfterEscape = p->qpEscaped;
    p->qpHalf = false;
    p->pendingCount = 0;
    p->qpLine = p->physLine;
    if (out) {
        p->qpHeld = size_t(out - p->line);
        p->qpLast = p->qpHeld;
        *out++ = '=';
    }
    return out;
}

// A byte while an escape is open.
char* escapeByte(CARD_Parser* p, unsigned char c, char* out)
{
    if (p->pendingCount == 0) {
        // Blanks between "=" and the line end are tolerated, so "= " CR LF
        // still reads as a soft break.
        if (c == ' ' || c == '\t') {
            p->qpBlanks = true;
            if (out)
                *out++ = char(c);
            return out;
        }
        if (!p->qpBlanks) {
            if (c == '=') {
                p->qpRun = true;
                if (out) {
                    p->qpLast = size_t(out - p->line);
                    *out++ = '=';
                }
                return out;
            }
            if (hexValue(c) >= 0) {
                p->pending[0] = c;
                p->pendingCount = 1;
                if (out)
                    *out++ = char(c);
                return out;
            }
        }
    } else if (const int low = hexValue(c); low >= 0) {
        // The escape, and every "=" of the run before it, become its byte.
        p->qpEscape = false;
        p->qpEscaped = true;
        p->qpEscapedByte = (unsigned char)(hexValue(p->pending[0]) * 16 + low);
        p->qpEscapesText |= kAlnum.is[p->qpEscapedByte];
        p->pendingCount = 0;
        if (out) {
            if (p->qpRun)
                warnStrayEquals(p);
            out = p->line + p->qpHeld;
            *out++ = char(p->qpEscapedByte);
        }
        return out;
    }
    // No escape: what was held is text as written ("=4G", "=ZZ", "a= b"),
    // and so is this byte, unless it opens an escape of its own. That one
    // may be a soft break that cut the escape after its first digit.
    const bool half = p->pendingCount == 1 && c == '=' && p->qpAfterEscape;
    p->qpEscape = false;
    p->qpEscaped = false;
    if (c == '=') {
        const unsigned char digit = p->pending[0];
        p->pendingCount = 0;
        out = openEscape(p, out);
        p->qpHalf = half;
        p->qpHalfDigit = digit;
        return out;
    }
    p->pendingCount = 0;
    if (out)
        *out++ = char(c);
    return out;
}

// The same as escapeByte() and openEscape() over a run, but that text
// and whole escapes, nearly all of a value, go without state.
template <bool keep>
char* decodeQuotedPrintable(CARD_Parser* p, const unsigned char* bytes, size_t n, char* out)
{
    size_t i = 0;
    for (;;) {
        while (i < n && p->qpEscape)
            out = escapeByte(p, bytes[i++], out);
        // Where the last escape read ended: only an "=" found right there
        // stands right after one (CARD_Parser::qpEscaped).
        const size_t from = i;
        size_t escapeEnd = p->qpEscaped ? i : size_t(-1);
        bool escapesText = false;
        while (i < n) {
            const unsigned char c = bytes[i];
            if (c != '=') {
                if (keep)
                    *out++ = char(c);
                ++i;
                continue;
            }
            if (n - i < 3)
                break;
            const int high = hexValue(bytes[i + 1]);
            const int low = hexValue(bytes[i + 2]);
            if ((high | low) < 0)
                break;
            const unsigned char byte = (unsigned char)(high * 16 + low);
            escapesText |= kAlnum.is[byte];
            if (keep)
                *out++ = char(byte);
            i += 3;
            escapeEnd = i;
        }
        p->qpEscapesText |= escapesText;
        p->qpEscaped = escapeEnd == i;
        // Its byte, kept for the "=" that may follow it (a soft break after
        // an encoded line break), when the run read it.
        if (p->qpEscaped && i != from)
            p->qpEscapedByte = (unsigned char)(hexValue(bytes[i - 2]) * 16 + hexValue(bytes[i - 1]));
        if (i == n)
            return out;
        // An "=" that the run does not show an escape after.
        out = openEscape(p, out);
        ++i;
    }
}

} // namespace

void valueByte(CARD_Parser* p, unsigned char c)
{
    if (p->skipSpace) {
        if (isSpace(c))
            return;
        p->skipSpace = false;
    }
    switch (p->encoding) {
    case ENC_QUOTED_PRINTABLE: {
        // The escape is tracked even without a data callback: a soft line
        // break decides where the line ends.
        char* out = nullptr;
        if (p->dataCallback) {
            if ((p->lineLength == p->lineCapacity || p->lineLength >= p->maxLine) && !reserve(p, 1)) {
                dropLine(p);
                return;
            }
            out = p->line + p->lineLength;
        }
        if (p->qpEscape) {
            out = escapeByte(p, c, out);
        } else if (c == '=') {
            out = openEscape(p, out);
        } else {
            p->qpEscaped = false;
            if (out)
                *out++ = char(c);
        }
        if (out)
            p->lineLength = size_t(out - p->line);
        return;
    }
    case ENC_BASE64:
        if (isSpace(c) || !p->dataCallback)
            return;
        p->pending[p->pendingCount++] = c;
        if (p->pendingCount == 4 && !decodeBase64Group(p) && !keepDataUri(p))
            dropLine(p);
        return;
    default:
        if (p->dataCallback)
            append(p, c);
        return;
    }
}

void takeSoftBreak(CARD_Parser* p)
{
    p->qpEscape = false;
    if (p->dataCallback)
        p->lineLength = p->qpLast;
}

void reopenEscape(CARD_Parser* p)
{
    // What the run held before its last "=" is still in the line, from
    // qpHeld on: only that "=" comes back.
    p->qpEscape = true;
    p->qpBlanks = false;
    p->pendingCount = 0;
    if (p->dataCallback) {
        p->qpLast = p->lineLength;
        append(p, '=');
    }
}

void resumeCutEscape(CARD_Parser* p, unsigned char c)
{
    const int cut = p->cutEscape;
    p->cutEscape = CUT_NONE;
    if (cut == CUT_NONE || hexValue(c) < 0)
        return;
    // The "=" before the soft break's own, or the "=" and the digit, stand
    // at the line's end as written: the escape they open goes on.
    p->qpEscape = true;
    p->qpBlanks = false;
    p->qpAfterEscape = true;
    p->qpHalf = false;
    if (cut == CUT_HALF) {
        p->pending[0] = p->qpHalfDigit;
        p->pendingCount = 1;
        p->qpRun = false;
        if (p->dataCallback) {
            p->qpHeld = p->lineLength - 2;
            p->qpLast = p->qpHeld;
        }
        return;
    }
    p->pendingCount = 0;
    if (p->dataCallback) {
        p->qpLast = p->lineLength - 1;
        p->qpRun = p->qpLast > p->qpHeld;
    }
}

void appendPlain(CARD_Parser* p, const unsigned char* bytes, size_t n)
{
    if (p->state == STATE_SKIP || !p->dataCallback || n == 0)
        return;
    // Most runs fit the line as it is.
    const size_t needed = p->lineLength + n;
    if ((needed > p->lineCapacity || needed > p->maxLine) && !reserve(p, n)) {
        dropLine(p);
        return;
    }
    std::memcpy(p->line + p->lineLength, bytes, n);
    p->lineLength += n;
}

bool appendQuotedPrintable(CARD_Parser* p, const unsigned char* bytes, size_t n)
{
    if (!p->dataCallback) {
        decodeQuotedPrintable<false>(p, bytes, n, nullptr);
        return true;
    }
    if (!reserve(p, n))
        return false;
    char* const out = decodeQuotedPrintable<true>(p, bytes, n, p->line + p->lineLength);
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
            // The output position is kept here, not in the parser: a store
            // through it could change the parser, which would then be read
            // again for every group.
            char* const start = p->line + p->lineLength;
            char* out = start;
            while (i + 4 <= n) {
                const unsigned a = base64ToOrd(bytes[i]);
                const unsigned b = base64ToOrd(bytes[i + 1]);
                const unsigned x = base64ToOrd(bytes[i + 2]);
                const unsigned y = base64ToOrd(bytes[i + 3]);
                if ((a | b | x | y) >= 64)
                    break;
                out[0] = char((a << 2 | b >> 4) & 0xFF);
                out[1] = char((b << 4 | x >> 2) & 0xFF);
                out[2] = char((x << 6 | y) & 0xFF);
                out += 3;
                i += 4;
            }
            p->lineLength += size_t(out - start);
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
            if (!keepDataUri(p)) {
                dropLine(p);
                return;
            }
            appendPlain(p, bytes + i, n - i);
            return;
        }
        if (p->state == STATE_SKIP)
            return;
    }
}

} // namespace cardtok
