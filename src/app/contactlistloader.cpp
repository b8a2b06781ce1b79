// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/contactlistloader.h"

#include "model/contact.h"
#include "platform/error.h"
#include "platform/sqlite/sqlite3db.h"

#include <QPointer>
#include <QThread>

#include <algorithm>

namespace {

constexpr int kMobile = 2;

QString likeSubstringPattern(const QString& keyword)
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

} // namespace

ContactListRows readContactListRows(const QString& path, unsigned long long groupId, const QString& keyword,
                                    const std::atomic_bool* cancel)
{
    Sqlite3DB db;
    db.openThrow(path, Sqlite3DB::OpenReadOnly);
    // Only the text of the three shown kinds is fetched; every other row
    // just proves its contact has data.
    Sqlite3Sql sql(QStringLiteral(
        "select d.contact_id, d.type, case when d.type in (?,?,?) then d.data1 end,"
        " case when d.type=? then d.data2 end, c.full_name"
        " from data as d inner join contact as c on d.contact_id=c._id where 1=1"));
    sql.addIntParam(pim::ENTITY_PHONE).addIntParam(pim::ENTITY_EMAIL).addIntParam(pim::ENTITY_ADDR);
    sql.addIntParam(pim::ENTITY_PHONE);
    if (groupId != 0) {
        sql.appendSql(QStringLiteral(" and d.contact_id in (select contact_id from data where type=? and data1=?)"));
        sql.addIntParam(pim::ENTITY_GROUP).addTextParam(QString::number(groupId));
    }
    if (!keyword.isEmpty()) {
        sql.appendSql(QStringLiteral(" and d.contact_id in (select contact_id from data"
                                     " where type not in (?,?) and data1 like ? escape '\\')"));
        sql.addIntParam(pim::ENTITY_GROUP).addIntParam(pim::ENTITY_PHOTO).addTextParam(likeSubstringPattern(keyword));
    }
    sql.appendSql(QStringLiteral(" order by d.contact_id asc, d._id asc"));

    ContactListRows rows;
    Sqlite3Cursor cur = db.queryThrow(sql);
    ContactListRow* row = nullptr;
    bool mobileFound = false;
    while (cur.moveNext()) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            break;
        const auto contactId = static_cast<unsigned long long>(cur.getInt64(0));
        if (!row || row->id != contactId) {
            rows.emplace_back();
            row = &rows.back();
            row->id = contactId;
            row->fullName = cur.getText(4);
            mobileFound = false;
        }
        switch (cur.getInt64(1)) {
        case pim::ENTITY_PHONE:
            if (!mobileFound && (row->phone.isNull() || cur.getText(3).toInt() == kMobile)) {
                row->phone = cur.getText(2);
                if (row->phone.isNull())
                    row->phone = QLatin1String("");
                mobileFound = cur.getText(3).toInt() == kMobile;
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

int ContactListLoader::start(const QString& path, unsigned long long groupId, const QString& keyword)
{
    stopCurrent();
    auto request = std::make_shared<Request>();
    const int ticket = ++m_nextTicket;
    QPointer<ContactListLoader> self(this);
    request->thread = QThread::create([request, path, groupId, keyword, ticket, self] {
        auto rows = std::make_shared<ContactListRows>();
        QString error;
        try {
            *rows = readContactListRows(path, groupId, keyword, &request->cancelled);
        } catch (const std::exception& e) {
            rows->clear();
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
