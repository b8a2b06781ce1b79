// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <map>
#include <memory>

class QStringDecoder;
namespace legacytext {
class IsoOverWindows;
}

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
    // valid UTF-8 are read as windows-1252 (legacy 8-bit files). An
    // ISO-8859 set is read over the bytes of its Windows sibling as
    // legacytext::IsoOverWindows reads it: never a control code.
    QString decode(QByteArrayView bytes, const QString& charset);
    // How a value reads in the charset its line declares, for a reader that
    // names what it guessed. Over bytes 0x80..0x9F an ISO-8859 set with a
    // Windows relative (legacytext::windowsRelativeOf()) reads as that code
    // page where this reads as words; any set that would give control codes
    // U+0080..U+009F holds no text of the value, which is then to be read
    // as text that names no charset. Otherwise as decode() reads it.
    struct Reading {
        enum How { AsDeclared, InRelative, NotHeld };
        How how = AsDeclared;
        QString text;
        // InRelative: the code page's name.
        QByteArray relative;
    };
    Reading decodeDeclared(QByteArrayView bytes, const QString& charset);
    // Whether decode() knows the named charset; false for the names it
    // reads as UTF-8 only for want of a decoder.
    bool isKnown(const QString& charset);
    // The decoder of the named charset, made on first use; null for the
    // names read as UTF-8 and for the ones Qt does not know.
    QStringDecoder* decoderFor(const QString& charset);
    // Whether text declared in the charset is read with a decoder of its
    // own: a charset Qt knows, other than UTF-8 and not a list of names.
    static bool hasDecoder(QByteArrayView charset);
    // Whether the name says ASCII or Latin-1: what such writers write is
    // their code page, windows-1252 (as web browsers read it too), not
    // control codes or replacement characters.
    static bool namesLatin1(const QString& charset);
    // Whether the name is UTF-8's, the one most lines of most files give.
    static bool namesUtf8(const QString& charset);

private:
    // Kept by the name's key: the decoder of the name (none for the names
    // read as UTF-8 and the unknown ones), and for an ISO-8859 set with a
    // Windows sibling the reader over both.
    struct Decoder {
        std::unique_ptr<QStringDecoder> plain;
        std::unique_ptr<legacytext::IsoOverWindows> overWindows;
        // For an ISO-8859 set with a Windows relative; none for
        // windows-1252, which legacytext reads.
        QByteArray relative;
        std::unique_ptr<QStringDecoder> relativeDecoder;
    };
    Decoder& decoders(const QString& charset);

    std::map<QByteArray, Decoder> m_decoders;
};
