// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a simulated phone into a real device database.
#include "android/syncrestorethread.h"
#include "common/sqlprobe.h"
#include "syncfixture.h"

#include <QJsonObject>
#include <QtTest>

class TestSyncRestoreThread : public QObject {
    Q_OBJECT

private slots:
    void shouldReadThePhoneOrStoreNothing_data()
    {
        QJsonArray contacts;
        for (int i = 0; i < 5; ++i)
            contacts.append(phoneContact(QString("Ann%1").arg(i), "Lee", { QString("+1 555 %1").arg(i) }));
        const QJsonObject phone { { "device", "Pixel Ä" }, { "contacts", contacts }, { "batchSize", 2 } };
        const auto with = [&](const char* key, const QJsonValue& value) {
            QJsonObject changed = phone;
            changed[key] = value;
            return changed;
        };
        const auto fault = [&](const char* line, const QString& what) { return with("faults", QJsonObject { { line, what } }); };

        QTest::addColumn<QJsonObject>("scenario");
        QTest::addColumn<int>("cancelAfter"); // progress reports before the user cancels
        QTest::addColumn<QString>("ending");
        QTest::addColumn<int>("contacts"); // contact rows stored
        QTest::addColumn<int>("records"); // data rows stored
        QTest::addColumn<int>("skipped");
        // Lines the phone sends: 1 device, 2 version, 3 count, 4 batch, 5 Ann0's name, 6 her phone, ...
        QTest::newRow("three batches") << phone << -1 << "ok:" << 5 << 10 << 0;
        QTest::newRow("no count") << with("count", false) << -1 << "ok:" << 5 << 10 << 0;
        QTest::newRow("count too small") << with("count", 2) << -1 << "ok:" << 5 << 10 << 0;
        QTest::newRow("old app") << with("version", 1) << -1 << "error:IDS_DAEMON_APK_OLDER_THAN_3.0.3" << 0 << 0 << 0;
        QTest::newRow("version not a number") << fault("2", "line:$version:abc") << -1
                                              << "error:IDS_DAEMON_APK_OLDER_THAN_3.0.3" << 0 << 0 << 0;
        QTest::newRow("bad id") << fault("6", "line:$ent:3/x/5101/7,mobile,,KzE=") << -1
                                << "error:Invalid:$ent:3/x/5101/7,mobile,,KzE=" << 0 << 0 << 0;
        QTest::newRow("record of an unknown contact")
            << fault("6", "line:$ent:3/999/5999/7,mobile,,KzE=") << -1 << "ok:" << 5 << 9 << 1;
        QTest::newRow("unknown record type") << fault("6", "line:$ent:42/101/5101/7,x") << -1 << "ok:" << 5 << 9 << 1;
        QTest::newRow("other lines") << fault("6", "line:$hello:x") << -1 << "ok:" << 5 << 9 << 0;
        QTest::newRow("app error") << fault("9", "error:Contacts unreadable") << -1 << "error:Contacts unreadable" << 0 << 0 << 0;
        QTest::newRow("dropped connection") << fault("12", "close") << -1 << "error:" << 0 << 0 << 0;
        QTest::newRow("cancel during a batch") << phone << 6 << "none" << 0 << 0 << 0;
    }
    void shouldReadThePhoneOrStoreNothing()
    {
        QFETCH(QJsonObject, scenario);
        QFETCH(int, cancelAfter);
        QFETCH(QString, ending);
        SyncFixture f;
        f.startPhone(scenario);
        f.reporter.cancelAfterProgress(cancelAfter);
        SyncRestoreThread thread(f.db, f.connector, f.backupPort, &f.reporter);
        QVERIFY(SyncFixture::finish(thread));

        QVERIFY2(f.ending().startsWith(ending), qPrintable(f.ending()));
        QVERIFY(f.reporter.endings() <= 1);
        SqlProbe probe(f.db->path());
        QTEST(probe.value("select count(*) from contact").toInt(), "contacts");
        QTEST(probe.value("select count(*) from data").toInt(), "records");
        QTEST(thread.skippedRecords(), "skipped");
        QCOMPARE(f.connector->calls.first(), QString("check"));
        if (ending != "ok:")
            return;
        QCOMPARE(thread.deviceName(), QString("Pixel Ä"));
        QCOMPARE(thread.received(), 5);
        QCOMPARE(probe.value("select count(*) from data where contact_id not in (select _id from contact)").toInt(), 0);
        for (const RecordingReporter::Progress& p : f.reporter.progress())
            QVERIFY2(p.percent <= 100, qPrintable(p.text));
        const RecordingReporter::Progress last = f.reporter.progress().last();
        QCOMPARE(last.text, QString("Contacts: 5/5"));
        QCOMPARE(last.percent, thread.total() == 0 ? -1 : 100);
    }

    void shouldStoreWhatThePhoneHolds()
    {
        SyncFixture f;
        QJsonArray contact = phoneContact("Ann", "Lee", { "+1 555" });
        contact.append(QJsonObject { { "type", 7 }, { "fields", QJsonArray { QJsonObject { { "text", "Friends" } } } } });
        f.startPhone({ { "contacts", QJsonArray { contact } } });
        f.readPhone();
        QCOMPARE(f.mirrorMismatch(), QString());
        const QList<pim::_Contact> stored = f.db->contacts();
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored[0].fullName, QString("Ann Lee"));
        QCOMPARE(stored[0].entities[3][0].fields["data1"].toString(), QString("+1 555"));
        const pim::Entity group = stored[0].entities[7].value(0);
        QCOMPARE(f.db->groups().value(0).name, QString("Friends"));
        QCOMPARE(group.fields["data1"].toULongLong(), f.db->groups().value(0).id);
    }
};

QTEST_GUILESS_MAIN(TestSyncRestoreThread)
#include "tst_syncrestorethread.moc"
