// SPDX-License-Identifier: GPL-3.0-or-later
// The single-byte code pages of older writers: the two Western ones read from
// tables (windows-1252's the one a stored text reads a C1 control standing
// alone with), the guess between them, and the Windows code page beside each
// part of ISO-8859.
#include "fileformats/legacytext.h"

#include "model/contact.h"

#include <QStringDecoder>

#include <algorithm>
#include <utility>

namespace legacytext {

namespace {

// Text of an 8-bit code page that is Latin-1 but for the bytes from 0x80
// that the table gives.
template <size_t N>
QString fromHighTable(QByteArrayView bytes, const char16_t (&high)[N])
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char ch : bytes) {
        const uchar c = uchar(ch);
        *out++ = (c >= 0x80 && c < 0x80 + N) ? QChar(high[c - 0x80]) : QChar(c);
    }
    return text;
}

} // namespace

QString fromWindows1252(QByteArrayView bytes)
{
    return fromHighTable(bytes, pim::kWindows1252C1);
}

QString utf8OrWindows1252(QByteArrayView bytes)
{
    return isValidUtf8(bytes) ? QString::fromUtf8(bytes) : fromWindows1252(bytes);
}

QString fromMacRoman(QByteArrayView bytes)
{
    static const char16_t high[128] = {
        0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1,
        0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8,
        0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
        0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC,
        0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF,
        0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
        0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211,
        0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8,
        0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
        0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153,
        0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA,
        0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
        0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
        0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4,
        0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
        0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
    };
    return fromHighTable(bytes, high);
}

QString fromWestern(QByteArrayView bytes, WesternSet set)
{
    return set == WesternSet::MacRoman ? fromMacRoman(bytes) : fromWindows1252(bytes);
}

namespace {

// What a character is to the guess between the Western code pages.
enum CharKind : uchar { NonLetter, Lower, Upper, Caseless, Apostrophe, Control };

bool isLetterKind(CharKind kind)
{
    return kind == Lower || kind == Upper || kind == Caseless;
}

CharKind kindOf(QChar c)
{
    if (c == u'\u2019')
        return Apostrophe;
    switch (c.category()) {
    case QChar::Letter_Lowercase:
        return Lower;
    case QChar::Letter_Uppercase:
    case QChar::Letter_Titlecase:
        return Upper;
    case QChar::Letter_Other:
        return Caseless;
    case QChar::Other_Control:
        return Control;
    default:
        // Modifier letters (the circumflex and tilde of 0x88 and 0x98) are
        // accents standing alone, not letters of words.
        return NonLetter;
    }
}

// Every byte's kind in windows-1252 ([0]) and in Mac Roman ([1]).
struct KindTable {
    CharKind kind[2][256];

    KindTable()
    {
        QByteArray all(256, Qt::Uninitialized);
        for (int b = 0; b < 256; ++b)
            all[b] = char(b);
        const QString readings[2] = { fromWindows1252(all), fromMacRoman(all) };
        for (int set = 0; set < 2; ++set) {
            for (int b = 0; b < 256; ++b)
                kind[set][b] = b < 0x80 && !QChar::isLetter(b) ? NonLetter : kindOf(readings[set].at(b));
        }
    }
};

// How wrongly a character of the given kind reads between its neighbours:
// 2 for what no writer writes, a control code or a capital after a small
// letter or inside a word before one; 1 for what some do now and then, a
// small letter right before a capital or anything but an apostrophe
// between parts of a word (a byte outside ASCII next to it counts as one,
// being perhaps the wrong reading of a letter too); else 0.
int misfit(CharKind kind, CharKind before, bool highBefore, CharKind after, bool highAfter)
{
    switch (kind) {
    case Control:
        return 2;
    case Upper:
        return before == Lower || (isLetterKind(before) && after == Lower) ? 2 : 0;
    case Lower:
        return after == Upper ? 1 : 0;
    case NonLetter:
        return (isLetterKind(before) || highBefore) && (isLetterKind(after) || highAfter) ? 1 : 0;
    case Caseless:
    case Apostrophe:
        return 0;
    }
    return 0;
}

} // namespace

void WesternGuess::add(QByteArrayView bytes)
{
    count(bytes, 1);
}

void WesternGuess::addStrayBytes(QByteArrayView bytes)
{
    count(strayBytesInContext(bytes), 2);
}

void WesternGuess::count(QByteArrayView bytes, int least)
{
    static const KindTable table;
    const auto weighed = [least](int misfit) { return misfit >= least ? misfit : 0; };
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const uchar c = p[i];
        if (c < 0x80)
            continue;
        m_seen = true;
        const int before = i > 0 ? p[i - 1] : ' ';
        const int after = i + 1 < n ? p[i + 1] : ' ';
        const bool highBefore = before >= 0x80;
        const bool highAfter = after >= 0x80;
        m_windowsMisfits += weighed(
            misfit(table.kind[0][c], table.kind[0][before], highBefore, table.kind[0][after], highAfter));
        m_macMisfits += weighed(
            misfit(table.kind[1][c], table.kind[1][before], highBefore, table.kind[1][after], highAfter));
    }
}

void WesternGuess::merge(const WesternGuess& other)
{
    m_windowsMisfits += other.m_windowsMisfits;
    m_macMisfits += other.m_macMisfits;
    m_seen = m_seen || other.m_seen;
}

WesternSet WesternGuess::choice() const
{
    // windows-1252 text has few misfits of its own (a dash between two
    // words, "STRAßE"), and mostly the same ones read as Mac Roman: Mac
    // Roman wins only clearly, with under half the misfits of windows-1252
    // and at least one of those that no writer writes, or two lesser ones.
    return m_windowsMisfits >= 2 * m_macMisfits + 2 ? WesternSet::MacRoman : WesternSet::Windows1252;
}

namespace {

// The part of ISO-8859 the name names, 0 for a name of no part.
int isoPartOf(QByteArrayView charset)
{
    QByteArray key = charset.trimmed().toByteArray().toUpper();
    int part = 0;
    static const std::pair<const char*, int> latin[] = { { "LATIN1", 1 }, { "LATIN2", 2 }, { "LATIN4", 4 },
                                                         { "LATIN5", 9 }, { "LATIN7", 13 }, { "LATIN9", 15 },
                                                         { "L1", 1 }, { "L2", 2 }, { "L4", 4 }, { "L9", 15 } };
    for (const auto& [name, number] : latin) {
        if (key == name)
            part = number;
    }
    if (part == 0) {
        // ISO-8859-2, ISO8859-2, ISO_8859-2:1987, ISO-8859-8-I
        const qsizetype colon = key.indexOf(':');
        if (colon >= 0)
            key.truncate(colon);
        if (key.endsWith("-I") || key.endsWith("-E"))
            key.chop(2);
        if (!key.startsWith("ISO"))
            return 0;
        key.remove(0, 3);
        if (key.startsWith('-') || key.startsWith('_'))
            key.remove(0, 1);
        if (!key.startsWith("8859"))
            return 0;
        key.remove(0, 4);
        if (key.startsWith('-') || key.startsWith('_'))
            key.remove(0, 1);
        bool ok = false;
        part = key.toInt(&ok);
        if (!ok || key.startsWith('+'))
            return 0;
    }
    return part;
}

// The Windows code page beside each ISO-8859 part: a sibling holds every
// letter of its ISO set where the ISO set has them, and more where it has
// control codes; a relative is only the code page the same writers used.
struct WindowsCodePage {
    int isoPart;
    const char* name;
    bool sibling;
};
constexpr WindowsCodePage kWindowsCodePages[] = {
    { 1, "windows-1252", true },  { 2, "windows-1250", true },  { 7, "windows-1253", true },
    { 8, "windows-1255", true },  { 9, "windows-1254", true },  { 13, "windows-1257", true },
    { 4, "windows-1257", false }, { 5, "windows-1251", false }, { 15, "windows-1252", false },
};

QByteArray windowsCodePageOf(QByteArrayView charset, bool sibling)
{
    const int part = isoPartOf(charset);
    for (const WindowsCodePage& page : kWindowsCodePages) {
        if (page.isoPart == part && page.sibling == sibling)
            return QByteArray(page.name);
    }
    return {};
}

} // namespace

QByteArray windowsSiblingOf(QByteArrayView charset)
{
    return windowsCodePageOf(charset, true);
}

QByteArray windowsRelativeOf(QByteArrayView charset)
{
    return windowsCodePageOf(charset, false);
}

bool holdsC1Bytes(QByteArrayView bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) >= 0x80 && uchar(c) <= 0x9F; });
}

IsoOverWindows::IsoOverWindows(QByteArrayView charset)
{
    const QByteArray sibling = windowsSiblingOf(charset);
    if (sibling.isEmpty())
        return;
    m_iso = QStringDecoder(charset.trimmed().toByteArray().constData(), QStringConverter::Flag::Stateless);
    m_windows1252 = sibling == "windows-1252";
    if (!m_windows1252)
        m_windows = QStringDecoder(sibling.constData(), QStringConverter::Flag::Stateless);
}

bool IsoOverWindows::isValid() const
{
    return m_iso.isValid() && (m_windows1252 || m_windows.isValid());
}

QString IsoOverWindows::decode(QByteArrayView bytes)
{
    Q_ASSERT(isValid());
    if (!holdsC1Bytes(bytes))
        return m_iso.decode(bytes);
    QString text = m_windows1252 ? fromWindows1252(bytes) : QString(m_windows.decode(bytes));
    for (QChar& c : text) {
        if (c.unicode() >= 0x80 && c.unicode() <= 0x9F)
            c = QChar::ReplacementCharacter;
    }
    return text;
}

} // namespace legacytext
