// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/legacytext.h"
#include "fileformats/vcard/syntax/vcardcharsets.h"
#include "model/contact.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class VCardProperty;

// How the values of one card become text: in the charset a value declares,
// else in one its card or file declares where that reading fits, else in
// the Western code page of the file's undeclared text; what was read by a
// guess is noted. Not thread-safe: one per reader.
class VCardCardText {
public:
    // A line whose text was read in a charset it does not declare.
    struct GuessedLine {
        enum Source {
            // The line names no charset.
            Undeclared,
            // The line says UTF-8 but its bytes are not.
            NotUtf8,
            // The text, declared or not, is UTF-8 but for stray bytes, read
            // in the file's Western code page.
            StrayBytes,
            // The line declares a charset whose letters its bytes are not.
            NotDeclared,
            // The text is quoted-printable codes of UTF-8 that the line
            // does not declare, read as the text they write.
            UndeclaredCodes,
        };
        qint64 line = 0;
        Source source = Undeclared;
        // The charset another line of the card or file declares that the
        // text was read in, or for NotDeclared the one it was read in
        // ("UTF-8" among them); empty when it was read in the file's Western
        // code page.
        QString borrowed;
        // NotDeclared: the charset the line declares.
        QString declared;

        bool operator==(const GuessedLine& other) const
        {
            return line == other.line && source == other.source && borrowed == other.borrowed
                && declared == other.declared;
        }
    };

    // What a value holds, as the rule that reads it knows.
    enum class Holds {
        // Anything but words, or not known: a number, an address to mail
        // or call, a link, a date, a picture.
        Data,
        // Words a person wrote: a name or a part of one, a note, a company,
        // title, nickname, group, label or postal address.
        Words,
    };

    // The value of the property as text (escapes kept): decoded with its
    // CHARSET parameter (name looked up without regard to case), an unknown
    // charset read as UTF-8; without one, or under a UTF-8 that its bytes
    // are not, as text that names no charset (below).
    //
    // Valid UTF-8 is read as such. Other text was written by an older
    // program in its own code page, which the card's other lines may name
    // ("LABEL;CHARSET=Windows-1253"): it is read in the first charset with
    // a decoder that a line of the card declares, failing that in the
    // file's (setFileCharset()), where that reading fits the text
    // (legacytext::borrowedReading()); else in the file's Western code page
    // (setFileWesternSet()). A declared ASCII or Latin-1 reads it as
    // windows-1252. Every line read so is noted (guessedLines()), but one
    // without a charset of its own read as a declared ASCII or Latin-1.
    // Text that is UTF-8 but for a few stray bytes
    // (legacytext::isUtf8WithStrayBytes()) keeps its UTF-8 letters, the
    // stray bytes read in the file's Western code page. A value whose
    // declared charset does not hold it (VCardCharsets::decodeDeclared())
    // is read as text that names no charset.
    //
    // Words that name no ENCODING, no VALUE but text and no charset but
    // UTF-8 may be quoted-printable codes of UTF-8 whose writer forgot to
    // say so ("FN:=D0=9E=D0=BB=D1=8F", as a phone's export writes its
    // names): read as the text they write when every "=" of the whole value
    // begins an "=XX" escape, or stands in a run of "=" right before one or
    // is the value's last byte (soft breaks, the first ones without their
    // line end, dropped, as the tokenizer drops them), no byte is above
    // 0x7E, and the escapes write valid UTF-8 with at least one letter of
    // two or more bytes; the line is noted. Any other value keeps its "="
    // as written ("E=MC2", "x=y", a lone "=C3", "=3D=3D", "==4G"), as does
    // all data (a link's "?a=1&b=C3").
    //
    // The text holds no control character but tab, line feed and CR: the
    // others are left out or become line breaks or letters, and letters
    // encoded twice the letters meant (pim::dropControlCharacters(), text
    // not read as UTF-8 read from a code page); the line is noted
    // (controlLines(), twiceEncodedLines()).
    QString text(const VCardProperty& property, Holds holds = Holds::Data);
    // A text of the property's parameters where it is stored (the service
    // X-SERVICE-TYPE names, a kind word kept as a label, a phone's own
    // label): `written` is the parameter's value as the line gives it, its
    // bytes as Latin-1, its blanks and quotes kept. The one rule of every
    // such text: without the quotes around it, its bytes read as text() reads
    // a value of the line's CHARSET (a guess noted as text() notes it),
    // without the blanks at its ends, and, as text() gives a value, without
    // control characters, the line noted.
    QString storedText(const VCardProperty& property, const QString& written);
    // The same of bytes a parameter writes in the named charset (in the
    // line's CHARSET when empty): a phone's own label
    // (VCardProperty::ownLabel()).
    QString storedText(const VCardProperty& property, const QByteArray& bytes, const QString& charset);
    // Whether the named charset has a decoder or reads as UTF-8.
    bool isKnown(const QString& charset) { return m_charsets.isKnown(charset); }

    // The card whose values are read next (null for none); its lines are
    // looked at only once a value needs them. Clears guessedLines().
    void startCard(const QList<VCardProperty>* card);
    // Asked, once per card at most and only when a value needs it, for the
    // first charset with a decoder that the file declares (empty for none).
    void setFileCharset(std::function<QString()> charsetOfFile) { m_fileCharset = std::move(charsetOfFile); }
    // Asked when a value is to be read in a Western code page, for the one
    // the file's text that names no charset was written in (see
    // addWesternText()).
    void setFileWesternSet(std::function<legacytext::WesternSet()> setOfFile)
    {
        m_fileWesternSet = std::move(setOfFile);
    }
    // The lines of the card's values read by a guess, in the order read, a
    // line read twice twice.
    const QList<GuessedLine>& guessedLines() const { return m_guessed; }
    // The lines of the card's values, in the order read, whose text held
    // control characters that text() left out or replaced; those whose text
    // held letters encoded twice that text() read as the letters meant; and
    // those of its words in undeclared codes whose run of "=" before a code
    // text() left out.
    const QList<qint64>& controlLines() const { return m_controlLines; }
    const QList<qint64>& twiceEncodedLines() const { return m_twiceEncodedLines; }
    const QList<qint64>& strayEqualsLines() const { return m_strayEqualsLines; }

    // Adds to the guess every value of the card that text() would read in
    // the Western code page, reading nothing: what the choice of that code
    // page is made from, over all cards of a file.
    void addWesternText(const QList<VCardProperty>& card, legacytext::WesternGuess& guess);

private:
    // text() but for the control characters; mayHoldControls is set false
    // for a text known to hold none, `from` to CodePage for one read in a
    // code page, even in part (stray bytes), or in a declared charset.
    QString readText(const VCardProperty& property, Holds holds, bool& mayHoldControls, pim::ReadFrom& from);
    void noteChanges(pim::ControlCharacterChanges changes, qint64 line);
    // Text that names no charset, or is not the UTF-8 it names.
    QString decodeUndeclared(const QByteArray& bytes, qint64 line, GuessedLine::Source source,
                             const QString& declared);
    legacytext::WesternSet fileWesternSet();
    // Sets how the card's undeclared text that is not UTF-8 is read: in
    // the card's or else the file's declared charset, if any.
    void lookForDeclaredCharset();

    VCardCharsets m_charsets;
    std::function<QString()> m_fileCharset;
    std::function<legacytext::WesternSet()> m_fileWesternSet;
    const QList<VCardProperty>* m_card = nullptr;
    bool m_cardLooked = false;
    // A charset is declared: the name of one with a decoder, else the
    // ASCII or Latin-1 one.
    bool m_cardDeclares = false;
    QString m_cardCharset;
    QString m_cardLatin1;
    QList<GuessedLine> m_guessed;
    QList<qint64> m_controlLines;
    QList<qint64> m_twiceEncodedLines;
    QList<qint64> m_strayEqualsLines;
    // While addWesternText() runs.
    legacytext::WesternGuess* m_westernGuess = nullptr;
};
