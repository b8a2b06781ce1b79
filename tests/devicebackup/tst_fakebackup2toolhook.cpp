// SPDX-License-Identifier: GPL-3.0-or-later
// The partial backup: which files are kept, the record of every file sent
// (read back over a second connection) and its commit cadence.
#include "common/sqlprobe.h"
#include "devicebackup/fakebackup2toolhook.h"
#include "fakephone.h"

#include <QTemporaryDir>
#include <QtTest>

class TestFakeBackup2ToolHook : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    QString root;

private slots:
    void initTestCase()
    {
        // The phone's app list is asked for at each run; no phone answers here.
        qputenv("USBMUXD_SOCKET_ADDRESS", "UNIX:" + tmp.filePath("no-usbmuxd").toUtf8());
    }
    void init()
    {
        root = tmp.filePath("root");
        QDir(root).removeRecursively();
        QDir().mkpath(root);
    }

    void keepsChosenFilesAndRecordsEveryFile()
    {
        const QString dropped = "ab" + QString(38, 'c'), kept = "cd" + QString(38, 'e');
        auto hook = QSharedPointer<FakeBackup2ToolHook>::create();
        hook->m_namePatterns << QRegularExpression("^MediaDomain-");
        FakePhone phone;
        phone.add(msg("DLMessageUploadFiles"),
            nameFrame("d0") + nameFrame("UDID1/Manifest.db") + codeFrame(0x0C, "m") + codeFrame(0)
                + nameFrame("HomeDomain-x") + nameFrame(("UDID1/ab/" + dropped).toUtf8())
                + codeFrame(0x0C, "gone") + codeFrame(0x0C, "!!!") + codeFrame(0) + nameFrame("MediaDomain-y")
                + nameFrame(("UDID1/cd/" + kept).toUtf8()) + codeFrame(0x0C, "kept") + codeFrame(0)
                + be32(0));
        phone.add(msg("DLContentsOfDirectory", { str("UDID1") }));
        phone.add(msg("DLContentsOfDirectory", { str("UDID1/ab") }));
        phone.add(msg("DLContentsOfDirectory", { str("UDID1/cd") }));
        phone.add(msg("DLMessageCopyItem", { str("UDID1/Manifest.db"), str("UDID1/copy") }));
        phone.add(msg("DLMessageDisconnect"));
        {
            backup2tool tool("UDID1", QDir(root), hook);
            QCOMPARE(run(tool, phone), QString());
            QVERIFY(QFile::remove(root + "/UDID1/cd/" + kept)); // a stored file gone from disk is not listed
            phone.add(msg("DLContentsOfDirectory", { str("UDID1/cd") }));
            phone.add(msg("DLMessageDisconnect"));
            QCOMPARE(run(tool, phone), QString());
        }
        QCOMPARE(readFile(root + "/UDID1/Manifest.db"), QByteArray("m"));
        QVERIFY(!QFileInfo::exists(root + "/UDID1/ab") && !QFileInfo::exists(root + "/UDID1/copy"));
        QVERIFY(phone.statuses[1].list.contains("ab : {DLFileType : DLFileTypeDirectory"));
        QVERIFY(phone.statuses[1].list.contains(
            "Manifest.db : {DLFileType : DLFileTypeRegular, DLFileSize : 1,"));
        QVERIFY(phone.statuses[2].list.startsWith(
            "{" + dropped + " : {DLFileType : DLFileTypeRegular, DLFileSize : 7,"));
        QVERIFY(phone.statuses[3].list.startsWith(
            "{" + kept + " : {DLFileType : DLFileTypeRegular, DLFileSize : 4,"));
        QCOMPARE(phone.statuses[5].list, QStringLiteral("{}"));
        hook.reset(); // commits
        SqlProbe db(root + "/UDID1/dname.sqlite");
        const QList<QVariantList> rows = db.rows("select f, p, d, size, incl from dname order by f");
        QCOMPARE(rows,
            (QList<QVariantList> { { "Manifest.db", "", "d0", 1LL, 1LL },
                { dropped, "ab", "HomeDomain-x", 7LL, 0LL }, { kept, "cd", "MediaDomain-y", 4LL, 1LL } }));
    }

    void startsOverWithoutTheBackupIndex()
    {
        const QString dbPath = root + "/UDID1/dname.sqlite";
        QDir().mkpath(root + "/UDID1");
        FakeBackup2ToolHook().recvFileBegin(QDir(root), "UDID1", "UDID1/x", "dev-x");
        writeFile(root + "/UDID1/Manifest.db", "m");
        FakeBackup2ToolHook hook; // an existing record is added to
        hook.beginThrow(QDir(root), "UDID1");
        QCOMPARE(hook.m_dnameDb.getDName("x"), QStringLiteral("dev-x"));
        QVERIFY(QFile::remove(root + "/UDID1/Manifest.db"));
        hook.beginThrow(QDir(root), "UDID1");
        QVERIFY(!hook.m_dnameDb.isOpen());
        QVERIFY(!QFileInfo::exists(dbPath));
    }

    void commitsEveryTenThousandInserts()
    {
        const QString path = root + "/d.sqlite";
        {
            FakeDNameDb db;
            QVERIFY(db.open(path, nullptr));
            for (int i = 0; i <= 10000; ++i)
                db.insert(QString::number(i), "d", false, QDateTime::currentDateTime());
            QCOMPARE(SqlProbe(path).value("select count(*) from dname").toLongLong(), 10000LL);
        }
        QCOMPARE(SqlProbe(path).value("select count(*) from dname").toLongLong(), 10001LL);
    }

    void choosesByNameAndApp_data()
    {
        QTest::addColumn<bool>("nonApp"); // store files outside the containers of unwanted apps
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("deviceName");
        QTest::addColumn<bool>("included");
        auto row
            = [](const char* name, bool nonApp, const char* wanted, const char* file, const QString& device,
                  bool included) { QTest::newRow(name) << nonApp << wanted << file << device << included; };
        const QString uuid = "-1111-2222-3333-444444444444";
        row("fixed name", false, "", "UDID1/xx/Status.PLIST", "HomeDomain-x", true);
        row("other file", false, "", "UDID1/x", "HomeDomain-x", false);
        row("wanted app's container", false, "com.a", "UDID1/x", "AppDomain-aaaaaaaa" + uuid, true);
        row("non-app file", true, "", "UDID1/x", "HomeDomain-x", true);
        row("unwanted app's group", true, "com.a", "UDID1/x", "AppDomainGroup-BBBBBBBB" + uuid, false);
        row("uuid of no app", true, "", "UDID1/x", "AppDomain-cccccccc" + uuid, true);
    }
    void choosesByNameAndApp()
    {
        QFETCH(bool, nonApp);
        QFETCH(QString, wanted);
        QFETCH(QString, fileName);
        QFETCH(QString, deviceName);
        QFETCH(bool, included);
        FakeBackup2ToolHook hook;
        hook.m_includeNonAppFiles = nonApp;
        hook.m_wantedApps.insert(wanted);
        const QString uuid = "-1111-2222-3333-444444444444";
        hook.recordApps(
            arr({ dict("CFBundleIdentifier", str("com.a")).put("Container", str("/D/AAAAAAAA" + uuid)),
                dict("CFBundleIdentifier", str("com.b"))
                    .put("GroupContainers", dict("group.b", str("/G/bbbbbbbb" + uuid))) }));
        QCOMPARE(hook.isFileIncluded(QDir(root), fileName, deviceName), included);
    }
};

QTEST_GUILESS_MAIN(TestFakeBackup2ToolHook)
#include "tst_fakebackup2toolhook.moc"
