// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/contactbuilders.h"
#include "common/filesizelimit.h"
#include "fileformats/export/exporttofilethread.h"
#include "fileformats/export/vcardexport.h"
#include "model/contactpages.h"
#include "model/localdb.h"
#include "../scratchfiles.h"
#include "support/recordingreporter.h"
#include "support/timebounds.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using testkit::contactOf;

namespace {

QList<pim::_Contact> someContacts(int n)
{
    QList<pim::_Contact> list;
    for (int i = 0; i < n; ++i) {
        list.append(contactOf(QStringLiteral("Person %1").arg(i),
            { { pim::ENTITY_NAME,
                  { QVariantMap { { "data2", "Person" }, { "data3", QString::number(i) } } } },
                { pim::ENTITY_PHONE,
                    { QVariantMap { { "data1", QStringLiteral("+49 30 %1").arg(i) }, { "data2", 2 } } } },
                { pim::ENTITY_NOTES,
                    { QVariantMap { { "data1", QStringLiteral("note %1\nsecond line").arg(i) } } } } }));
    }
    return list;
}

void runExport(const QList<pim::_Contact>& contacts, int type, const QString& path,
               RecordingReporter* reporter)
{
    ExportToFileThread thread(contacts, static_cast<ExportToFileThread::TYPE>(type), path, reporter);
    thread.start();
    QVERIFY(thread.wait(timebound::kWaitMs));
}

QByteArray expectedVCards(const QList<pim::_Contact>& contacts)
{
    VCardExport writer;
    QByteArray all;
    for (const pim::_Contact& c : contacts)
        all += writer.ct2Bytes(c);
    return all;
}

} // namespace

class TestExportToFileThread : public QObject {
    Q_OBJECT
private slots:
    void init();

    void replacesALongerFile();
    void failsWithoutFolder();
    void leavesNoPartialFile_data();
    void leavesNoPartialFile();
    void reportsDeviceFullAndKeepsTheDevice();
    void followsOnlyTrustedLinks_data();
    void followsOnlyTrustedLinks();
    void walksADatabaseInPages_data();
    void walksADatabaseInPages();
    void writesNothingForNoContact_data();
    void writesNothingForNoContact();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestExportToFileThread::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

// A longer file already there is replaced, not overwritten in place.
void TestExportToFileThread::replacesALongerFile()
{
    const QString path = writeScratch(*m_dir, QByteArray(100000, 'x'), QStringLiteral("vcf"));
    const QList<pim::_Contact> contacts = someContacts(3);
    RecordingReporter reporter;
    runExport(contacts, ExportToFileThread::TYPE_VCARD, path, &reporter);

    QCOMPARE(reporter.errors(), QStringList());
    QCOMPARE(reporter.successes(), QStringList { QStringLiteral("IDS_SUC_EXPORT_3_CONTACTS_TO_FILE") });
    QCOMPARE(readScratch(path), expectedVCards(contacts));
}

void TestExportToFileThread::failsWithoutFolder()
{
    RecordingReporter reporter;
    runExport(someContacts(3), ExportToFileThread::TYPE_VCARD, m_dir->filePath("missing/out.vcf"), &reporter);
    QCOMPARE(reporter.successes(), QStringList());
    QCOMPARE(reporter.errors().size(), 1);
    QVERIFY(!reporter.errors().first().isEmpty());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void TestExportToFileThread::leavesNoPartialFile_data()
{
    QTest::addColumn<QString>("ending");
    QTest::addColumn<bool>("oldFile");

    for (const bool old : { false, true }) {
        const char* const suffix = old ? ", old file kept" : ", no file left";
        QTest::addRow("cancel after two of five contacts%s", suffix) << "cancel" << old;
        QTest::addRow("disk fills up%s", suffix) << "disk-full" << old;
        QTest::addRow("only the last byte does not fit%s", suffix) << "last-byte" << old;
    }
}

void TestExportToFileThread::leavesNoPartialFile()
{
    QFETCH(QString, ending);
    QFETCH(bool, oldFile);

    const QByteArray old("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Kept\r\nEND:VCARD\r\n");
    const QString path
        = oldFile ? writeScratch(*m_dir, old, QStringLiteral("vcf")) : m_dir->filePath("keep.vcf");

    RecordingReporter reporter;
    if (ending == QLatin1String("cancel")) {
        reporter.cancelAfterProgress(2);
        runExport(someContacts(5), ExportToFileThread::TYPE_VCARD, path, &reporter);
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
        QCOMPARE(readScratch(path), old);
        QCOMPARE(left, QStringList { QFileInfo(path).fileName() });
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
    const QByteArray before = readScratch(target);
    RecordingReporter reporter;
    runExport(someContacts(1), ExportToFileThread::TYPE_VCARD, link, &reporter);
    QCOMPARE(reporter.errors().size(), folderMode == 01777 ? 1 : 0);
    QCOMPARE(readScratch(target) == before, folderMode == 01777);
}

// A database walked a page at a time gives the file its whole list gives:
// also the tables, whose columns come from every contact, and a cancel
// part way through the walk leaves no file.
void TestExportToFileThread::walksADatabaseInPages_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("cancelAfter"); // progress reports; 0: none
    QTest::newRow("vCard") << int(ExportToFileThread::TYPE_VCARD) << 0;
    QTest::newRow("CSV") << int(ExportToFileThread::TYPE_CSV) << 0;
    QTest::newRow("text table") << int(ExportToFileThread::TYPE_TXT) << 0;
    QTest::newRow("HTML page") << int(ExportToFileThread::TYPE_HTML) << 0;
    QTest::newRow("cancel in the second page") << int(ExportToFileThread::TYPE_CSV) << 60;
}

void TestExportToFileThread::walksADatabaseInPages()
{
    QFETCH(int, type);
    QFETCH(int, cancelAfter);
    const QSharedPointer<LocalDb> db = LocalDb::openLocal(m_dir->filePath("walk.db"));
    db->create();
    db->beginEdit();
    QList<pim::_Contact> people = someContacts(600);
    // Only one contact has the third phone: its column comes late.
    people[550].entities[pim::ENTITY_PHONE].append(
        testkit::entityOf({ { "data1", "+1 555 0199" }, { "data2", 3 } }));
    for (const pim::_Contact& person : std::as_const(people)) {
        pim::_Contact stored;
        bool existed = false;
        db->combineContact(person, stored, existed);
    }
    db->endEdit(true);

    const QString listed = m_dir->filePath("listed"), walked = m_dir->filePath("walked");
    RecordingReporter fromList;
    runExport(db->contacts(), type, listed, &fromList);
    RecordingReporter fromPages;
    if (cancelAfter)
        fromPages.cancelAfterProgress(cancelAfter);
    {
        ExportToFileThread thread(std::make_shared<LocalDbContactPages>(db, 0, 256),
                                  ExportToFileThread::TYPE(type), walked, &fromPages);
        thread.start();
        QVERIFY(thread.wait(timebound::kWaitMs));
    }
    QCOMPARE(fromPages.errors(), QStringList());
    const auto page = [type](const QString& path) {
        return type == ExportToFileThread::TYPE_HTML ? path + "/" + QFileInfo(path).fileName() : path;
    };
    if (cancelAfter) {
        QCOMPARE(fromPages.successes(), QStringList());
        QVERIFY(!QFileInfo::exists(walked));
        return;
    }
    QCOMPARE(fromPages.successes().size(), 1);
    QVERIFY2(fromPages.successes().first().startsWith("IDS_SUC_EXPORT_600_CONTACTS_TO_FILE"),
             qPrintable(fromPages.successes().first()));
    const QByteArray expected = readScratch(page(listed));
    QVERIFY(expected.contains("+49 30 599") && expected.contains("+1 555 0199"));
    QCOMPARE(readScratch(page(walked)), expected);
}

// Nothing to export: no file, no page folder, and the user is told.
void TestExportToFileThread::writesNothingForNoContact_data()
{
    QTest::addColumn<int>("type");
    QTest::newRow("vCard") << int(ExportToFileThread::TYPE_VCARD);
    QTest::newRow("HTML page") << int(ExportToFileThread::TYPE_HTML);
}

void TestExportToFileThread::writesNothingForNoContact()
{
    QFETCH(int, type);
    RecordingReporter reporter;
    runExport({}, type, m_dir->filePath("none.out"), &reporter);
    QCOMPARE(reporter.errors(), QStringList());
    QCOMPARE(reporter.successes(), QStringList { ExportToFileThread::nothingToExport() });
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

QTEST_GUILESS_MAIN(TestExportToFileThread)
#include "tst_exporttofilethread.moc"
