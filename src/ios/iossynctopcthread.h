// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSharedPointer>
#include <QString>
#include <QThread>

#include <atomic>

class IOSSyncRecordReader;
class IWorkerReporter;
class LocalDb;

// Reads every contact of a connected iPhone into its (empty) device
// database, in one transaction: either all of the phone's contacts are
// stored or, after a failure or a cancel, none. A failure is reported with
// a sentence saying what happened and what to do; a cancel (polled while the
// phone is awaited) ends silently. Success closes the dialog; its text names
// records left out and a phone that sent no contacts.
// db and reporter must outlive the run.
class IOSSyncToPCThread : public QThread {
    Q_OBJECT

public:
    IOSSyncToPCThread(QString udid, QSharedPointer<LocalDb> db, IWorkerReporter* reporter,
                      QObject* parent = nullptr);
    ~IOSSyncToPCThread() override;

    // The bar's value after `records` records have arrived. The phone never
    // says how many it holds, so this is an estimate of the share received
    // that grows more slowly as the read grows: it rises with every part of
    // a read of any size and does not reach the end before the last batch.
    static int progressOf(qint64 records);

    // After the run: contacts stored, and child links left out because the
    // phone never sent the contact they name.
    int contactCount() const { return m_contacts.load(); }
    int droppedChildren() const { return m_dropped.load(); }

protected:
    void run() override;

private:
    void receiveAll();
    // The success text: records left out, or a phone that sent nothing.
    static QString summaryOf(const IOSSyncRecordReader& reader);

    QString m_udid;
    QSharedPointer<LocalDb> m_db;
    IWorkerReporter* m_reporter;
    std::atomic<int> m_contacts{0};
    std::atomic<int> m_dropped{0};
    QString m_summary;
};
