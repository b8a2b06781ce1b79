// SPDX-License-Identifier: GPL-3.0-or-later
// The backup worker against a real local database, read back over a second
// connection.
#include "app/backupcontactstolocalthread.h"
#include "common/contactbuilders.h"
#include "common/sqlprobe.h"
#include "model/localdb.h"
#include "support/recordingreporter.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

QList<pim::_Contact> people(const QStringList& names)
{
    QList<pim::_Contact> contacts;
    for (const QString& name : names) {
        contacts << testkit::contactOf(name, { { pim::ENTITY_NAME, { { { "data1", name } } } },
                                               { pim::ENTITY_PHONE, { { { "data1", "555-" + name }, { "data2", 2 } } } } });
    }
    return contacts;
}

} // namespace

class TestBackupContactsToLocalThread : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QSharedPointer<LocalDb> m_db;

    void run(const QList<pim::_Contact>& contacts, RecordingReporter& reporter)
    {
        BackupContactsToLocalThread worker(contacts, m_db.data(), &reporter);
        worker.start();
        QVERIFY(worker.wait(30000));
    }
    QStringList stored()
    {
        SqlProbe probe(m_db->path());
        return probe.column("select full_name from contact order by full_name");
    }

private slots:
    void init()
    {
        m_db = LocalDb::openLocal(m_dir.filePath(QStringLiteral("%1.db").arg(QTest::currentDataTag())));
        m_db->create();
    }
    void cleanup()
    {
        m_db->removeDB();
        m_db.reset();
    }

    void storesAndCountsMerges_data()
    {
        QTest::addColumn<QStringList>("already");
        QTest::addColumn<QStringList>("incoming");
        QTest::addColumn<QString>("success");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("none merged") << QStringList {} << QStringList { "Ann", "Bob", "Cid" }
                                     << "IDS_SUC_IMPORT_3_TO_LOCALDB" << QStringList { "Ann", "Bob", "Cid" };
        QTest::newRow("two merged, by name in any case")
            << QStringList { "Ann", "Bob" } << QStringList { "ANN", "bob", "Cid" }
            << "IDS_SUC_IMPORT_1_TO_LOCALDB_2_MERGED" << QStringList { "Ann", "Bob", "Cid" };
        QTest::newRow("empty list still commits") << QStringList {} << QStringList {} << "IDS_SUC_IMPORT_0_TO_LOCALDB"
                                                  << QStringList {};
    }
    void storesAndCountsMerges()
    {
        QFETCH(QStringList, already);
        QFETCH(QStringList, incoming);
        QFETCH(QString, success);
        QFETCH(QStringList, stored);
        if (!already.isEmpty()) {
            RecordingReporter first;
            run(people(already), first);
        }
        RecordingReporter reporter;
        run(people(incoming), reporter);
        QCOMPARE(reporter.errors(), QStringList {});
        QCOMPARE(reporter.successes(), QStringList { success });
        QCOMPARE(this->stored(), stored);
        // The edit is over: another thread may use the database again.
        QCOMPARE(m_db->contacts().size(), stored.size());
    }

    void reportsEachContact()
    {
        RecordingReporter reporter;
        run(people({ "Ann", "Bob", "Cid" }), reporter);
        QStringList seen;
        for (const RecordingReporter::Progress& p : reporter.progress())
            seen << QStringLiteral("%1 %2 %3").arg(p.status).arg(p.percent).arg(p.text);
        QCOMPARE(seen, (QStringList { "IDS_IMPORTING_CONTACTS_TO_LOCALDB 33 Contacts:1/3",
                                      "IDS_IMPORTING_CONTACTS_TO_LOCALDB 66 Contacts:2/3",
                                      "IDS_IMPORTING_CONTACTS_TO_LOCALDB 100 Contacts:3/3" }));
    }

    void cancelKeepsWhatWasStored()
    {
        RecordingReporter reporter;
        reporter.cancelAfterProgress(1);
        QStringList names;
        for (int i = 0; i < 10; ++i)
            names << QStringLiteral("Person %1").arg(i);
        run(people(names), reporter);
        QCOMPARE(stored(), QStringList { "Person 0" });
        QCOMPARE(reporter.successes(), QStringList { "IDS_SUC_IMPORT_1_TO_LOCALDB" });
    }

    void failedCommitStoresNothing()
    {
        // A reader keeps the file from being written when the edit commits.
        SqlProbe reader(m_db->path());
        reader.holdRead("select count(*) from contact");
        RecordingReporter reporter;
        run(people({ "Ann", "Bob" }), reporter);
        reader.releaseRead();
        QCOMPARE(reporter.successes(), QStringList {});
        QCOMPARE(reporter.errors().size(), 1);
        QVERIFY2(reporter.errors().first().contains("locked"), qPrintable(reporter.errors().first()));
        QCOMPARE(stored(), QStringList {});
        // Nothing is left half open: the next backup goes through.
        RecordingReporter again;
        run(people({ "Cid" }), again);
        QCOMPARE(stored(), QStringList { "Cid" });
    }
};

QTEST_GUILESS_MAIN(TestBackupContactsToLocalThread)
#include "tst_backupcontactstolocalthread.moc"
