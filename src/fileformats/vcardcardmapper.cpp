// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcardcardmapper.h"

#include "fileformats/absimport.h"
#include "fileformats/vcardrules.h"
#include "fileformats/vcardvalue.h"

#include <QCoreApplication>
#include <QHash>
#include <QSet>

namespace {

enum Rule {
    RULE_NONE,
    RULE_N,
    RULE_FN,
    RULE_PHOTO,
    RULE_TEL,
    RULE_EMAIL,
    RULE_NICKNAME,
    RULE_BDAY,
    RULE_EVENT,
    RULE_CATEGORIES,
    RULE_IM,
    RULE_NOTE,
    RULE_ORG,
    RULE_TITLE,
    RULE_REL,
    RULE_ADR,
    RULE_URL,
    RULE_ITEM_DATE,
};

Rule ruleFor(const QString& name)
{
    static const QHash<QString, Rule> table {
        { QStringLiteral("N"), RULE_N },
        { QStringLiteral("FN"), RULE_FN },
        { QStringLiteral("PHOTO"), RULE_PHOTO },
        { QStringLiteral("TEL"), RULE_TEL },
        { QStringLiteral("EMAIL"), RULE_EMAIL },
        { QStringLiteral("NICKNAME"), RULE_NICKNAME },
        { QStringLiteral("BDAY"), RULE_BDAY },
        { QStringLiteral("X-EVENT"), RULE_EVENT },
        { QStringLiteral("CATEGORIES"), RULE_CATEGORIES },
        { QStringLiteral("X-IM"), RULE_IM },
        { QStringLiteral("NOTE"), RULE_NOTE },
        { QStringLiteral("ORG"), RULE_ORG },
        { QStringLiteral("TITLE"), RULE_TITLE },
        { QStringLiteral("X-REL"), RULE_REL },
        { QStringLiteral("ADR"), RULE_ADR },
        { QStringLiteral("URL"), RULE_URL },
        { QStringLiteral("X-ABDATE"), RULE_ITEM_DATE },
    };
    return table.value(name, RULE_NONE);
}

// Equal to an upper-case ASCII word without regard to case; the length
// test first, as almost every parameter differs in length.
bool isWord(const QString& text, QLatin1StringView upper)
{
    return text.size() == upper.size() && text.compare(upper, Qt::CaseInsensitive) == 0;
}

bool isQuotedPrintable(const VCardProperty& property)
{
    for (auto it = property.params.constBegin(); it != property.params.constEnd(); ++it) {
        const QString& word = isWord(it.key(), QLatin1StringView("ENCODING")) ? it.value() : it.key();
        if (isWord(word, QLatin1StringView("QUOTED-PRINTABLE")))
            return true;
    }
    return false;
}

bool isVersion3Or4(const QList<VCardProperty>& card)
{
    for (const VCardProperty& property : card) {
        if (property.name == QLatin1String("VERSION")) {
            const QByteArray version = property.value.trimmed();
            return version.startsWith('3') || version.startsWith('4');
        }
    }
    return false;
}

// The N components as they stand after every N of the card: a later N
// replaces only the positions it has.
struct NameParts {
    QString part[5];
    bool present[5] = { false, false, false, false, false };
};

void putPart(pim::Entity& entity, const QString& key, const NameParts& parts, int index)
{
    if (parts.present[index])
        entity.fields.insert(key, parts.part[index]);
}

// The name entity for one reading of N: standard (family;given;...) or
// swapped (given;family;...), as older builds of this program wrote it.
pim::Entity nameEntity(const pim::Entity& base, const NameParts& parts, bool swapped)
{
    static const QString given = QStringLiteral("data2");
    static const QString family = QStringLiteral("data3");
    static const QString middle = QStringLiteral("data4");
    static const QString prefix = QStringLiteral("data5");
    static const QString suffix = QStringLiteral("data6");
    pim::Entity entity = base;
    putPart(entity, swapped ? given : family, parts, 0);
    putPart(entity, swapped ? family : given, parts, 1);
    putPart(entity, middle, parts, 2);
    putPart(entity, prefix, parts, 3);
    putPart(entity, suffix, parts, 4);
    return entity;
}

} // namespace

pim::_Contact VCardCardMapper::toContact(const QList<VCardProperty>& card, vcardrules::Notes* notesOut)
{
    using namespace vcardrules;
    pim::_Contact contact;
    const bool modern = isVersion3Or4(card);
    NameParts nameParts;
    bool hasN = false;
    QString formattedName;
    Notes ownNotes;
    Notes& notes = notesOut ? *notesOut : ownNotes;
    const auto checkCharset = [&](const VCardProperty& property) {
        const QString charset = property.paramIgnoringCase(QStringLiteral("CHARSET"));
        if (charset.isEmpty() || m_charsets.isKnown(charset))
            return;
        notes.add(property.line, QCoreApplication::translate("VCardImport",
                                                             "unknown character set \"%1\"; the value was read as UTF-8.")
                                     .arg(charset));
    };

    // Grouped items ("item1.TEL" with "item1.X-ABLabel") take their kind
    // from the label.
    QHash<QString, QString> labels;
    for (const VCardProperty& property : card) {
        if (!property.group.isEmpty() && property.name == QLatin1String("X-ABLABEL")) {
            checkCharset(property);
            labels.insert(property.group.toLower(),
                          VCardValue(property, m_charsets, modern && !isQuotedPrintable(property)).text());
        }
    }

    for (const VCardProperty& property : card) {
        const Rule rule = ruleFor(property.name);
        if (rule == RULE_NONE)
            continue;
        checkCharset(property);
        VCardValue value(property, m_charsets, modern && !isQuotedPrintable(property));
        if (!property.group.isEmpty()) {
            const auto label = labels.constFind(property.group.toLower());
            if (label != labels.constEnd())
                value.setItemLabel(label.value());
        }
        switch (rule) {
        case RULE_NONE:
            break;
        case RULE_N: {
            if (!hasN) {
                firstEntity(contact, pim::ENTITY_NAME);
                hasN = true;
            }
            // In 3.0 and 4.0 each part is a list ("Maria,Elin" for two
            // middle names); older cards know no lists.
            const QStringList parts = value.components(modern);
            for (int i = 0; i < 5 && i < parts.size(); ++i) {
                nameParts.part[i] = parts.at(i);
                nameParts.present[i] = true;
            }
            break;
        }
        case RULE_FN:
            formattedName = value.text().trimmed();
            break;
        case RULE_PHOTO:
            readPhoto(value, contact, notes);
            break;
        case RULE_TEL:
            readTel(value, contact);
            break;
        case RULE_EMAIL:
            readEmail(value, contact);
            break;
        case RULE_NICKNAME:
            readNickname(value, contact);
            break;
        case RULE_BDAY:
            readBirthday(value, contact);
            break;
        case RULE_EVENT:
            readEvent(value, contact);
            break;
        case RULE_CATEGORIES:
            readCategories(value, contact, notes);
            break;
        case RULE_IM:
            readIm(value, contact);
            break;
        case RULE_NOTE:
            readNote(value, contact);
            break;
        case RULE_ORG:
            readOrg(value, contact);
            break;
        case RULE_TITLE:
            readTitle(value, contact);
            break;
        case RULE_REL:
            readRelation(value, contact);
            break;
        case RULE_ADR:
            readAddress(value, contact);
            break;
        case RULE_URL:
            readUrl(value, contact);
            break;
        case RULE_ITEM_DATE:
            readItemDate(value, contact);
            break;
        }
    }

    if (hasN) {
        pim::Entity& name = firstEntity(contact, pim::ENTITY_NAME);
        pim::Entity chosen = nameEntity(name, nameParts, false);
        QString display = chosen.fullName();
        if (!formattedName.isEmpty() && display != formattedName) {
            pim::Entity swapped = nameEntity(name, nameParts, true);
            const QString swappedDisplay = swapped.fullName();
            if (swappedDisplay == formattedName) {
                chosen = swapped;
                display = swappedDisplay;
            }
        }
        name = chosen;
        contact.fullName = display;
        name.fields.insert(QStringLiteral("data1"), display);
    }
    if (contact.fullName.isEmpty() && !formattedName.isEmpty()) {
        // No usable N: the card's formatted name stands in, as the given
        // name too, so an edit that rebuilds the name from its parts keeps it.
        pim::Entity& name = firstEntity(contact, pim::ENTITY_NAME);
        contact.fullName = formattedName;
        name.fields.insert(QStringLiteral("data1"), formattedName);
        name.fields.insert(QStringLiteral("data2"), formattedName);
    }
    if (contact.fullName.isEmpty()) {
        // A phone's export holds many cards of a number alone ("N:;;;;"):
        // named after what they hold, as the same contact in a table is,
        // and without a name entry that says nothing.
        contact.entities.remove(pim::ENTITY_NAME);
        contact.fullName = standInName(contact);
    }
    return contact;
}
