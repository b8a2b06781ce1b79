// SPDX-License-Identifier: GPL-3.0-or-later
// iPhone contact sync timings against the simulated iPhone (tests/ios/iphonesim.py):
//   bench_ios_sync [contacts] [records-per-batch] [written] [walk|list]
// Reads a phone of 5,000 contacts with five child records each (30,000
// records) into an empty device database, then writes 1,000 new contacts
// (a name, a phone number and an e-mail each) back to it. A second read,
// with the receiving loop spelled out, splits the time between the phone's
// side (simulator, device library, property-list parsing) and storing.
// With walk or list the written contacts come from a local database, walked
// a page at a time or first read whole, and the write's peak memory is shown.
#include "ios/ioscontactcombinerule.h"
#include "ios/iossyncrecordreader.h"
#include "ios/iossynctodevicethread.h"
#include "ios/iossynctopcthread.h"
#include "ios/mobiledevicesync.h"
#include "iphonesimulator.h"
#include "model/contactpages.h"
#include "model/localdb.h"
#include "model/localdbcombinerule.h"
#include "peakmemory.h"
#include "support/recordingreporter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QTemporaryDir>

#include <cstdio>

namespace {

double seconds(qint64 ns)
{
    return double(ns) / 1e9;
}

pim::_Contact newPerson(int i)
{
    pim::_Contact c(0, QString(), QString("New Person %1").arg(i));
    pim::Entity name, phone, email;
    name.fields = {{"data1", c.fullName}, {"data2", "New"}, {"data3", QString("Person %1").arg(i)}};
    phone.fields = {{"data1", QString("+44 20 %1").arg(i)}, {"data2", 2}};
    email.fields = {{"data1", QString("n%1@example.org").arg(i)}};
    c.entities = {{1, {name}}, {3, {phone}}, {4, {email}}};
    return c;
}

QJsonObject phoneOf(int contacts, int batch)
{
    QJsonObject records;
    const auto child = [](const char* kind, const QString& value, const QString& parent) {
        return QJsonObject{{"com.apple.syncservices.RecordEntityName", QString("com.apple.contacts.") + kind},
                           {"value", value}, {"type", "home"}, {"contact", QJsonArray{parent}}};
    };
    for (int i = 0; i < contacts; ++i) {
        const QString id = QString::number(10000 + i);
        records[id] = QJsonObject{{"com.apple.syncservices.RecordEntityName", "com.apple.contacts.Contact"},
                                  {"first name", QString("First%1").arg(i)}, {"last name", QString("Last%1").arg(i)},
                                  {"company name", "ACME"}, {"notes", "met at the fair"}};
        records["3/" + id + "/1"] = child("Phone Number", QString("+1 555 %1").arg(i), id);
        records["3/" + id + "/2"] = child("Phone Number", QString("+1 556 %1").arg(i), id);
        records["4/" + id + "/3"] = child("Email Address", QString("p%1@example.org").arg(i), id);
        records["22/" + id + "/4"] = child("URL", QString("https://example.org/%1").arg(i), id);
        records["5/" + id + "/5"] = QJsonObject{{"com.apple.syncservices.RecordEntityName", "com.apple.contacts.Street Address"},
                                                {"street", QString("Main St %1").arg(i)}, {"city", "Town"}, {"contact", QJsonArray{id}}};
    }
    return {{"batch", batch}, {"records", records}, {"dump", false}};
}

QSharedPointer<LocalDb> freshDb(const QTemporaryDir& dir, const QString& name)
{
    QSharedPointer<LocalDb> db(new LocalDb(dir.filePath(name), QSharedPointer<IOSContactCombineRule>::create()));
    db->create();
    return db;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int contacts = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int batch = argc > 2 ? std::atoi(argv[2]) : 500;
    const int written = argc > 3 ? std::atoi(argv[3]) : 1000;
    const QString source = argc > 4 ? QString(argv[4]) : QString();

    IPhoneSimulator sim(phoneOf(contacts, batch));
    if (!sim.isReady()) {
        std::fprintf(stderr, "the simulated iPhone did not start\n");
        return 1;
    }
    QTemporaryDir dir;
    QSharedPointer<LocalDb> db = freshDb(dir, "ios.db");

    RecordingReporter reporter;
    QElapsedTimer timer;
    timer.start();
    IOSSyncToPCThread read(IPhoneSimulator::kUdid, db, &reporter);
    read.start();
    read.wait();
    const qint64 readNs = timer.nsecsElapsed();
    if (!reporter.errors().isEmpty() || read.contactCount() != contacts) {
        std::fprintf(stderr, "read failed: %s (%d contacts)\n", qPrintable(reporter.errors().join(' ')), read.contactCount());
        return 1;
    }
    std::printf("read %d contacts (%d records)  %8.3f s  %8.0f contacts/s  (target < 5 s)\n", contacts, contacts * 6,
                seconds(readNs), contacts / seconds(readNs));

    // The same read with the loop spelled out, timed per side.
    QSharedPointer<LocalDb> split = freshDb(dir, "split.db");
    qint64 phoneNs = 0, storeNs = 0, commitNs = 0;
    {
        mobiledevice_sync_client client;
        mobiledevice_sync_start_throw(IPhoneSimulator::kUdid, {"com.apple.Contacts", "---", "2026-01-01T00:00:00"}, client);
        mobiledevice_sync_start_recv_all_records_throw(client);
        split->beginEdit();
        IOSSyncRecordReader reader(*split);
        for (bool more = true; more;) {
            PlistCFType records;
            timer.restart();
            more = mobiledevice_sync_record_next_throw(client, records, nullptr);
            phoneNs += timer.nsecsElapsed();
            timer.restart();
            reader.readBatch(records);
            storeNs += timer.nsecsElapsed();
        }
        timer.restart();
        reader.finish();
        split->endEdit(true);
        commitNs = timer.nsecsElapsed();
        client.release();
    }
    std::printf("  receiving (phone, library, plist)  %8.3f s\n  storing records                    %8.3f s\n"
                "  commit                             %8.3f s\n", seconds(phoneNs), seconds(storeNs), seconds(commitNs));

    std::shared_ptr<ContactPages> outgoing;
    QSharedPointer<LocalDb> local;
    long long before = 0;
    if (source.isEmpty()) {
        QList<pim::_Contact> list;
        for (int i = 0; i < written; ++i)
            list << newPerson(i);
        outgoing = std::make_shared<ContactListPages>(list);
    } else {
        local.reset(new LocalDb(dir.filePath("source.db"), QSharedPointer<LocalDbCombineRule>::create()));
        local->create();
        local->beginEdit();
        for (int i = 0; i < written; ++i) {
            bool existed = false;
            local->mergeContact(newPerson(i), existed);
        }
        local->endEdit(true);
        local->close();
        before = peakmemory::startStage();
        if (source == QLatin1String("list"))
            outgoing = std::make_shared<ContactListPages>(local->contacts());
        else
            outgoing = std::make_shared<LocalDbContactPages>(local, 0);
    }
    RecordingReporter writer;
    timer.restart();
    IOSSyncToDeviceThread write(IPhoneSimulator::kUdid, db, std::move(outgoing), &writer);
    write.start();
    write.wait();
    const qint64 writeNs = timer.nsecsElapsed();
    if (!writer.errors().isEmpty()) {
        std::fprintf(stderr, "write failed: %s\n", qPrintable(writer.errors().join(' ')));
        return 1;
    }
    std::printf("write %d contacts (%d sessions)   %8.3f s  %8.0f contacts/s\n", written,
                (written + IOSSyncToDeviceThread::kBatchSize - 1) / IOSSyncToDeviceThread::kBatchSize, seconds(writeNs),
                written / seconds(writeNs));
    if (!source.isEmpty())
        std::printf("  from a database (%s): peak memory %lld KiB above the %lld KiB before\n", qPrintable(source),
                    peakmemory::stagePeak() - before, before);
    return 0;
}
