// SPDX-License-Identifier: GPL-3.0-or-later
// LocalDb: the contact list read a page at a time, for the roads that walk
// a whole database (export, printing, backup) without holding it whole.
#include "model/localdb.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <future>

std::vector<unsigned long long> LocalDb::contactOrder(Sqlite3DB& connection, unsigned long long groupId,
                                                     Sqlite3DB* second)
{
    // The same contacts as contacts(): those with at least one data row
    // (a group's members have their membership row). Those without are few
    // and are looked for alongside the names, on the second connection.
    const auto withoutRows = [](Sqlite3DB& db) {
        std::vector<unsigned long long> ids;
        Sqlite3Cursor cur = db.queryThrow(Sqlite3Sql(
            "select _id from contact as c where not exists (select 1 from data where contact_id=c._id) order by _id"));
        while (cur.moveNext())
            ids.push_back(static_cast<unsigned long long>(cur.getInt64(0)));
        return ids;
    };
    std::future<std::vector<unsigned long long>> rowless;
    if (groupId == 0 && second)
        rowless = std::async(std::launch::async, [&] { return withoutRows(*second); });

    // The name index holds every name with its id in the order wanted, so
    // the contacts come sorted from the index alone; sorting them here took
    // longer than reading them, and the writer waits for this list.
    Sqlite3Sql sql("select _id, full_name from contact");
    if (groupId != 0) {
        sql.appendSql(QStringLiteral(" where _id in (select contact_id from data where type=? and data1=?)"));
        sql.addIntParam(pim::ENTITY_GROUP).addTextParam(QString::number(groupId));
    }
    sql.appendSql(QStringLiteral(" order by full_name, _id"));
    struct Named {
        QString name;
        unsigned long long id;
    };
    std::vector<Named> named;
    Sqlite3Cursor cur = connection.queryThrow(sql);
    while (cur.moveNext())
        named.push_back({ cur.getText(1), static_cast<unsigned long long>(cur.getInt64(0)) });
    // SQLite compares UTF-8 bytes and puts NULL before empty text; the list
    // compares UTF-16 units and reads NULL as empty. Names where those
    // differ (characters beyond U+FFFF against ones from U+E000 on, a NULL
    // name among empty ones) are put in the list's order here.
    const auto before = [](const Named& a, const Named& b) {
        const int order = a.name.compare(b.name);
        return order != 0 ? order < 0 : a.id < b.id;
    };
    if (!std::is_sorted(named.begin(), named.end(), before))
        std::sort(named.begin(), named.end(), before);

    std::vector<unsigned long long> leftOut;
    if (groupId == 0)
        leftOut = rowless.valid() ? rowless.get() : withoutRows(connection);
    std::vector<unsigned long long> ids;
    ids.reserve(named.size());
    for (const Named& n : named) {
        if (leftOut.empty() || !std::binary_search(leftOut.begin(), leftOut.end(), n.id))
            ids.push_back(n.id);
    }
    return ids;
}

namespace {

// "?,?,...": `count` placeholders.
QString placeholders(qsizetype count)
{
    QString marks;
    marks.reserve(2 * count);
    for (qsizetype i = 0; i < count; ++i)
        marks += i == 0 ? QLatin1String("?") : QLatin1String(",?");
    return marks;
}

} // namespace

QList<pim::_Contact> LocalDb::contactsById(Sqlite3DB& connection, ContactPageQuery& query,
                                           const unsigned long long* ids, qsizetype count)
{
    Q_ASSERT(ids || count == 0);
    QList<pim::_Contact> byId;
    if (count <= 0)
        return byId;
    // Columns by position: a name lookup per column cost more than the read.
    constexpr int kFirstData = 4;
    if (!query.rows.isValid() || !query.contacts.isValid() || query.ids < count) {
        // No type's layout has data12..data14: they stand as NULL, and the
        // other columns keep their places.
        QStringList columns;
        for (int n = 1; n <= 15; ++n)
            columns << (n >= 12 && n <= 14 ? QStringLiteral("NULL") : QStringLiteral("data%1").arg(n));
        query.rows = connection.prepareThrow(QStringLiteral("select contact_id,_id,type,src_id,%1 from data"
                                                            " where contact_id in (%2) order by contact_id")
                                                 .arg(columns.join(QLatin1Char(',')), placeholders(count)));
        // Apart from the rows: one lookup per contact instead of per row.
        query.contacts = connection.prepareThrow(
            QStringLiteral("select _id,src_id,full_name from contact where _id in (%1) order by _id")
                .arg(placeholders(count)));
        query.ids = count;
    }
    // A shorter page repeats its first id in the places left over: the
    // list is a set.
    for (qsizetype i = 0; i < query.ids; ++i) {
        const long long id = static_cast<long long>(ids[i < count ? i : 0]);
        query.rows.bindInt64(int(i + 1), id);
        query.contacts.bindInt64(int(i + 1), id);
    }
    // Both reads see the file as one commit left it.
    connection.beginTran();
    try {
        pim::_Contact* current = nullptr;
        query.rows.forEachRow([&](const Sqlite3Statement::Row& row) {
            const unsigned long long contactId = static_cast<unsigned long long>(row.int64(0));
            if (!current || current->id != contactId) {
                byId.append(pim::_Contact(contactId, QString(), QString()));
                current = &byId.last();
            }
            const int type = static_cast<int>(row.int64(2));
            pim::Entity entity(static_cast<unsigned long long>(row.int64(1)), row.getText(3));
            fillEntityAt(row, kFirstData, type, false, entity);
            current->entities[type].append(std::move(entity));
            return true;
        });
        // Both in id order; a contact whose own row is missing is left out.
        qsizetype next = 0;
        std::vector<bool> named(size_t(byId.size()), false);
        query.contacts.forEachRow([&](const Sqlite3Statement::Row& row) {
            const unsigned long long id = static_cast<unsigned long long>(row.int64(0));
            while (next < byId.size() && byId.at(next).id < id)
                ++next;
            if (next < byId.size() && byId.at(next).id == id) {
                pim::_Contact& contact = byId[next];
                contact.srcId = row.getText(1);
                contact.fullName = row.getText(2);
                named[size_t(next)] = true;
            }
            return true;
        });
        connection.commitTran();
        for (qsizetype i = byId.size() - 1; i >= 0; --i) {
            if (!named[size_t(i)])
                byId.removeAt(i);
        }
    } catch (...) {
        connection.rollbackTran();
        throw;
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
