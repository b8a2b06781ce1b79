// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/syntax/tokenizer/vcardtokenizer_p.h"

#include <cstring>

namespace cardtok {

namespace {

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
            // Any other byte in a name goes one at a time: no name holds
            // one (CARD_IsNameDamaged()).
            if (kNameBytes.is[c])
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
    // Names and parameters are short: the line nearly always has room.
    const size_t needed = p->lineLength + n;
    if ((needed > p->lineCapacity || needed > p->maxLine) && !reserve(p, n)) {
        dropLine(p);
        return;
    }
    std::memcpy(p->line + p->lineLength, bytes, n);
    p->lineLength += n;
}

} // namespace

int takeRun(CARD_Parser* p, const unsigned char* s, int i, int n)
{
    const FastPath fast = fastPathFor(p);
    if (fast == FAST_TOKEN) {
        const unsigned char tokenClass = tokenClassFor(p);
        const unsigned char* const from = s + i;
        const unsigned char* const last = s + n;
        const unsigned char* to = from;
        while (to < last && (kTokens.bits[*to] & tokenClass))
            ++to;
        if (to > from)
            appendToken(p, from, size_t(to - from));
        return int(to - s);
    }
    if (fast == FAST_NONE)
        return i;
    const int end = int(vcardsyntax::findLineEnd(s + i, s + n, p->crLines) - s);
    // The line end itself is read one byte at a time. Of a CR LF the CR goes
    // with the run, dropped; a CR alone ends its line, and one that ends the
    // input may be the start of a CR LF.
    int next = end;
    if (end < n && s[end] == '\r') {
        const bool crLf = end + 1 < n && s[end + 1] == '\n';
        next = crLf ? end + 1 : end;
        p->crLines = !crLf && end + 1 < n;
    } else if (end < n) {
        p->crLines = false;
    }
    if (fast == FAST_QUOTED_PRINTABLE)
        return appendQuotedPrintable(p, s + i, size_t(end - i)) ? next : i;
    if (fast == FAST_BASE64)
        appendBase64(p, s + i, size_t(end - i));
    else
        appendPlain(p, s + i, size_t(end - i));
    // Only the lines of a base64 value go on over folds taken at once: the
    // runs of all other lines, most of a file's, are not asked.
    return p->encoding == ENC_BASE64 ? passBase64Fold(p, s, next, n) : next;
}

} // namespace cardtok
