// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QList>
#include <QThread>

#include <memory>

class ContactPages;
class IWorkerReporter;
class LocalDb;

// Stores a list of contacts into one local database inside a single edit,
// merging each into the stored contact of the same full name when there is
// one. A cancel, polled before each contact, keeps what was stored so far
// (it is committed and reported with the counts reached); any failure rolls
// the whole run back and reports the error's text.
//
// db and reporter are not owned and must outlive the run. The database is
// used only on the worker thread while it runs.
class BackupContactsToLocalThread : public QThread {
    Q_OBJECT
public:
    BackupContactsToLocalThread(const QList<pim::_Contact>& contacts, LocalDb* db, IWorkerReporter* form,
                                QObject* parent = nullptr);
    // Reads the contacts a page at a time as it stores them (a whole
    // database in bounded memory); the walk is used on this thread only.
    BackupContactsToLocalThread(std::shared_ptr<ContactPages> pages, LocalDb* db, IWorkerReporter* form,
                                QObject* parent = nullptr);
    ~BackupContactsToLocalThread() override;

protected:
    void run() override;

private:
    std::shared_ptr<ContactPages> pages;
    LocalDb* db;
    IWorkerReporter* form;
};
