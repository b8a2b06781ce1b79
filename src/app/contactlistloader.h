// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/contactlistrow.h"
#include "app/itemmodelcontacts.h"

#include <QObject>
#include <QSharedPointer>
#include <QString>

#include <atomic>
#include <memory>

class LocalDb;

class QThread;

// Reads the list rows of a contact database over a read-only connection
// of its own: the contacts that have at least one data row, optionally only
// the members of one group (groupId != 0) and only those with an entity
// other than a photo or group membership whose "data1" contains the keyword
// (ASCII case ignored, taken literally). Sorted by full name in UTF-16 code
// units, ties by id. Stops early, returning what it has, once *cancel is
// set. Throws Error with SQLite's text when the file cannot be read as a
// contact database.
ContactListRows readContactListRows(const QString& path, unsigned long long groupId, const QString& keyword,
                                    const std::atomic_bool* cancel = nullptr);

// Runs readContactListRows, and makes the model's rows of them, on a
// thread of its own, one request at a time
// from the caller's view: a new request cancels the one before, whose
// result is never delivered. Lives on the GUI thread; `finished` arrives
// there.
class ContactListLoader : public QObject {
    Q_OBJECT
public:
    explicit ContactListLoader(QObject* parent = nullptr);
    // Waits for the reading threads (they stop at their next row).
    ~ContactListLoader() override;

    // Starts reading the database on a connection of its own; returns the
    // request's ticket.
    int start(QSharedPointer<LocalDb> db, unsigned long long groupId, const QString& keyword);
    // Drops the request in progress, if any: nothing more is delivered.
    void cancel();
    bool isBusy() const { return m_busy; }

signals:
    // rows is null and error holds SQLite's text when the read failed.
    void finished(int ticket, std::shared_ptr<ItemModelContacts::PreparedRows> rows, QString error);

private:
    struct Request;
    void stopCurrent();

    std::shared_ptr<Request> m_current;
    int m_nextTicket = 0;
    bool m_busy = false;
};
