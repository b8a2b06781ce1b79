// SPDX-License-Identifier: GPL-3.0-or-later
// LocalDb: the contact list read a page at a time, for the roads that walk
// a whole database (export, printing, backup) without holding it whole.
#include "model/localdb.h"

#include <QHash>

#include <algorithm>

std::vector<unsigned long long> LocalDb::contactOrder(Sqlite3DB& connection, unsigned long long groupId)
{
    // The same contacts as contacts(): those with at least one data row.
    Sqlite3Sql sql("select _id, full_name from contact as c"
                   " where exists (select 1 from data where contact_id=c._id)");
    if (groupId != 0) {
        sql.appendSql(QStringLiteral(" and _id in (select contact_id from data where type=? and data1=?)"));
        sql.addIntParam(pim::ENTITY_GROUP).addTextParam(QString::number(groupId));
    }
    // In id order, the lookups in data's index go forward through the file;
    // in the order of the name index they jump about it, and with a small
    // page cache took three times as long.
    sql.appendSql(QStringLiteral(" order by c._id"));
    struct Named {
        QString name;
        unsigned long long id;
    };
    std::vector<Named> named;
    Sqlite3Cursor cur = connection.queryThrow(sql);
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

QList<pim::_Contact> LocalDb::contactsById(Sqlite3DB& connection, const unsigned long long* ids, qsizetype count)
{
    Q_ASSERT(ids || count == 0);
    QList<pim::_Contact> byId;
    if (count <= 0)
        return byId;
    QString placeholders;
    placeholders.reserve(2 * count);
    for (qsizetype i = 0; i < count; ++i)
        placeholders += i == 0 ? QLatin1String("?") : QLatin1String(",?");
    // Columns by position: a name lookup per column cost more than the read.
    constexpr int kFirstData = 6;
    Sqlite3Sql sql(QStringLiteral("select d.contact_id,d._id,d.type,d.src_id,c.full_name,c.src_id,%1"
                                  " from data as d inner join contact as c on d.contact_id=c._id"
                                  " where d.contact_id in (%2) order by d.contact_id asc")
                       .arg(dataColumns(QStringLiteral("d.")), placeholders));
    for (qsizetype i = 0; i < count; ++i)
        sql.addInt64Param(static_cast<long long>(ids[i]));
    Sqlite3Cursor cur = connection.queryThrow(sql);
    pim::_Contact* current = nullptr;
    while (cur.moveNext()) {
        const unsigned long long contactId = static_cast<unsigned long long>(cur.getInt64(0));
        if (!current || current->id != contactId) {
            byId.append(pim::_Contact(contactId, cur.getText(5), cur.getText(4)));
            current = &byId.last();
        }
        const int type = static_cast<int>(cur.getInt64(2));
        pim::Entity entity(static_cast<unsigned long long>(cur.getInt64(1)), cur.getText(3));
        fillEntityAt(cur, kFirstData, type, false, entity);
        current->entities[type].append(entity);
    }

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
