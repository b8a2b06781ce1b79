// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>

class QStringDecoder;

// Turns value bytes into text by the name of their charset. Decoders are
// made once per name and kept, as a file names the same few charsets on
// every card. Not thread-safe: one per reader.
class VCardCharsets {
public:
    VCardCharsets();
    ~VCardCharsets();
    VCardCharsets(const VCardCharsets&) = delete;
    VCardCharsets& operator=(const VCardCharsets&) = delete;

    // Empty, unknown or ambiguous names ("UTF-8,GBK") read as UTF-8: a card
    // is never lost over its charset. Without a name, bytes that are not
    // valid UTF-8 are read as windows-1252 (legacy 8-bit files).
    QString decode(const QByteArray& bytes, const QString& charset);
    // Whether decode() knows the named charset; false for the names it
    // reads as UTF-8 only for want of a decoder.
    bool isKnown(const QString& charset);

private:
    QStringDecoder* decoderFor(const QString& charset);

    std::map<QByteArray, std::unique_ptr<QStringDecoder>> m_decoders;
};
