// SPDX-License-Identifier: GPL-3.0-or-later
// Writing contacts to a simulated phone whose device database was read from it.
#include "android/syncbackupthread.h"
#include "common/contactbuilders.h"
#include "syncfixture.h"

#include <QJsonObject>
#include <QtTest>

using testkit::contactOf;
using Contacts = QList<pim::_Contact>;

namespace {

pim::_Contact person(const QString& given, const QString& family, const QStringList& numbers = {},
    const QString& email = {})
{
    QMap<int, QList<QVariantMap>> entities { { 1, { { { "data2", given }, { "data3", family } } } } };
    for (const QString& number : numbers)
        entities[3].append({ { "data1", number }, { "data2", 2 }, { "data3", "" } });
    if (!email.isEmpty())
        entities[4].append({ { "data1", email }, { "data2", 1 }, { "data3", "" } });
    return contactOf((given + " " + family).trimmed(), entities);
}

// The number of "$ent:" lines of every batch the phone received.
QList<int> batchSizes(const QJsonObject& phone)
{
    QList<int> sizes;
    int lines = 0;
    for (const QJsonValue& line : phone["received"].toArray()) {
        const QString text = line.toString();
        if (text.startsWith("$batch:"))
            lines = 0;
        else if (text.startsWith("$ent:"))
            ++lines;
        else if (text.startsWith("$end:"))
            sizes << lines;
    }
    return sizes;
}

} // namespace

class TestSyncBackupThread : public QObject {
    Q_OBJECT

private slots:
    void shouldWriteWhatTheMergeAdds_data()
    {
        QTest::addColumn<Contacts>("contacts");
        QTest::addColumn<QString>("fault"); // replaces the phone's first answer
        QTest::addColumn<int>("cancelAfter");
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QList<int>>("batches");
        QTest::addColumn<QString>("given"); // whose records on the phone to compare
        QTest::addColumn<QStringList>("records");

        Contacts many;
        for (int i = 0; i < 45; ++i)
            many << person(QString("P%1").arg(i), "Ko", { QString("+%1").arg(i) });
        QTest::newRow("45 new contacts") << many << "" << -1 << "ok:IDS_SUC_TRANSFER_45_CONTACTS_TO_ANDROID"
                                         << QList<int> { 20, 20, 5, 20, 20, 5 } << "P44"
                                         << QStringList { "1:,P44,,Ko,", "3:mobile,,+44" };
        QTest::newRow("merged into a phone contact")
            << Contacts { person("Ann", "Lee", { "+1 555" }, "ann@x.org") } << "" << -1
            << "ok:IDS_SUC_TRANSFER_0_CONTACTS_TO_ANDROID_1_MERGED" << QList<int> { 1 } << "Ann"
            << QStringList { "1:,Ann,,Lee", "3:mobile,,+1 555", "4:home,,ann@x.org" };
        QTest::newRow("nothing new") << Contacts { person("Ann", "Lee", { "+1 555" }), person("Bob", "Ray") } << ""
                                     << -1 << "ok:IDS_SUC_TRANSFER_0_CONTACTS_TO_ANDROID_2_MERGED" << QList<int> {}
                                     << "" << QStringList {};
        QTest::newRow("two contacts merge into one")
            << Contacts { person("Zed", "Wu", { "+1" }), person("Zed", "Wu", { "+2" }) } << "" << -1
            << "ok:IDS_SUC_TRANSFER_1_CONTACTS_TO_ANDROID_1_MERGED" << QList<int> { 1, 2 } << "Zed"
            << QStringList { "1:,Zed,,Wu,", "3:mobile,,+1", "3:mobile,,+2" };
        QTest::newRow("full name only") << Contacts { contactOf("Cy Wu", { { 3, { { { "data1", "+3" } } } } }) }
                                        << "" << -1 << "ok:IDS_SUC_TRANSFER_1_CONTACTS_TO_ANDROID"
                                        << QList<int> { 1, 1 } << "Cy Wu"
                                        << QStringList { "1:,Cy Wu,,,", "3:other,,+3" };
        QTest::newRow("no name at all") << Contacts { contactOf("", { { 3, { { { "data1", "+3" } } } } }) } << ""
                                        << -1 << "ok:IDS_SUC_TRANSFER_0_CONTACTS_TO_ANDROID" << QList<int> {}
                                        << "" << QStringList {};
        QTest::newRow("empty list") << Contacts {} << "" << -1 << "ok:IDS_SUC_TRANSFER_0_CONTACTS_TO_ANDROID"
                                    << QList<int> {} << "" << QStringList {};
        const Contacts two { person("Cy", "Wu", { "+3" }), person("Di", "Wu") };
        QTest::newRow("unconfirmed contacts") << two << "line:$batch:" << -1
                                              << "error:The phone did not accept 2 contacts." << QList<int> { 2 }
                                              << "" << QStringList {};
        QTest::newRow("pairs for other ids") << two << "line:$batch:1/1/1/-1=>1/9/9/9,1/101/5101/1001=>1/9/9/9"
                                             << -1 << "error:The phone did not accept 2 contacts."
                                             << QList<int> { 2 } << "" << QStringList {};
        QTest::newRow("not a batch answer") << two << "line:$bye:" << -1
                                            << "error:receive $batch: command error, invalid command:$bye:"
                                            << QList<int> { 2 } << "" << QStringList {};
        QTest::newRow("app error") << two << "error:Phone full" << -1 << "error:Phone full" << QList<int> { 2 }
                                   << "" << QStringList {};
        QTest::newRow("cancel while merging") << two << "" << 1 << "none" << QList<int> {} << "" << QStringList {};
    }
    void shouldWriteWhatTheMergeAdds()
    {
        QFETCH(Contacts, contacts);
        QFETCH(QString, fault);
        QFETCH(int, cancelAfter);
        QFETCH(QString, ending);
        QFETCH(QString, given);
        SyncFixture f;
        f.startPhone({ { "contacts", QJsonArray { phoneContact("Ann", "Lee", { "+1 555" }), phoneContact("Bob", "Ray") } },
            { "faults", QJsonObject { { "restore:1", fault } } } });
        f.readPhone();
        f.reporter.cancelAfterProgress(cancelAfter);
        SyncBackupThread thread(contacts, f.db, f.connector, f.restorePort, &f.reporter);
        QVERIFY(SyncFixture::finish(thread));

        QCOMPARE(f.ending(), ending);
        QTEST(batchSizes(f.sim.dump(1)), "batches");
        QCOMPARE(f.connector->calls.contains(QString("restore:%1").arg(f.restorePort)), !batchSizes(f.sim.dump()).isEmpty());
        if (!ending.startsWith("ok:")) {
            QCOMPARE(f.contactRows(), 2); // rolled back: the caller reads the phone again
            return;
        }
        QCOMPARE(f.mirrorMismatch(), QString());
        if (!given.isEmpty())
            QTEST(f.phoneRecords(given), "records");
    }
};

QTEST_GUILESS_MAIN(TestSyncBackupThread)
#include "tst_syncbackupthread.moc"
