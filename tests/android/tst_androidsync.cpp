// SPDX-License-Identifier: GPL-3.0-or-later
// The Android sync threads against the simulated companion app and a real
// device database: reading the phone, writing contacts to it, and sending
// edits, deletions and group changes made in the database.
#include "android/androidcontactsdb.h"
#include "android/androidsendchangesthread.h"
#include "android/iandroidconnector.h"
#include "android/syncbackupthread.h"
#include "android/syncrestorethread.h"
#include "common/contactbuilders.h"
#include "common/sqlprobe.h"
#include "common/watchedpages.h"
#include "companionsim.h"
#include "model/localdb.h"
#include "support/recordingreporter.h"
#include "support/testparts.h"
#include "support/timebounds.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using Contacts = QList<pim::_Contact>;
using Change = std::function<void(LocalDb&, AndroidSendChangesThread&)>;
Q_DECLARE_METATYPE(Change)

namespace {

// The simulated app's service always listens: every start names the
// address the simulator took.
class SimConnector : public IAndroidConnector {
public:
    explicit SimConnector(const CompanionSim& sim)
        : m_sim(sim)
    {
    }
    void initialCheck() override {}
    QString startBackup(int) override { return m_sim.address(); }
    QString startRestore(int) override { return m_sim.address(); }
    QString logcat() override { return {}; }

private:
    const CompanionSim& m_sim;
};

const auto text = [](const QString& t) { return QJsonObject { { "text", t } }; };
const auto record = [](int type, const QJsonArray& fields) {
    return QJsonObject { { "type", type }, { "fields", fields } };
};

QJsonArray phoneContact(const QString& given, const QString& family, const QStringList& numbers = {})
{
    QJsonArray records { record(1, { "", text(given), "", text(family) }) };
    for (const QString& number : numbers)
        records.append(record(3, { "mobile", "", text(number) }));
    return records;
}

pim::_Contact person(const QString& given, const QString& family, const QStringList& numbers)
{
    QMap<int, QList<QVariantMap>> entities { { 1, { { { "data2", given }, { "data3", family } } } } };
    for (const QString& number : numbers)
        entities[3].append({ { "data1", number }, { "data2", 2 }, { "data3", "" } });
    return testkit::contactOf(given + " " + family, entities);
}

pim::_Contact stored(LocalDb& db, const QString& fullName)
{
    return db.contact(db.isContactBaseExist(fullName));
}

// Stores a contact the phone has never seen, as the editor stores a new one,
// and makes it the thread's edit.
void addLocal(LocalDb& db, AndroidSendChangesThread& t, bool named, const QString& fullName = "Cy Wu",
    int detail = pim::ENTITY_PHONE)
{
    pim::_Contact c(0, QString(), fullName);
    db.insertContactBase(c);
    QList<_ChangeData> added { { 1, _ChangeData::ACTION_ADDED,
                                   testkit::entityOf({ { "data2", "Cy" }, { "data3", "Wu" } }) },
        { detail, _ChangeData::ACTION_ADDED, testkit::entityOf({ { "data1", "+3" }, { "data2", 2 } }) } };
    if (!named)
        added.removeFirst();
    for (_ChangeData& change : added)
        db.insertEntity(c.id, change.type, change.entity);
    t.initEditContact(db.contact(c.id), added);
}

// The phone's first answer to a write replaced by `fault` (see companionsim.py).
QJsonObject firstAnswer(const QString& fault)
{
    return QJsonObject { { "faults", QJsonObject { { "restore:1", fault } } } };
}

// A phone listening for reads and writes, and its device database.
struct Fixture {
    // `quirk` holds scenario keys that change how the phone answers writes.
    Fixture(QJsonObject scenario, const QJsonObject& quirk = {})
    {
        db->create();
        for (auto it = quirk.begin(); it != quirk.end(); ++it)
            scenario[it.key()] = it.value();
        const QList<quint16> ports = sim.start(scenario, { "backup", "restore" });
        backupPort = ports[0];
        restorePort = ports[1];
    }
    void readPhone(const QSharedPointer<AndroidContactsDb>& into)
    {
        RecordingReporter reader;
        SyncRestoreThread thread(into, backupPort, &reader);
        QVERIFY(run(thread));
        QCOMPARE(reader.errors(), QStringList());
    }
    static bool run(QThread& thread)
    {
        thread.start();
        return thread.wait(timebound::kWaitMs);
    }
    QString ending() const
    {
        if (!reporter.errors().isEmpty())
            return "error:" + reporter.errors().join('|');
        return reporter.successes().isEmpty() ? QString("none") : "ok:" + reporter.successes().join('|');
    }
    // What a database holds of every contact, ids included, in a fixed
    // order; group ids are local and derived name texts this side's own.
    static QStringList rows(const QString& path)
    {
        return SqlProbe(path).column(
            "select c.full_name || '|' || ifnull(c.src_id, '') || '|' || d.type || '|' || "
            "ifnull(d.src_id, '') || '|' || iif(d.type in (1, 7), '', d.data1) || '|' || "
            "d.data2 || '|' || d.data3 from data d join contact c on c._id = d.contact_id "
            "order by 1");
    }
    // The phone read afresh into another database.
    QStringList phoneRows()
    {
        QSharedPointer<AndroidContactsDb> again(new AndroidContactsDb(dir.filePath("again.db"), connector));
        again->create();
        readPhone(again);
        return rows(again->path());
    }
    int count(const QString& sql) { return SqlProbe(db->path()).value(sql).toInt(); }

    QTemporaryDir dir;
    CompanionSim sim;
    QSharedPointer<SimConnector> connector { new SimConnector(sim) };
    QSharedPointer<AndroidContactsDb> db { new AndroidContactsDb(dir.filePath("android.db"), connector) };
    RecordingReporter reporter;
    quint16 backupPort = 0;
    quint16 restorePort = 0;
};

// The number of "$ent:" lines of each batch the phone received, in order.
QString sentBatches(CompanionSim& sim)
{
    QStringList batches;
    int lines = 0;
    for (const QJsonValue& line : sim.dump(1)["received"].toArray()) {
        lines = line.toString().startsWith("$batch:") ? 0 : lines + line.toString().startsWith("$ent:");
        if (line.toString().startsWith("$end:"))
            batches << QString::number(lines);
    }
    return batches.join(',');
}

const QJsonObject kAnnAndBob { { "contacts",
    QJsonArray { phoneContact("Ann", "Lee", { "+1 555", "+1 666" }),
        QJsonArray { phoneContact("Bob", "Ray")[0], record(7, { text("Friends") }) } } } };

} // namespace

class TestAndroidSync : public QObject {
    Q_OBJECT

private slots:
    void shouldReadThePhoneOrStoreNothing_data()
    {
        QJsonArray contacts { QJsonArray {
            phoneContact("A0", "Lee", { "+0" })[0], record(7, { text("Work") }) } };
        for (int i = 1; i < 5; ++i)
            contacts.append(phoneContact(QString("A%1").arg(i), "Lee", { QString("+%1").arg(i) }));
        const QJsonObject phone { { "device", "Pixel Ä" }, { "contacts", contacts }, { "batchSize", 2 } };
        const auto with = [&](const char* key, const QJsonValue& value) {
            QJsonObject changed = phone;
            changed[key] = value;
            return changed;
        };
        const auto fault = [&](const char* n, const QString& f) {
            return with("faults", QJsonObject { { n, f } });
        };
        QTest::addColumn<QJsonObject>("scenario");
        QTest::addColumn<int>("cancelAfter"); // progress reports before the user cancels
        QTest::addColumn<QString>("outcome"); // contact rows, data rows, records skipped, then the ending
        // The phone's lines: 1 device, 2 version, 3 count, 4 batch, 5 A0's name, 6 her group, 7 A1's name ...
        QTest::newRow("three batches") << phone << -1 << "5 10 0 ok:";
        QTest::newRow("count too small") << with("count", 2) << -1 << "5 10 0 ok:";
        QTest::newRow("no count") << with("count", false) << -1 << "5 10 0 ok:";
        QTest::newRow("old app") << with("version", 1) << -1 << "0 0 0 error:IDS_DAEMON_APK_OLDER_THAN_3.0.3";
        const QString rest = QStringLiteral(
            "Everything else was stored. Update the companion app on the phone if this happens again.");
        // A record the phone got wrong costs that record; the read goes on
        // and its ending names the record by where it stood, never by the
        // line that carried it.
        QTest::newRow("bad id") << fault("6", "line:$ent:3/x/1/7,") << -1
                                << "5 9 1 ok:One record sent by the phone could not be read and was left out: "
                                   "record 2, sent after the name of \"A0 Lee\".<br/>" + rest;
        // Without its name the contact's other records have nowhere to go.
        QTest::newRow("name record unreadable")
            << fault("5", "line:$ent:1/x/2/3,YmFkIGlk") << -1
            << "4 8 2 ok:One record sent by the phone could not be read and was left out: record 1, sent before "
               "any contact's name.<br/>One record belonged to a contact whose name the phone did not send, and "
               "was left out.<br/>" + rest;
        QJsonObject marked = fault("6", "line:$ent:x"); // in place of Bo's number
        marked["contacts"] = QJsonArray { phoneContact("<b>Bo</b>", "Lee", { "+1" }), phoneContact("A1", "Lee") };
        QTest::newRow("markup in the name before an unreadable record")
            << marked << -1
            << "2 2 1 ok:One record sent by the phone could not be read and was left out: record 2, sent after "
               "the name of \"&lt;b&gt;Bo&lt;/b&gt; Lee\".<br/>" + rest;
        QTest::newRow("no contacts") << with("contacts", QJsonArray()) << -1
                                     << "0 0 0 ok:The phone sent no contacts: the companion app found none it "
                                        "may share. If the phone shows contacts, allow the app to read them in "
                                        "the phone's settings and connect again.";
        QTest::newRow("contact unknown") << fault("6", "line:$ent:7/99/5099/7,") << -1
                                         << "5 9 1 ok:One record belonged to a contact whose name the phone did "
                                            "not send, and was left out.<br/>" + rest;
        QTest::newRow("type unknown") << fault("6", "line:$ent:42/101/5101/7,") << -1
                                      << "5 9 1 ok:One record of a kind this program does not know was left "
                                         "out.<br/>" + rest;
        // Lines that are no command, before the batches and inside one.
        QTest::newRow("lines not understood")
            << with("faults", QJsonObject { { "3", "line:$total:5" }, { "6", "line:$note:x" } }) << -1
            << "5 9 0 ok:2 lines from the companion app were not understood and were left out.<br/>" + rest;
        QTest::newRow("app error") << fault("9", "error:Full") << -1 << "0 0 0 error:Full";
        QTest::newRow("dropped connection")
            << fault("12", "close") << -1 << "0 0 0 error:Lost the connection";
        QTest::newRow("cancel during a batch") << phone << 6 << "0 0 0 none";
        // One contact with more records than a contact may hold: the first
        // ones are stored, the rest counted and named as an import names them.
        QStringList many;
        for (qsizetype i = 0; i <= LocalDb::kMaxEntitiesPerContact; ++i)
            many << QString::number(i);
        QTest::newRow("contact past the row limit")
            << with("contacts", QJsonArray { phoneContact("Big", "Kim", many), phoneContact("A1", "Lee", { "+1" }) })
            << -1 << "2 10002 0 ok:Big Kim: only the first 10000 entries were kept; 2 more were left out.";
        // Without a name, the contact is known by its first number; with
        // blank numbers only, by nothing.
        QTest::newRow("contact without a name past the row limit")
            << with("contacts", QJsonArray { phoneContact("", "", QStringList(many.size(), " ")),
                                             phoneContact("A1", "Lee", { "+1" }) })
            << -1
            << "2 10002 0 ok:A contact without a name: only the first 10000 entries were kept; 2 more were left out.";
        QTest::newRow("contact without a name but with a number past the row limit")
            << with("contacts", QJsonArray { phoneContact("", "", QStringList { " ", "+1 555 0100" } + many.mid(2)),
                                             phoneContact("A1", "Lee", { "+1" }) })
            << -1 << "2 10002 0 ok:+1 555 0100: only the first 10000 entries were kept; 2 more were left out.";
    }
    void shouldReadThePhoneOrStoreNothing()
    {
        QFETCH(QJsonObject, scenario);
        QFETCH(int, cancelAfter);
        QFETCH(QString, outcome);
        Fixture f(scenario);
        f.reporter.cancelAfterProgress(cancelAfter);
        SyncRestoreThread thread(f.db, f.backupPort, &f.reporter);
        QVERIFY(Fixture::run(thread));

        const QString stored = QString("%1 %2 %3 ")
                                   .arg(f.count("select count(*) from contact"))
                                   .arg(f.count("select count(*) from data"))
                                   .arg(thread.skippedRecords());
        QVERIFY2((stored + f.ending()).startsWith(outcome), qPrintable(stored + f.ending()));
        if (f.ending().contains("<b>"))
            QFAIL("the phone's markup reached the dialog unescaped");
        if (!outcome.contains("ok:"))
            return;
        QCOMPARE(thread.deviceName(), QString("Pixel Ä"));
        QCOMPARE(f.count("select count(*) from data where contact_id not in (select _id from contact)"), 0);
        QCOMPARE(f.count("select count(*) from data d left join contact_group g on d.data1 = g._id and "
                         "d.data2 = g.name where type = 7 and g._id is null"),
            0);
    }

    void shouldNameTheAddressItCannotReach()
    {
        Fixture f(kAnnAndBob);
        AndroidSendChangesThread thread(&f.reporter, f.db, 1); // nothing listens on port 1
        thread.initDelContacts({});
        QVERIFY(Fixture::run(thread));
        QCOMPARE(f.ending(), "error:IDS_ANDROID_CONNECT_FAIL" + f.sim.address() + ":1");
    }

    // After a successful write the device database holds what a fresh read
    // of the phone gives, ids included; after a failure the merge is undone.
    void shouldWriteWhatTheMergeAdds_data()
    {
        QTest::addColumn<Contacts>("contacts");
        QTest::addColumn<QString>("outcome"); // "$ent:" lines per batch sent, then the ending
        QTest::addColumn<QJsonObject>("quirk"); // how the phone answers
        const auto row
            = [](const char* name, const Contacts& contacts, const QString& outcome,
                  const QJsonObject& quirk = {}) { QTest::newRow(name) << contacts << outcome << quirk; };
        Contacts many;
        for (int i = 0; i < 45; ++i)
            many << person(QString("P%1").arg(i), "Ko", { QString("+%1").arg(i) });
        const Contacts two { person("Cy", "Wu", { "+3" }), person("Di", "Wu", {}) };
        const Contacts fullNameOnly { testkit::contactOf(
            "Cy Wu", { { 3, { { { "data1", "+3" }, { "data2", 2 } } } } }) };
        const QString ok = " ok:IDS_SUC_TRANSFER_%1_CONTACTS_TO_ANDROID";
        row("45 new contacts", many, "20,20,5,20,20,5" + ok.arg(45));
        row("nothing new", { person("Ann", "Lee", { "+1 666" }), person("Bob", "Ray", {}) },
            ok.arg(0) + "_2_MERGED");
        row("full name only", fullNameOnly, "1,1" + ok.arg(1));
        row("no name at all", { testkit::contactOf("") }, ok.arg(0));
        row("merged into a phone contact", { person("Ann", "Lee", { "+1 555", "+1 777" }) },
            "1" + ok.arg(0) + "_1_MERGED");
        row("two contacts merge into one", { person("Zed", "Wu", { "+1" }), person("Zed", "Wu", { "+2" }) },
            "1,2" + ok.arg(1) + "_1_MERGED");
        const auto working = [](const char* title) {
            return testkit::contactOf("Zed Wu", { { 1, { { { "data2", "Zed" }, { "data3", "Wu" } } } },
                                                    { 10, { { { "data1", "Acme" }, { "data2", 1 }, { "data4", title } } } } });
        };
        row("a row changed twice goes once, as last stored", { working("Clerk"), working("Chief") },
            "1,1" + ok.arg(1) + "_1_MERGED");
        const QString unconfirmed = QStringLiteral(
            "2 error:The phone did not confirm 2 contacts (\"Cy Wu\", \"Di Wu\"). It may hold them all the same; "
            "the phone is read again to show what it holds.");
        // The phone stores the contacts and gives them no ids.
        row("unconfirmed contacts", two, unconfirmed, QJsonObject { { "pairs", false } });
        row("pairs for ids not sent", two, unconfirmed,
            firstAnswer("line:$batch:1/1/1/-1=>1/9/9/9,1/101/5101/1001=>1/9/9/9"));
        row("one contact unconfirmed", { person("Cy", "Wu", {}) },
            "1 error:The phone did not confirm the contact \"Cy Wu\". It may hold it all the same; the phone is "
            "read again to show what it holds.",
            QJsonObject { { "pairs", false } });
        row("goodbye instead of an answer", two,
            "2 error:The phone ended the session instead of confirming the contacts sent to it. The contacts sent "
            "had reached the phone; the phone is read again to show what it holds.",
            firstAnswer("bye"));
        row("answer not understood", two,
            "2 error:The phone gave an answer this program does not understand instead of confirming the "
            "contacts sent to it. The contacts sent had reached the phone; the phone is read again to show what "
            "it holds.",
            firstAnswer("line:HTTP/1.1 400"));
        row("cancel while merging", two, " none");
    }
    void shouldWriteWhatTheMergeAdds()
    {
        QFETCH(Contacts, contacts);
        QFETCH(QString, outcome);
        QFETCH(QJsonObject, quirk);
        Fixture f(kAnnAndBob, quirk);
        f.readPhone(f.db);
        f.reporter.cancelAfterProgress(outcome.endsWith("none") ? 1 : -1);
        SyncBackupThread thread(contacts, f.db, f.restorePort, &f.reporter);
        QVERIFY(Fixture::run(thread));

        QCOMPARE(sentBatches(f.sim) + " " + f.ending(), outcome);
        if (outcome.contains(" ok:")) {
            QCOMPARE(Fixture::rows(f.db->path()), f.phoneRows());
            return;
        }
        // The caller reads the phone again; what the words say reached it did.
        QCOMPARE(f.count("select count(*) from contact"), 2);
        if (outcome.contains("reached the phone") || outcome.contains("may hold"))
            QVERIFY(f.phoneRows().join('\n').contains("Cy Wu|"));
    }

    // A database walked a page at a time: each page is merged before the
    // next is read, and the phone gets what it would get from a list held
    // whole; a source that fails leaves the phone and the device database
    // as they were.
    void shouldWriteAWalkAsItsPagesCome_data()
    {
        QTest::addColumn<int>("failAt"); // pages handed out when the source goes bad; -1 never
        QTest::addColumn<QString>("outcome"); // "$ent:" lines per batch sent, then the ending
        const QString unread = " error:The contacts to transfer could not be read: source.db is not a contact "
                               "database or is damaged. No contact was written to the phone.";
        QTest::newRow("every page") << -1 << "20,20,5,20,20,5 ok:IDS_SUC_TRANSFER_45_CONTACTS_TO_ANDROID";
        QTest::newRow("source fails on a later page") << 3 << unread;
        QTest::newRow("source fails on its first page") << 0 << unread;
    }
    void shouldWriteAWalkAsItsPagesCome()
    {
        QFETCH(int, failAt);
        QFETCH(QString, outcome);
        constexpr int kPage = 7;
        Fixture f(kAnnAndBob);
        f.readPhone(f.db);
        const QStringList before = Fixture::rows(f.db->path());
        QStringList names;
        Contacts many;
        for (int i = 0; i < 45; ++i) {
            names << QString("P%1").arg(i, 2, 10, QChar('0'));
            many << person(names.last(), "Ko", { QString("+%1").arg(i) });
        }
        const QSharedPointer<LocalDb> source = testkit::databaseOf(f.dir.filePath("source.db"), many);
        QList<int> mergedBefore; // progress reports, one a contact merged, when each page was asked for
        auto walk = std::make_shared<WatchedPages>(
            std::make_unique<LocalDbContactPages>(source, 0, kPage), [&](int handed) {
                mergedBefore << f.reporter.progressCount();
                if (handed == failAt)
                    SqlProbe(source->path()).exec("drop table data");
            });
        SyncBackupThread thread(walk, f.db, f.restorePort, &f.reporter);
        QVERIFY(Fixture::run(thread));

        QCOMPARE(sentBatches(f.sim) + " " + f.ending(), outcome);
        QCOMPARE(f.reporter.endings(), 1);
        if (failAt < 0) {
            QCOMPARE(Fixture::rows(f.db->path()), f.phoneRows());
            QStringList arrived; // the new contacts' given names, in the order the phone took them
            for (const QJsonValue& r : f.sim.dump(2)["records"].toArray()) {
                const QString given = QString::fromUtf8(QByteArray::fromBase64(r[2].toString().toLatin1()));
                if (r[0].toString().startsWith("1/") && given.startsWith('P'))
                    arrived << given;
            }
            QCOMPARE(arrived, names);
        } else {
            QCOMPARE(Fixture::rows(f.db->path()), before);
        }
        for (int k = 0; k < mergedBefore.size(); ++k)
            QVERIFY2(mergedBefore[k] >= std::min(k * kPage, int(names.size())),
                qPrintable(QString("page %1 asked for with %2 contacts merged").arg(k).arg(mergedBefore[k])));
        QCOMPARE(walk->mostHeldBehind(), 0);
    }

    // The database is changed as the main window changes it, then the thread
    // must bring the phone in line: a fresh read of it gives the database.
    void shouldBringThePhoneInLine_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("outcome"); // "$del:" lines sent, then the ending
        QTest::addColumn<QJsonObject>("quirk"); // how the phone answers
        const auto row
            = [](const char* name, const Change& change, const QString& outcome, const QJsonObject& quirk = {}) {
                  QTest::newRow(name) << change << outcome << quirk;
              };
        const Change edit = [](LocalDb& db, AndroidSendChangesThread& t) {
            const pim::_Contact ann = stored(db, "Ann Lee");
            pim::Entity mail = testkit::entityOf({ { "data1", "a@x.org" }, { "data2", 1 } });
            db.insertEntity(ann.id, 4, mail);
            pim::Entity kept = ann.entities[3][0];
            kept.fields["data1"] = "+1 777";
            db.updateEntity(3, kept);
            db.removeEntity(ann.entities[3][1].id);
            const pim::Entity neverSent(mail.id + 1000, QString());
            t.initEditContact(db.contact(ann.id),
                { { 4, _ChangeData::ACTION_ADDED, mail }, { 3, _ChangeData::ACTION_UPDATED, kept },
                    { 3, _ChangeData::ACTION_DELETED, ann.entities[3][1] },
                    { 3, _ChangeData::ACTION_DELETED, neverSent } });
        };
        const Change deleted = [](LocalDb& db, AndroidSendChangesThread& t) {
            const pim::_Contact ann = stored(db, "Ann Lee");
            const pim::_Contact never(99, QString(), "Never sent");
            db.removeContact(ann.id);
            t.initDelContacts({ ann, never });
        };
        const Change grouped = [](LocalDb& db, AndroidSendChangesThread& t) {
            const pim::_Contact ann = stored(db, "Ann Lee");
            db.setGroup(ann.id, db.getGroupIdOrAdd("Work"), "Work");
            t.initContactsSetGroup({ db.contact(ann.id), pim::_Contact(99, QString(), "Not on the phone") });
        };
        const Change ungrouped = [](LocalDb& db, AndroidSendChangesThread& t) {
            db.ungroup(stored(db, "Bob Ray").id);
            t.initContactsSetGroup({ stored(db, "Bob Ray") });
        };
        const Change named = [](LocalDb& db, AndroidSendChangesThread& t) { addLocal(db, t, true); };
        const Change nameless = [](LocalDb& db, AndroidSendChangesThread& t) { addLocal(db, t, false); };
        row("entities added, updated, deleted", edit, "1 ok:");
        row("new contact", named, "0 ok:");
        row("new contact without a name", nameless,
            "0 error:The contact \"Cy Wu\" is not on the phone and has no name to create it with.");
        // A contact without even a full name is named by its phone number, or
        // described when it holds none.
        row("new contact of a number only", [](LocalDb& db, AndroidSendChangesThread& t) { addLocal(db, t, false, ""); },
            "0 error:The contact \"+3\" is not on the phone and has no name to create it with.");
        row("new contact with nothing to name it by",
            [](LocalDb& db, AndroidSendChangesThread& t) { addLocal(db, t, false, "", pim::ENTITY_NOTES); },
            "0 error:A contact without a name is not on the phone and has no name to create it with.");
        row("deleted contacts", deleted, "1 ok:");
        row("set group", grouped, "0 ok:");
        row("ungroup", ungrouped, "0 ok:");
        const QString reread = QStringLiteral(" The change had reached the phone; the phone is read again to show "
                                              "what it holds.");
        row("goodbye instead of an answer", edit,
            "1 error:The phone ended the session instead of confirming the change." + reread, firstAnswer("bye"));
        row("answer not understood", edit,
            "1 error:The phone gave an answer this program does not understand instead of confirming the change."
                + reread,
            firstAnswer("line:$batch"));
        row("goodbye after a deletion", deleted,
            "1 error:The phone ended the session instead of confirming the change." + reread, firstAnswer("bye"));
        row("new contact, no id for it", named,
            "0 error:The phone did not confirm the contact \"Cy Wu\". It may hold it all the same; the phone is "
            "read again to show what it holds.",
            QJsonObject { { "pairs", false } });
    }
    void shouldBringThePhoneInLine()
    {
        QFETCH(Change, change);
        QFETCH(QString, outcome);
        QFETCH(QJsonObject, quirk);
        Fixture f(kAnnAndBob, quirk);
        f.readPhone(f.db);
        AndroidSendChangesThread thread(&f.reporter, f.db, f.restorePort);
        change(*f.db, thread);
        QVERIFY(Fixture::run(thread));

        int deletions = 0;
        for (const QJsonValue& line : f.sim.dump(1)["received"].toArray())
            deletions += line.toString().startsWith("$del:");
        QCOMPARE(QString::number(deletions) + " " + f.ending(), outcome);
        if (outcome.endsWith(" ok:")) {
            QCOMPARE(Fixture::rows(f.db->path()), f.phoneRows());
        } else if (outcome.contains("reached the phone") || outcome.contains("may hold")) {
            // The caller reads the phone again: what the words say reached it did.
            const QStringList onPhone = f.phoneRows();
            const QStringList inDb = Fixture::rows(f.db->path());
            for (const QString& shown : { QString("a@x.org"), QString("Cy Wu|") })
                QCOMPARE(onPhone.join('\n').contains(shown), inDb.join('\n').contains(shown));
            QCOMPARE(onPhone.join('\n').contains("Ann Lee"), inDb.join('\n').contains("Ann Lee"));
        }
    }

    // Phone -> device database -> local database (the backup's merge) ->
    // another phone: the second phone gets every field the first one had.
    void shouldKeepEveryFieldFromPhoneToPhone_data()
    {
        QTest::addColumn<QJsonArray>("records"); // besides the name, as the first phone sends them
        const auto b = [](const char* t) { return QString::fromLatin1(QByteArray(t).toBase64()); };
        const auto row = [](const char* kind, int type, const QStringList& fields) {
            QTest::newRow(kind) << QJsonArray { record(type, QJsonArray::fromStringList(fields)) };
        };
        QTest::newRow("name") << QJsonArray();
        row("photo", 2, { QString::fromLatin1(QByteArray("\x89PNG\r\n\x1a\n\0\xff").toBase64()) });
        row("phone", 3, { "work", "", b("+49 89 1234") });
        row("phone with its own label", 3, { "other", b("Boat"), b("+1 555") });
        row("e-mail", 4, { "home", "", b("ann@example.org") });
        row("nickname", 5, { "short", "", b("Annie") });
        row("organisation", 10, { "work", "", b("ACME"), b("R&D"), b("Boss") });
        row("event", 6, { "anniversary", "", "2001-02-03" });
        row("group", 7, { b("Friends, old") });
        row("instant messaging", 8, { "work", "", "skype", "", b("ann.lee") });
        row("instant messaging of its own protocol", 8, { "home", "", "", b("MyChat"), b("ann") });
        row("notes", 9, { b("line one,\nline two") });
        row("relation", 11, { "mother", "", b("Eve Lee") });
        row("relation with its own label", 11, { "", b("Mutti"), b("Eve Lee") });
        row("address", 12, { "home", "", b("DE"), b("BY"), b("Munich"), b("Main St 1"), b("80331") });
        row("website", 13, { "homepage", "", b("https://ann.example.org") });
    }
    void shouldKeepEveryFieldFromPhoneToPhone()
    {
        QFETCH(QJsonArray, records);
        QJsonArray contact { record(1, { text("Dr."), text("Ann"), text("B"), text("Lee"), text("Jr") }) };
        for (const QJsonValue& r : records)
            contact.append(r);
        Fixture first(QJsonObject { { "contacts", QJsonArray { contact } } });
        first.readPhone(first.db);

        LocalDb local(first.dir.filePath("local.db"), first.db->rule());
        local.create();
        local.beginEdit();
        for (const pim::_Contact& c : first.db->contacts()) {
            pim::_Contact stored;
            bool existed = false;
            local.combineContact(first.db->contact(c.id), stored, existed);
        }
        local.endEdit(true);

        Fixture second(QJsonObject {});
        QList<pim::_Contact> backedUp;
        for (const pim::_Contact& c : local.contacts())
            backedUp << local.contact(c.id);
        SyncBackupThread thread(backedUp, second.db, second.restorePort, &second.reporter);
        QVERIFY(Fixture::run(thread));
        QCOMPARE(second.ending(), QString("ok:IDS_SUC_TRANSFER_1_CONTACTS_TO_ANDROID"));

        // Every record without its id: the second phone's ids are its own.
        const auto fields = [](const QJsonObject& state) {
            QStringList all;
            for (const QJsonValue& r : state["records"].toArray()) {
                QStringList parts;
                for (const QJsonValue& f : r.toArray())
                    parts << f.toString();
                all << parts.first().section('/', 0, 0) + ":" + parts.mid(1).join(',');
            }
            all.sort();
            return all;
        };
        QCOMPARE(fields(second.sim.dump(1)), fields(first.sim.dump()));
    }
};

MARROWLINK_TEST_PARTS_GUILESS_MAIN(TestAndroidSync)
#include "tst_androidsync.moc"
