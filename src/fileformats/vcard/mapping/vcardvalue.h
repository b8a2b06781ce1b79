// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/vcard/mapping/vcardcardtext.h"
#include "fileformats/vcard/syntax/vcardproperty.h"

#include <QStringList>

#include <optional>

// How the property rules see one property of a card: its text, its
// components and its TYPE text, with the escapes of 3.0/4.0 decoded where
// they apply.
class VCardValue {
public:
    // unescape: the value's backslash escapes are read. So in every
    // version, as writers put escapes in 2.1 too; not in a quoted-printable
    // value of a 3.0 or 4.0 card: 3.0 did away with quoted-printable, and
    // this program's earlier builds wrote such values with their text as it
    // was, backslashes and all, escaping only a ";" inside an address
    // component. So the text of such a value stands as written, in a note
    // and in every component of an address or name alike ("C:\temp",
    // "Newlines\nCountry" stay); only "\;" in a component (and "\," in a
    // list) is read, as the separator it keeps inside. holds: what the
    // value holds as its rule reads it (see VCardCardText::text()).
    // keepsEndBlanks: text() and components() keep the blanks and tabs at
    // the ends of the value, as a note does (pim::keepsEndBlanks); otherwise
    // they go (pim::dropEndBlanks), at the ends of each component.
    VCardValue(const VCardProperty& property, VCardCardText& cardText, bool unescape,
        VCardCardText::Holds holds = VCardCardText::Holds::Data, bool keepsEndBlanks = false);

    const VCardProperty& property() const { return m_property; }
    const QByteArray& bytes() const { return m_property.value; }
    // The whole value as text, decoded once.
    const QString& text() const;
    // The whole value with its escapes and end blanks as written.
    const QString& rawText() const { return raw(); }
    // Whether text() and components() read backslash escapes.
    bool unescapes() const { return m_unescape; }
    // The structured value split at unescaped ";" (an empty trailing
    // component left out); with joinLists, the items of a list component
    // joined by a blank (see VCardProperty::splitComponents).
    QStringList components(bool joinLists = false) const;
    // A text of the parameters that is stored, as
    // VCardCardText::storedText() gives it.
    QString storedText(const QString& written) const { return m_cardText.storedText(m_property, written); }
    // The value of the parameter named exactly "TYPE", without blanks, as
    // it is matched; empty when absent.
    QString typeText() const;
    // The kind words of the property in lower case: every comma-separated
    // TYPE value (parameter name in any case, quotes and blanks dropped) and
    // every bare 2.1 marker. For a grouped item whose label is one of the
    // standard "_$!<Word>!$_" labels, the label's words instead. A list,
    // not a set: a property names a handful, and a set would cost a hash
    // table per property of every card read.
    QStringList kinds() const;
    // The same words as written, one for each of kinds(), in its order:
    // case and the blanks between words kept, for storedText().
    QStringList writtenKinds() const;
    // The words of the TYPE values alone, as writtenKinds() gives them;
    // none for a grouped item whose label is a standard one.
    QStringList writtenTypeWords() const;
    // Whether kinds() holds the word (given in lower case).
    static bool has(const QStringList& kinds, QLatin1StringView word);
    // The grouped item's label when it is not a standard one (a standard
    // one whose word means nothing here gives the word); else empty.
    QString customLabel() const { return m_customLabel; }
    // The text of the item's X-ABLABEL.
    void setItemLabel(const QString& label);
    // A label the line itself gives the value (VCardProperty::ownLabel()),
    // read as one of the user's own, as an item's label that is no
    // standard one.
    void setOwnLabel(const QString& label) { m_customLabel = label; }
    // The messaging service the item names in words of its own
    // (X-IM-PROTOCOL), for a protocol no TYPE word names; else empty.
    const QString& itemProtocol() const { return m_itemProtocol; }
    void setItemProtocol(const QString& protocol) { m_itemProtocol = protocol; }

private:
    const QString& raw() const;

    const VCardProperty& m_property;
    VCardCardText& m_cardText;
    bool m_unescape;
    VCardCardText::Holds m_holds;
    bool m_keepsEndBlanks;
    bool m_hasLabelKinds = false;
    QStringList m_labelKinds;
    QString m_customLabel;
    QString m_itemProtocol;
    mutable std::optional<QString> m_raw;
    mutable std::optional<QString> m_text;
};
