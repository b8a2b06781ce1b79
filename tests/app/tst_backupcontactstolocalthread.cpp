// SPDX-License-Identifier: GPL-3.0-or-later
// The backup worker against a real local database, read back over a second
// connection.
#include "app/backupcontactstolocalthread.h"
#include "common/contactbuilders.h"
#include "common/sqlprobe.h"
#include "model/localdb.h"
#include "support/recordingreporter.h"
#include "support/timebounds.h"

#include <QTemporaryDir>
#include <QTest>

class TestBackupContactsToLocalThread : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QSharedPointer<LocalDb> m_db;

    // Backs the named contacts up, each with a phone number, and waits for the worker.
    void backUp(const QStringList& names, RecordingReporter& reporter)
    {
        QList<pim::_Contact> contacts;
        for (const QString& name : names)
            contacts << testkit::contactOf(name, { { pim::ENTITY_PHONE, { { { "data1", "555-" + name } } } } });
        BackupContactsToLocalThread worker(contacts, m_db.data(), &reporter);
        worker.start();
        QVERIFY(worker.wait(timebound::kWaitMs));
    }
    QStringList stored() { return SqlProbe(m_db->path()).column("select full_name from contact order by full_name"); }

private slots:
    void init()
    {
        m_db = LocalDb::openLocal(m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + ".db"));
        m_db->create();
    }

    void storesMergesAndReports_data()
    {
        QTest::addColumn<QStringList>("already");
        QTest::addColumn<QStringList>("incoming");
        QTest::addColumn<int>("cancelAfter"); // progress reports; -1 never
        QTest::addColumn<QString>("success");
        QTest::addColumn<QStringList>("stored");
        const QStringList three { "Ann", "Bob", "Cid" };
        QTest::newRow("none merged") << QStringList {} << three << -1 << "IDS_SUC_IMPORT_3_TO_LOCALDB" << three;
        QTest::newRow("two merged by name, any case") << QStringList { "Ann", "Bob" } << QStringList { "ANN", "bob", "Cid" }
                                                      << -1 << "IDS_SUC_IMPORT_1_TO_LOCALDB_2_MERGED" << three;
        QTest::newRow("empty list") << QStringList {} << QStringList {} << -1 << "IDS_SUC_IMPORT_0_TO_LOCALDB"
                                    << QStringList {};
        QTest::newRow("cancel before the second keeps the first")
            << QStringList {} << QStringList { "Ann", "Bob", "Cid", "Dan", "Eve", "Fay", "Gus", "Hal", "Ida", "Jo" } << 1
            << "IDS_SUC_IMPORT_1_TO_LOCALDB" << QStringList { "Ann" };
    }
    void storesMergesAndReports()
    {
        QFETCH(QStringList, already);
        QFETCH(QStringList, incoming);
        QFETCH(int, cancelAfter);
        QFETCH(QString, success);
        QFETCH(QStringList, stored);
        RecordingReporter first;
        backUp(already, first);
        RecordingReporter reporter;
        reporter.cancelAfterProgress(cancelAfter);
        backUp(incoming, reporter);
        QCOMPARE(reporter.errors(), QStringList {});
        QCOMPARE(reporter.successes(), QStringList { success });
        QCOMPARE(this->stored(), stored);
    }

    void failedCommitStoresNothing()
    {
        // A reader's open transaction keeps its shared lock, so the file
        // cannot be written when the edit commits.
        SqlProbe reader(m_db->path());
        reader.exec("begin");
        reader.exec("select count(*) from contact");
        RecordingReporter reporter;
        backUp({ "Ann", "Bob" }, reporter);
        reader.exec("rollback");
        QCOMPARE(reporter.successes(), QStringList {});
        QCOMPARE(reporter.errors().size(), 1);
        QVERIFY2(reporter.errors().first().contains("locked"), qPrintable(reporter.errors().first()));
        QCOMPARE(stored(), QStringList {});
        // Nothing is left open: the next backup goes through.
        RecordingReporter again;
        backUp({ "Cid" }, again);
        QCOMPARE(stored(), QStringList { "Cid" });
    }
};

QTEST_GUILESS_MAIN(TestBackupContactsToLocalThread)
#include "tst_backupcontactstolocalthread.moc"
