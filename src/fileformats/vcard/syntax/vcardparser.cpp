// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/syntax/vcardparser.h"

#include "fileformats/legacytext.h"
#include "fileformats/vcard/syntax/vcardstreamparser.h"

int QVCardParser::utf8BomLength(const QByteArray& head)
{
    return head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
}

QList<QList<QVCardParser::_Property>> QVCardParser::parse(const QByteArray& data, ParseStats* stats)
{
    return parseChunked(data, data.size(), stats);
}

QList<QList<QVCardParser::_Property>> QVCardParser::parseChunked(
    const QByteArray& data, qsizetype chunkSize, ParseStats* stats)
{
    QByteArray transcoded;
    QByteArrayView bytes(data);
    if (const auto utf16 = legacytext::utf16Start(data)) {
        transcoded = legacytext::utf16ToUtf8(data, *utf16);
        bytes = QByteArrayView(transcoded);
    } else {
        bytes = bytes.sliced(utf8BomLength(data));
    }
    // How the file's folds unfold is for all of its cards to say, as the
    // file reader has them say it.
    VCardFoldLookahead::Folds fileFolds;
    bool surveyed = false;
    VCardStreamParser parser(VCardStreamParser::Cards);
    parser.setFileFolds([&]() -> const VCardFoldLookahead::Folds* {
        if (!surveyed) {
            VCardStreamParser surveyor(VCardStreamParser::FoldsOnly);
            surveyor.feed(bytes.data(), bytes.size());
            surveyor.finish();
            fileFolds = surveyor.foldPool();
            surveyed = true;
        }
        return &fileFolds;
    });
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
