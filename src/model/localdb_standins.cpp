// SPDX-License-Identifier: GPL-3.0-or-later
// LocalDb: which stored contact of its name one that is listed under what
// it holds merges into.
#include "model/localdb.h"

#include "model/comparedtext.h"
#include "model/contactmention.h"

namespace {

// The title a name that names no one gives ("Mr.", "Dr." and "Jr."), as
// the merge compares text and the name lookup letter case; empty for a
// name that names someone, or none.
QString titleAlone(const pim::Entity* name)
{
    if (!name || name->namesSomeone())
        return QString();
    const QString prefix = comparedtext::ofValue(name->fields.value(QStringLiteral("data5")));
    const QString suffix = comparedtext::ofValue(name->fields.value(QStringLiteral("data6")));
    if (prefix.isEmpty() && suffix.isEmpty())
        return QString();
    return (prefix + u'\n' + suffix).toCaseFolded();
}

const pim::Entity* firstName(const pim::_Contact& contact)
{
    const auto names = contact.entities.constFind(pim::ENTITY_NAME);
    return names == contact.entities.cend() || names->isEmpty() ? nullptr : &names->constFirst();
}

// Whether the contact is listed under what it holds, not under a name of
// its own: its name names no one, or is its company, number or e-mail (a
// card's FN alone, which a reader takes as the given name).
bool isKnownByStandIn(const pim::_Contact& contact)
{
    const pim::Entity* name = firstName(contact);
    if (!name || !name->namesSomeone())
        return true;
    // Asked of every contact a merge finds stored: a name with a family
    // name is a person's, without a look at what the contact holds.
    const QVariant* family = name->fields.find(3);
    if (family && !pim::isBlankText(pim::fieldText(*family)))
        return false;
    return contact.fullName.compare(pim::standInName(contact), Qt::CaseInsensitive) == 0;
}

} // namespace

unsigned long long LocalDb::sameTitleContact(const pim::_Contact& incoming, unsigned long long found)
{
    // A contact listed under its company, number or e-mail is one person
    // with another of that name only where both give the same title alone:
    // "Mr." and "Mrs." of one home number are two, and a company's own card
    // takes no one of its staff in.
    if (!isKnownByStandIn(incoming))
        return found;
    const QString title = titleAlone(firstName(incoming));
    if (!m_nameOfContact.isValid())
        m_nameOfContact
            = connection().prepareThrow(QStringLiteral("select data2,data3,data4,data5,data6 from data where "
                                                       "contact_id=? and type=1 order by _id limit 1"));
    const auto titleOf = [this](unsigned long long id) {
        pim::Entity name;
        bool held = false;
        m_nameOfContact.bindInt64(1, static_cast<long long>(id))
            .forEachRow([&](const Sqlite3Statement::Row& row) {
                for (int number = 2; number <= 6; ++number)
                    name.fields.insert(number, row.getText(number - 2));
                held = true;
                return false;
            });
        return titleAlone(held ? &name : nullptr);
    };
    if (titleOf(found) == title)
        return found;
    // Others of the name: the import's own new contacts among them.
    if (!m_sameNames.isValid())
        m_sameNames = connection().prepareThrow(QStringLiteral(
            "select _id from contact where full_name=? collate nocase and _id<>? order by _id"));
    QList<unsigned long long> others;
    m_sameNames.bindText(1, incoming.fullName).bindInt64(2, static_cast<long long>(found));
    m_sameNames.forEachRow([&others](const Sqlite3Statement::Row& row) {
        others.append(static_cast<unsigned long long>(row.int64(0)));
        return true;
    });
    for (const unsigned long long id : others) {
        if (titleOf(id) == title)
            return id;
    }
    return 0;
}
