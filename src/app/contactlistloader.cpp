// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/contactlistloader.h"

#include "model/contact.h"
#include "model/localdb.h"
#include "platform/error.h"
#include "platform/sqlite/sqlite3db.h"

#include <QPointer>
#include <QThread>

#include <algorithm>
#include <exception>
#include <mutex>
#include <set>
#include <thread>

namespace {

constexpr int kMobile = 2;

// At most this many connections scan the data rows for a keyword at once.
constexpr int kMaxScanThreads = 4;

// The ids of the contacts with a matching entity. The pattern match is
// the slow part of a search, so slices of the data rows are scanned on
// several read-only connections at once.
std::vector<long long> contactsMatching(const QString& path, const QString& keyword, const std::atomic_bool* cancel)
{
    long long maxId = 0;
    {
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::OpenReadOnly);
        Sqlite3Cursor cur = db.queryThrow(Sqlite3Sql(QStringLiteral("select max(_id) from data")));
        if (cur.moveNext())
            maxId = cur.getInt64(0);
    }
    const int slices = int(std::clamp<long long>(maxId / 20000, 1, std::max(1, std::min(kMaxScanThreads,
                                                                          int(std::thread::hardware_concurrency())))));
    const QString pattern = LocalDb::likeSubstringPattern(keyword);
    std::set<long long> ids;
    std::mutex idsMutex;
    std::exception_ptr failure;
    std::vector<std::thread> threads;
    for (int slice = 0; slice < slices; ++slice) {
        const long long from = maxId * slice / slices + 1;
        const long long to = maxId * (slice + 1) / slices;
        threads.emplace_back([&, from, to] {
            try {
                Sqlite3DB db;
                db.openThrow(path, Sqlite3DB::OpenReadOnly);
                Sqlite3Sql sql(QStringLiteral("select distinct contact_id from data where _id between ? and ?"
                                              " and type not in (?,?) and data1 like ? escape '\\'"));
                sql.addInt64Param(from).addInt64Param(to);
                sql.addIntParam(pim::ENTITY_GROUP).addIntParam(pim::ENTITY_PHOTO).addTextParam(pattern);
                Sqlite3Cursor cur = db.queryThrow(sql);
                std::vector<long long> found;
                while (cur.moveNext() && !(cancel && cancel->load(std::memory_order_relaxed)))
                    found.push_back(cur.getInt64(0));
                const std::lock_guard<std::mutex> lock(idsMutex);
                ids.insert(found.begin(), found.end());
            } catch (...) {
                const std::lock_guard<std::mutex> lock(idsMutex);
                failure = std::current_exception();
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    if (failure)
        std::rethrow_exception(failure);
    return { ids.begin(), ids.end() };
}

} // namespace

ContactListRows readContactListRows(const QString& path, unsigned long long groupId, const QString& keyword,
                                    const std::atomic_bool* cancel)
{
    Sqlite3DB db;
    db.openThrow(path, Sqlite3DB::OpenReadOnly);
    if (!keyword.isEmpty()) {
        const std::vector<long long> hits = contactsMatching(path, keyword, cancel);
        if (hits.empty())
            return {};
        // The temporary database stays writable on a read-only connection.
        db.executeThrow(Sqlite3Sql(QStringLiteral("create temp table hits (id integer primary key)")));
        db.beginTran();
        for (long long id : hits)
            db.executeThrow(Sqlite3Sql(QStringLiteral("insert into temp.hits values (?)")).addInt64Param(id));
        db.commitTran();
    }
    // The same contacts from both tables: members of the group, hits of
    // the search.
    auto filtered = [&](const char* select, const char* idColumn, const char* order) {
        Sqlite3Sql sql(QString::fromLatin1(select) + QStringLiteral(" where 1=1"));
        const QString column = QString::fromLatin1(idColumn);
        if (groupId != 0) {
            sql.appendSql(QStringLiteral(" and %1 in (select contact_id from data where type=? and data1=?)").arg(column));
            sql.addIntParam(pim::ENTITY_GROUP).addTextParam(QString::number(groupId));
        }
        if (!keyword.isEmpty())
            sql.appendSql(QStringLiteral(" and %1 in (select id from temp.hits)").arg(column));
        sql.appendSql(QString::fromLatin1(order));
        return db.queryThrow(sql);
    };
    // Names and data rows are merged here by contact id rather than joined
    // in SQL, which would look the contact up once per data row. Only the
    // text of the three shown kinds is fetched; any other row just proves
    // that its contact has data. (contact_id, type) is the order of
    // index_data_contact: no sort step, and within one type the rows still
    // come in the order they were stored.
    Sqlite3Cursor names = filtered("select _id, full_name from contact", "_id", " order by _id asc");
    Sqlite3Cursor cur = filtered("select contact_id, type, case when type in (3,4,12) then data1 end,"
                                 " case when type=3 then data2 end from data",
                                 "contact_id", " order by contact_id asc, type asc");
    static_assert(pim::ENTITY_PHONE == 3 && pim::ENTITY_EMAIL == 4 && pim::ENTITY_ADDR == 12);
    ContactListRows rows;
    ContactListRow* row = nullptr;
    bool mobileFound = false;
    bool namesLeft = names.moveNext();
    while (cur.moveNext()) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            break;
        const long long contactId = cur.getInt64(0);
        if (!row || row->id != static_cast<unsigned long long>(contactId)) {
            // A data row whose contact row is missing lists under no name,
            // as the join would drop it.
            while (namesLeft && names.getInt64(0) < contactId)
                namesLeft = names.moveNext();
            if (!namesLeft || names.getInt64(0) != contactId) {
                row = nullptr;
                continue;
            }
            rows.emplace_back();
            row = &rows.back();
            row->id = static_cast<unsigned long long>(contactId);
            row->fullName = names.getText(1);
            mobileFound = false;
        }
        switch (cur.getInt64(1)) {
        case pim::ENTITY_PHONE:
            if (!mobileFound) {
                const bool mobile = cur.getInt64(3) == kMobile;
                if (row->phone.isNull() || mobile) {
                    row->phone = cur.getText(2);
                    if (row->phone.isNull())
                        row->phone = QLatin1String("");
                    mobileFound = mobile;
                }
            }
            break;
        case pim::ENTITY_EMAIL:
            if (row->email.isNull())
                row->email = cur.getText(2);
            break;
        case pim::ENTITY_ADDR:
            if (row->address.isNull())
                row->address = cur.getText(2);
            break;
        case pim::ENTITY_PHOTO:
            row->hasPhoto = true;
            break;
        default:
            break;
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const ContactListRow& a, const ContactListRow& b) {
        return a.fullName.compare(b.fullName) < 0;
    });
    return rows;
}

struct ContactListLoader::Request {
    std::atomic_bool cancelled { false };
    QThread* thread = nullptr;
};

ContactListLoader::ContactListLoader(QObject* parent)
    : QObject(parent)
{
}

ContactListLoader::~ContactListLoader()
{
    stopCurrent();
    // Threads of cancelled requests delete themselves when done; waiting
    // for them keeps none running past the window that started them.
    for (QThread* thread : findChildren<QThread*>(QString(), Qt::FindDirectChildrenOnly)) {
        thread->wait();
        delete thread;
    }
}

void ContactListLoader::stopCurrent()
{
    if (m_current)
        m_current->cancelled = true;
    m_current.reset();
    m_busy = false;
}

void ContactListLoader::cancel()
{
    stopCurrent();
}

int ContactListLoader::start(QSharedPointer<LocalDb> db, unsigned long long groupId, const QString& keyword)
{
    stopCurrent();
    auto request = std::make_shared<Request>();
    const int ticket = ++m_nextTicket;
    QPointer<ContactListLoader> self(this);
    request->thread = QThread::create([request, db, groupId, keyword, ticket, self] {
        std::shared_ptr<ItemModelContacts::PreparedRows> rows;
        QString error;
        try {
            rows = ItemModelContacts::prepareRows(
                readContactListRows(db->readPath(), groupId, keyword, &request->cancelled));
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        // Delivered on the GUI thread, and only to the request still wanted.
        QMetaObject::invokeMethod(self.data(), [self, request, ticket, rows, error] {
            if (!self || request->cancelled || self->m_current != request)
                return;
            self->m_current.reset();
            self->m_busy = false;
            emit self->finished(ticket, rows, error);
        }, Qt::QueuedConnection);
    });
    request->thread->setParent(this);
    connect(request->thread, &QThread::finished, request->thread, &QObject::deleteLater);
    m_current = request;
    m_busy = true;
    request->thread->start();
    return ticket;
}
