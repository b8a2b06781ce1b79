// SPDX-License-Identifier: GPL-3.0-or-later
// LocalDb: the contact list read a page at a time, for the roads that walk
// a whole database (export, printing, backup) without holding it whole.
#include "model/localdb.h"

#include <QHash>

#include <algorithm>

std::vector<unsigned long long> LocalDb::contactOrder(unsigned long long groupId)
{
    const Hold hold(*this);
    connection();
    // The same contacts as contacts(): those with at least one data row.
    Sqlite3Sql sql("select _id, full_name from contact as c"
                   " where exists (select 1 from data where contact_id=c._id)");
    if (groupId != 0) {
        sql.appendSql(QStringLiteral(" and _id in (select contact_id from data where type=? and data1=?)"));
        sql.addIntParam(pim::ENTITY_GROUP).addTextParam(QString::number(groupId));
    }
    struct Named {
        QString name;
        unsigned long long id;
    };
    std::vector<Named> named;
    Sqlite3Cursor cur = m_db.queryThrow(sql);
    while (cur.moveNext())
        named.push_back({ cur.getText(1), static_cast<unsigned long long>(cur.getInt64(0)) });
    std::sort(named.begin(), named.end(), [](const Named& a, const Named& b) {
        const int order = a.name.compare(b.name);
        return order != 0 ? order < 0 : a.id < b.id;
    });
    std::vector<unsigned long long> ids;
    ids.reserve(named.size());
    for (const Named& n : named)
        ids.push_back(n.id);
    return ids;
}

QList<pim::_Contact> LocalDb::contactsById(const unsigned long long* ids, qsizetype count)
{
    Q_ASSERT(ids || count == 0);
    QList<pim::_Contact> byId;
    if (count <= 0)
        return byId;
    const Hold hold(*this);
    connection();
    QString placeholders;
    placeholders.reserve(2 * count);
    for (qsizetype i = 0; i < count; ++i)
        placeholders += i == 0 ? QLatin1String("?") : QLatin1String(",?");
    Sqlite3Sql sql(QStringLiteral("select d.*,c.full_name,c.src_id as csrc_id from data as d"
                                  " inner join contact as c on d.contact_id=c._id"
                                  " where d.contact_id in (%1) order by d.contact_id asc")
                       .arg(placeholders));
    for (qsizetype i = 0; i < count; ++i)
        sql.addInt64Param(static_cast<long long>(ids[i]));
    Sqlite3Cursor cur = m_db.queryThrow(sql);
    appendJoinedRows(cur, byId);

    QHash<unsigned long long, qsizetype> at;
    at.reserve(byId.size());
    for (qsizetype i = 0; i < byId.size(); ++i)
        at.insert(byId.at(i).id, i);
    QList<pim::_Contact> ordered;
    ordered.reserve(byId.size());
    for (qsizetype i = 0; i < count; ++i) {
        const auto found = at.constFind(ids[i]);
        if (found != at.constEnd())
            ordered.append(std::move(byId[*found]));
    }
    return ordered;
}
