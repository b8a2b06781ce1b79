// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QThread>

class BackupManifest;
class IWorkerReporter;
class LocalDb;

// Imports the address book of an opened backup into a local database:
// copies the address book files (with their write-ahead logs) out of the
// backup into a private temporary folder, reads every person, then merges
// each into the database in one edit. A cancel or any failure rolls the
// whole import back; a backup without an address book is an error, never
// an import of nothing.
class ImportContactsFromiTunesThread : public QThread {
    Q_OBJECT
public:
    // The backup must have been parsed (BackupManifest::parseInfo), and
    // unlocked when encrypted. None of the arguments is owned; all must
    // outlive the run.
    ImportContactsFromiTunesThread(BackupManifest& backup, LocalDb* db, IWorkerReporter* form,
        QObject* parent = nullptr);

protected:
    void run() override;

private:
    void importAll();

    BackupManifest& m_backup;
    LocalDb* m_db;
    IWorkerReporter* m_form;
};
