// SPDX-License-Identifier: GPL-3.0-or-later
// Sending edits, deletions and group changes to a simulated phone whose
// device database was read from it and then changed as the main window does.
#include "android/androidsendchangesthread.h"
#include "common/contactbuilders.h"
#include "syncfixture.h"

#include <QJsonObject>
#include <QtTest>

#include <functional>

using Change = std::function<void(LocalDb&, AndroidSendChangesThread&)>;
Q_DECLARE_METATYPE(Change)

namespace {

pim::_Contact stored(LocalDb& db, const QString& fullName)
{
    for (const pim::_Contact& c : db.contacts())
        if (c.fullName == fullName)
            return c;
    return {};
}

// A contact the phone has never seen, stored as the editor stores a new one.
pim::_Contact addLocal(LocalDb& db, const QString& given, const QString& family, bool named = true)
{
    pim::_Contact c(0, QString(), given + " " + family);
    db.insertContactBase(c);
    if (named) {
        pim::Entity name = testkit::entityOf({ { "data2", given }, { "data3", family } });
        db.insertEntity(c.id, 1, name);
    }
    pim::Entity phone = testkit::entityOf({ { "data1", "+3" }, { "data2", 2 } });
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

} // namespace

class TestAndroidSendChangesThread : public QObject {
    Q_OBJECT

private slots:
    void shouldBringThePhoneInLine_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("fault"); // replaces the phone's first answer
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QString>("given"); // whose records on the phone to compare
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<int>("deletions"); // "$del:" lines sent

        const Change edit = [](LocalDb& db, AndroidSendChangesThread& t) {
            pim::_Contact ann = stored(db, "Ann Lee");
            pim::Entity mail = testkit::entityOf({ { "data1", "ann@x.org" }, { "data2", 1 } });
            db.insertEntity(ann.id, 4, mail);
            pim::Entity kept = ann.entities[3][0];
            kept.fields["data1"] = "+1 777";
            db.updateEntity(3, kept);
            db.removeEntity(ann.entities[3][1].id);
            pim::Entity local(mail.id + 1000, QString()); // deleted before it was ever sent
            t.initEditContact(db.contact(ann.id),
                { { 4, ContactChange::ACTION_ADDED, mail }, { 3, ContactChange::ACTION_UPDATED, kept },
                    { 3, ContactChange::ACTION_DELETED, ann.entities[3][1] },
                    { 3, ContactChange::ACTION_DELETED, local } });
        };
        QTest::newRow("added, updated and deleted entities")
            << edit << "" << "ok:" << "Ann" << QStringList { "1:,Ann,,Lee", "3:mobile,,+1 777", "4:home,,ann@x.org" } << 1;
        QTest::newRow("new contact") << Change([](LocalDb& db, AndroidSendChangesThread& t) {
            const pim::_Contact cy = addLocal(db, "Cy", "Wu");
            t.initEditContact(cy, allAdded(cy));
        }) << "" << "ok:" << "Cy" << QStringList { "1:,Cy,,Wu,", "3:mobile,,+3" } << 0;
        QTest::newRow("new contact without a name") << Change([](LocalDb& db, AndroidSendChangesThread& t) {
            const pim::_Contact cy = addLocal(db, "Cy", "Wu", false);
            t.initEditContact(cy, allAdded(cy));
        }) << "" << "error:The contact \"Cy Wu\" is not on the phone and has no name to create it with." << "" << QStringList {} << 0;
        QTest::newRow("deleted contacts") << Change([](LocalDb& db, AndroidSendChangesThread& t) {
            const pim::_Contact ann = stored(db, "Ann Lee");
            const pim::_Contact cy = addLocal(db, "Cy", "Wu");
            db.removeContact(ann.id);
            db.removeContact(cy.id);
            t.initDelContacts({ ann, cy });
        }) << "" << "ok:" << "Ann" << QStringList {} << 1;
        QTest::newRow("set group") << Change([](LocalDb& db, AndroidSendChangesThread& t) {
            const pim::_Contact ann = stored(db, "Ann Lee");
            db.setGroup(ann.id, db.getGroupIdOrAdd("Work"), "Work");
            t.initContactsSetGroup({ db.contact(ann.id), pim::_Contact(99, QString(), "Not on the phone") });
        }) << "" << "ok:" << "Ann" << QStringList { "1:,Ann,,Lee", "3:mobile,,+1 555", "3:mobile,,+1 666", "7:Work" } << 0;
        QTest::newRow("ungroup") << Change([](LocalDb& db, AndroidSendChangesThread& t) {
            const pim::_Contact bob = stored(db, "Bob Ray");
            db.ungroup(bob.id);
            t.initContactsSetGroup({ db.contact(bob.id) });
        }) << "" << "ok:" << "Bob" << QStringList { "1:,Bob,,Ray" } << 0;
        QTest::newRow("not a batch answer") << edit << "line:$bye:"
                                            << "error:receive $batch: command error, invalid command:$bye:" << ""
                                            << QStringList {} << 1;
        QTest::newRow("no id for the new contact") << Change([](LocalDb& db, AndroidSendChangesThread& t) {
            const pim::_Contact cy = addLocal(db, "Cy", "Wu");
            t.initEditContact(cy, allAdded(cy));
        }) << "line:$batch:" << "error:receive $batch: command error, invalid command:$batch:" << "" << QStringList {} << 0;
    }
    void shouldBringThePhoneInLine()
    {
        QFETCH(Change, change);
        QFETCH(QString, fault);
        QFETCH(QString, ending);
        QFETCH(QString, given);
        SyncFixture f;
        QJsonArray bob = phoneContact("Bob", "Ray");
        bob.append(QJsonObject { { "type", 7 }, { "fields", QJsonArray { QJsonObject { { "text", "Friends" } } } } });
        f.startPhone({ { "contacts", QJsonArray { phoneContact("Ann", "Lee", { "+1 555", "+1 666" }), bob } },
            { "faults", QJsonObject { { "restore:1", fault } } } });
        f.readPhone();
        AndroidSendChangesThread thread(&f.reporter, f.db, f.connector, f.restorePort);
        change(*f.db, thread);
        QVERIFY(SyncFixture::finish(thread));

        QVERIFY2(f.ending().startsWith(ending), qPrintable(f.ending()));
        int deletions = 0;
        for (const QJsonValue& line : f.sim.dump(1)["received"].toArray())
            deletions += line.toString().startsWith("$del:");
        QTEST(deletions, "deletions");
        if (!ending.startsWith("ok:"))
            return; // the caller reads the phone again
        QCOMPARE(f.mirrorMismatch(), QString());
        QTEST(f.phoneRecords(given), "records");
    }
};

QTEST_GUILESS_MAIN(TestAndroidSendChangesThread)
#include "tst_androidsendchangesthread.moc"
