// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>
#include <map>
#include <memory>

class QStringDecoder;
class VCardProperty;

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
    // Whether text declared in the charset is read with a decoder of its
    // own: a charset Qt knows, other than UTF-8 and not a list of names.
    static bool hasDecoder(QByteArrayView charset);

    // The text of a value of the card on the line that names no charset.
    // Valid UTF-8 is read as such. Other text was written by an older
    // program in its own code page, which the card's other lines may name
    // ("LABEL;CHARSET=Windows-1253"): it is read in the first charset with
    // a decoder that a line of the card declares, failing that in the
    // file's (setFileCharset()), else as windows-1252, and then its line
    // is noted (unmarkedLines()). A declared ASCII or Latin-1 reads it as
    // windows-1252, noted nowhere.
    QString decodeUndeclared(const QByteArray& bytes, qint64 line);
    // The card whose values are read next (null for none); its lines are
    // looked at only once a value needs them. Clears unmarkedLines().
    void startCard(const QList<VCardProperty>* card);
    // Asked, once per card at most and only when a value needs it, for the
    // first charset with a decoder that the file declares (empty for none).
    void setFileCharset(std::function<QString()> charsetOfFile) { m_fileCharset = std::move(charsetOfFile); }
    // The lines of the card's values read as windows-1252 for want of any
    // declared charset, in the order read, a line read twice twice.
    const QList<qint64>& unmarkedLines() const { return m_unmarked; }

private:
    QStringDecoder* decoderFor(const QString& charset);
    // Sets how the card's undeclared text that is not UTF-8 is read: in
    // the card's or else the file's declared charset, if any.
    void lookForDeclaredCharset();

    std::map<QByteArray, std::unique_ptr<QStringDecoder>> m_decoders;
    std::function<QString()> m_fileCharset;
    const QList<VCardProperty>* m_card = nullptr;
    bool m_cardLooked = false;
    // A charset is declared; its decoder, none for windows-1252.
    bool m_cardDeclares = false;
    QStringDecoder* m_cardDecoder = nullptr;
    QList<qint64> m_unmarked;
};
