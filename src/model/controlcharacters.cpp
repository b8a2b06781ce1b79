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
char16_t readAlone(char16_t c, LineBreaks breaks = LineBreaks::Kept)
{
    if (c == 0x85)
        return breaks == LineBreaks::Kept ? u'\n' : u' ';
    const char16_t letter = kWindows1252C1[c - 0x80];
    return isC1(letter) ? u'\uFFFD' : letter;
}

// The byte a code point stands for where text was read in a one-byte code
// page: below U+0100 its own; through windows-1252 also each of its signs.
// -1 for none.
int byteOf(char16_t c, bool windows)
{
    if (c < 0x100)
        return c;
    if (windows && c >= 0x152 && c <= 0x2122) {
        for (int i = 0; i < 32; ++i) {
            if (kWindows1252C1[i] == c)
                return 0x80 + i;
        }
    }
    return -1;
}

inline bool isContinuation(int byte)
{
    return byte >= 0x80 && byte < 0xC0;
}

// A run of code points from `at` that stand for the bytes of one
// character's UTF-8: a lead 0xC2 to 0xF4, then as many bytes 0x80 to 0xBF
// as it asks for and no more.
struct Run {
    char32_t code = 0;
    // How many code points it takes; 0 for none.
    qsizetype length = 0;
    // Whether one of them is a C1 control.
    bool control = false;
    // None, but a lead and at least one byte after it that the text's end
    // cut off (`control` tells whether one is a C1 control).
    bool cut = false;
};

Run runAt(const char16_t* text, qsizetype at, qsizetype n, bool windows)
{
    Run run;
    const int lead = byteOf(text[at], windows);
    if (lead < 0xC2 || lead > 0xF4)
        return run;
    const qsizetype size = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t code = char32_t(lead) & (0xFFu >> (size + 1));
    bool control = false;
    qsizetype i = 1;
    for (; i < size && at + i < n; ++i) {
        const int byte = byteOf(text[at + i], windows);
        if (!isContinuation(byte))
            break;
        // Second bytes that would make an overlong form, a surrogate or a
        // code point beyond U+10FFFF.
        if (i == 1
            && ((lead == 0xE0 && byte < 0xA0) || (lead == 0xED && byte > 0x9F) || (lead == 0xF0 && byte < 0x90)
                || (lead == 0xF4 && byte > 0x8F)))
            return run;
        control = control || isC1(text[at + i]);
        code = code << 6 | char32_t(byte & 0x3F);
    }
    if (i < size) {
        run.cut = at + i == n && i > 1;
        run.control = control;
        return run;
    }
    // A next line right after is a line break, not a byte more.
    if (at + size < n && text[at + size] != 0x85 && isContinuation(byteOf(text[at + size], windows)))
        return run;
    run.code = code;
    run.length = size;
    run.control = control;
    return run;
}

// What the runs of a text and its C1 controls tell, read as Latin-1 or
// through windows-1252.
struct Evidence {
    qsizetype ofText = 0;
    qsizetype ofNone = 0;
    // A run holds a C1 control.
    bool control = false;
    // A C1 control but a next line stands in no run and in none cut off.
    bool alone = false;

    bool twice() const { return control && !alone && ofText > ofNone; }
};

Evidence evidenceOf(const char16_t* text, qsizetype n, bool windows)
{
    Evidence evidence;
    char32_t before = u' ';
    char32_t beforeThat = u' ';
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
            beforeThat = before;
            before = c;
            continue;
        }
        const Run run = runAt(text, i, n, windows);
        if (run.length == 0) {
            if (run.cut)
                break;
            evidence.alone = evidence.alone || (isC1(c) && c != 0x85);
            beforeThat = before;
            before = c;
            continue;
        }
        evidence.control = evidence.control || run.control;
        // What follows it as written (the lead of another run reads as a
        // letter).
        const char32_t after = i + run.length < n ? char32_t(text[i + run.length]) : u' ';
        if (isCharacterOfText(run.code, before, beforeThat, after))
            ++evidence.ofText;
        else
            ++evidence.ofNone;
        beforeThat = before;
        before = run.code;
        i += run.length - 1;
    }
    return evidence;
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

// Whether a small letter after two capitals is one that capitals keep
// (see isCharacterOfText()): "\u00DF", or a letter of Latin-1 and Latin
// Extended-A whose second byte windows-1252 reads as a sign, before a
// capital but for a dash between two words, or at a word's end where that
// sign ends no word (a low quote, a florin, a double dagger, a per mille,
// an accent alone, a "\u0178", a byte it leaves unassigned, or a dash at
// the end of a Lithuanian name: "JANKAUSKIEN\u0117"). Before a small
// letter it is an apostrophe or a quote ("SK\u00C5\u2018s").
bool keptByCapitals(char32_t c, char32_t after)
{
    if (c == 0xDF)
        return true;
    if (c < 0x100 || c >= 0x180)
        return false;
    const uint second = 0x80 | (c & 0x3F);
    if (second >= 0xA0)
        return false;
    if (QChar::isLetter(after))
        return second != 0x97 && QChar::isUpper(after);
    switch (second) {
    case 0x81:
    case 0x82:
    case 0x83:
    case 0x84:
    case 0x87:
    case 0x88:
    case 0x89:
    case 0x8D:
    case 0x8F:
    case 0x90:
    case 0x97:
    case 0x98:
    case 0x9D:
    case 0x9F:
        return true;
    default:
        return false;
    }
}

// The text from `start` on, read as `writing` says, written in place.
// `careful`: the text itself tells nothing and is read as those beside it,
// so a run becomes its character only where that reads as text.
ControlCharacterChanges readControls(QString& text, qsizetype start, Writing writing, ReadFrom from,
                                     LineBreaks breaks, bool careful = false)
{
    ControlCharacterChanges changes;
    const qsizetype n = text.size();
    // Nothing is written ahead of what is read.
    char16_t* const units = reinterpret_cast<char16_t*>(text.data());
    const bool twice = writing == Writing::Twice || writing == Writing::TwiceThroughWindows1252;
    const bool windows = writing == Writing::TwiceThroughWindows1252;
    const char16_t lineBreak = breaks == LineBreaks::Kept ? u'\n' : u' ';
    char32_t before = start > 0 ? units[start - 1] : u' ';
    char32_t beforeThat = start > 1 ? units[start - 2] : u' ';
    qsizetype kept = start;
    for (qsizetype i = start; i < n; ++i) {
        const char16_t c = units[i];
        if (twice && c >= 0xC2 && c <= 0xF4) {
            // Every run is read, those without a control too.
            const Run run = runAt(units, i, n, windows);
            if (run.length > 0
                && (!careful
                    || isCharacterOfText(run.code, before, beforeThat,
                                         i + run.length < n ? char32_t(units[i + run.length]) : u' '))) {
                changes.twiceEncoded = true;
                i += run.length - 1;
                if (run.code < 0xA0) {
                    changes.controls = true;
                    units[kept++] = readAlone(char16_t(run.code), breaks);
                } else {
                    append(units, kept, run.code);
                }
                beforeThat = before;
                before = run.code;
                continue;
            }
            if (run.cut) {
                // A letter cut off at the end: what is left of it is no text.
                changes.twiceEncoded = true;
                changes.controls = changes.controls || run.control;
                break;
            }
        }
        beforeThat = before;
        before = c;
        if (!isDroppedControl(c)) {
            units[kept++] = c;
            continue;
        }
        changes.controls = true;
        if (c == 0x0B || c == 0x0C)
            units[kept++] = lineBreak;
        else if (c >= 0x80)
            units[kept++] = from == ReadFrom::Unicode || c == 0x85 ? readAlone(c, breaks) : u'\uFFFD';
    }
    text.truncate(kept);
    return changes;
}

} // namespace

bool isCharacterOfText(char32_t c, char32_t before, char32_t beforeThat, char32_t after)
{
    // Four bytes of a code page make such a run by no chance: whatever it
    // stands for is text, newer than Qt's tables or not.
    if (c >= 0x10000)
        return true;
    const bool letter = QChar::isLetter(c);
    // A letter of another script glued to a Latin one, or a small letter
    // ending a word of capitals, is a letter of windows-1252 and a sign
    // read as one ("HABL\u00D3\u201D" as "HABL\u04D4", "CAF\u00C9\u2122" as
    // "CAF\u0259").
    if (letter && QChar::isLetter(before) && QChar::script(before) == QChar::Script_Latin
        && (QChar::script(c) != QChar::Script_Latin
            || (QChar::isLower(c) && QChar::isUpper(before) && QChar::isUpper(beforeThat)
                && !keptByCapitals(c, after))))
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
        // Romanian, the vowels of pinyin with their third tone and those
        // of "\u00FC") and the accents of European letters.
        if (c >= 0x01CD && c <= 0x01DC)
            return QChar::isLower(c);
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

Writing writingOf(QStringView text)
{
    const auto* units = reinterpret_cast<const char16_t*>(text.data());
    const qsizetype n = text.size();
    bool anyControl = false;
    // Whether every C1 control is one of the five bytes windows-1252 leaves
    // unassigned, or a next line.
    bool unassignedOnly = true;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = units[i];
        if (!isC1(c))
            continue;
        anyControl = true;
        unassignedOnly = unassignedOnly && (c == 0x85 || isC1(kWindows1252C1[c - 0x80]));
    }
    if (!anyControl)
        return Writing::Untold;
    if (unassignedOnly && evidenceOf(units, n, true).twice())
        return Writing::TwiceThroughWindows1252;
    const Evidence evidence = evidenceOf(units, n, false);
    if (evidence.twice())
        return Writing::Twice;
    // Next lines alone tell nothing, nor a letter cut off at the end,
    // which may as well be a letter and a sign ("caf\u00E9" U+0094).
    return evidence.control || evidence.alone ? Writing::Windows1252 : Writing::Untold;
}

Writing sharedWriting(const Writing* writings, qsizetype count)
{
    Writing shared = Writing::Untold;
    for (qsizetype i = 0; i < count; ++i) {
        switch (writings[i]) {
        case Writing::Untold:
            break;
        case Writing::Windows1252:
            return Writing::Untold;
        case Writing::Twice:
            if (shared == Writing::Untold)
                shared = Writing::Twice;
            break;
        case Writing::TwiceThroughWindows1252:
            shared = Writing::TwiceThroughWindows1252;
            break;
        }
    }
    return shared;
}

ControlCharacterChanges dropControlCharacters(QString& text, ReadFrom from)
{
    const qsizetype n = text.size();
    const qsizetype first = firstDroppedControl(reinterpret_cast<const char16_t*>(text.constData()), n);
    if (first == n)
        return {};
    const Writing writing = from == ReadFrom::Unicode ? writingOf(text) : Writing::Windows1252;
    if (writing == Writing::Twice || writing == Writing::TwiceThroughWindows1252)
        return readControls(text, 0, writing, from, LineBreaks::Kept);
    return readControls(text, first, writing, from, LineBreaks::Kept);
}

ControlCharacterChanges dropControlCharacters(QString& text, Writing own, Writing shared, LineBreaks breaks,
                                              ReadFrom from)
{
    const qsizetype n = text.size();
    const auto* units = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype first = firstDroppedControl(units, n);
    const auto isTwice = [](Writing writing) {
        return writing == Writing::Twice || writing == Writing::TwiceThroughWindows1252;
    };
    const Writing writing = own == Writing::Untold ? shared : own;
    if (from == ReadFrom::CodePage || !isTwice(writing))
        return first == n ? ControlCharacterChanges() : readControls(text, first, Writing::Windows1252, from, breaks);
    // A run starts at the first code point beyond ASCII.
    qsizetype start = 0;
    while (start < first && units[start] < 0x80)
        ++start;
    if (start == n)
        return {};
    return readControls(text, start, writing, ReadFrom::Unicode, breaks, !isTwice(own));
}

} // namespace pim
