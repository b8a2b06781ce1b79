// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/vcard/syntax/vcardparams.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <optional>

// One vCard property as the parser delivers it and the writer builds it.
class VCardProperty {
public:
    // Read from a file: upper case, without a group prefix ("item1.tel" is
    // "TEL"). Written: as the writer set it.
    QString name;
    // The group prefix as written ("item1"), empty when there is none;
    // the writer sets it for a labelled item. Read from a file: the line
    // the property starts on; the writer leaves it 0.
    QString group;
    qint64 line = 0;
    // Parameter name to value, both as written (Latin-1), a bare parameter
    // with an empty value; a repeated name keeps its last value, except
    // TYPE, whose repeated values are joined by commas as one list.
    VCardParams params;
    // Decoded from quoted-printable or base64, still in the file's charset.
    QByteArray value;
    // Read from a file: the name as written holds bytes no name holds
    // (CARD_IsNameDamaged()), as a broken photo's bytes spilt onto lines of
    // their own do; `name` is what was read of it.
    bool nameDamaged = false;
    // Read from a file, of a name damaged by blanks between its letters
    // alone, which `name` leaves out ("X-GOOGLE TALK" is read as
    // "X-GOOGLETALK"): bit k set when blanks stood right before its
    // character k. 0 for any other name, for blanks in the group or right
    // after it, and for a name of more than 32 characters.
    quint32 nameGaps = 0;

    // `name` with a hyphen where each of nameGaps stood ("X-GOOGLE-TALK"),
    // as writers that put a blank for the hyphen of a name mean it; a gap
    // beside a "-", "_" or "/", which joins words already, is none ("X-
    // GOOGLE TALK" is "X-GOOGLE-TALK" too), and one of several blanks
    // gives one hyphen.
    QString nameWithHyphens() const;

    // The value as text, decoded with its CHARSET parameter (name looked up
    // without regard to case); an unknown charset reads as UTF-8, none as
    // UTF-8 or else windows-1252. Escapes are kept.
    QString toString() const;
    // The value split at every ";" not escaped by a backslash, its escapes
    // read (see splitComponents); an empty trailing component is left out.
    QStringList values() const;
    // The same for any text. With escapes (an escaped value) every escape
    // is read as unescapedCharacter() says. Without (a value whose text
    // stands as written) a backslash stays text, except in "\;", a ";"
    // inside its component, and in a list component "\,", a comma inside
    // its item. A backslash that ends the text stays. With joinLists (a
    // 3.0/4.0 component that is a list, such as several middle names) the
    // items between unescaped commas are joined by a blank. With
    // withoutEndBlanks each component comes without the blanks and tabs at
    // its ends.
    static QStringList splitComponents(const QString& text, bool escapes, bool joinLists = false,
                                       bool withoutEndBlanks = false);
    // What a backslash before the character stands for in an escaped value:
    // "\n" and "\N" a line feed; "\\", "\,", "\;" and "\:" the
    // character. Null before any other character: the backslash is text
    // there and stays, with the character ("C:\temp").
    static QChar unescapedCharacter(QChar next);
    // The text of an escaped value, its escapes read as
    // unescapedCharacter() says; a backslash before any other character,
    // and one that ends the text, stays.
    static QString unescapeText(const QString& text);

    // The value of the parameter whose name equals key, an upper-case ASCII
    // word, without regard to case; empty when there is none.
    QString paramIgnoringCase(QLatin1StringView key) const;
    // Whether the ENCODING parameter, or a bare word of the older form
    // ("PHOTO;BASE64:"), names one of the words (upper-case ASCII).
    bool isEncodedAs(std::initializer_list<QLatin1StringView> words) const;

    // A label of the user's own that a handset wrote as a parameter of its
    // own (vcardsyntax::readOwnLabel()): the label's bytes up to the ")"
    // that ends the parameter, quoted-printable read where its ENCODING
    // says so, and the charset it names (empty for none). None for a line
    // without one, and for one whose label is blank, not ended by ")", or
    // in another ENCODING, which says nothing this reader knows.
    struct OwnLabel {
        QByteArray bytes;
        QString charset;
    };
    std::optional<OwnLabel> ownLabel() const
    {
        // Asked of every phone: a parameter whose name does not start as
        // such a label's is passed over here.
        for (auto it = params.constBegin(); it != params.constEnd(); ++it) {
            if (it.key().size() > 8 && it.key().at(8) == u'(')
                return ownLabelFrom(it);
        }
        return std::nullopt;
    }

private:
    // ownLabel() from the first parameter that may be one.
    std::optional<OwnLabel> ownLabelFrom(VCardParams::const_iterator it) const;
};

// Every member moves bit for bit, so a card's list grows by a copy of its
// bytes rather than a move of every property.
Q_DECLARE_TYPEINFO(VCardProperty, Q_RELOCATABLE_TYPE);
// Ten of them stay below the allocator's per-thread cache limit (see
// VCardStreamParser::onProperty).
static_assert(sizeof(VCardProperty) <= 96, "a card's ten properties fit a small block");
