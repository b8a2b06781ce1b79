// SPDX-License-Identifier: GPL-3.0-or-later
// LocalDb: the contact list and the group list.
#include "model/localdb.h"

#include <algorithm>

namespace {

const QString kColContactId = QStringLiteral("contact_id");
const QString kColCSrcId = QStringLiteral("csrc_id");
const QString kColFullName = QStringLiteral("full_name");
const QString kColType = QStringLiteral("type");
const QString kColId = QStringLiteral("_id");
const QString kColSrcId = QStringLiteral("src_id");
const QString kColName = QStringLiteral("name");

// Code-unit order, no locale: capitals before small letters.
bool _contactSortCompare(const pim::_Contact& a, const pim::_Contact& b)
{
    return a.fullName.compare(b.fullName) < 0;
}

} // namespace

bool LocalDb::listsBefore(const QString& name, const QString& other)
{
    const int folded = QString::compare(name, other, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : name < other;
}

QString LocalDb::likeSubstringPattern(const QString& keyword)
{
    QString escaped;
    escaped.reserve(keyword.size() + 8);
    for (const QChar c : keyword) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

QList<pim::_Contact> LocalDb::contacts(unsigned long long groupId, const QString& keyword)
{
    const Hold hold(*this);
    connection();
    Sqlite3Sql sql("select d.*,c.full_name,c.src_id as csrc_id from data as d"
                   " inner join contact as c on d.contact_id=c._id");
    if (groupId != 0 || !keyword.isEmpty())
        sql.appendSql(QStringLiteral(" where 1=1"));
    if (groupId != 0) {
        sql.appendSql(QStringLiteral(" and contact_id in (select contact_id from data where type=? and data1=?)"));
        sql.addIntParam(pim::ENTITY_GROUP).addTextParam(QString::number(groupId));
    }
    if (!keyword.isEmpty()) {
        sql.appendSql(QStringLiteral(" and contact_id in (select contact_id from data"
                                     " where type not in (?,?) and data1 like ? escape '\\')"));
        sql.addIntParam(pim::ENTITY_GROUP).addIntParam(pim::ENTITY_PHOTO).addTextParam(likeSubstringPattern(keyword));
    }
    sql.appendSql(QStringLiteral(" order by contact_id asc"));

    QList<pim::_Contact> result;
    Sqlite3Cursor cur = m_db.queryThrow(sql);
    pim::_Contact* current = nullptr;
    while (cur.moveNext()) {
        const unsigned long long contactId = static_cast<unsigned long long>(cur.getInt64(kColContactId));
        if (!current || current->id != contactId) {
            result.append(pim::_Contact(contactId, cur.getText(kColCSrcId), cur.getText(kColFullName)));
            current = &result.last();
        }
        const int type = cur.getInt(kColType);
        pim::Entity entity(static_cast<unsigned long long>(cur.getInt64(kColId)), cur.getText(kColSrcId));
        fill_entity(cur, type, entity);
        current->entities[type].append(entity);
    }
    std::sort(result.begin(), result.end(), _contactSortCompare);
    return result;
}

QList<pim::_Group> LocalDb::groups()
{
    const Hold hold(*this);
    connection();
    QList<pim::_Group> result;
    Sqlite3Cursor cur = m_db.queryThrow(Sqlite3Sql("select * from contact_group order by name asc"));
    while (cur.moveNext())
        result.append(pim::_Group(static_cast<unsigned long long>(cur.getInt64(kColId)), cur.getText(kColName)));
    return result;
}
