// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactfixture.h"
#include "exporttofilethread.h"
#include "recordingreporter.h"
#include "vcardexport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using fixture::contact;
using fixture::entity;

namespace {

QList<pim::_Contact> someContacts(int n)
{
    QList<pim::_Contact> list;
    for (int i = 0; i < n; ++i) {
        const QString name = QStringLiteral("Person %1").arg(i);
        list.append(contact(name, { { pim::ENTITY_NAME, entity({ { "data2", "Person" },
                                                                 { "data3", QString::number(i) } }) },
                                    { pim::ENTITY_PHONE, entity({ { "data1", QStringLiteral("+49 30 %1").arg(i) },
                                                                  { "data2", 2 } }) },
                                    { pim::ENTITY_NOTES, entity({ { "data1", QStringLiteral("note %1\nsecond line").arg(i) } }) } }));
    }
    return list;
}

QByteArray expectedVCards(const QList<pim::_Contact>& contacts)
{
    VCardExport writer;
    QByteArray all;
    for (const pim::_Contact& c : contacts)
        all += writer.ct2Bytes(c);
    return all;
}

void runExport(const QList<pim::_Contact>& contacts, int type, const QString& path,
               RecordingReporter* reporter)
{
    ExportToFileThread thread(contacts, static_cast<ExportToFileThread::TYPE>(type), path, reporter);
    thread.start();
    QVERIFY(thread.wait(60000));
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

// Makes every write beyond `bytes` fail with EFBIG for as long as it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limited = m_old;
        limited.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool active() const { return m_active; }

private:
    rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
    bool m_active = false;
};

} // namespace

class TestExportToFileThread : public QObject {
    Q_OBJECT
private slots:
    void init();

    void shouldReportProgressAndSuccess_data();
    void shouldReportProgressAndSuccess();
    void shouldFailWithoutFile_data();
    void shouldFailWithoutFile();
    void shouldReplaceAnExistingFile();
    void shouldRemoveTheFileOnCancel_data();
    void shouldRemoveTheFileOnCancel();
    void shouldRemoveThePartialFileWhenTheDiskFills();
    void shouldKeepTheOldFileWhenTheExportDoesNotComplete_data();
    void shouldKeepTheOldFileWhenTheExportDoesNotComplete();
    void shouldReportDeviceFullAndKeepTheDevice();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestExportToFileThread::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestExportToFileThread::shouldReportProgressAndSuccess_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("percents");
    QTest::addColumn<QString>("lastText");

    QTest::newRow("empty list: no progress, 0 contacts") << 0 << QList<int>() << QString();
    QTest::newRow("one contact: 100 percent") << 1 << QList<int> { 100 } << "Contacts:1/1";
    QTest::newRow("three contacts: 33 66 100") << 3 << QList<int> { 33, 66, 100 } << "Contacts:3/3";
    QList<int> everyPercent;
    for (int p = 0; p <= 100; ++p)
        everyPercent.append(p);
    QTest::newRow("1000 contacts: one report per percent, first and last kept")
        << 1000 << everyPercent << "Contacts:1000/1000";
}

void TestExportToFileThread::shouldReportProgressAndSuccess()
{
    QFETCH(int, count);
    QFETCH(QList<int>, percents);
    QFETCH(QString, lastText);

    const QString path = m_dir->filePath("out.vcf");
    const QList<pim::_Contact> contacts = someContacts(count);
    RecordingReporter reporter;
    runExport(contacts, ExportToFileThread::TYPE_VCARD, path, &reporter);

    QCOMPARE(reporter.errors(), QStringList());
    QCOMPARE(reporter.successes(), QStringList { QStringLiteral("IDS_SUC_EXPORT_%1_CONTACTS_TO_FILE").arg(count) });
    QList<int> seen;
    for (const auto& p : reporter.progress()) {
        seen.append(p.percent);
        QCOMPARE(p.status, QStringLiteral("IDS_EXPORTING_CONTACTS_TO_FILE"));
    }
    QCOMPARE(seen, percents);
    if (!lastText.isEmpty())
        QCOMPARE(reporter.progress().last().text, lastText);
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(readAll(path), expectedVCards(contacts));
}

void TestExportToFileThread::shouldFailWithoutFile_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<bool>("emptyText");

    QTest::newRow("type 0: empty error text") << 0 << "out.vcf" << true;
    QTest::newRow("type 5: empty error text") << 5 << "out.vcf" << true;
    QTest::newRow("type without a writer: a clear error")
        << int(ExportToFileThread::TYPE_HTML) << "out.html" << false;
    QTest::newRow("folder that does not exist: the file layer's text")
        << int(ExportToFileThread::TYPE_VCARD) << "missing/out.vcf" << false;
}

void TestExportToFileThread::shouldFailWithoutFile()
{
    QFETCH(int, type);
    QFETCH(QString, relativePath);
    QFETCH(bool, emptyText);

    if (emptyText)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("unknown file type"));
    const QString path = m_dir->filePath(relativePath);
    RecordingReporter reporter;
    runExport(someContacts(3), type, path, &reporter);

    QCOMPARE(reporter.successes(), QStringList());
    QCOMPARE(reporter.errors().size(), 1);
    QCOMPARE(reporter.errors().first().isEmpty(), emptyText);
    QVERIFY(reporter.progress().isEmpty());
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void TestExportToFileThread::shouldReplaceAnExistingFile()
{
    const QString path = m_dir->filePath("out.vcf");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(100000, 'x'));
    }
    const QList<pim::_Contact> contacts = someContacts(2);
    RecordingReporter reporter;
    runExport(contacts, ExportToFileThread::TYPE_VCARD, path, &reporter);
    QCOMPARE(reporter.successes().size(), 1);
    QCOMPARE(readAll(path), expectedVCards(contacts));
}

void TestExportToFileThread::shouldRemoveTheFileOnCancel_data()
{
    QTest::addColumn<int>("cancelAfterReports");

    QTest::newRow("cancel seen before the first contact") << 0;
    QTest::newRow("cancel after two of five contacts") << 2;
    QTest::newRow("cancel after the fourth of five contacts") << 4;
}

void TestExportToFileThread::shouldRemoveTheFileOnCancel()
{
    QFETCH(int, cancelAfterReports);

    const QString path = m_dir->filePath("out.vcf");
    RecordingReporter reporter;
    if (cancelAfterReports == 0)
        reporter.cancel();
    else
        reporter.cancelAfterProgress(cancelAfterReports);
    runExport(someContacts(5), ExportToFileThread::TYPE_VCARD, path, &reporter);

    QCOMPARE(reporter.progress().size(), cancelAfterReports);
    QCOMPARE(reporter.endings(), 0);
    QVERIFY(!QFileInfo::exists(path));
}

void TestExportToFileThread::shouldRemoveThePartialFileWhenTheDiskFills()
{
    const QString path = m_dir->filePath("out.vcf");
    const QList<pim::_Contact> contacts = someContacts(2000);
    RecordingReporter reporter;
    {
        FileSizeLimit limit(64 * 1024);
        if (!limit.active())
            QSKIP("cannot limit the file size here");
        runExport(contacts, ExportToFileThread::TYPE_VCARD, path, &reporter);
    }
    QCOMPARE(reporter.successes(), QStringList());
    QCOMPARE(reporter.errors().size(), 1);
    QVERIFY2(!reporter.errors().first().isEmpty(), "the file layer's error text is shown");
    QVERIFY(!QFileInfo::exists(path));
}

void TestExportToFileThread::shouldKeepTheOldFileWhenTheExportDoesNotComplete_data()
{
    QTest::addColumn<QString>("ending");

    QTest::newRow("cancel before the first contact") << "cancel-first";
    QTest::newRow("cancel half-way") << "cancel-middle";
    QTest::newRow("disk fills up") << "disk-full";
}

void TestExportToFileThread::shouldKeepTheOldFileWhenTheExportDoesNotComplete()
{
    QFETCH(QString, ending);

    const QString path = m_dir->filePath("keep.vcf");
    const QByteArray old("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Kept\r\nEND:VCARD\r\n");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(old), old.size());
    }

    RecordingReporter reporter;
    if (ending == QLatin1String("cancel-first")) {
        reporter.cancel();
        runExport(someContacts(5), ExportToFileThread::TYPE_VCARD, path, &reporter);
    } else if (ending == QLatin1String("cancel-middle")) {
        reporter.cancelAfterProgress(2);
        runExport(someContacts(5), ExportToFileThread::TYPE_VCARD, path, &reporter);
    } else {
        FileSizeLimit limit(64 * 1024);
        if (!limit.active())
            QSKIP("cannot limit the file size here");
        runExport(someContacts(2000), ExportToFileThread::TYPE_VCARD, path, &reporter);
    }

    QCOMPARE(reporter.successes(), QStringList());
    QCOMPARE(readAll(path), old);
    // Nothing but the kept file remains: no temporary copy is left behind.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList { QStringLiteral("keep.vcf") });
}

void TestExportToFileThread::shouldReportDeviceFullAndKeepTheDevice()
{
    const QString device = QStringLiteral("/dev/full");
    if (!QFileInfo::exists(device))
        QSKIP("no /dev/full on this system");
    RecordingReporter reporter;
    runExport(someContacts(3), ExportToFileThread::TYPE_VCARD, device, &reporter);

    QCOMPARE(reporter.successes(), QStringList());
    QCOMPARE(reporter.errors().size(), 1);
    QVERIFY2(!reporter.errors().first().isEmpty(), "the file layer's error text is shown");
    // The failed export must not unlink what it could not fill.
    const QFileInfo after(device);
    QVERIFY(after.exists());
    QVERIFY(!after.isFile());
}

QTEST_GUILESS_MAIN(TestExportToFileThread)
#include "tst_exporttofilethread.moc"
