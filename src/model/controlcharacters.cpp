// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/controlcharacters.h"

#include <QChar>

#include <algorithm>
#include <iterator>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pim {

const char16_t kWindows1252C1[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

namespace {

// Below U+0020, the controls a stored text keeps.
constexpr quint32 kKeptControls = (1u << 9) | (1u << 10) | (1u << 13);

inline bool isDroppedControl(char16_t c)
{
    return c < 0x20 ? !(kKeptControls >> c & 1) : char16_t(c - 0x7F) <= 0x20;
}

qsizetype firstDroppedControlIn(const char16_t* text, qsizetype from, qsizetype to)
{
    for (qsizetype i = from; i < to; ++i) {
        if (isDroppedControl(text[i]))
            return i;
    }
    return -1;
}

// Where the first character a stored text does not keep stands; n for none.
qsizetype firstDroppedControl(const char16_t* text, qsizetype n)
{
#if defined(__SSE2__)
    if (n >= 8) {
        // Eight at a time: a control character, tab and line breaks among
        // them, leaves a zero where 0x1F is taken from it, or 0x20 from
        // what 0x7F less leaves, without going below zero; only a block
        // that holds one is looked at closer. The last block may overlap
        // the one before.
        const __m128i k1F = _mm_set1_epi16(0x1F);
        const __m128i k7F = _mm_set1_epi16(0x7F);
        const __m128i k20 = _mm_set1_epi16(0x20);
        const __m128i zero = _mm_setzero_si128();
        for (qsizetype i = 0;; i += 8) {
            if (i > n - 8)
                i = n - 8;
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
            const __m128i low = _mm_cmpeq_epi16(_mm_subs_epu16(v, k1F), zero);
            const __m128i c1 = _mm_cmpeq_epi16(_mm_subs_epu16(_mm_sub_epi16(v, k7F), k20), zero);
            if (_mm_movemask_epi8(_mm_or_si128(low, c1)) != 0) {
                if (const qsizetype at = firstDroppedControlIn(text, i, i + 8); at >= 0)
                    return at;
            }
            if (i == n - 8)
                return n;
        }
    }
#endif
    const qsizetype at = firstDroppedControlIn(text, 0, n);
    return at < 0 ? n : at;
}

// Whether the UTF-8 bytes from `at` on start with a character that stored
// text does not keep; `end` bounds the look at a second byte.
bool droppedControlAt(const uchar* at, const uchar* end)
{
    const uchar c = *at;
    if (c < 0x20)
        return !(kKeptControls >> c & 1);
    // DEL, and U+0080 to U+009F written in two bytes.
    return c == 0x7F || (c == 0xC2 && at + 1 < end && at[1] >= 0x80 && at[1] <= 0x9F);
}

} // namespace

bool mayHoldControlCharacters(QByteArrayView utf8)
{
    const auto* p = reinterpret_cast<const uchar*>(utf8.data());
    const uchar* const end = p + utf8.size();
#if defined(__SSE2__)
    // Sixteen at a time: bytes below 0x20 but tab and line breaks, DEL, and
    // the lead byte of U+0080 to U+00BF; only a block that holds one is
    // looked at closer.
    const __m128i k1F = _mm_set1_epi8(0x1F);
    const __m128i zero = _mm_setzero_si128();
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i low = _mm_cmpeq_epi8(_mm_subs_epu8(v, k1F), zero);
        const __m128i other = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F)),
                                           _mm_cmpeq_epi8(v, _mm_set1_epi8(char(0xC2))));
        const int candidates = _mm_movemask_epi8(_mm_or_si128(low, other));
        if (candidates == 0)
            continue;
        // A line's end is no candidate.
        const __m128i kept = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\t')),
                                                       _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))),
                                          _mm_cmpeq_epi8(v, _mm_set1_epi8('\r')));
        if ((candidates & ~_mm_movemask_epi8(kept)) == 0)
            continue;
        for (int i = 0; i < 16; ++i) {
            if (droppedControlAt(p + i, end))
                return true;
        }
    }
#endif
    for (; p < end; ++p) {
        if (droppedControlAt(p, end))
            return true;
    }
    return false;
}

namespace {

inline bool isC1(char16_t c)
{
    return char16_t(c - 0x80) < 0x20;
}

// A C1 control that stands alone, as a stored text keeps it.
char16_t readAlone(char16_t c)
{
    if (c == 0x85)
        return u'\n';
    const char16_t letter = kWindows1252C1[c - 0x80];
    return isC1(letter) ? u'\uFFFD' : letter;
}

// The character that the run of code points from `at` stands for when
// they are the bytes of its UTF-8 read as Latin-1: a lead U+00C2 to
// U+00F4, then as many of U+0080 to U+00BF as it asks for and no more;
// how many it takes in `length`, or 0 for none, and in `control` whether
// one of them is a C1 control.
char32_t latin1RunAt(const char16_t* text, qsizetype at, qsizetype n, qsizetype& length, bool& control)
{
    const char16_t lead = text[at];
    if (lead < 0xC2 || lead > 0xF4)
        return 0;
    const qsizetype size = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (at + size > n || (at + size < n && char16_t(text[at + size] - 0x80) < 0x40))
        return 0;
    // Second bytes that would make an overlong form, a surrogate or a code
    // point beyond U+10FFFF.
    const char16_t second = text[at + 1];
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90)
        || (lead == 0xF4 && second > 0x8F))
        return 0;
    char32_t code = lead & (0xFF >> (size + 1));
    control = false;
    for (qsizetype i = 1; i < size; ++i) {
        const char16_t c = text[at + i];
        if (char16_t(c - 0x80) >= 0x40)
            return 0;
        control = control || c < 0xA0;
        code = code << 6 | (c & 0x3F);
    }
    length = size;
    return code;
}

// Whether the text, taken whole, is UTF-8 read as Latin-1 and written
// again: every code point U+0080 to U+00FF stands in a run of one
// character's bytes, one run holds a C1 control, and more of the runs read
// as characters of text than as none. A byte standing alone, a C1 control
// or a Latin-1 letter that no continuation follows, is text of a code page
// (windows-1252 read as Latin-1: "Spa\u00DF\u0093" is "Spaß“", not
// "Spa\u07D3"). Where the first run starts, in `from`.
bool readsEncodedTwice(const char16_t* text, qsizetype n, qsizetype& from)
{
    qsizetype ofText = 0;
    qsizetype ofNone = 0;
    bool control = false;
    char32_t before = u' ';
    char32_t beforeThat = u' ';
    from = n;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i];
        if (c < 0x80 || c > 0xFF) {
            beforeThat = before;
            before = c;
            continue;
        }
        qsizetype length = 0;
        bool runControl = false;
        const char32_t code = latin1RunAt(text, i, n, length, runControl);
        if (length == 0)
            return false;
        from = qMin(from, i);
        control = control || runControl;
        if (isCharacterOfText(code, before, beforeThat))
            ++ofText;
        else
            ++ofNone;
        beforeThat = before;
        before = code;
        i += length - 1;
    }
    return control && ofText > ofNone;
}

void append(char16_t* units, qsizetype& kept, char32_t code)
{
    if (code < 0x10000) {
        units[kept++] = char16_t(code);
    } else {
        units[kept++] = QChar::highSurrogate(code);
        units[kept++] = QChar::lowSurrogate(code);
    }
}

} // namespace

bool isCharacterOfText(char32_t c, char32_t before, char32_t beforeThat)
{
    const bool letter = QChar::isLetter(c);
    // A letter of another script glued to a Latin one, or a small letter
    // ending a word of capitals, is a letter of windows-1252 and a sign
    // read as one ("HABL\u00D3\u201D" as "HABL\u04D4", "CAF\u00C9\u2122" as
    // "CAF\u0259").
    if (letter && QChar::isLetter(before) && QChar::script(before) == QChar::Script_Latin
        && (QChar::script(c) != QChar::Script_Latin
            || (QChar::isLower(c) && QChar::isUpper(before) && QChar::isUpper(beforeThat))))
        return false;
    // Latin-1 and Latin Extended-A: the letters of European languages, the
    // signs, and the C1 controls where windows-1252 has its signs.
    if (c < 0x180)
        return true;
    // A combining accent of decomposed text follows a letter of its own
    // script.
    const bool accent = QChar::isMark(c) && QChar::isLetter(before);
    if (c < 0x370) {
        // Of the rest of Latin, the phonetic letters and the accents, only
        // the letters of living alphabets (Azerbaijani, Vietnamese,
        // Romanian) and the accents of European letters.
        switch (c) {
        case 0x018F:
        case 0x01A0:
        case 0x01A1:
        case 0x01AF:
        case 0x01B0:
        case 0x0218:
        case 0x0219:
        case 0x021A:
        case 0x021B:
        case 0x0259:
            return true;
        default:
            return accent && before < 0x370 && (c <= 0x030C || c == 0x0323 || c == 0x0327 || c == 0x0328);
        }
    }
    if (c < 0x800) {
        // Greek; Cyrillic with the letters of Ukrainian, Kazakh, Tatar and
        // their neighbours; Armenian; Hebrew; Arabic with the Persian
        // letters, the points after a letter of their own.
        if (c < 0x400)
            return letter;
        if (c < 0x530) {
            static constexpr char16_t kMoreCyrillic[] = { 0x490, 0x491, 0x492, 0x493, 0x496, 0x497, 0x49A,
                                                          0x49B, 0x4A2, 0x4A3, 0x4AE, 0x4AF, 0x4B0, 0x4B1,
                                                          0x4BA, 0x4BB, 0x4D8, 0x4D9, 0x4E8, 0x4E9 };
            return c < 0x460 || std::find(std::begin(kMoreCyrillic), std::end(kMoreCyrillic), c)
                != std::end(kMoreCyrillic);
        }
        if (c < 0x590)
            return letter;
        const bool pointed = accent && before >= 0x590 && before < 0x700;
        if (c < 0x600)
            return (letter && c >= 0x5D0) || pointed;
        if (c < 0x700)
            return (letter && (c <= 0x64A || c == 0x67E || c == 0x686 || c == 0x698 || c == 0x6A9 || c == 0x6AF
                               || c == 0x6CC))
                || pointed;
        // Syriac, Thaana, N'Ko: what a capital and a sign of windows-1252
        // make ("\u00DF\u201C"), not contact text.
        return false;
    }
    const QChar::Category category = QChar::category(c);
    if (category == QChar::Other_PrivateUse || category == QChar::Other_NotAssigned
        || category == QChar::Other_Surrogate)
        return false;
    // Nor an accent glued to a Latin letter.
    if (QChar::isMark(c) && QChar::isLetter(before) && QChar::script(before) == QChar::Script_Latin)
        return false;
    if (c < 0x10000) {
        // Rare scripts, old letters, Yi syllables, presentation forms.
        return !(c >= 0x2C00 && c < 0x2E00) && !(c >= 0xA000 && c < 0xA4D0) && !(c >= 0xF900 && c < 0xFE00)
            && !(c >= 0xFE10 && c < 0xFE70);
    }
    // Emoji and their flags, Chinese characters.
    return (c >= 0x1F000 && c < 0x1FB00) || (c >= 0x20000 && c < 0x31350) || (c >= 0xE0000 && c < 0xE0080);
}

ControlCharacterChanges dropControlCharacters(QString& text, ReadFrom from)
{
    const qsizetype n = text.size();
    const qsizetype first = firstDroppedControl(reinterpret_cast<const char16_t*>(text.constData()), n);
    ControlCharacterChanges changes;
    if (first == n)
        return changes;
    // Nothing is written ahead of what is read.
    char16_t* const units = reinterpret_cast<char16_t*>(text.data());
    qsizetype runsFrom = n;
    const bool twice = from == ReadFrom::Unicode && readsEncodedTwice(units, n, runsFrom);
    const qsizetype start = twice ? qMin(first, runsFrom) : first;
    qsizetype kept = start;
    for (qsizetype i = start; i < n; ++i) {
        const char16_t c = units[i];
        if (twice && c >= 0xC2 && c <= 0xF4) {
            // Every code point of the Latin-1 range leads or continues a run.
            qsizetype length = 0;
            bool control = false;
            const char32_t code = latin1RunAt(units, i, n, length, control);
            i += length - 1;
            if (code < 0xA0) {
                changes.controls = true;
                units[kept++] = readAlone(char16_t(code));
            } else {
                append(units, kept, code);
            }
            continue;
        }
        if (!isDroppedControl(c)) {
            units[kept++] = c;
            continue;
        }
        changes.controls = true;
        if (c == 0x0B || c == 0x0C)
            units[kept++] = u'\n';
        else if (c >= 0x80)
            units[kept++] = from == ReadFrom::Unicode || c == 0x85 ? readAlone(c) : u'\uFFFD';
    }
    changes.twiceEncoded = twice;
    text.truncate(kept);
    return changes;
}

} // namespace pim
