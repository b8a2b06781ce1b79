// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where a line of vCard text ends, as the tokenizer and the fold look-ahead
// both read it: at its first CR or LF (a CR LF, a CR alone, a line feed).

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vcardsyntax {

// The first CR or LF in [from, to), or `to` when there is none. Every line
// of a file is looked through for both bytes: with SSE2 in one pass, sixteen
// bytes at a time; else by two searches, the second no further than the
// first found its byte. crFirst: the lines before ended in a CR alone, so a
// CR is looked for first, which keeps the first search within the line in
// files of either kind.
inline const unsigned char* findLineEnd(const unsigned char* from, const unsigned char* to, bool crFirst)
{
#if defined(__SSE2__)
    (void)crFirst;
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    for (; to - from >= 16; from += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const int hits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, lf), _mm_cmpeq_epi8(block, cr)));
        if (hits != 0)
            return from + __builtin_ctz(unsigned(hits));
    }
    for (; from < to; ++from) {
        if (*from == '\n' || *from == '\r')
            return from;
    }
    return to;
#else
    const unsigned char first = crFirst ? '\r' : '\n';
    const unsigned char second = crFirst ? '\n' : '\r';
    const auto* a = static_cast<const unsigned char*>(std::memchr(from, first, size_t(to - from)));
    const unsigned char* const lineTo = a ? a : to;
    const auto* b = static_cast<const unsigned char*>(std::memchr(from, second, size_t(lineTo - from)));
    return b ? b : lineTo;
#endif
}

inline const char* findLineEnd(const char* from, const char* to, bool crFirst)
{
    return reinterpret_cast<const char*>(findLineEnd(reinterpret_cast<const unsigned char*>(from),
                                                     reinterpret_cast<const unsigned char*>(to), crFirst));
}

// Whether the bytes after a line end read as a property's line of the card,
// as writers write one: a name that vCard 2.1, 3.0 or 4.0 know written in
// capitals, or an X- name written in capitals ("X-SKYPE", "X-ABLabel"
// after its writer's prefix), maybe after a group and a dot, and after it
// what `head` asks. A known name in capitals only, not any word before a
// colon: a note holds "Hours:", "Monday: 9-5", "X-ray: clear" or
// "END: 2024-03-31". Every reader that asks whether a line is a property's
// asks this one test: the tokenizer, its line ends, the fold look-ahead and
// so the scan of a file's cards.
enum class PropertyHead {
    // The name's ":" or ";": a CR alone in a value of one line, which no
    // writer breaks.
    Separator,
    // ";" and well-formed parameters up to a ":" on the same line
    // ("TEL;TYPE=CELL:", "item1.EMAIL;type=INTERNET:"): a CR alone in a
    // note or a label, whose own lines may start "N: 42 visits", "TITLE:
    // Dr." or "TEL; part 3".
    Parameters,
    // Those, or ":" and the value's first byte, no blank: the line after a
    // quoted-printable "=", which a standard encoder writes only as a soft
    // break, since it escapes every "=" of the text; a text line after one
    // may start "TEL: 555 0100" or "N: 42 visits", or "TEL;TYPE=3DCELL:",
    // whose parameter's value starts as the text's "=" encoded.
    ParametersOrValue,
};
enum class PropertyLine {
    No,
    Yes,
    // The bytes at hand are all a property's line could start with: the
    // next ones tell.
    Undecided,
};
// No name runs this long, group and dot included, nor a name with its
// parameters or a BEGIN or END line with its blanks: a longer run is text.
// At most this many bytes and one more are looked at to decide.
constexpr int kCrNameRoom = 80;
// What the bytes [from, to) say; Undecided only while to - from is at most
// kCrNameRoom and more may follow (last: the input ends at `to`). A
// parameter's name starts with a letter and holds letters, digits and "-";
// its value, after "=", is quoted, or printable ASCII up to the ";" or ":"
// without blanks, quotes, backslashes or "=". BEGIN and END are no
// property's names here: a card's own lines are its readers' to tell.
PropertyLine propertyLineAt(const unsigned char* from, const unsigned char* to, bool last, PropertyHead head);

// In a file whose lines end in LF or CR LF, a CR alone is most often a line
// break a program put into a note, but a writer that ends one line of a
// card in a CR alone ends it there too ("VERSION:3.0" CR, "N:Doe;John"):
// the line after it starts with a property's name. So it ends its line
// where a property's line follows (propertyLineAt(), its name's separator
// in a value of one line, parameters in free text, isFreeTextName()); BEGIN
// and END only as a whole "BEGIN:VCARD" or "END:VCARD" line, in free text
// only the card's END. Else it is a byte of its line.
enum class CrAlone {
    // A byte of its line.
    Text,
    EndsLine,
    // The bytes at hand are all a name could start with: the next ones tell.
    Undecided,
};
// What the bytes [from, to) that follow a CR alone say of it; Undecided
// only while to - from is at most kCrNameRoom and more may follow (last:
// the input ends at `to`, which ends a BEGIN or END line and nothing else).
// freeText: the CR stands in the value of a free-text property
// (isFreeTextName()).
CrAlone crAloneAt(const unsigned char* from, const unsigned char* to, bool last = false, bool freeText = false);

// The names crAloneAt() knows written in capitals, BEGIN and END aside;
// ended by a null.
extern const char* const kKnownPropertyNames[];

// Whether the name ends in the word, ASCII case aside, with nothing or a
// group's dot before it; the word in capitals.
inline bool endsInName(const unsigned char* name, size_t length, const char* word, size_t wordLength)
{
    if (length < wordLength || (length > wordLength && name[length - wordLength - 1] != '.'))
        return false;
    const unsigned char* const tail = name + length - wordLength;
    for (size_t i = 0; i < wordLength; ++i) {
        if ((tail[i] & ~0x20u) != (unsigned char)word[i])
            return false;
    }
    return true;
}

// Whether a property of this name, as the tokenizer keeps it (blanks left
// out, group included), holds free text that a writer breaks into lines:
// NOTE or LABEL, in any case, after any group. A CR alone in its value is a
// line break of the text but before the card's own END line or a property's
// line with parameters (crAloneAt()). An address is a value of parts whose
// own line breaks are escapes: a CR alone in it is read as in any value of
// one line. Asked of every property: the last letter rules out nearly every
// other name.
inline bool isFreeTextName(const unsigned char* name, size_t length)
{
    if (length < 4)
        return false;
    switch (name[length - 1] & ~0x20u) {
    case 'E':
        return endsInName(name, length, "NOTE", 4);
    case 'L':
        return endsInName(name, length, "LABEL", 5);
    default:
        return false;
    }
}

} // namespace vcardsyntax
