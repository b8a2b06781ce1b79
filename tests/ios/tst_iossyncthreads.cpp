#include "common/contactbuilders.h"
#include "ios/iossendchangesthread.h"
#include "ios/iossynctodevicethread.h"
#include "ios/iossynctopcthread.h"
#include "ios/mobiledevicesync.h"
#include "iossyncfixture.h"
#include "model/localdbcombinerule.h"
#include "iphonesimulator.h"
#include "support/recordingreporter.h"
#include "common/watchedpages.h"
#include "support/testparts.h"
#include "support/timebounds.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QScopeGuard>
#include <QTest>

#include <algorithm>

namespace {
using Fields = QVariantMap;
using Contacts = QList<pim::_Contact>;

QJsonObject contactRecord(const char* last) { return record("Contact", {{"last name", last}}); }
QJsonObject child(const char* kind, const char* value, const QJsonArray& parents)
{
    return record(kind, {{"value", value}, {"contact", parents}});
}

// Kim (11) with a phone and an e-mail, and Lee (12).
QJsonObject kimAndLee()
{
    return {{"records", QJsonObject{{"11", contactRecord("Kim")}, {"12", contactRecord("Lee")},
                                    {"3/11/21", child("Phone Number", "1", {"11"})},
                                    {"4/11/22", child("Email Address", "a@b", {"11"})}}}};
}

// The simulated phone's fault `kind` at the point `at`, past `after` matches.
QJsonObject faultAt(const char* at, const char* kind, int after = 0)
{
    return QJsonObject{{"at", at}, {"kind", kind}, {"after", after}};
}

// Runs the thread to its end; the reporter keeps what it said.
void runToEnd(QThread& thread)
{
    thread.start();
    QVERIFY(thread.wait(timebound::kWaitMs));
}

void readPhone(DeviceDb& device)
{
    RecordingReporter reporter;
    IOSSyncToPCThread thread(IPhoneSimulator::kUdid, device.db, &reporter);
    runToEnd(thread);
    QCOMPARE(reporter.successes(), QStringList{""});
}

// The record ids of every message the computer sent, sorted, one "a,b" entry per message.
QStringList sentKeys(const IPhoneSimulator& sim)
{
    QStringList messages;
    for (const QString& line : sim.log("sync"))
        if (line.section(' ', 1, 1) == "SDMessageProcessChanges" && line.contains("\"SDMessageProcessChanges\", \"com.apple.Contacts\", {"))
            messages << QJsonDocument::fromJson(line.section(' ', 2).toUtf8()).array()[2].toObject().keys().join(',');
    return messages;
}

// The last names of the phone's contact records, in the order they arrived.
QStringList phoneNames(const IPhoneSimulator& sim)
{
    QMap<int, QString> byId;
    const QJsonObject records = sim.phoneRecords();
    for (auto it = records.begin(); it != records.end(); ++it) {
        const QJsonObject r = it->toObject();
        if (r["com.apple.syncservices.RecordEntityName"].toString() == "com.apple.contacts.Contact")
            byId.insert(it.key().toInt(), r["last name"].toString());
    }
    return byId.values();
}

pim::_Contact named(const QString& last, const QMap<int, QList<QVariantMap>>& more = {})
{
    auto entities = more;
    if (!last.isEmpty())
        entities[1] = {Fields{{"data1", last}, {"data3", last}}};
    return testkit::contactOf(last.isEmpty() ? "Solo" : last, entities);
}
} // namespace

class tst_IOSSyncThreads : public QObject {
    Q_OBJECT
private slots:
    void shouldReadEveryContactOrNone_data()
    {
        QTest::addColumn<QJsonObject>("scenario");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("success");
        const QString retry = " Nothing was stored. Keep the iPhone connected and unlocked, and try again.";
        const QString restart = " Nothing was stored. Restart the iPhone, connect it again and try again.";
        const auto fault = [](const char* at, const char* kind) {
            QJsonObject s = kimAndLee();
            s["batch"] = 1;
            s["fault"] = QJsonObject{{"at", at}, {"kind", kind}};
            return s;
        };
        const auto with = [](const char* key, const QJsonValue& value) {
            QJsonObject s = kimAndLee();
            s[key] = value;
            return s;
        };
        QTest::newRow("empty phone") << QJsonObject{} << false << QStringList{} << ""
                                     << "The iPhone sent no contacts. This usually means that its contacts are kept in an online "
                                        "account rather than on the phone itself: the phone then leaves them out of a cable sync.";
        QTest::newRow("batches, unknown kinds, children first, two parents")
            << QJsonObject{{"batches", QJsonArray{QJsonObject{{"3/10/1", child("Phone Number", "5", {"10"})}},
                                                  QJsonObject{{"10", contactRecord("Kim")}, {"n", record("Note", {})}},
                                                  QJsonObject{{"11", contactRecord("Lee")}, {"4/x/2", child("Email Address", "m", {"10", "11"})}}}}}
            << false << QStringList{"Kim|1|Kim||Kim|10", "Lee|1|Lee||Lee|11", "Kim|4|m|||4/x/2", "Lee|4|m|||4/x/2", "Kim|3|5|||3/10/1"} << "" << "";
        // Records that cannot be read are left out and named; the rest of their batch is stored.
        QTest::newRow("records of the wrong shape")
            << QJsonObject{{"batches", QJsonArray{QJsonObject{{"10", contactRecord("Kim")}, {"v", QJsonObject{{"value", "v"}}},
                                                              {"12", record("Contact", {{"last name", QJsonArray{"Lee"}}})}},
                                                  QJsonObject{{"3/10/1", record("Phone Number", {{"value", QJsonObject{}}, {"contact", QJsonArray{"10"}}})},
                                                              {"3/10/2", record("Phone Number", {{"value", "7"}, {"contact", "10"}})},
                                                              {"4/10/3", child("Email Address", "m", {"10"})},
                                                              {"4/99/4", child("Email Address", "x", {"99"})}}}}}
            << false << QStringList{"Kim|1|Kim||Kim|10", "Kim|4|m|||4/10/3"} << ""
            << "4 record(s) of the iPhone could not be read and were left out (12, v, 3/10/1, 3/10/2); everything else was stored.<br/><br/>"
               "1 detail record(s) named a contact the iPhone never sent and were left out (4/99/4).";
        QTest::newRow("link drops mid-read") << fault("batch2", "drop") << false << QStringList{}
                                             << "The iPhone was disconnected while its contacts were read." + retry << "";
        QTest::newRow("the phone says goodbye mid-read") << fault("batch2", "disconnect") << false << QStringList{}
                                                         << "The iPhone ended the sync session while its contacts were read." + retry << "";
        QTest::newRow("a batch of a list") << fault("batch1", "wrongslot") << false << QStringList{}
                                           << "The iPhone sent a message of the wrong form (\"SDMessageProcessChanges\") while its contacts were read."
                                              + restart << "";
        QTest::newRow("garbage reply") << fault("batch0", "garbage") << false << QStringList{}
                                       << "The iPhone sent an answer that could not be read while its contacts were read." + restart << "";
        QTest::newRow("versions as text") << with("exchange", "wrongtypes") << false << QStringList{}
                                          << "The iPhone sent a message of the wrong form (\"DLMessageVersionExchange\") while its contacts were read."
                                             + restart << "";
        QTest::newRow("newer device link") << with("link_version", 301) << false << QStringList{}
                                           << "The iPhone speaks a newer version of the contact sync (301) than this program knows "
                                              "(300). Nothing was stored. Install a newer version of this program and try again." << "";
        QTest::newRow("phone busy") << with("sync", "refuse") << false << QStringList{}
                                    << "The iPhone refused to sync its contacts (it said: \"Contacts sync is turned off on the phone\")."
                                       " Nothing was stored. Close any other program that syncs the iPhone, make sure it syncs contacts, and try again." << "";
        QTest::newRow("locked") << with("locked", true) << false << QStringList{}
                                << "The iPhone is locked with a passcode. Nothing was stored. Unlock it and try again." << "";
        QTest::newRow("trust pending") << with("trust", "pending") << false << QStringList{}
                                       << "The iPhone is asking whether to trust this computer. Nothing was stored. Unlock it, tap Trust and connect it again."
                                       << "";
        QTest::newRow("trust denied") << with("trust", "denied") << false << QStringList{}
                                      << "This computer was not trusted on the iPhone. Nothing was stored. Reconnect the iPhone and tap Trust." << "";
        QTest::newRow("cancel") << kimAndLee() << true << QStringList{} << "" << "";
    }

    void shouldReadEveryContactOrNone()
    {
        QFETCH(QJsonObject, scenario);
        QFETCH(QString, error);
        QFETCH(QString, success);
        IPhoneSimulator sim(scenario);
        DeviceDb device;
        RecordingReporter reporter;
        QFETCH(bool, cancel);
        if (cancel)
            reporter.cancel();
        IOSSyncToPCThread thread(IPhoneSimulator::kUdid, device.db, &reporter);
        runToEnd(thread);
        QTEST(device.rows(), "rows");
        QCOMPARE(reporter.errors(), error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(reporter.successes(), error.isEmpty() && !cancel ? QStringList{success} : QStringList());
    }

    // A phone that stops answering holds the worker only until the cancel:
    // the wait ends within a poll, and nothing is stored.
    // One contact with more rows than a contact may hold, some of them
    // arriving before it: the first ones are stored, the rest counted and
    // named as an import names them; the other contacts keep all of theirs.
    void shouldLeaveOutRowsPastTheLimit()
    {
        QJsonObject early{{"3/11/0", child("Phone Number", "0", {"11"})}};
        QJsonObject records{{"11", contactRecord("Kim")}, {"12", contactRecord("Lee")},
                            {"3/12/1", child("Phone Number", "1", {"12"})}};
        for (qsizetype i = 1; i <= LocalDb::kMaxEntitiesPerContact; ++i)
            records[QString("4/11/%1").arg(i)] = child("Email Address", qPrintable(QString::number(i)), {"11"});
        IPhoneSimulator sim({{"batches", QJsonArray{early, records}}});
        DeviceDb device;
        RecordingReporter reporter;
        IOSSyncToPCThread thread(IPhoneSimulator::kUdid, device.db, &reporter);
        runToEnd(thread);
        QCOMPARE(reporter.errors(), QStringList());
        QCOMPARE(reporter.successes(), QStringList{"Kim: only the first 10000 entries were kept; 2 more were left out."});
        SqlProbe probe(device.db->path());
        QCOMPARE(probe.column("select c.full_name || ' ' || count(*) from data d join contact c on c._id = d.contact_id "
                              "group by c._id order by c._id"),
                 (QStringList{"Kim 10000", "Lee 2"}));
    }

    void shouldStopWaitingForAStalledPhoneOnCancel()
    {
        QJsonObject scenario = kimAndLee();
        scenario["batch"] = 1;
        scenario["fault"] = QJsonObject{{"at", "batch1"}, {"kind", "stall"}};
        IPhoneSimulator sim(scenario);
        DeviceDb device;
        RecordingReporter reporter;
        IOSSyncToPCThread thread(IPhoneSimulator::kUdid, device.db, &reporter);
        thread.start();
        QTRY_VERIFY_WITH_TIMEOUT(sim.messageNames("sync").contains("SDMessageAcknowledgeChangesFromDevice"), timebound::kWaitMs);
        QVERIFY(!thread.wait(300));
        QElapsedTimer clock;
        clock.start();
        reporter.cancel();
        QVERIFY(thread.wait(5000));
        QVERIFY2(clock.elapsed() < timebound::kFreezeMs, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(device.rows(), QStringList());
        QCOMPARE(reporter.errors() + reporter.successes(), QStringList());
    }

    // Many contacts in small batches: the bar moves with the records
    // received, never back, through every quarter of the read, and is not
    // near its end before the last batch.
    void shouldRiseThroughALongRead()
    {
        IPhoneSimulator sim({{"generate", 600}, {"batch", 2}, {"dump", false}});
        DeviceDb device;
        RecordingReporter reporter;
        IOSSyncToPCThread thread(IPhoneSimulator::kUdid, device.db, &reporter);
        runToEnd(thread);
        QCOMPARE(thread.contactCount(), 600);
        const QList<int> values = reporter.progressValues().mid(1); // one per batch
        QCOMPARE(values.size(), 600);
        QVERIFY(std::is_sorted(values.begin(), values.end()));
        const auto at = [&](int quarter) { return values.at(quarter * (values.size() - 1) / 4); };
        QVERIFY2(at(0) < 10 && at(0) < at(1) && at(1) < at(2) && at(2) < at(3) && at(3) < at(4) && at(4) < 90,
                 qPrintable(QString("%1 %2 %3 %4 %5").arg(at(0)).arg(at(1)).arg(at(2)).arg(at(3)).arg(at(4))));
    }

    void shouldSendWhatTheMergeStored_data()
    {
        QTest::addColumn<bool>("known");
        QTest::addColumn<Contacts>("contacts");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("success");
        QTest::newRow("new contact with a phone") << false << Contacts{named("Kim", {{3, {Fields{{"data1", "+1"}}}}})}
                                                  << QStringList{"-1", "3/1001/-2"} << QStringList{"Kim|1|Kim||Kim|", "Kim|3|+1|||3/1002"}
                                                  << "IDS_SUC_TRANSFER_1_CONTACTS_TO_IOS";
        QTest::newRow("known contact adds an e-mail") << true << Contacts{named("Kim", {{4, {Fields{{"data1", "new@b"}}}}})}
                                                      << QStringList{"4/11/-5"} << QStringList{"Kim|4|new@b|||4/1001"}
                                                      << "IDS_SUC_TRANSFER_0_CONTACTS_TO_IOS_MERGED_1";
        QTest::newRow("contact of a phone only") << false << Contacts{named("", {{3, {Fields{{"data1", "7"}}}}})}
                                                 << QStringList{"-1", "3/1001/-1"} << QStringList{"Solo|3|7|||3/1002"}
                                                 << "IDS_SUC_TRANSFER_1_CONTACTS_TO_IOS";
        QTest::newRow("two of one name join") << false << Contacts{named("Ann", {{3, {Fields{{"data1", "1"}}}}}), named("Ann", {{3, {Fields{{"data1", "2"}}}}})}
                                              << QStringList{"-1", "3/1001/-2,3/1001/-3"}
                                              << QStringList{"Ann|1|Ann||Ann|", "Ann|3|1|||3/1002", "Ann|3|2|||3/1003"}
                                              << "IDS_SUC_TRANSFER_1_CONTACTS_TO_IOS_MERGED_1";
    }

    void shouldSendWhatTheMergeStored()
    {
        QFETCH(bool, known);
        IPhoneSimulator sim(kimAndLee());
        DeviceDb device;
        if (known)
            readPhone(device);
        RecordingReporter reporter;
        QFETCH(Contacts, contacts);
        IOSSyncToDeviceThread thread(IPhoneSimulator::kUdid, device.db, contacts, &reporter);
        runToEnd(thread);
        QTEST(reporter.successes().value(0), "success");
        QTEST(sentKeys(sim), "messages");
        QTEST(device.rows(known ? "d.type = 4 and d.data1 = 'new@b'" : "1"), "rows");
        QCOMPARE(sim.phoneRecords()[known ? "4/1001" : "3/1002"].toObject()["contact"].toArray().first().toString(), known ? "11" : "1001");
    }

    // Batches of 10, each its own session; the phone confirms no id for the
    // first, so nothing stays stored as if it were on the phone, and the
    // ending says it may hold them.
    void shouldStoreNothingThePhoneGaveNoIdFor()
    {
        IPhoneSimulator sim({{"remap", "none"}});
        DeviceDb device;
        Contacts contacts;
        for (int i = 0; i < 25; ++i)
            contacts << named(QString("C%1").arg(i, 2, 10, QChar('0')));
        RecordingReporter reporter;
        IOSSyncToDeviceThread thread(IPhoneSimulator::kUdid, device.db, contacts, &reporter);
        runToEnd(thread);
        QCOMPARE(sim.messageNames("sync").count("SDMessageFinishSessionOnDevice"), 0);
        QCOMPARE(device.contacts().filter(QRegularExpression("\\|\\d+$")), QStringList());
        QCOMPARE(device.contacts().size(), device.rows().size()); // nothing half-stored
        QCOMPARE(reporter.successes() + reporter.errors(),
                 QStringList{"The iPhone answered without confirming 10 new contacts; they may be on the phone. The "
                             "rest were not written. The iPhone is read again to show what it holds."});
    }

    // Twenty contacts with a phone number each, in two batches, and a phone
    // that breaks off at some point: the database keeps exactly the records
    // the phone confirmed, under the phone's ids, claims nothing else, and
    // the ending says how many contacts were written, and which may be on
    // the phone unconfirmed (the phone took them but its answer was empty,
    // could not be read or came too late).
    void shouldKeepWhatThePhoneConfirmed_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<int>("kept");      // contacts on the phone
        QTest::addColumn<int>("numbers");   // phone numbers in the database
        QTest::addColumn<int>("unclaimed"); // records on the phone that the database does not claim
        QTest::addColumn<QString>("ending");
        const QString dropped = "The iPhone was disconnected while contacts were written to it. ";
        const QString unreadable = "The iPhone sent an answer that could not be read while contacts were written to it. ";
        const QString retry = " Keep the iPhone connected and unlocked, and try again.";
        const QString restart = " Restart the iPhone, connect it again and try again.";
        const QString ten = "10 contacts were written to the iPhone and kept; the rest were not written.";
        const QString noNumbers = " Some details of \"C00\", \"C01\", \"C02\", \"C03\", \"C04\", ... were not written.";
        const QString unsureTen = " 10 contacts were sent to the iPhone, which did not confirm them; they may be on the phone.";
        const QString reread = " The iPhone is read again to show what it holds.";
        const QString numbersOf = " Some details of \"C%1\", \"C%2\", \"C%3\", \"C%4\", \"C%5\", ... ";
        const QString unsureNumbers = numbersOf.arg("00", "01", "02", "03", "04")
            + "were sent to the iPhone, which did not confirm them; they may be on the phone.";
        // A link that drops once a message went out whole may have dropped
        // before or after the phone took it: the phone is read again, and the
        // user is not asked to repeat. One gone before the message went out
        // lost it.
        QTest::newRow("link drops at the first records")
            << faultAt("SDMessageProcessChanges", "drop") << 0 << 0 << 0
            << dropped.trimmed() + unsureTen + " The rest were not written." + noNumbers + reread;
        QTest::newRow("link drops after the contacts of the first batch")
            << faultAt("SDMessageProcessChanges", "drop", 1) << 10 << 0 << 0 << dropped + ten + unsureNumbers + reread;
        QTest::newRow("link drops as the first batch finishes") << faultAt("SDMessageFinishSessionOnDevice", "drop") << 10 << 10
                                                                << 0 << dropped + ten + retry;
        QTest::newRow("link drops after two messages")
            << faultAt("SDMessageProcessChanges", "drop", 2) << 10 << 10 << 0
            << dropped + "10 contacts were written to the iPhone and kept." + unsureTen
                   + numbersOf.arg("10", "11", "12", "13", "14") + "were not written." + reread;
        QTest::newRow("link gone before the first records") << faultAt("SDMessageSyncDataClassWithDevice", "deaf") << 0 << 0 << 0
                                                            << dropped + "No contact was written." + retry;
        QTest::newRow("link gone before the details of the first batch")
            << faultAt("SDMessageProcessChanges", "deaf") << 10 << 0 << 0 << dropped + ten + noNumbers + retry;
        // The phone stores what it was sent, then the link drops.
        QTest::newRow("stored contacts, link drops")
            << faultAt("SDMessageProcessChanges", "storedrop") << 10 << 0 << 10
            << dropped.trimmed() + unsureTen + " The rest were not written." + noNumbers + reread;
        QTest::newRow("stored details, link drops")
            << faultAt("SDMessageProcessChanges", "storedrop", 1) << 10 << 0 << 10 << dropped + ten + unsureNumbers + reread;
        // Each session: version exchange, start, ping, contacts, children, finish.
        // The phone's answer cannot be read: what it was sent may be on it.
        QTest::newRow("unreadable answer to the 5th message")
            << faultAt("message5", "garbage") << 10 << 0 << 0
            << unreadable + ten + " Some details of \"C00\", \"C01\", \"C02\", \"C03\", \"C04\", ... were sent to "
                                  "the iPhone, which did not confirm them; they may be on the phone." + reread;
        QTest::newRow("unreadable answer to the 8th message") << faultAt("message8", "garbage") << 10 << 10 << 0
                                                              << unreadable + ten + restart;
        QTest::newRow("unreadable answer to the 11th message")
            << faultAt("message11", "garbage") << 20 << 10 << 0
            << unreadable + "20 contacts were written to the iPhone and kept. Some details of \"C10\", \"C11\", "
                            "\"C12\", \"C13\", \"C14\", ... were sent to the iPhone, which did not confirm them; they "
                            "may be on the phone." + reread;
        QTest::newRow("link drops as the last batch finishes") << faultAt("SDMessageFinishSessionOnDevice", "drop", 1) << 20
                                                               << 20 << 0 << dropped + "20 contacts were written to the iPhone and kept." + retry;
        // The phone stores what it was sent, then answers without the new ids,
        // with garbage, or only once the session ends.
        QTest::newRow("no ids for the first contacts")
            << faultAt("SDMessageProcessChanges", "noids") << 10 << 0 << 10
            << "The iPhone answered without confirming 10 new contacts; they may be on the phone. The rest were not "
                   "written." + noNumbers + reread;
        QTest::newRow("no ids for the contacts of the second batch")
            << faultAt("SDMessageProcessChanges", "noids", 2) << 20 << 10 << 10
            << "10 contacts were written to the iPhone and kept. The iPhone answered without confirming 10 new contacts; they "
                   "may be on the phone." + numbersOf.arg("10", "11", "12", "13", "14") + "were not written." + reread;
        QTest::newRow("stored contacts, unreadable answer") << faultAt("SDMessageProcessChanges", "badremap") << 10 << 0 << 10
                                                            << unreadable.trimmed() + unsureTen + " The rest were not written."
                                                                   + noNumbers + reread;
        QTest::newRow("stored contacts, answer too late")
            << faultAt("SDMessageProcessChanges", "late") << 10 << 0 << 10
            << "The iPhone stopped answering while contacts were written to it." + unsureTen + " The rest were not written."
                   + noNumbers + reread;
        QTest::newRow("stored details, unreadable answer")
            << faultAt("SDMessageProcessChanges", "badremap", 3) << 20 << 10 << 10
            << unreadable + "20 contacts were written to the iPhone and kept. Some details of \"C10\", \"C11\", "
                            "\"C12\", \"C13\", \"C14\", ... were sent to the iPhone, which did not confirm them; they "
                            "may be on the phone." + reread;
    }
    void shouldKeepWhatThePhoneConfirmed()
    {
        QFETCH(QJsonObject, fault);
        IPhoneSimulator sim({{"fault", fault}});
        DeviceDb device;
        // A phone that keeps its answers is given this long, not half a minute.
        const int wait = mobiledevice_sync_client::defaultAnswerTimeoutMs();
        mobiledevice_sync_client::setDefaultAnswerTimeoutMs(5000);
        const auto restore = qScopeGuard([wait] { mobiledevice_sync_client::setDefaultAnswerTimeoutMs(wait); });
        Contacts contacts;
        for (int i = 0; i < 20; ++i)
            contacts << named(QString("C%1").arg(i, 2, 10, QChar('0')), {{3, {Fields{{"data1", QString("+%1").arg(i)}}}}});
        RecordingReporter reporter;
        IOSSyncToDeviceThread thread(IPhoneSimulator::kUdid, device.db, contacts, &reporter);
        runToEnd(thread);
        QCOMPARE(reporter.successes(), QStringList());
        QTEST(reporter.errors().value(0), "ending");

        QVERIFY(sim.waitForSessionsEnded());
        SqlProbe probe(device.db->path());
        const QStringList claimed = probe.column("select src_id from contact union all select src_id from data where src_id != ''");
        QStringList unclaimed = sim.phoneRecords().keys();
        for (const QString& id : claimed)
            QVERIFY2(unclaimed.removeOne(id), qPrintable(id + " is not on the phone"));
        QTEST(int(unclaimed.size()), "unclaimed");
        QTEST(int(phoneNames(sim).size()), "kept");
        QTEST(probe.value("select count(*) from data where type = 3").toInt(), "numbers");
        QCOMPARE(probe.value("select count(*) from contact where src_id = ''").toInt(), 0);
    }

    // Contacts without a name are new to the phone whatever it holds (the
    // merge finds none by name), and the ending names each by its company,
    // else its phone number; one that holds neither (a web address only) as
    // a contact without a name. Each fact of a stop is said once.
    void shouldNameContactsWithoutANameByWhatTheyHold_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QString>("ending");
        const QString dropped = "The iPhone was disconnected while contacts were written to it. ";
        const QString three = "\"Acme Ltd\", \"+1 555 0100\" and a contact without a name";
        const QString kept = "3 contacts were written to the iPhone and kept. ";
        const QString reread = " The iPhone is read again to show what it holds.";
        QTest::newRow("link drops at the contacts")
            << faultAt("SDMessageProcessChanges", "drop")
            << dropped + "3 contacts were sent to the iPhone, which did not confirm them; they may be on the phone. Some "
                         "details of " + three + " were not written." + reread;
        QTest::newRow("no ids for the contacts")
            << faultAt("SDMessageProcessChanges", "noids")
            << "The iPhone answered without confirming 3 new contacts; they may be on the phone. Some details of " + three
                   + " were not written." + reread;
        QTest::newRow("link gone before their details")
            << faultAt("SDMessageProcessChanges", "deaf") << dropped + kept + "Some details of " + three
                                                                 + " were not written. Keep the iPhone connected and unlocked, and try again.";
        QTest::newRow("link drops at their details")
            << faultAt("SDMessageProcessChanges", "drop", 1)
            << dropped + kept + "Some details of " + three
                   + " were sent to the iPhone, which did not confirm them; they may be on the phone." + reread;
        QTest::newRow("no ids for their details")
            << faultAt("SDMessageProcessChanges", "noids", 1)
            << kept + "The iPhone answered without confirming some details of " + three + "; they may be on the phone." + reread;
    }
    void shouldNameContactsWithoutANameByWhatTheyHold()
    {
        QFETCH(QJsonObject, fault);
        IPhoneSimulator sim({{"fault", fault}});
        DeviceDb device;
        // Each with a detail that goes as a child record after the contacts.
        const Contacts contacts{testkit::contactOf("", {{10, {Fields{{"data1", "Acme Ltd"}}}}, {4, {Fields{{"data1", "info@acme.example"}}}}}),
                                testkit::contactOf("", {{3, {Fields{{"data1", "+1 555 0100"}}}}}),
                                testkit::contactOf("", {{13, {Fields{{"data1", "https://example.org"}}}}})};
        RecordingReporter reporter;
        IOSSyncToDeviceThread thread(IPhoneSimulator::kUdid, device.db, contacts, &reporter);
        runToEnd(thread);
        QCOMPARE(reporter.successes(), QStringList());
        QTEST(reporter.errors().value(0), "ending");
    }

    // A database that cannot keep what the phone confirmed of a batch (a
    // reader holds it while the batch is put back) loses the whole batch: the
    // phone is read again, and the ending still says what may be on it
    // rather than that nothing was written.
    void shouldSayWhatMayBeOnThePhoneWhenTheDatabaseCannotKeepIt_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QString>("ending");
        const QString dropped = "The iPhone was disconnected while contacts were written to it. ";
        QTest::newRow("stored contacts, link drops")
            << faultAt("SDMessageProcessChanges", "storedrop")
            << dropped + "10 contacts were sent to the iPhone, which did not confirm them; they may be on the phone. Some "
                         "details of \"C00\", \"C01\", \"C02\", \"C03\", \"C04\", ... were not written. The iPhone is "
                         "read again to show what it holds.";
        QTest::newRow("link gone before the records")
            << faultAt("SDMessageSyncDataClassWithDevice", "deaf")
            << dropped + "No contact was written. Keep the iPhone connected and unlocked, and try again.";
    }
    void shouldSayWhatMayBeOnThePhoneWhenTheDatabaseCannotKeepIt()
    {
        QFETCH(QJsonObject, fault);
        IPhoneSimulator sim({{"fault", fault}});
        DeviceDb device;
        Contacts contacts;
        for (int i = 0; i < 10; ++i)
            contacts << named(QString("C%1").arg(i, 2, 10, QChar('0')), {{3, {Fields{{"data1", QString("+%1").arg(i)}}}}});
        SqlProbe reader(device.db->path());
        reader.exec("begin");
        reader.value("select count(*) from contact");
        RecordingReporter reporter;
        IOSSyncToDeviceThread thread(IPhoneSimulator::kUdid, device.db, contacts, &reporter);
        runToEnd(thread);
        reader.exec("commit");
        QCOMPARE(reporter.successes(), QStringList());
        QTEST(reporter.errors().value(0), "ending");
        QCOMPARE(device.contacts(), QStringList());
    }

    // A contact the phone knows, changed and added to by the transfer: what
    // the phone did not confirm is put back as it was, with its source id.
    // Its changes went out with its record, and may be on the phone whether
    // or not the phone stored them before the link dropped; the new e-mail
    // address never went out.
    void shouldPutBackWhatThePhoneDidNotConfirm_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("notes"); // on the phone at the end
        QTest::newRow("link drops") << "drop" << "";
        QTest::newRow("phone stores, then the link drops") << "storedrop" << "likes tea";
    }
    void shouldPutBackWhatThePhoneDidNotConfirm()
    {
        QFETCH(QString, fault);
        QJsonObject scenario = kimAndLee();
        IPhoneSimulator sim(scenario);
        DeviceDb device;
        readPhone(device);
        const QStringList before = device.rows();
        scenario["fault"] = QJsonObject{{"at", "SDMessageProcessChanges"}, {"kind", fault}};
        IPhoneSimulator faulty(scenario);
        RecordingReporter reporter;
        IOSSyncToDeviceThread thread(IPhoneSimulator::kUdid, device.db,
                                     Contacts{named("Kim", {{3, {Fields{{"data1", "1"}, {"data2", 2}}}},
                                                            {4, {Fields{{"data1", "new@b"}}}},
                                                            {9, {Fields{{"data1", "likes tea"}}}}})},
                                     &reporter);
        runToEnd(thread);
        QCOMPARE(reporter.errors(), QStringList{"The iPhone was disconnected while contacts were written to it. Changes to "
                                                "\"Kim\" were sent to the iPhone, which did not confirm them; they may be on "
                                                "the phone. Some details of \"Kim\" were not written. The iPhone is read "
                                                "again to show what it holds."});
        QCOMPARE(device.rows(), before);
        QVERIFY(faulty.waitForSessionsEnded());
        QTEST(faulty.phoneRecords()["11"].toObject()["notes"].toString(), "notes");
    }

    // A database walked a page at a time: each batch goes out before the
    // page after the next is read, every contact arrives in order, and a
    // source that fails keeps the batches written before it and no more.
    void shouldWriteAWalkAsItsPagesCome_data()
    {
        QTest::addColumn<int>("failAt"); // pages handed out when the source goes bad; -1 never
        QTest::addColumn<int>("arrived");
        QTest::addColumn<QString>("ending");
        const QString unread = "The contacts to transfer could not be read: source.db is not a contact database or is damaged. ";
        QTest::newRow("every page") << -1 << 45 << "IDS_SUC_TRANSFER_45_CONTACTS_TO_IOS";
        QTest::newRow("source fails on a later page")
            << 2 << 20 << unread + "20 contacts were written to the iPhone and kept; the rest were not written.";
        QTest::newRow("source fails on its first page") << 0 << 0 << unread + "No contact was written.";
    }
    void shouldWriteAWalkAsItsPagesCome()
    {
        QFETCH(int, failAt);
        QFETCH(int, arrived);
        constexpr int kPage = 12; // more than a batch: a batch spans two pages at most
        constexpr int kBatch = IOSSyncToDeviceThread::kBatchSize;
        IPhoneSimulator sim(QJsonObject{});
        DeviceDb device;
        QStringList names;
        Contacts contacts;
        for (int i = 0; i < 45; ++i) {
            names << QString("C%1").arg(i, 2, 10, QChar('0'));
            contacts << named(names.last(), {{3, {Fields{{"data1", QString("+%1").arg(i)}}}}});
        }
        QTemporaryDir dir;
        const QSharedPointer<LocalDb> source = testkit::databaseOf(dir.filePath("source.db"), contacts);
        QList<int> sentBefore; // contacts stored as on the phone when each page was asked for
        auto walk = std::make_shared<WatchedPages>(std::make_unique<LocalDbContactPages>(source, 0, kPage), [&](int handed) {
            sentBefore << SqlProbe(device.db->path()).value("select count(*) from contact").toInt();
            if (handed == failAt)
                SqlProbe(source->path()).exec("drop table data");
        });
        RecordingReporter reporter;
        IOSSyncToDeviceThread thread(IPhoneSimulator::kUdid, device.db, walk, &reporter);
        runToEnd(thread);

        QTEST(reporter.successes().value(0) + reporter.errors().value(0), "ending");
        QCOMPARE(reporter.endings(), 1);
        QCOMPARE(SqlProbe(device.db->path()).column("select full_name from contact order by _id"), names.mid(0, arrived));
        QCOMPARE(device.rows("d.type = 3 and d.src_id = ''"), QStringList());
        QCOMPARE(device.rows("d.type = 3").size(), arrived);
        QCOMPARE(phoneNames(sim), names.mid(0, arrived));
        for (int k = 0; k < sentBefore.size(); ++k)
            QVERIFY2(sentBefore[k] + kBatch > std::min(k * kPage, int(names.size())),
                     qPrintable(QString("page %1 asked for with %2 contacts sent").arg(k).arg(sentBefore[k])));
        QCOMPARE(walk->mostHeldBehind(), 0);
    }

    // Phone -> device database -> local database -> another phone: each kind
    // of record comes back with every field it had (ids and the link to the
    // contact aside), and the local database keeps the kinds of nickname and
    // organisation.
    void shouldGiveThePhoneBackEveryField_data()
    {
        QTest::addColumn<QJsonObject>("child");
        QTest::newRow("contact alone") << QJsonObject();
        QTest::newRow("phone") << record("Phone Number", {{"value", "+49 30 1234"}, {"type", "mobile"}});
        QTest::newRow("phone with a label") << record("Phone Number", {{"value", "+49 30 1"}, {"type", "other"}, {"label", "Boat"}});
        QTest::newRow("e-mail") << record("Email Address", {{"value", "kim@example.org"}, {"type", "work"}});
        QTest::newRow("address") << record("Street Address", {{"street", "Hauptstr. 1"}, {"city", "Berlin"}, {"state", "BE"},
                                                              {"postal code", "10115"}, {"country", "Germany"},
                                                              {"country code", "de"}, {"type", "home"}});
        QTest::newRow("date") << record("Date", {{"value", QJsonObject{{"$date", "2001-06-09T00:00:00Z"}}}, {"type", "anniversary"}});
        QTest::newRow("instant messaging") << record("IM", {{"user", "kim.k"}, {"service", "jabber"}, {"type", "work"}});
        QTest::newRow("web address") << record("URL", {{"value", "https://example.org"}, {"type", "home page"}});
        QTest::newRow("related name with a label") << record("Related Name", {{"value", "Ute"}, {"type", "mother"}, {"label", "Mutti"}});
    }
    void shouldGiveThePhoneBackEveryField()
    {
        QFETCH(QJsonObject, child);
        QJsonObject records{{"11", record("Contact", {{"first name", "Kim"}, {"middle name", "J"}, {"last name", "Park"},
                                                     {"first name yomi", "Kimu"}, {"last name yomi", "Paku"}, {"title", "Dr"},
                                                     {"suffix", "Jr"}, {"nickname", "KP"}, {"company name", "Acme"},
                                                     {"department", "R&D"}, {"job title", "Chemist"}, {"notes", "likes tea"},
                                                     {"birthday", QJsonObject{{"$date", "1980-05-04T00:00:00Z"}}},
                                                     {"image", QJsonObject{{"$data", "iVBORw0KGgo="}}},
                                                     {"display as company", "person"}})}};
        if (!child.isEmpty()) {
            child["contact"] = QJsonArray{"11"};
            records["3/11/21"] = child;
        }
        DeviceDb device;
        {
            IPhoneSimulator phone({{"records", records}});
            readPhone(device);
        }
        QTemporaryDir dir;
        LocalDb local(dir.filePath("backup.db"), QSharedPointer<LocalDbCombineRule>::create());
        local.create();
        for (const pim::_Contact& contact : device.db->contacts()) {
            pim::_Contact stored;
            bool existed = false;
            local.combineContact(contact, stored, existed);
        }
        QCOMPARE(SqlProbe(local.path()).column("select type||':'||data2 from data where type in (5, 10) order by type"),
                 QStringList({"5:1", "10:1"}));

        IPhoneSimulator other(QJsonObject{});
        DeviceDb target;
        RecordingReporter reporter;
        IOSSyncToDeviceThread restore(IPhoneSimulator::kUdid, target.db, local.contacts(), &reporter);
        runToEnd(restore);
        QCOMPARE(reporter.errors(), QStringList());
        const auto content = [](const QJsonObject& phone) {
            QStringList texts;
            for (QJsonValue value : phone) {
                QJsonObject r = value.toObject();
                r.remove("contact");
                texts << QJsonDocument(r).toJson(QJsonDocument::Compact);
            }
            texts.sort();
            return texts;
        };
        QCOMPARE(content(other.phoneRecords()), content(records));
    }

    // The iPhone holds one organisation a contact: of a contact that works
    // for two, the first goes whole, never the company of one beside the
    // department of the other.
    void shouldWriteTheFirstOfSeveralOrganisationsWhole()
    {
        IPhoneSimulator sim(QJsonObject{});
        DeviceDb device;
        RecordingReporter reporter;
        const Contacts contacts{named("Ray", {{10, {Fields{{"data1", "Test Inc."}, {"data5", "Testing"}, {"data4", "Chemist"}},
                                                    Fields{{"data1", "Coding Club"}, {"data4", "Mentor"}}}}})};
        IOSSyncToDeviceThread thread(IPhoneSimulator::kUdid, device.db, contacts, &reporter);
        runToEnd(thread);
        QCOMPARE(reporter.errors(), QStringList());
        QStringList organisations;
        for (const QJsonValue value : sim.phoneRecords()) {
            const QJsonObject r = value.toObject();
            if (r.contains("company name"))
                organisations << r["company name"].toString() + "|" + r["department"].toString() + "|"
                        + r["job title"].toString();
        }
        QCOMPARE(organisations, QStringList{"Test Inc.|Testing|Chemist"});
        QCOMPARE(SqlProbe(device.db->path()).column("select data1||'|'||data5||'|'||data4 from data where type = 10"),
                 organisations);
    }

    // An edit of Kim (nickname added, phone added, e-mail changed, phone deleted,
    // group added), Lee deleted, then a contact new to the phone with an e-mail.
    void shouldSendEditsAndDeletions()
    {
        IPhoneSimulator sim(kimAndLee());
        DeviceDb device;
        readPhone(device);
        LocalDb& db = *device.db;
        pim::_Contact kim = db.contact(1), lee = db.contact(2), added(0, "", "New");
        // Applied to the database first, as the main window does.
        pim::Entity nickname = testkit::entityOf({{"data1", "Bo"}}), phone = testkit::entityOf({{"data1", "2"}});
        pim::Entity email = kim.entities[4].first(), oldPhone = kim.entities[3].first(), mail = testkit::entityOf({{"data1", "n@w"}});
        db.insertEntity(kim.id, 5, nickname);
        db.insertEntity(kim.id, 3, phone);
        email.fields["data1"] = "c@d";
        db.updateEntity(4, email);
        db.removeEntity(oldPhone.id);
        db.removeContact(lee.id);
        db.insertContactBase(added);
        db.insertEntity(added.id, 4, mail);
        kim = db.contact(kim.id);
        added = db.contact(added.id);
        using C = _ChangeData;
        RecordingReporter reporter;
        IOSSendChangesThread edit(&reporter, IPhoneSimulator::kUdid, device.db, &kim,
                                  {{5, C::ACTION_ADDED, nickname}, {3, C::ACTION_ADDED, phone}, {4, C::ACTION_UPDATED, email},
                                   {3, C::ACTION_DELETED, oldPhone}, {7, C::ACTION_ADDED, testkit::entityOf({{"data2", "G"}})}}, {});
        IOSSendChangesThread removal(&reporter, IPhoneSimulator::kUdid, device.db, nullptr, {}, {lee});
        IOSSendChangesThread creation(&reporter, IPhoneSimulator::kUdid, device.db, &added, {{4, C::ACTION_ADDED, mail}}, {});
        for (QThread* thread : {(QThread*)&edit, (QThread*)&removal, (QThread*)&creation})
            runToEnd(*thread);

        QCOMPARE(reporter.successes(), QStringList({"", "", ""}));
        QCOMPARE(sentKeys(sim), QStringList({"11", QString("3/11/-%1,3/11/21,4/11/22").arg(phone.id), "12",
                                             QString("-%1").arg(added.id), QString("4/1002/-%1").arg(mail.id)}));
        const QJsonObject onPhone = sim.phoneRecords();
        QCOMPARE(onPhone.keys(), QStringList({"1002", "11", "3/1001", "4/1003", "4/11/22"}));
        QCOMPARE(onPhone["11"].toObject()["nickname"].toString(), "Bo");
        QCOMPARE(onPhone["4/11/22"].toObject()["value"].toString(), "c@d");
        QCOMPARE(added.srcId, "1002");
        QCOMPARE(device.rows("d.src_id in ('3/1001', '4/1003')"), QStringList({"Kim|3|2|||3/1001", "New|4|n@w|||4/1003"}));
    }

    // An edit whose session breaks off: what went out in full and was not
    // confirmed may be on the phone, and the words say so once, without
    // advice to repeat; what never went out was not written. A new contact
    // (its record, then a child record, two messages), a change of a contact
    // the phone has (nickname and web address, two messages) or the deletion
    // of Lee.
    // A contact without a name (the phone holds such ones) is named by its
    // company, else its phone number, else as a contact without a name.
    void shouldSayWhatOfAnEditMayBeOnThePhone_data()
    {
        QTest::addColumn<QString>("job");
        QTest::addColumn<QString>("holds"); // besides what the edit adds: "name", "company", "number", "nothing"
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QString>("ending");
        const QString dropped = "The iPhone was disconnected while the change was sent to it. ";
        const QString reread = " Its contacts are read again, so the list shows what it holds.";
        const QJsonObject drop = faultAt("SDMessageProcessChanges", "drop"), storedrop = faultAt("SDMessageProcessChanges", "storedrop"),
                          noids = faultAt("SDMessageProcessChanges", "noids");
        const auto unsure = [](const QString& changes) {
            return changes + " were sent to the iPhone, which did not confirm them; they may be on the phone.";
        };
        const auto notWritten = [](const QString& name) { return " Some details of " + name + " were not written."; };
        QTest::newRow("new contact stored, link drops")
            << "new" << "name" << storedrop
            << dropped + "The new contact \"New\" was sent to the iPhone, which did not confirm it; it may be on the phone."
                   + notWritten("\"New\"") + reread;
        QTest::newRow("new contact, no id for it")
            << "new" << "name" << noids
            << "The iPhone answered without confirming the new contact \"New\"; it may be on the phone."
                   + notWritten("\"New\"") + reread;
        QTest::newRow("details of the new contact stored, link drops")
            << "new" << "name" << faultAt("SDMessageProcessChanges", "storedrop", 1)
            << dropped + unsure("Some details of \"New\"") + reread;
        QTest::newRow("change of a contact, link drops")
            << "edit" << "name" << drop << dropped + unsure("Changes to \"Kim\"") + notWritten("\"Kim\"") + reread;
        QTest::newRow("change of a contact, no id for its new web address")
            << "edit" << "name" << faultAt("SDMessageProcessChanges", "noids", 1)
            << "The iPhone answered without confirming changes to \"Kim\"; they may be on the phone." + reread;
        QTest::newRow("change of a contact of a company only, link drops")
            << "edit" << "company" << drop << dropped + unsure("Changes to \"Acme\"") + notWritten("\"Acme\"") + reread;
        QTest::newRow("change of a contact of a number only, link drops")
            << "edit" << "number" << drop
            << dropped + unsure("Changes to \"+1 555 0100\"") + notWritten("\"+1 555 0100\"") + reread;
        QTest::newRow("change of a contact of a number only, no id for its new web address")
            << "edit" << "number" << faultAt("SDMessageProcessChanges", "noids", 1)
            << "The iPhone answered without confirming changes to \"+1 555 0100\"; they may be on the phone." + reread;
        QTest::newRow("change of a contact with nothing to name it by, link drops")
            << "edit" << "nothing" << drop
            << dropped + unsure("Changes to a contact without a name") + notWritten("a contact without a name") + reread;
        QTest::newRow("new contact of a company only, link drops")
            << "new" << "company" << storedrop
            << dropped + "The new contact \"Acme Ltd\" was sent to the iPhone, which did not confirm it; it may be on the "
                         "phone." + notWritten("\"Acme Ltd\"") + reread;
        QTest::newRow("new contact of a company only, no id for its details")
            << "new" << "company" << faultAt("SDMessageProcessChanges", "noids", 1)
            << "The iPhone answered without confirming some details of \"Acme Ltd\"; they may be on the phone." + reread;
        QTest::newRow("new contact of a number only, no id for it")
            << "new" << "number" << noids
            << "The iPhone answered without confirming the new contact \"+1 555 0199\"; it may be on the phone."
                   + notWritten("\"+1 555 0199\"") + reread;
        QTest::newRow("new contact of a number only, details stored, link drops")
            << "new" << "number" << faultAt("SDMessageProcessChanges", "storedrop", 1)
            << dropped + unsure("Some details of \"+1 555 0199\"") + reread;
        QTest::newRow("new contact with nothing to name it by, link drops")
            << "new" << "nothing" << storedrop
            << dropped + "A new contact without a name was sent to the iPhone, which did not confirm it; it may be on the "
                         "phone." + notWritten("a contact without a name") + reread;
        QTest::newRow("new contact with nothing to name it by, no id for it")
            << "new" << "nothing" << noids
            << "The iPhone answered without confirming a new contact without a name; it may be on the phone."
                   + notWritten("a contact without a name") + reread;
        QTest::newRow("change of a contact, link gone before it")
            << "edit" << "name" << faultAt("SDMessageSyncDataClassWithDevice", "deaf")
            << dropped.trimmed() + reread + " Keep the iPhone connected and unlocked, and try again.";
        QTest::newRow("deletion, link drops") << "delete" << "name" << drop
                                              << dropped + "The deletion was sent to the iPhone, which did not confirm it." + reread;
    }
    void shouldSayWhatOfAnEditMayBeOnThePhone()
    {
        QFETCH(QString, job);
        QFETCH(QString, holds);
        QFETCH(QJsonObject, fault);
        // Kim and Lee, and three contacts without a name: one of a company,
        // one of a phone number, one of a note.
        QJsonObject scenario = kimAndLee();
        QJsonObject records = scenario["records"].toObject();
        records["13"] = record("Contact", {{"company name", "Acme"}});
        records["14"] = record("Contact", {});
        records["3/14/31"] = child("Phone Number", "+1 555 0100", {"14"});
        records["15"] = record("Contact", {{"notes", "met at the fair"}});
        scenario["records"] = records;
        IPhoneSimulator sim(scenario);
        DeviceDb device;
        readPhone(device);
        LocalDb& db = *device.db;
        const QHash<QString, QString> onPhone{{"name", "11"}, {"company", "13"}, {"number", "14"}, {"nothing", "15"}};
        const auto stored = [&](const QString& phoneId) {
            return db.contact(SqlProbe(db.path()).value("select _id from contact where src_id = '" + phoneId + "'").toULongLong());
        };
        pim::_Contact contact;
        // A web address: a child record that names nothing.
        pim::Entity nickname = testkit::entityOf({{"data1", "Bo"}}), site = testkit::entityOf({{"data1", "https://example.org"}});
        using C = _ChangeData;
        QList<C> changes;
        QList<pim::_Contact> deleted;
        // Stored first, as the main window does.
        if (job == "new") {
            const QHash<QString, QPair<int, QString>> held{{"name", {4, "n@w"}}, {"company", {10, "Acme Ltd"}},
                                                           {"number", {3, "+1 555 0199"}}, {"nothing", {9, "met at the fair"}}};
            contact = pim::_Contact(0, "", holds == "name" ? "New" : "");
            db.insertContactBase(contact);
            pim::Entity first = testkit::entityOf({{"data1", held[holds].second}});
            db.insertEntity(contact.id, held[holds].first, first);
            changes = {{held[holds].first, C::ACTION_ADDED, first}};
            // Held in the contact record: a child record follows it.
            if (holds == "company" || holds == "nothing") {
                db.insertEntity(contact.id, 13, site);
                changes << C{13, C::ACTION_ADDED, site};
            }
        } else if (job == "edit") {
            contact = stored(onPhone[holds]);
            QCOMPARE(contact.fullName.isEmpty(), holds != "name");
            db.insertEntity(contact.id, 5, nickname);
            db.insertEntity(contact.id, 13, site);
            changes = {{5, C::ACTION_ADDED, nickname}, {13, C::ACTION_ADDED, site}};
        } else {
            deleted = {stored("12")};
            db.removeContact(deleted.first().id);
        }
        contact = db.contact(contact.id);
        scenario["fault"] = fault;
        IPhoneSimulator faulty(scenario);
        RecordingReporter reporter;
        IOSSendChangesThread thread(&reporter, IPhoneSimulator::kUdid, device.db, job == "delete" ? nullptr : &contact,
                                    changes, deleted);
        runToEnd(thread);
        QCOMPARE(reporter.successes(), QStringList());
        QTEST(reporter.errors().value(0), "ending");
    }
};

MARROWLINK_TEST_PARTS_GUILESS_MAIN(tst_IOSSyncThreads)
#include "tst_iossyncthreads.moc"
