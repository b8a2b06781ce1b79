// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/legacytext.h"

#include "model/controlcharacters.h"

#include <QStringDecoder>

#include <algorithm>
#include <bitset>
#include <cstring>
#include <utility>

namespace legacytext {

namespace {

// Whether the eight bytes from p on are ASCII: most text is, and the loops
// over it pass it over eight bytes at a time.
bool asciiWordAt(const uchar* p, const uchar* end)
{
    if (end - p < 8)
        return false;
    quint64 word;
    std::memcpy(&word, p, 8);
    return (word & 0x8080808080808080ULL) == 0;
}

} // namespace

bool isValidUtf8(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const uchar* const end = p + bytes.size();
    while (p < end) {
        if (asciiWordAt(p, end)) {
            p += 8;
            continue;
        }
        const uchar c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int more = 0;
        uint cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= more)
            return false;
        for (int i = 1; i <= more; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (more == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)))
            return false;
        if (more == 3 && (cp < 0x10000 || cp > 0x10FFFF))
            return false;
        p += more + 1;
    }
    return true;
}

namespace {

// The length of the valid UTF-8 sequence of two or more bytes that starts
// at p, 0 when none does (as isValidUtf8() tells them).
int sequenceAt(const uchar* p, const uchar* end)
{
    const uchar c = *p;
    int more = 0;
    uint cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        more = 1;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        more = 2;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        more = 3;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (end - p <= more)
        return 0;
    for (int i = 1; i <= more; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if ((more == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (more == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
        return 0;
    return more + 1;
}

// The character of the valid sequence of `length` bytes at p.
char32_t codeOf(const uchar* p, int length)
{
    char32_t code = *p & (0x7F >> length);
    for (int i = 1; i < length; ++i)
        code = code << 6 | (p[i] & 0x3F);
    return code;
}

// What the bytes from p on start with: a character of ASCII or of a valid
// sequence, U+FFFD for a stray byte, a blank at the end.
char32_t characterAt(const uchar* p, const uchar* end)
{
    if (p == end)
        return u' ';
    if (*p < 0x80)
        return *p;
    const int length = sequenceAt(p, end);
    return length > 0 ? codeOf(p, length) : char32_t(QChar::ReplacementCharacter);
}

// Calls sequence(from, length) for every valid sequence of two or more
// bytes and stray(at) for every other byte from 0x80 up.
template <class Sequence, class Stray>
void walkUtf8(QByteArrayView bytes, Sequence sequence, Stray stray)
{
    const auto* const begin = reinterpret_cast<const uchar*>(bytes.constData());
    const uchar* const end = begin + bytes.size();
    for (const uchar* p = begin; p < end;) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        if (const int length = sequenceAt(p, end)) {
            sequence(p - begin, length);
            p += length;
        } else {
            stray(p - begin);
            ++p;
        }
    }
}

} // namespace

bool formsUtf8ByChance(QByteArrayView bytes)
{
    const auto* const begin = reinterpret_cast<const uchar*>(bytes.constData());
    const uchar* const end = begin + bytes.size();
    // The two characters before a sequence: the bytes of ASCII before it,
    // else what the bytes beyond ASCII before them stood for.
    char32_t before = u' ';
    char32_t beforeThat = u' ';
    const uchar* ascii = begin;
    bool found = false;
    for (const uchar* p = begin; p < end;) {
        if (asciiWordAt(p, end)) {
            p += 8;
            continue;
        }
        if (*p < 0x80) {
            ++p;
            continue;
        }
        if (p - ascii >= 2) {
            beforeThat = p[-2];
            before = p[-1];
        } else if (p - ascii == 1) {
            beforeThat = before;
            before = p[-1];
        }
        const int length = sequenceAt(p, end);
        char32_t code = u' ';
        if (length > 0) {
            // A valid sequence: one with a sign's byte that reads as no
            // character of text, or the text is UTF-8.
            code = codeOf(p, length);
            const bool sign = std::any_of(p + 1, p + length, [](uchar c) { return c < 0xA0; });
            if (!sign || pim::isCharacterOfText(code, before, beforeThat, characterAt(p + length, end)))
                return false;
            found = true;
        }
        // What a stray byte stands for is not known here.
        beforeThat = before;
        before = code;
        p += qMax(length, 1);
        ascii = p;
    }
    return found;
}

bool isUtf8WithStrayBytes(QByteArrayView bytes)
{
    if (formsUtf8ByChance(bytes))
        return false;
    qsizetype inSequences = 0;
    qsizetype strays = 0;
    walkUtf8(bytes, [&](qsizetype, int length) { inSequences += length; }, [&](qsizetype) { ++strays; });
    if (inSequences == 0 || strays * 2 > inSequences)
        return false;
    // Thai or Cyrillic code pages put such pairs side by side often enough;
    // as UTF-8 they give letters of other scripts inside one word.
    QString letters;
    qsizetype plainFrom = 0;
    walkUtf8(
        bytes,
        [&](qsizetype at, int length) {
            letters += QLatin1StringView(bytes.constData() + plainFrom, at - plainFrom);
            letters += QString::fromUtf8(bytes.sliced(at, length));
            plainFrom = at + length;
        },
        [&](qsizetype at) {
            letters += QLatin1StringView(bytes.constData() + plainFrom, at - plainFrom);
            plainFrom = at + 1;
        });
    letters += QLatin1StringView(bytes.constData() + plainFrom, bytes.size() - plainFrom);
    return fitsText(letters);
}

QString fromUtf8WithStrayBytes(QByteArrayView bytes, WesternSet set)
{
    QString text;
    text.reserve(bytes.size());
    qsizetype plainFrom = 0;
    const auto plainUpTo = [&](qsizetype at) {
        text += QLatin1StringView(bytes.constData() + plainFrom, at - plainFrom);
    };
    walkUtf8(
        bytes,
        [&](qsizetype at, int length) {
            plainUpTo(at);
            text += QString::fromUtf8(bytes.sliced(at, length));
            plainFrom = at + length;
        },
        [&](qsizetype at) {
            plainUpTo(at);
            const QChar c = fromWestern(bytes.sliced(at, 1), set).at(0);
            if (c.unicode() < 0x80 || c.unicode() > 0x9F)
                text += c;
            plainFrom = at + 1;
        });
    plainUpTo(bytes.size());
    return text;
}

QByteArray strayBytesInContext(QByteArrayView bytes)
{
    QByteArray context;
    context.reserve(bytes.size());
    qsizetype plainFrom = 0;
    const auto plainUpTo = [&](qsizetype at) { context.append(bytes.sliced(plainFrom, at - plainFrom)); };
    walkUtf8(
        bytes,
        [&](qsizetype at, int length) {
            plainUpTo(at);
            context.append('a');
            plainFrom = at + length;
        },
        [&](qsizetype) {});
    plainUpTo(bytes.size());
    return context;
}

namespace {

// Scripts that the characters of one word may not mix, but Chinese,
// Japanese and Korean ones form one, as their words do.
constexpr int kNoScript = -1;
constexpr int kEastAsian = -2;
// Japanese syllables, of the same group but taking single Latin letters
// in front ("i\u30E2\u30FC\u30C9").
constexpr int kKana = -3;

// The script a character binds a word to: that of a letter, and also of
// a digit, sign or vowel point of a script of its own (a Thai digit, a
// Hebrew point); kNoScript for what any script uses. Unicode files some
// signs of one script under none: the Arabic vowel marks and punctuation,
// the Greek accents and question mark, the Thai currency sign, the
// half-width Japanese sound marks and signs.
int scriptOf(char32_t cp)
{
    if ((cp >= 0x064B && cp <= 0x065F) || cp == 0x0670 || (cp >= 0x0610 && cp <= 0x061A) || cp == 0x060C
        || cp == 0x061B || cp == 0x061F || cp == 0x0640)
        return int(QChar::Script_Arabic);
    if (cp == 0x037E || cp == 0x0384 || cp == 0x0385 || cp == 0x0387)
        return int(QChar::Script_Greek);
    if (cp == 0x0E3F)
        return int(QChar::Script_Thai);
    if (cp >= 0xFF61 && cp <= 0xFF9F)
        return kKana;
    // Full-width signs stand only in Chinese, Japanese or Korean text.
    if ((cp >= 0xFF01 && cp <= 0xFF0F) || (cp >= 0xFF1A && cp <= 0xFF20) || (cp >= 0xFF3B && cp <= 0xFF40)
        || (cp >= 0xFF5B && cp <= 0xFF60) || (cp >= 0x3000 && cp <= 0x303F))
        return kEastAsian;
    switch (QChar::script(cp)) {
    case QChar::Script_Common:
    case QChar::Script_Inherited:
    case QChar::Script_Unknown:
        return kNoScript;
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
        return kKana;
    case QChar::Script_Han:
    case QChar::Script_Hangul:
    case QChar::Script_Bopomofo:
        return kEastAsian;
    default:
        return int(QChar::script(cp));
    }
}

// The box-drawing, block and shape characters and mathematical signs that
// fill the upper half of DOS and KOI8 code pages: never in contact text.
bool isCodePageGraphic(char32_t cp)
{
    return (cp >= 0x2500 && cp <= 0x25FF) || cp == 0x2320 || cp == 0x2321 || cp == 0x2219 || cp == 0x221A
        || cp == 0x2248 || cp == 0x2264 || cp == 0x2265 || cp == 0x00F7;
}

// Reads words and tells whether their scripts fit text of one writer.
class ScriptCheck {
public:
    // Whether the character, within or after the word read so far, keeps
    // the text fitting.
    bool add(char32_t cp)
    {
        int script = scriptOf(cp);
        const bool letter = QChar::isLetter(cp);
        if (script == kNoScript) {
            if (letter || QChar::isMark(cp)) {
                ++m_letters;
                m_afterLetter = letter;
                m_symbolAfterLetter = false;
                return true;
            }
            // A sign of another code page between two letters ("O\u2593Brien").
            if (m_symbolAfterLetter)
                return false;
            m_symbolAfterLetter = m_afterLetter && cp >= 0x80 && isSymbol(cp);
            m_afterLetter = false;
            endWord();
            return true;
        }
        if (m_symbolAfterLetter)
            return false;
        m_afterLetter = true;
        ++m_letters;
        const bool kana = script == kKana;
        if (kana)
            script = kEastAsian;
        const bool fits = m_script == kNoScript || m_script == script || joins(script, kana, cp);
        if (m_script != script) {
            m_latinRun = 0;
            m_latinLower = false;
        }
        m_script = script;
        if (script == kEastAsian)
            ++m_eastAsianLetters;
        if (script == kLatin) {
            ++m_latinLetters;
            ++m_latinRun;
            m_latinLower = m_latinLower || QChar::isLower(cp);
        }
        return fits;
    }

    // Ends the text: whether a word of a single letter is of a script no
    // longer word of the text has ("la \u03B0 Paris", "Owes \u0402 40").
    bool finish()
    {
        endWord();
        std::bitset<256> lone = m_loneScripts & ~m_wordScripts;
        // Single Latin letters label things in text of any script.
        lone.reset(size_t(kLatin));
        // Latin words with a Chinese character inside ("L\u9950 Moreau")
        // are Western text misread; Japanese text that mixes in Latin
        // letters is mostly Japanese.
        if (m_mixed && m_eastAsianLetters * 2 < m_latinLetters)
            return false;
        return lone.none() || m_wordScripts.none();
    }

private:
    static constexpr int kLatin = int(QChar::Script_Latin);

    // Chinese and Japanese words take Latin capitals in front
    // ("NTT\u6771", "A\u68DF"), a small letter in front of Japanese
    // syllables ("i\u30E2"), and capitals behind; nothing else changes
    // script within a word.
    bool joins(int script, bool kana, char32_t cp)
    {
        bool joined = false;
        if (m_script == kLatin && script == kEastAsian)
            joined = !m_latinLower || (m_latinRun == 1 && kana);
        else if (m_script == kEastAsian && script == kLatin)
            joined = QChar::isUpper(cp);
        m_mixed = m_mixed || joined;
        return joined;
    }

    static bool isSymbol(char32_t cp)
    {
        const QChar::Category category = QChar::category(cp);
        return category == QChar::Symbol_Math || category == QChar::Symbol_Currency
            || category == QChar::Symbol_Modifier || category == QChar::Symbol_Other;
    }

    void endWord()
    {
        if (m_script != kNoScript) {
            // Chinese, Japanese and Korean share the last slot.
            const size_t slot = m_script >= 0 ? size_t(m_script) : m_loneScripts.size() - 1;
            if (m_letters == 1)
                m_loneScripts.set(slot);
            else
                m_wordScripts.set(slot);
        }
        m_script = kNoScript;
        m_letters = 0;
        m_latinRun = 0;
        m_latinLower = false;
    }

    int m_script = kNoScript;
    int m_letters = 0;
    bool m_afterLetter = false;
    bool m_symbolAfterLetter = false;
    // Whether a word joined Latin and Chinese, Japanese or Korean letters,
    // and how many of each the text holds.
    bool m_mixed = false;
    qsizetype m_latinLetters = 0;
    qsizetype m_eastAsianLetters = 0;
    int m_latinRun = 0;
    bool m_latinLower = false;
    std::bitset<256> m_loneScripts;
    std::bitset<256> m_wordScripts;
};

} // namespace

bool fitsText(QStringView text)
{
    ScriptCheck check;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t cp = text.at(i).unicode();
        if (QChar::isHighSurrogate(cp) && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        }
        if (cp == QChar::ReplacementCharacter)
            return false;
        // Decoders put SUB (U+001A) or a C1 code where they met no letter.
        if (cp < 0x20 ? cp != u'\t' && cp != u'\n' && cp != u'\r' : cp >= 0x7F && cp <= 0x9F)
            return false;
        const QChar::Category category = QChar::category(cp);
        if (category == QChar::Other_PrivateUse || category == QChar::Other_NotAssigned
            || category == QChar::Other_Surrogate || isCodePageGraphic(cp))
            return false;
        if (!check.add(cp))
            return false;
    }
    return check.finish();
}

std::optional<QString> borrowedReading(
    QByteArrayView bytes, const std::function<QString(QByteArrayView)>& decode)
{
    // A decoder of a multi-byte set drops a lead byte at the end without a
    // trace; a line end after it shows the loss as a replacement.
    QByteArray line;
    line.reserve(bytes.size() + 1);
    line.append(bytes).append('\n');
    QString text = decode(line);
    if (!text.endsWith(u'\n'))
        return std::nullopt;
    text.chop(1);
    if (!fitsText(text))
        return std::nullopt;
    return text;
}

std::optional<Utf16Start> utf16Start(QByteArrayView head)
{
    if (head.startsWith("\xFF\xFE"))
        return Utf16Start { true, 2 };
    if (head.startsWith("\xFE\xFF"))
        return Utf16Start { false, 2 };
    // A kilobyte shows the pattern; a letter such as U+4E00 puts a zero on
    // the other side now and then, a stray NUL in a text file does not
    // make a quarter of its characters.
    constexpr qsizetype kLooked = 1024;
    const qsizetype pairs = qMin(head.size(), kLooked) / 2;
    qsizetype even = 0;
    qsizetype odd = 0;
    for (qsizetype i = 0; i < pairs * 2; i += 2) {
        even += head[i] == 0 ? 1 : 0;
        odd += head[i + 1] == 0 ? 1 : 0;
    }
    const auto dominant = [pairs](qsizetype zeros, qsizetype others) {
        return zeros >= 2 && zeros * 4 >= pairs && others * 8 <= zeros;
    };
    if (dominant(odd, even))
        return Utf16Start { true, 0 };
    if (dominant(even, odd))
        return Utf16Start { false, 0 };
    return std::nullopt;
}

QByteArray utf16ToUtf8(QByteArrayView data, Utf16Start start)
{
    QStringDecoder decoder(start.littleEndian ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
                           QStringConverter::Flag::Stateless);
    return QString(decoder.decode(data.sliced(qMin<qsizetype>(start.markLength, data.size())))).toUtf8();
}

} // namespace legacytext
