// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/vcard/syntax/vcardcharsets.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class QStringDecoder;
class VCardProperty;

// How the values of one card become text: in the charset a value declares,
// else in one its card or file declares, else by a guess that is noted.
// Not thread-safe: one per reader.
class VCardCardText {
public:
    // The value of the property as text (escapes kept): decoded with its
    // CHARSET parameter (name looked up without regard to case), an unknown
    // charset read as UTF-8; without one, as decodeUndeclared() reads it.
    QString text(const VCardProperty& property);
    // Whether the named charset has a decoder or reads as UTF-8.
    bool isKnown(const QString& charset) { return m_charsets.isKnown(charset); }

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
    // Sets how the card's undeclared text that is not UTF-8 is read: in
    // the card's or else the file's declared charset, if any.
    void lookForDeclaredCharset();

    VCardCharsets m_charsets;
    std::function<QString()> m_fileCharset;
    const QList<VCardProperty>* m_card = nullptr;
    bool m_cardLooked = false;
    // A charset is declared; its decoder, none for windows-1252.
    bool m_cardDeclares = false;
    QStringDecoder* m_cardDecoder = nullptr;
    QList<qint64> m_unmarked;
};
