// SPDX-License-Identifier: GPL-3.0-or-later
// Reads a simulated phone of N contacts (name, two numbers, an e-mail each)
// into an empty device database through the real reading thread, then
// writes N other contacts to it through the real writing thread. Prints
// contacts per second for each direction.
//
// With a source, the N other contacts come from a local database instead,
// either walked a page at a time (walk) or first read whole into a list
// (list); the write's peak memory is printed too.
//
// usage: bench_android_sync [N] [walk|list]   (default 2000, from a list in memory)
#include "android/iandroidconnector.h"
#include "android/syncbackupthread.h"
#include "android/syncrestorethread.h"
#include "companionsim.h"
#include "model/contactpages.h"
#include "model/localdb.h"
#include "model/localdbcombinerule.h"
#include "peakmemory.h"
#include "support/recordingreporter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cstdio>

namespace {

class SimConnector : public IAndroidConnector {
public:
    explicit SimConnector(QString host)
        : m_host(std::move(host))
    {
    }
    void initialCheck() override { }
    QString startBackup(int) override { return m_host; }
    QString startRestore(int) override { return m_host; }
    QString logcat() override { return {}; }

private:
    QString m_host;
};

QJsonObject text(const QString& t)
{
    return { { "text", t } };
}

QJsonObject phoneOf(int contacts)
{
    QJsonArray all;
    for (int i = 0; i < contacts; ++i) {
        const QString n = QString::number(i);
        all.append(QJsonArray { QJsonObject { { "type", 1 },
                                    { "fields", QJsonArray { "", text("Given" + n), "", text("Family") } } },
            QJsonObject { { "type", 3 }, { "fields", QJsonArray { "mobile", "", text("+1 555 " + n) } } },
            QJsonObject { { "type", 3 }, { "fields", QJsonArray { "work", "", text("+1 666 " + n) } } },
            QJsonObject {
                { "type", 4 }, { "fields", QJsonArray { "home", "", text(n + "@example.org") } } } });
    }
    return { { "device", "Bench phone" }, { "contacts", all } };
}

pim::_Contact otherContact(int i)
{
    const QString n = QString::number(i);
    pim::_Contact c(0, QString(), "Other" + n + " Person");
    pim::Entity name;
    name.fields = { { "data2", "Other" + n }, { "data3", "Person" } };
    pim::Entity phone;
    phone.fields = { { "data1", "+44 20 " + n }, { "data2", 2 } };
    pim::Entity mail;
    mail.fields = { { "data1", "other" + n + "@example.org" }, { "data2", 1 } };
    c.entities = { { 1, { name } }, { 3, { phone } }, { 4, { mail } } };
    return c;
}

QList<pim::_Contact> contactsOf(int count)
{
    QList<pim::_Contact> contacts;
    for (int i = 0; i < count; ++i)
        contacts << otherContact(i);
    return contacts;
}

// A local database of `count` other contacts, stored one at a time.
QSharedPointer<LocalDb> sourceOf(const QString& path, int count)
{
    QSharedPointer<LocalDb> db(new LocalDb(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule)));
    db->create();
    db->beginEdit();
    for (int i = 0; i < count; ++i) {
        bool existed = false;
        db->mergeContact(otherContact(i), existed);
    }
    db->endEdit(true);
    return db;
}

// Runs the thread; prints its rate and returns whether it succeeded.
bool timed(const char* what, QThread& thread, const RecordingReporter& reporter, int contacts)
{
    QElapsedTimer timer;
    timer.start();
    thread.start();
    thread.wait();
    const qint64 ms = qMax<qint64>(1, timer.elapsed());
    if (!reporter.errors().isEmpty()) {
        std::fprintf(stderr, "%s failed: %s\n", what, qPrintable(reporter.errors().first()));
        return false;
    }
    std::printf("%s: %d contacts in %lld ms: %.0f contacts/s, %lld progress reports\n", what, contacts,
        static_cast<long long>(ms), contacts * 1000.0 / double(ms),
        static_cast<long long>(reporter.progressCount()));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("MARROWLINK_SOURCE_DIR"))
        qputenv("MARROWLINK_SOURCE_DIR", MARROWLINK_SOURCE_DIR);
    const int count = argc > 1 ? QString(argv[1]).toInt() : 2000;
    const QString source = argc > 2 ? QString(argv[2]) : QString();

    QTemporaryDir dir;
    QSharedPointer<LocalDb> db(new LocalDb(
        dir.filePath("android.db"), QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule)));
    db->create();
    CompanionSim sim;
    const QList<quint16> ports
        = sim.start(source.isEmpty() ? phoneOf(count) : phoneOf(0), { "backup", "restore" });
    const PAndroidConnector connector(new SimConnector(sim.address()));

    // A source's run measures the write alone, to an empty phone.
    RecordingReporter reading;
    SyncRestoreThread read(db, connector, ports[0], &reading);
    if (source.isEmpty() && !timed("read ", read, reading, count))
        return 1;
    RecordingReporter writing;
    if (source.isEmpty()) {
        SyncBackupThread write(contactsOf(count), db, connector, ports[1], &writing);
        if (!timed("write", write, writing, count))
            return 1;
    } else {
        const QSharedPointer<LocalDb> local = sourceOf(dir.filePath("source.db"), count);
        local->close();
        const long long before = peakmemory::startStage();
        std::shared_ptr<ContactPages> pages;
        if (source == QLatin1String("list"))
            pages = std::make_shared<ContactListPages>(local->contacts());
        else
            pages = std::make_shared<LocalDbContactPages>(local, 0);
        SyncBackupThread write(pages, db, connector, ports[1], &writing);
        pages.reset();
        if (!timed("write", write, writing, count))
            return 1;
        std::printf("  from a database (%s): peak memory %lld KiB above the %lld KiB before\n",
            qPrintable(source), peakmemory::stagePeak() - before, before);
    }
    std::printf("  %s\n", qPrintable(writing.successes().value(0)));
    return 0;
}
