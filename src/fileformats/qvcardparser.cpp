// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/qvcardparser.h"

#include "fileformats/vcardstreamparser.h"

#include <QStringDecoder>

int QVCardParser::utf8BomLength(const QByteArray& head)
{
    return head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
}

bool QVCardParser::hasUtf16Bom(const QByteArray& head)
{
    return head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF");
}

QByteArray QVCardParser::utf16ToUtf8(const QByteArray& data)
{
    const bool littleEndian = data.startsWith("\xFF\xFE");
    QStringDecoder decoder(littleEndian ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
                           QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(QByteArrayView(data).sliced(2));
    return text.toUtf8();
}

QList<QList<QVCardParser::_Property>> QVCardParser::parse(const QByteArray& data, ParseStats* stats)
{
    return parseChunked(data, data.size(), stats);
}

QList<QList<QVCardParser::_Property>> QVCardParser::parseChunked(const QByteArray& data, qsizetype chunkSize,
                                                                 ParseStats* stats)
{
    QByteArray transcoded;
    QByteArrayView bytes(data);
    if (hasUtf16Bom(data)) {
        transcoded = utf16ToUtf8(data);
        bytes = QByteArrayView(transcoded);
    } else {
        bytes = bytes.sliced(utf8BomLength(data));
    }
    VCardStreamParser parser(VCardStreamParser::Cards);
    const qsizetype step = chunkSize > 0 ? chunkSize : bytes.size();
    for (qsizetype at = 0; at < bytes.size(); at += step)
        parser.feed(bytes.data() + at, qMin(step, bytes.size() - at));
    parser.finish();
    if (stats) {
        stats->skippedLines = parser.skippedLines();
        stats->skippedLineNumbers = parser.skippedLineNumbers();
    }
    return parser.takeCards();
}

QString QVCardParser::unescapeText(const QString& text)
{
    const qsizetype first = text.indexOf(u'\\');
    if (first < 0)
        return text;
    QString out;
    out.reserve(text.size());
    out.append(QStringView(text).left(first));
    for (qsizetype i = first; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\\' || i + 1 == text.size()) {
            out.append(c);
            continue;
        }
        const QChar next = text.at(++i);
        out.append(next == u'n' || next == u'N' ? QChar(u'\n') : next);
    }
    return out;
}
