// SPDX-License-Identifier: GPL-3.0-or-later
// The Android sync threads against the simulated companion app and a real
// device database: reading the phone, writing contacts to it, and sending
// edits, deletions and group changes made in the database.
#include "android/androidsendchangesthread.h"
#include "android/iandroidconnector.h"
#include "android/syncbackupthread.h"
#include "android/syncrestorethread.h"
#include "common/contactbuilders.h"
#include "common/sqlprobe.h"
#include "companionsim.h"
#include "model/localdb.h"
#include "model/localdbcombinerule.h"
#include "support/recordingreporter.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using Contacts = QList<pim::_Contact>;
using Change = std::function<void(LocalDb&, AndroidSendChangesThread&)>;
Q_DECLARE_METATYPE(Change)

namespace {

// The simulated app's service always listens: every start names its address.
class SimConnector : public IAndroidConnector {
public:
    explicit SimConnector(QString host) : m_host(std::move(host)) {}
    void initialCheck() override { calls << "check"; }
    QString startBackup(int port) override { return calls << QString("backup:%1").arg(port), m_host; }
    QString startRestore(int port) override { return calls << QString("restore:%1").arg(port), m_host; }
    QString logcat() override { return {}; }
    QStringList calls; // read once the thread has ended

private:
    QString m_host;
};

QJsonObject text(const QString& t) { return { { "text", t } }; }
QJsonObject record(int type, const QJsonArray& fields) { return { { "type", type }, { "fields", fields } }; }

QJsonArray phoneContact(const QString& given, const QString& family, const QStringList& numbers = {})
{
    QJsonArray records { record(1, { "", text(given), "", text(family) }) };
    for (const QString& number : numbers)
        records.append(record(3, { "mobile", "", text(number) }));
    return records;
}

pim::_Contact person(const QString& given, const QString& family, const QStringList& numbers, const QString& mail = {})
{
    QMap<int, QList<QVariantMap>> entities { { 1, { { { "data2", given }, { "data3", family } } } } };
    for (const QString& number : numbers)
        entities[3].append({ { "data1", number }, { "data2", 2 }, { "data3", "" } });
    if (!mail.isEmpty())
        entities[4].append({ { "data1", mail }, { "data2", 1 }, { "data3", "" } });
    return testkit::contactOf(given + " " + family, entities);
}

pim::_Contact storedContact(LocalDb& db, const QString& fullName)
{
    for (const pim::_Contact& c : db.contacts())
        if (c.fullName == fullName)
            return c;
    return {};
}

// A contact the phone has never seen, stored as the editor stores a new one.
pim::_Contact addLocal(LocalDb& db, bool named = true)
{
    pim::_Contact c(0, QString(), "Cy Wu");
    db.insertContactBase(c);
    pim::Entity name = testkit::entityOf({ { "data2", "Cy" }, { "data3", "Wu" } });
    pim::Entity phone = testkit::entityOf({ { "data1", "+3" }, { "data2", 2 } });
    if (named)
        db.insertEntity(c.id, 1, name);
    db.insertEntity(c.id, 3, phone);
    return db.contact(c.id);
}

QList<ContactChange> allAdded(const pim::_Contact& c)
{
    QList<ContactChange> changes;
    for (auto it = c.entities.constBegin(); it != c.entities.constEnd(); ++it)
        for (const pim::Entity& e : it.value())
            changes << ContactChange(it.key(), ContactChange::ACTION_ADDED, e);
    return changes;
}

// A phone listening for reads and writes, and its device database.
struct Fixture {
    Fixture(QJsonObject scenario, const QString& restoreFault = {})
    {
        db->create();
        if (!restoreFault.isEmpty())
            scenario["faults"] = QJsonObject { { "restore:1", restoreFault } };
        const QList<quint16> ports = sim.start(scenario, { "backup", "restore" });
        backupPort = ports[0];
        restorePort = ports[1];
    }
    void readPhone()
    {
        RecordingReporter reader;
        SyncRestoreThread thread(db, connector, backupPort, &reader);
        QVERIFY(run(thread));
        QCOMPARE(reader.errors(), QStringList());
    }
    static bool run(QThread& thread)
    {
        thread.start();
        return thread.wait(60000);
    }
    QString ending() const
    {
        if (!reporter.errors().isEmpty())
            return "error:" + reporter.errors().join('|');
        return reporter.successes().isEmpty() ? QString("none") : "ok:" + reporter.successes().join('|');
    }
    // The source ids of a table's rows, and the ids of the phone's records
    // (of its name records only for type 1): equal when the two agree.
    QStringList storedIds(const QString& table)
    {
        return SqlProbe(db->path()).column("select ifnull(src_id,'') from " + table + " order by 1");
    }
    QStringList phoneIds(int type = 0)
    {
        QStringList ids;
        for (const QJsonValue& c : sim.dump(1)["contacts"].toArray())
            for (const QJsonValue& r : c["records"].toArray())
                if (type == 0 || r["type"].toInt() == type)
                    ids << r["id"].toString();
        ids.sort();
        return ids;
    }
    // The phone's records of the contact with this given name, as
    // "type:fields" with text fields decoded (labelled types open with a word).
    QStringList phoneRecords(const QString& given)
    {
        for (const QJsonValue& c : sim.dump()["contacts"].toArray()) {
            QStringList shown;
            for (const QJsonValue& r : c["records"].toArray()) {
                QStringList fields;
                for (const QJsonValue& f : r["fields"].toArray()) {
                    const bool word = r["type"].toInt() != 1 && r["type"].toInt() != 7 && fields.isEmpty();
                    fields << (word ? f.toString() : QString(QByteArray::fromBase64(f.toString().toLatin1())));
                }
                shown << QString::number(r["type"].toInt()) + ":" + fields.join(',');
            }
            shown.sort();
            if (!shown.isEmpty() && shown[0].section(',', 1, 1) == given)
                return shown;
        }
        return {};
    }
    int count(const QString& sql) { return SqlProbe(db->path()).value(sql).toInt(); }

    QTemporaryDir dir;
    QSharedPointer<LocalDb> db { new LocalDb(dir.filePath("android.db"), QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule)) };
    CompanionSim sim;
    QSharedPointer<SimConnector> connector { new SimConnector(sim.address()) };
    RecordingReporter reporter;
    quint16 backupPort = 0;
    quint16 restorePort = 0;
};

const QJsonObject kAnnAndBob { { "contacts", QJsonArray { phoneContact("Ann", "Lee", { "+1 555", "+1 666" }),
                                                 QJsonArray { phoneContact("Bob", "Ray")[0], record(7, { text("Friends") }) } } } };

} // namespace

class TestAndroidSync : public QObject {
    Q_OBJECT

private slots:
    void shouldReadThePhoneOrStoreNothing_data()
    {
        QJsonArray contacts { QJsonArray { phoneContact("A0", "Lee", { "+0" })[0], record(7, { text("Work") }) } };
        for (int i = 1; i < 5; ++i)
            contacts.append(phoneContact(QString("A%1").arg(i), "Lee", { QString("+%1").arg(i) }));
        const QJsonObject phone { { "device", "Pixel Ä" }, { "contacts", contacts }, { "batchSize", 2 } };
        const auto with = [&](const char* key, const QJsonValue& value) {
            QJsonObject changed = phone;
            changed[key] = value;
            return changed;
        };
        const auto fault = [&](const char* n, const QString& what) { return with("faults", QJsonObject { { n, what } }); };
        QTest::addColumn<QJsonObject>("scenario");
        QTest::addColumn<int>("cancelAfter"); // progress reports before the user cancels
        QTest::addColumn<QString>("ending");
        QTest::addColumn<int>("contacts"); // contact rows stored
        QTest::addColumn<int>("records"); // data rows stored
        QTest::addColumn<int>("skipped");
        // The phone's lines: 1 device, 2 version, 3 count, 4 batch, 5 A0's name, 6 her group, 7 A1's name ...
        QTest::newRow("three batches") << phone << -1 << "ok:" << 5 << 10 << 0;
        QTest::newRow("no count") << with("count", false) << -1 << "ok:" << 5 << 10 << 0;
        QTest::newRow("count too small") << with("count", 2) << -1 << "ok:" << 5 << 10 << 0;
        QTest::newRow("old app") << with("version", 1) << -1 << "error:IDS_DAEMON_APK_OLDER_THAN_3.0.3" << 0 << 0 << 0;
        QTest::newRow("bad id") << fault("6", "line:$ent:3/x/101/7,,,") << -1 << "error:Invalid:$ent:3/x/101/7,,," << 0 << 0 << 0;
        QTest::newRow("contact unknown") << fault("6", "line:$ent:7/99/5099/7,") << -1 << "ok:" << 5 << 9 << 1;
        QTest::newRow("type unknown") << fault("6", "line:$ent:42/101/5101/7,") << -1 << "ok:" << 5 << 9 << 1;
        QTest::newRow("app error") << fault("9", "error:Contacts unreadable") << -1 << "error:Contacts unreadable" << 0 << 0 << 0;
        QTest::newRow("dropped connection") << fault("12", "close") << -1 << "error:Lost the connection" << 0 << 0 << 0;
        QTest::newRow("cancel during a batch") << phone << 6 << "none" << 0 << 0 << 0;
    }
    void shouldReadThePhoneOrStoreNothing()
    {
        QFETCH(QJsonObject, scenario);
        QFETCH(int, cancelAfter);
        QFETCH(QString, ending);
        Fixture f(scenario);
        f.reporter.cancelAfterProgress(cancelAfter);
        SyncRestoreThread thread(f.db, f.connector, f.backupPort, &f.reporter);
        QVERIFY(Fixture::run(thread));

        QVERIFY2(f.ending().startsWith(ending), qPrintable(f.ending()));
        QTEST(f.count("select count(*) from contact"), "contacts");
        QTEST(f.count("select count(*) from data"), "records");
        QTEST(thread.skippedRecords(), "skipped");
        if (ending != "ok:")
            return;
        QCOMPARE(thread.deviceName(), QString("Pixel Ä"));
        QCOMPARE(f.count("select count(*) from data where contact_id not in (select _id from contact)"), 0);
        QCOMPARE(f.count("select count(*) from data d join contact_group g on d.data1 = g._id and d.data2 = g.name"),
            f.count("select count(*) from data where type = 7"));
        int highest = 0;
        for (const RecordingReporter::Progress& p : f.reporter.progress())
            highest = qMax(highest, p.percent);
        QCOMPARE(f.reporter.progress().last().text, QString("Contacts: 5/5"));
        QCOMPARE(highest, thread.total() == 0 ? 0 : 100);
    }

    void shouldWriteWhatTheMergeAdds_data()
    {
        QTest::addColumn<Contacts>("contacts");
        QTest::addColumn<QString>("fault"); // replaces the phone's first answer
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QString>("batches"); // "$ent:" lines per batch sent
        QTest::addColumn<QStringList>("records"); // a given name, then its records on the phone
        Contacts many;
        for (int i = 0; i < 45; ++i)
            many << person(QString("P%1").arg(i), "Ko", { QString("+%1").arg(i) });
        const Contacts two { person("Cy", "Wu", { "+3" }), person("Di", "Wu", {}) };
        const QString none = "ok:IDS_SUC_TRANSFER_0_CONTACTS_TO_ANDROID";
        QTest::newRow("45 new contacts") << many << "" << "ok:IDS_SUC_TRANSFER_45_CONTACTS_TO_ANDROID"
                                         << "20,20,5,20,20,5" << QStringList { "P0", "1:,P0,,Ko,", "3:mobile,,+0" };
        QTest::newRow("merged into a phone contact") << Contacts { person("Ann", "Lee", { "+1 555" }, "a@x.org") } << ""
                                                     << none + "_1_MERGED" << "1"
                                                     << QStringList { "Ann", "1:,Ann,,Lee", "3:mobile,,+1 555", "3:mobile,,+1 666", "4:home,,a@x.org" };
        QTest::newRow("nothing new") << Contacts { person("Ann", "Lee", { "+1 666" }), person("Bob", "Ray", {}) } << ""
                                     << none + "_2_MERGED" << "" << QStringList {};
        QTest::newRow("two contacts merge into one") << Contacts { person("Zed", "Wu", { "+1" }), person("Zed", "Wu", { "+2" }) }
                                                     << "" << "ok:IDS_SUC_TRANSFER_1_CONTACTS_TO_ANDROID_1_MERGED"
                                                     << "1,2" << QStringList { "Zed", "1:,Zed,,Wu,", "3:mobile,,+1", "3:mobile,,+2" };
        QTest::newRow("full name only") << Contacts { testkit::contactOf("Cy Wu", { { 3, { { { "data1", "+3" } } } } }) } << ""
                                        << "ok:IDS_SUC_TRANSFER_1_CONTACTS_TO_ANDROID" << "1,1"
                                        << QStringList { "Cy Wu", "1:,Cy Wu,,,", "3:other,,+3" };
        QTest::newRow("no name at all") << Contacts { testkit::contactOf("", { { 3, { { { "data1", "+3" } } } } }) } << ""
                                        << none << "" << QStringList {};
        QTest::newRow("unconfirmed contacts") << two << "line:$batch:" << "error:The phone did not accept 2 contacts."
                                              << "2" << QStringList {};
        QTest::newRow("pairs for ids not sent") << two << "line:$batch:1/1/1/-1=>1/9/9/9,1/101/5101/1001=>1/9/9/9"
                                                << "error:The phone did not accept 2 contacts." << "2" << QStringList {};
        QTest::newRow("cancel while merging") << two << "" << "none" << "" << QStringList {};
    }
    void shouldWriteWhatTheMergeAdds()
    {
        QFETCH(Contacts, contacts);
        QFETCH(QString, fault);
        QFETCH(QString, ending);
        QFETCH(QStringList, records);
        Fixture f(kAnnAndBob, fault);
        f.readPhone();
        f.reporter.cancelAfterProgress(ending == "none" ? 1 : -1);
        SyncBackupThread thread(contacts, f.db, f.connector, f.restorePort, &f.reporter);
        QVERIFY(Fixture::run(thread));

        QCOMPARE(f.ending(), ending);
        QStringList batches;
        int lines = 0;
        for (const QJsonValue& line : f.sim.dump(1)["received"].toArray()) {
            lines = line.toString().startsWith("$batch:") ? 0 : lines + line.toString().startsWith("$ent:");
            if (line.toString().startsWith("$end:"))
                batches << QString::number(lines);
        }
        QTEST(batches.join(','), "batches");
        QCOMPARE(f.connector->calls.contains(QString("restore:%1").arg(f.restorePort)), !batches.isEmpty());
        if (!ending.startsWith("ok:")) {
            QCOMPARE(f.count("select count(*) from contact"), 2); // rolled back: the caller reads the phone again
            return;
        }
        QCOMPARE(f.storedIds("data"), f.phoneIds());
        QCOMPARE(f.storedIds("contact"), f.phoneIds(1));
        if (!records.isEmpty())
            QCOMPARE(f.phoneRecords(records.takeFirst()), records);
    }

    void shouldBringThePhoneInLine_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("fault"); // replaces the phone's first answer
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QStringList>("records"); // "given name", then its records on the phone
        QTest::addColumn<int>("deletions"); // "$del:" lines sent
        const Change edit = [](LocalDb& db, AndroidSendChangesThread& t) {
            const pim::_Contact ann = storedContact(db, "Ann Lee");
            pim::Entity mail = testkit::entityOf({ { "data1", "a@x.org" }, { "data2", 1 } });
            db.insertEntity(ann.id, 4, mail);
            pim::Entity kept = ann.entities[3][0];
            kept.fields["data1"] = "+1 777";
            db.updateEntity(3, kept);
            db.removeEntity(ann.entities[3][1].id);
            const pim::Entity neverSent(mail.id + 1000, QString());
            t.initEditContact(db.contact(ann.id), { { 4, ContactChange::ACTION_ADDED, mail }, { 3, ContactChange::ACTION_UPDATED, kept },
                                                      { 3, ContactChange::ACTION_DELETED, ann.entities[3][1] }, { 3, ContactChange::ACTION_DELETED, neverSent } });
        };
        QTest::newRow("entities added, updated, deleted") << edit << "" << "ok:"
                                                          << QStringList { "Ann", "1:,Ann,,Lee", "3:mobile,,+1 777", "4:home,,a@x.org" } << 1;
        QTest::newRow("new contact") << Change([](LocalDb& db, AndroidSendChangesThread& t) {
            const pim::_Contact cy = addLocal(db);
            t.initEditContact(cy, allAdded(cy));
        }) << "" << "ok:" << QStringList { "Cy", "1:,Cy,,Wu,", "3:mobile,,+3" } << 0;
        QTest::newRow("new contact without a name") << Change([](LocalDb& db, AndroidSendChangesThread& t) {
            const pim::_Contact cy = addLocal(db, false);
            t.initEditContact(cy, allAdded(cy));
        }) << "" << "error:The contact \"Cy Wu\" is not on the phone and has no name to create it with." << QStringList {} << 0;
        QTest::newRow("deleted contacts") << Change([](LocalDb& db, AndroidSendChangesThread& t) {
            const pim::_Contact ann = storedContact(db, "Ann Lee");
            const pim::_Contact cy = addLocal(db);
            db.removeContact(ann.id);
            db.removeContact(cy.id);
            t.initDelContacts({ ann, cy });
        }) << "" << "ok:" << QStringList { "Ann" } << 1;
        QTest::newRow("set group") << Change([](LocalDb& db, AndroidSendChangesThread& t) {
            const pim::_Contact ann = storedContact(db, "Ann Lee");
            db.setGroup(ann.id, db.getGroupIdOrAdd("Work"), "Work");
            t.initContactsSetGroup({ db.contact(ann.id), pim::_Contact(99, QString(), "Not on the phone") });
        }) << "" << "ok:" << QStringList { "Ann", "1:,Ann,,Lee", "3:mobile,,+1 555", "3:mobile,,+1 666", "7:Work" } << 0;
        QTest::newRow("ungroup") << Change([](LocalDb& db, AndroidSendChangesThread& t) {
            const pim::_Contact bob = storedContact(db, "Bob Ray");
            db.ungroup(bob.id);
            t.initContactsSetGroup({ db.contact(bob.id) });
        }) << "" << "ok:" << QStringList { "Bob", "1:,Bob,,Ray" } << 0;
        QTest::newRow("not a batch answer") << edit << "line:$bye:" << "error:receive $batch: command error, invalid command:$bye:"
                                            << QStringList {} << 1;
    }
    void shouldBringThePhoneInLine()
    {
        QFETCH(Change, change);
        QFETCH(QString, fault);
        QFETCH(QString, ending);
        QFETCH(QStringList, records);
        Fixture f(kAnnAndBob, fault);
        f.readPhone();
        AndroidSendChangesThread thread(&f.reporter, f.db, f.connector, f.restorePort);
        change(*f.db, thread);
        QVERIFY(Fixture::run(thread));

        QCOMPARE(f.ending(), ending);
        int deletions = 0;
        for (const QJsonValue& line : f.sim.dump(1)["received"].toArray())
            deletions += line.toString().startsWith("$del:");
        QTEST(deletions, "deletions");
        if (!ending.startsWith("ok:"))
            return; // the caller reads the phone again
        QCOMPARE(f.storedIds("data"), f.phoneIds());
        QCOMPARE(f.storedIds("contact"), f.phoneIds(1));
        QCOMPARE(f.phoneRecords(records.takeFirst()), records);
    }
};

QTEST_GUILESS_MAIN(TestAndroidSync)
#include "tst_androidsync.moc"
