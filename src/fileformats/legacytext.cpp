// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/legacytext.h"

#include <QStringDecoder>

#include <cstring>

namespace legacytext {

bool isValidUtf8(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const uchar* const end = p + bytes.size();
    while (p < end) {
        // Most text is ASCII: skip it eight bytes at a time.
        if (end - p >= 8) {
            quint64 word;
            std::memcpy(&word, p, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                p += 8;
                continue;
            }
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

QString fromWindows1252(QByteArrayView bytes)
{
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char ch : bytes) {
        const uchar c = uchar(ch);
        *out++ = (c >= 0x80 && c <= 0x9F) ? QChar(high[c - 0x80]) : QChar(c);
    }
    return text;
}

QString utf8OrWindows1252(QByteArrayView bytes)
{
    return isValidUtf8(bytes) ? QString::fromUtf8(bytes) : fromWindows1252(bytes);
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
