// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/filesizelimit.h"
#include "contactfixture.h"
#include "fileformats/exporttofilethread.h"
#include "support/recordingreporter.h"
#include "fileformats/vcardexport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>


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
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestExportToFileThread : public QObject {
    Q_OBJECT
private slots:
    void init();

    void reportsProgressAndSuccess_data();
    void reportsProgressAndSuccess();
    void failsWithoutFile_data();
    void failsWithoutFile();
    void leavesNoPartialFile_data();
    void leavesNoPartialFile();
    void reportsDeviceFullAndKeepsTheDevice();
    void followsOnlyTrustedLinks_data();
    void followsOnlyTrustedLinks();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestExportToFileThread::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestExportToFileThread::reportsProgressAndSuccess_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QList<int>>("percents");

    QTest::newRow("empty list: no progress, 0 contacts") << 0 << false << QList<int>();
    QTest::newRow("three contacts: 33 66 100") << 3 << false << QList<int> { 33, 66, 100 };
    QTest::newRow("a longer file is replaced, not overwritten in place") << 1 << true << QList<int> { 100 };
    QList<int> everyPercent;
    for (int p = 0; p <= 100; ++p)
        everyPercent.append(p);
    QTest::newRow("1000 contacts: one report per percent, first and last kept") << 1000 << false << everyPercent;
}

void TestExportToFileThread::reportsProgressAndSuccess()
{
    QFETCH(int, count);
    QFETCH(bool, replace);
    QFETCH(QList<int>, percents);

    const QString path = m_dir->filePath("out.vcf");
    if (replace) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(100000, 'x'));
    }
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
    if (count > 0)
        QCOMPARE(reporter.progress().last().text, QStringLiteral("Contacts:%1/%1").arg(count));
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(readAll(path), expectedVCards(contacts));
}

void TestExportToFileThread::failsWithoutFile_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<bool>("emptyText");

    QTest::newRow("unknown type 5: empty error text") << 5 << "out.vcf" << true;
    QTest::newRow("folder that does not exist: the file layer's text")
        << int(ExportToFileThread::TYPE_VCARD) << "missing/out.vcf" << false;
}

void TestExportToFileThread::failsWithoutFile()
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
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void TestExportToFileThread::leavesNoPartialFile_data()
{
    QTest::addColumn<QString>("ending");
    QTest::addColumn<bool>("oldFile");

    for (const bool old : { false, true }) {
        const char* const suffix = old ? ", old file kept" : ", no file left";
        QTest::addRow("cancel before the first contact%s", suffix) << "cancel-0" << old;
        QTest::addRow("cancel after two of five contacts%s", suffix) << "cancel-2" << old;
        QTest::addRow("cancel after the fourth of five contacts%s", suffix) << "cancel-4" << old;
        QTest::addRow("disk fills up%s", suffix) << "disk-full" << old;
        QTest::addRow("only the last byte does not fit%s", suffix) << "last-byte" << old;
    }
}

void TestExportToFileThread::leavesNoPartialFile()
{
    QFETCH(QString, ending);
    QFETCH(bool, oldFile);

    const QString path = m_dir->filePath("keep.vcf");
    const QByteArray old("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Kept\r\nEND:VCARD\r\n");
    if (oldFile) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(old), old.size());
    }

    RecordingReporter reporter;
    if (ending.startsWith(QLatin1String("cancel"))) {
        const int reports = ending.back().digitValue();
        if (reports == 0)
            reporter.cancel();
        else
            reporter.cancelAfterProgress(reports);
        runExport(someContacts(5), ExportToFileThread::TYPE_VCARD, path, &reporter);
        QCOMPARE(reporter.progress().size(), reports);
        QCOMPARE(reporter.endings(), 0);
    } else {
        // A few contacts fit in Qt's write buffer, so only the final flush
        // meets the limit.
        const QList<pim::_Contact> contacts = someContacts(ending == QLatin1String("disk-full") ? 2000 : 20);
        const rlim_t size = ending == QLatin1String("disk-full") ? 64 * 1024 : expectedVCards(contacts).size() - 1;
        FileSizeLimit limit(size);
        if (!limit.active())
            QSKIP("cannot limit the file size here");
        runExport(contacts, ExportToFileThread::TYPE_VCARD, path, &reporter);
        QCOMPARE(reporter.errors().size(), 1);
        QVERIFY2(reporter.errors().first().contains(QLatin1String("File too large")), qPrintable(reporter.errors().first()));
    }

    QCOMPARE(reporter.successes(), QStringList());
    // No temporary copy is left behind either.
    const QStringList left = QDir(m_dir->path()).entryList(QDir::Files);
    if (oldFile) {
        QCOMPARE(readAll(path), old);
        QCOMPARE(left, QStringList { QStringLiteral("keep.vcf") });
    } else {
        QCOMPARE(left, QStringList());
    }
}

void TestExportToFileThread::reportsDeviceFullAndKeepsTheDevice()
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

// A link in a sticky folder everyone may write to is followed only when it
// is the user's own; planting another user's link needs privileges.
void TestExportToFileThread::followsOnlyTrustedLinks_data()
{
    QTest::addColumn<int>("folderMode");
    QTest::newRow("another user's link in a shared sticky folder: refused") << 01777;
    QTest::newRow("another user's link in a private folder") << 0700;
}

void TestExportToFileThread::followsOnlyTrustedLinks()
{
    QFETCH(int, folderMode);
    const QString target = m_dir->filePath("precious"), link = m_dir->filePath("shared/out.vcf");
    QVERIFY(QFile::copy(QFINDTESTDATA("tst_exporttofilethread.cpp"), target) && QDir(m_dir->path()).mkdir("shared"));
    QCOMPARE(::chmod(QFile::encodeName(m_dir->filePath("shared")).constData(), mode_t(folderMode)), 0);
    QVERIFY(QFile::link(target, link));
    if (::lchown(QFile::encodeName(link).constData(), ::geteuid() + 1, gid_t(-1)) != 0)
        QSKIP("planting another user's link needs privileges");
    const QByteArray before = readAll(target);
    RecordingReporter reporter;
    runExport(someContacts(1), ExportToFileThread::TYPE_VCARD, link, &reporter);
    QCOMPARE(reporter.errors().size(), folderMode == 01777 ? 1 : 0);
    QCOMPARE(readAll(target) == before, folderMode == 01777);
}

QTEST_GUILESS_MAIN(TestExportToFileThread)
#include "tst_exporttofilethread.moc"
