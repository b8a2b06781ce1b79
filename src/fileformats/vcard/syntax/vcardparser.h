// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/vcard/syntax/vcardproperty.h"

#include <QList>

// The reading side of the vCard syntax: bytes of a file to cards of
// properties. The writer's encoders are in VCardEncoders.
class QVCardParser {
public:
    using _Property = VCardProperty;

    struct ParseStats {
        int skippedLines = 0;
        QList<qint64> skippedLineNumbers;
    };

    QVCardParser() = default;

    // The cards of a whole file in file order, each without its BEGIN and
    // END lines. A UTF-8 byte-order mark at the start is skipped; a UTF-16
    // file (with its mark or without) is read as text first. Malformed lines are
    // dropped and counted in stats; everything else is read.
    static QList<QList<_Property>> parse(const QByteArray& data, ParseStats* stats = nullptr);
    // The same, fed to the tokenizer in pieces of chunkSize bytes.
    static QList<QList<_Property>> parseChunked(
        const QByteArray& data, qsizetype chunkSize, ParseStats* stats = nullptr);

    // How many leading bytes are a UTF-8 byte-order mark (3) or not (0).
    static int utf8BomLength(const QByteArray& head);
};
