// SPDX-License-Identifier: GPL-3.0-or-later
// The backup client against a scripted phone: whole runs of a backup and a
// restore, the folder requests, cancel and hang-ups, names that try to leave
// the root, and the one message a failed run ends with. Then the partial
// backup: which files are kept, the record of every file sent (read back
// over a second connection) and its commit cadence.
#include "common/sqlprobe.h"
#include "devicebackup/backup2tool.h"
#include "devicebackup/cloudbackupswitch.h"
#include "devicebackup/fakebackup2toolhook.h"
#include "fakephone.h"
#include "iphonesimulator.h"
#include "support/timebounds.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kUdid = "U";
const QString kUuid = "-1111-2222-3333-444444444444"; // the tail of a container's name

struct RefusingHook : Backup2ToolHook {
    bool onHandleMsgContinue(QDir, QString, PlistCFType, int& code, QString& errorText) override
    {
        code = 7, errorText = "short text";
        return false;
    }
};

// Answers moves with a scripted result for the pair whose source is "U/2".
struct MoveHook : Backup2ToolHook {
    int result = 0;
    QStringList tried;
    int moveFile(QDir, QString from, QString, QString& errorText) override
    {
        tried << from;
        if (from != "U/2" || result == 0)
            return 0;
        errorText = "hook says no";
        return result;
    }
};

PlistCFType result(int code, const QString& description)
{
    return msg("DLMessageProcessMessage",
        { dict("ErrorCode", PlistCFType::createCFNumberInt32(code))
                .put("ErrorDescription", str(description)) });
}

QList<int> codes(const FakePhone& phone)
{
    QList<int> result;
    for (const FakePhone::Status& s : phone.statuses)
        result << s.code;
    return result;
}

} // namespace

class TestDeviceBackup : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    QString root;

private slots:
    void init()
    {
        // The partial hook asks for the phone's app list at each run; no phone answers here.
        qputenv("USBMUXD_SOCKET_ADDRESS", "UNIX:" + tmp.filePath("no-usbmuxd").toUtf8());
        root = tmp.filePath("root");
        QDir(root).removeRecursively();
        QDir().mkpath(root);
    }

    void backupStoresEveryUploadedFile()
    {
        QByteArray big(70000, 'b');
        big[69999] = 'e';
        FakePhone phone;
        phone.readChunk = 1000; // the library may hand data over in pieces
        phone.add(msg("DLMessageUploadFiles",
                      { str("x"), PlistCFType::createCFNumberDouble(12.5),
                          PlistCFType::createCFNumberInt64(2500000000LL) }),
            nameFrame("d1") + nameFrame("U/Manifest.db") + codeFrame(0x0C, "abc") + codeFrame(0x00)
                + nameFrame("d2") + nameFrame("U/ab/deep") + codeFrame(0x0C, big) + codeFrame(0x00)
                + be32(0));
        phone.add(result(0, "ignored"));
        backup2tool tool(kUdid, QDir(root), nullptr);
        QCOMPARE(run(tool, &phone), QString());
        QCOMPARE(readFile(root + "/U/Manifest.db"), QByteArray("abc"));
        QCOMPARE(readFile(root + "/U/ab/deep"), big);
        QCOMPARE(codes(phone), QList<int> { 0 });
        QCOMPARE(phone.request, "Backup");
        QVERIFY(phone.largestRead <= backup2tool::kMaxChunk && phone.closed);
    }

    void restoreReportsMissingFileAsMultiStatus()
    {
        const QByteArray content = QByteArray(32769, 'x');
        writeFile(root + "/U/a", content);
        writeFile(root + "/U/empty", QByteArray());
        FakePhone phone;
        phone.add(msg(
            "DLMessageDownloadFiles", { arr({ str("U/a"), str("U/missing"), str(""), str("U/empty") }) }));
        phone.add(result(0, QString()));
        backup2tool tool(kUdid, QDir(root), nullptr);
        QCOMPARE(run(tool, &phone, OP_RESTORE), QString());
        QCOMPARE(phone.out,
            nameFrame("U/a") + codeFrame(0x0C, content.left(32768)) + codeFrame(0x0C, "x") + codeFrame(0x00)
                + nameFrame("U/missing") + codeFrame(0x06) + nameFrame("U/empty") + codeFrame(0x00)
                + be32(0));
        QCOMPARE(codes(phone), QList<int> { -13 });
        QCOMPARE(phone.statuses[0].description, "Multi status");
        QCOMPARE(phone.statuses[0].list, "{U/missing : {DLFileErrorString : , DLFileErrorCode : -6}}");
        QCOMPARE(tool.lastErrorDetail(), "missing not exists.");
    }

    void folderRequestsAreAnswered()
    {
        writeFile(root + "/U/a", "A");
        writeFile(root + "/U/sub/f", "F");
        FakePhone phone;
        phone.add(msg("DLContentsOfDirectory", { str("U/sub") }));
        phone.add(msg("DLMessageCreateDirectory", { str("U/new/deeper") }));
        phone.add(msg("DLMessageMoveItems", { dict("U/a", str("U/moved/a")) }));
        phone.add(msg("DLMessageCopyItem", { str("U/moved/a"), str("U/sub") })); // a file onto a folder
        phone.add(msg("DLMessageCopyItem", { str("U/sub"), str("U/copy") }));
        phone.add(msg("DLMessageCopyItem", { str("U/sub"), str("U/sub/in") })); // would never end
        phone.add(msg("DLMessageRemoveItems", { arr({ str("U/sub"), str("../x"), str("U/gone") }) }));
        phone.add(msg("DLMessageGetFreeDiskSpace"));
        backup2tool tool(kUdid, QDir(root), nullptr);
        QCOMPARE(run(tool, &phone), QString());
        QCOMPARE(codes(phone), QList<int>({ 0, 0, 0, -14, 0, -14, 0, 0 }));
        QVERIFY(QFileInfo(root + "/U/new/deeper").isDir());
        QCOMPARE(readFile(root + "/U/moved/a"), QByteArray("A"));
        QCOMPARE(phone.statuses[3].description, "Destination is a folder.");
        QCOMPARE(readFile(root + "/U/copy/f"), QByteArray("F"));
        QCOMPARE(phone.statuses[6].description, "invalid path"); // removals answer success, with the text
        QVERIFY(!QFileInfo::exists(root + "/U/sub"));
        QVERIFY(phone.statuses[7].list.toLongLong() > 0); // the free space, in bytes
    }

    // A move the hook refuses answers the phone with -7 and stops at that
    // pair; an empty target is skipped.
    void moveResultsMapToPhoneCodes_data()
    {
        QTest::addColumn<int>("hookResult");
        QTest::addColumn<int>("code");
        QTest::newRow("done") << 0 << 0;
        QTest::newRow("exists") << 17 << -7;
    }
    void moveResultsMapToPhoneCodes()
    {
        QFETCH(int, hookResult);
        QFETCH(int, code);
        auto hook = QSharedPointer<MoveHook>::create();
        hook->result = hookResult;
        FakePhone phone;
        phone.add(msg("DLMessageMoveFiles",
            { dict("U/1", str("U/x")).put("U/e", str("")).put("U/2", str("U/y")).put("U/3", str("U/z")) }));
        backup2tool tool(kUdid, QDir(root), hook);
        QCOMPARE(run(tool, &phone), QString());
        QCOMPARE(codes(phone), QList<int> { code });
        QCOMPARE(phone.statuses[0].description, hookResult ? "hook says no" : "");
        QCOMPARE(
            hook->tried, hookResult ? QStringList({ "U/1", "U/2" }) : QStringList({ "U/1", "U/2", "U/3" }));
    }

    void cancelDuringDownloadStopsWithoutTerminator()
    {
        writeFile(root + "/U/big", QByteArray(200000, 'z'));
        FakePhone phone;
        phone.add(msg("DLMessageDownloadFiles", { arr({ str("U/big") }) }));
        backup2tool tool(kUdid, QDir(root), nullptr);
        phone.onSend = [&] {
            if (phone.out.size() > 40000)
                tool.cancel();
        };
        QCOMPARE(run(tool, &phone, OP_RESTORE), QString());
        QVERIFY(phone.out.size() < 80000 && !phone.out.endsWith(be32(0)));
        QVERIFY(phone.statuses.isEmpty());
    }

    void vanishingPhoneEndsTheRun()
    {
        FakePhone phone;
        phone.rawAtEnd = 0; // a link that has gone quiet keeps delivering nothing
        phone.add(msg("DLMessageUploadFiles"),
            nameFrame("d") + nameFrame("U/f") + be32(0xFFFFFFF0u) + char(0x0C) + QByteArray(100, 'p'));
        backup2tool tool(kUdid, QDir(root), nullptr);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(run(tool, &phone).endsWith("recv null data."));
        QVERIFY(timer.elapsed() < timebound::kStuckMs && phone.closed);
    }

    void failedRunGivesOneMessage_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<QString>("fault"); // a failing set-up step, or the hook refusing
        QTest::addColumn<PlistCFType>("last");
        QTest::addColumn<QString>("text"); // empty: no failure
        auto row = [](const char* name, int op, const char* fault, const PlistCFType& last,
                       const QString& text) { QTest::newRow(name) << op << QString(fault) << last << text; };
        const QString sep = "<br/><br/>", restart = "Please restart your iPhone to try again.";
        const QString disk = "error code:-36. Insufficient free disk space on ",
                      computer
            = disk + "drive to back up. Not enough free disk space on your computer." + sep,
                      device = disk + "device to back up. Not enough free disk space on your Device." + sep;
        const PlistCFType bye = msg("DLMessageDisconnect");
        row("success whatever the text", 0, "", result(0, "Failed badly"), "");
        row("find my", 1, "", result(211, "Find my iPhone must be disabled"),
            "error code:-37. Please follow <a href=\"*\">this tutorial</a> to disable \"Find my iPhone\" "
            "first "
            "and then restart your iPhone to try again."
                + sep + "Find my iPhone must be disabled");
        row("could not send", 0, "", result(5, " COULD NOT SEND x "),
            "error code:-10. Error attaching to device. Please Keep your iPhone connected and active." + sep
                + "COULD NOT SEND x");
        row("insufficient, backup", 0, "", result(105, "INSUFFICIENT FREE x"),
            computer + "INSUFFICIENT FREE x");
        row("insufficient, restore", 1, "", result(105, "insufficient free"), device + "insufficient free");
        row("code 100 without text", 0, "", result(100, ""), "error code:100. " + restart);
        row("only spaces", 0, "", result(7, "   "), "error code:7. " + restart);
        const QString incomplete = "Failed to move the incomplete restore directory into place at path /x";
        row("incomplete restore folder", 1, "", result(3, incomplete),
            "error code:3. " + sep + "Please restart your iPhone first." + sep + incomplete);
        row("purge", 1, "", msg("DLMessagePurgeDiskSpace"),
            device + "Error: DLMessagePurgeDiskSpace(Insufficient free disk space).");
        row("hook refuses", 0, "hook", bye, "error code:7. " + sep + "short text");
        row("unknown message", 0, "", msg("DLMessageWhatever"), "Message can not handle: DLMessageWhatever");
        row("no device", 0, "0", bye, "backup2tool: No device found. " + restart);
        row("restore refused", 1, "4", bye,
            "ERROR: Could not start restore process: device refused to start the restore process. "
                + restart);
        row("invalid op", 2, "", bye, "backup2tool: invalid op.");
    }
    void failedRunGivesOneMessage()
    {
        QFETCH(int, op);
        QFETCH(QString, fault);
        QFETCH(PlistCFType, last);
        QFETCH(QString, text);
        FakePhone phone;
        if (fault.size() == 1)
            phone.setup[fault.toInt()] = -7;
        phone.add(last);
        backup2tool tool(kUdid, QDir(root), fault == "hook" ? QSharedPointer<RefusingHook>::create() : nullptr);
        QString message = run(tool, &phone, backup2tool_op(op));
        QCOMPARE(message.replace(QRegularExpression("href=\"https://[^\"]+\""), "href=\"*\""), text);
        QVERIFY(phone.closed);
        // A backup makes the phone's folder before the service starts; a restore makes none.
        QCOMPARE(QFileInfo::exists(root + "/U"), op == 0 && fault != "0");
    }

    // Names from the phone that leave the root, directly or through a link
    // below it, touch nothing outside and read nothing from there.
    void phoneNamesStayInsideTheRoot_data()
    {
        QTest::addColumn<PlistCFType>("message");
        QTest::addColumn<QByteArray>("raw");
        const QString abs = tmp.filePath("secret");
        auto row = [](const char* name, const PlistCFType& message, const QByteArray& to = QByteArray()) {
            QTest::newRow(name) << message
                                << (to.isEmpty() ? to
                                                 : nameFrame("d") + nameFrame(to) + codeFrame(0x0C, "evil")
                                               + codeFrame(0) + be32(0));
        };
        const PlistCFType up = msg("DLMessageUploadFiles");
        row("upload ..", up, "../secret");
        row("upload absolute", up, abs.toUtf8());
        row("upload through link", up, "U/link/f");
        row("upload onto link", up, "U/filelink");
        row("remove",
            msg("DLMessageRemoveFiles",
                { arr({ str("../secret"), str(abs), str("U/link/f"), str("U/link"), str("U/filelink") }) }));
        row("remove tree", msg("DLMessageRemoveFiles", { arr({ str("U") }) }));
        row("move out", msg("DLMessageMoveFiles", { dict("U/a", str("../moved")) }));
        row("move in", msg("DLMessageMoveFiles", { dict("U/link/f", str("U/got")) }));
        row("move onto link", msg("DLMessageMoveFiles", { dict("U/a", str("U/link")) }));
        row("copy from link", msg("DLMessageCopyItem", { str("U/link"), str("U/c") }));
        row("copy into link", msg("DLMessageCopyItem", { str("U/a"), str("U/link/z") }));
        row("copy tree", msg("DLMessageCopyItem", { str("U"), str("V") }));
        row("mkdir", msg("DLMessageCreateDirectory", { str("U/link/d") }));
        row("download",
            msg("DLMessageDownloadFiles",
                { arr({ str("../secret"), str(abs), str("U/filelink"), str("U/link/f") }) }));
        row("list", msg("DLContentsOfDirectory", { str("U/link") }));
    }
    void phoneNamesStayInsideTheRoot()
    {
        QFETCH(PlistCFType, message);
        QFETCH(QByteArray, raw);
        QDir(tmp.filePath("out")).removeRecursively();
        writeFile(tmp.filePath("secret"), "keep");
        writeFile(tmp.filePath("out/f"), "outside");
        writeFile(root + "/U/a", "A");
        QVERIFY(QFile::link(tmp.filePath("out"), root + "/U/link")
            && QFile::link(tmp.filePath("secret"), root + "/U/filelink"));
        FakePhone phone;
        phone.add(message, raw);
        backup2tool tool(kUdid, QDir(root), nullptr);
        run(tool, &phone);
        QCOMPARE(readFile(tmp.filePath("secret")), QByteArray("keep"));
        QCOMPARE(QDir(tmp.filePath("out")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
            QStringList { "f" });
        QCOMPARE(readFile(tmp.filePath("out/f")), QByteArray("outside"));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
            QStringList({ "out", "root", "secret" }));
        QVERIFY(!phone.out.contains("keep") && !phone.out.contains("outside"));
        for (const FakePhone::Status& s : phone.statuses)
            QVERIFY2(!s.list.contains("{f :"), qPrintable(s.list));
        QVERIFY(!QFileInfo::exists(root + "/V/link"));
    }

    // The cloud backup switch: one request to the backup service, and only
    // the phone's confirmation counts as done.
    void cloudBackupSwitch_data()
    {
        QTest::addColumn<bool>("enable");
        QTest::addColumn<int>("failingStep"); // -1: none
        QTest::addColumn<PlistCFType>("answer");
        QTest::addColumn<QString>("error"); // empty: confirmed
        const PlistCFType bye = msg("DLMessageDisconnect");
        QTest::newRow("on, confirmed") << true << -1 << result(0, "") << "";
        QTest::newRow("off, confirmed") << false << -1 << result(0, "") << "";
        QTest::newRow("refused in the phone's words")
            << true << -1 << result(211, "Cloud backup is not available")
            << "The phone refused, error code 211. Cloud backup is not available";
        QTest::newRow("hang-up before the answer")
            << true << -1 << bye << "The phone ended the session without an answer.";
        QTest::newRow("file request instead of an answer")
            << false << -1 << msg("DLMessageDownloadFiles", { arr({ str("../secret") }) })
            << "The phone answered with DLMessageDownloadFiles instead of a result.";
        QTest::newRow("no device") << true << 0 << bye << "idevice_new_with_options failed. return -7.";
        QTest::newRow("service does not start")
            << true << 2 << bye << "mobilebackup2_client_start_service failed. return -7.";
        QTest::newRow("request refused") << true << 4 << bye << "mobilebackup2_send_request failed. return -7.";
    }
    void cloudBackupSwitch()
    {
        QFETCH(bool, enable);
        QFETCH(int, failingStep);
        QFETCH(PlistCFType, answer);
        QFETCH(QString, error);
        FakePhone phone;
        if (failingStep >= 0)
            phone.setup[failingStep] = -7;
        phone.add(answer);
        QString failure;
        const bool done = enableOrDisableICloudBackup(kUdid, enable, &failure,
            [&phone] { return std::make_unique<FakePhoneLink>(phone); });
        QCOMPARE(done, error.isEmpty());
        QCOMPARE(failure, error);
        QVERIFY(phone.closed);
        QVERIFY(phone.out.isEmpty() && phone.statuses.isEmpty());
        if (failingStep < 0 || failingStep > 4) {
            QCOMPARE(phone.request, "EnableCloudBackup");
            const PlistCFType expected = dict("CloudBackupState", PlistCFType::createCFBoolean(enable));
            QCOMPARE(phone.options, expected.toString());
        }
    }

    // The library's own connection against the simulated phone: found over
    // the multiplexer, refused at the service.
    void realConnectionNamesTheFailingStep()
    {
        IPhoneSimulator locked(QJsonObject { { "locked", true } });
        QVERIFY(locked.isReady());
        backup2tool tool(IPhoneSimulator::kUdid, QDir(root), nullptr);
        QVERIFY(run(tool, nullptr, OP_RESTORE)
                    .startsWith("backup2tool: start service com.apple.mobilebackup2 failed."));
    }

    void cloudBackupSwitchOverTheLibraryNamesTheFailingCall()
    {
        IPhoneSimulator locked(QJsonObject { { "locked", true } });
        QVERIFY(locked.isReady());
        QString failure;
        QVERIFY(!enableOrDisableICloudBackup(IPhoneSimulator::kUdid, true, &failure));
        QVERIFY2(failure.startsWith("mobilebackup2_client_start_service failed."), qPrintable(failure));
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
        {
            backup2tool tool("UDID1", QDir(root), hook);
            QCOMPARE(run(tool, &phone), QString());
            QVERIFY(QFile::remove(root + "/UDID1/cd/" + kept)); // a stored file gone from disk is not listed
            phone.add(msg("DLContentsOfDirectory", { str("UDID1/cd") }));
            QCOMPARE(run(tool, &phone), QString());
        }
        QCOMPARE(readFile(root + "/UDID1/Manifest.db"), QByteArray("m"));
        QVERIFY(!QFileInfo::exists(root + "/UDID1/ab") && !QFileInfo::exists(root + "/UDID1/copy"));
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
        QDir().mkpath(root + "/UDID1");
        FakeBackup2ToolHook().recvFileBegin(QDir(root), "UDID1", "UDID1/x", "dev-x");
        writeFile(root + "/UDID1/Manifest.db", "m");
        FakeBackup2ToolHook hook; // an existing record is added to
        hook.beginThrow(QDir(root), "UDID1");
        QCOMPARE(hook.m_dnameDb.getDName("x"), QStringLiteral("dev-x"));
        QVERIFY(QFile::remove(root + "/UDID1/Manifest.db"));
        hook.beginThrow(QDir(root), "UDID1");
        QVERIFY(!hook.m_dnameDb.isOpen());
        QVERIFY(!QFileInfo::exists(root + "/UDID1/dname.sqlite"));
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
        row("fixed name", false, "", "UDID1/xx/Status.PLIST", "HomeDomain-x", true);
        row("other file", false, "", "UDID1/x", "HomeDomain-x", false);
        row("wanted app's container", false, "com.a", "UDID1/x", "AppDomain-aaaaaaaa" + kUuid, true);
        row("non-app file", true, "", "UDID1/x", "HomeDomain-x", true);
        row("unwanted app's group", true, "com.a", "UDID1/x", "AppDomainGroup-BBBBBBBB" + kUuid, false);
        row("uuid of no app", true, "", "UDID1/x", "AppDomain-cccccccc" + kUuid, true);
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
        hook.recordApps(
            arr({ dict("CFBundleIdentifier", str("com.a")).put("Container", str("/D/AAAAAAAA" + kUuid)),
                dict("CFBundleIdentifier", str("com.b"))
                    .put("GroupContainers", dict("group.b", str("/G/bbbbbbbb" + kUuid))) }));
        QCOMPARE(hook.isFileIncluded(QDir(root), fileName, deviceName), included);
    }
};

QTEST_GUILESS_MAIN(TestDeviceBackup)
#include "tst_devicebackup.moc"
