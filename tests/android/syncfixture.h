// SPDX-License-Identifier: GPL-3.0-or-later
// A simulated phone, a connector that leads to it, and the phone's device
// database in a temporary folder, for the tests of the Android sync threads.
#pragma once

#include "android/iandroidconnector.h"
#include "companionsim.h"
#include "model/localdb.h"
#include "support/recordingreporter.h"

#include <QJsonArray>
#include <QSharedPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

// Reaches the simulated companion app: the app's service always listens, so
// every start names the simulator's address. Calls are recorded.
class SimConnector : public IAndroidConnector {
public:
    explicit SimConnector(QString host) : m_host(std::move(host)) {}
    void initialCheck() override { calls << QStringLiteral("check"); }
    QString startBackup(int port) override { return started(QStringLiteral("backup:%1").arg(port)); }
    QString startRestore(int port) override { return started(QStringLiteral("restore:%1").arg(port)); }
    QString logcat() override { return {}; }
    QStringList calls; // read once the thread has ended

private:
    QString started(const QString& call)
    {
        calls << call;
        return m_host;
    }
    QString m_host;
};

// A phone contact for a scenario: a name record and one record per phone
// number.
QJsonArray phoneContact(const QString& given, const QString& family, const QStringList& numbers = {});

struct SyncFixture {
    SyncFixture();
    // Starts the phone with the scenario, listening for reads and writes.
    void startPhone(const QJsonObject& scenario);
    // Reads the phone into the device database; the run must succeed.
    void readPhone();
    // Starts the thread and waits for it; false when it hangs.
    static bool finish(QThread& thread);
    // "ok:TEXT", "error:TEXT", or "none" after a cancel.
    QString ending() const;
    // Where the device database and the phone differ in their ids: every
    // contact and data row must carry the id of a record on the phone, and
    // every record on the phone must be stored once. Empty when they agree.
    QString mirrorMismatch();
    // The phone's records of one contact (by its name record's given name),
    // as "type:fields" texts, fields decoded where they are text.
    QStringList phoneRecords(const QString& given);
    int contactRows();

    QTemporaryDir dir;
    QSharedPointer<LocalDb> db;
    CompanionSim sim;
    QSharedPointer<SimConnector> connector;
    RecordingReporter reporter;
    quint16 backupPort = 0;
    quint16 restorePort = 0;
};
