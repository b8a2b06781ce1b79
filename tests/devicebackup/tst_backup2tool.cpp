// SPDX-License-Identifier: GPL-3.0-or-later
// The backup client against a scripted phone: whole runs of a backup and a
// restore, the folder requests, cancel and hang-ups, and the one message a
// failed run ends with.
#include "devicebackup/backup2tool.h"
#include "fakephone.h"
#include "iphonesimulator.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kUdid = QStringLiteral("U");

// Answers moves with a scripted result for the pair whose source is "U/2".
struct MoveHook : Backup2ToolHook {
    int result = 0;
    QStringList tried;
    int moveFile(QDir, QString from, QString, QString& errorText) override
    {
        tried << from;
        if (from != QLatin1String("U/2") || result == 0)
            return 0;
        errorText = QStringLiteral("hook says no");
        return result;
    }
    bool refuse = false;
    bool onHandleMsgContinue(QDir, QString, PlistCFType, int& code, QString& errorText) override
    {
        if (refuse) {
            code = 7;
            errorText = QStringLiteral("short text");
        }
        return !refuse;
    }
};

PlistCFType result(int code, const QString& description)
{
    PlistCFType d = PlistCFType::createCFDictionary();
    d.put(QStringLiteral("ErrorCode"), PlistCFType::createCFNumberInt32(code));
    d.put(QStringLiteral("ErrorDescription"), str(description));
    return msg(QStringLiteral("DLMessageProcessMessage"), {d});
}

} // namespace

class TestBackup2Tool : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    QString root;

private slots:
    void init()
    {
        root = tmp.filePath(QStringLiteral("root"));
        QDir(root).removeRecursively();
        QDir().mkpath(root);
    }

    void backupStoresEveryUploadedFile()
    {
        QByteArray big(70000, 'b');
        big[69999] = 'e';
        FakePhone phone;
        phone.readChunk = 1000; // the library may hand data over in pieces
        phone.add(msg(QStringLiteral("DLMessageUploadFiles"), {str("x"), PlistCFType::createCFNumberDouble(12.5),
                                                               PlistCFType::createCFNumberInt64(2500000000LL)}),
                  nameFrame("d1") + nameFrame("U/Manifest.db") + codeFrame(0x0C, "abc") + codeFrame(0x00)
                      + nameFrame("d2") + nameFrame("U/ab/deep") + codeFrame(0x0C, big) + codeFrame(0x00)
                      + be32(0));
        phone.add(result(0, QStringLiteral("ignored")));
        backup2tool tool(kUdid, QDir(root), nullptr);
        QStringList texts;
        connect(&tool, &backup2tool::update, this, [&](double, QString, QString t) { texts << t; });
        QCOMPARE(run(tool, phone), QString());
        QCOMPARE(readFile(root + "/U/Manifest.db"), QByteArray("abc"));
        QCOMPARE(readFile(root + "/U/ab/deep"), big);
        QCOMPARE(phone.statuses.size(), 1);
        QCOMPARE(phone.statuses[0].code, 0);
        QCOMPARE(phone.request, QStringLiteral("Backup"));
        QCOMPARE(tool.progress(), 12.5);
        QVERIFY(texts.contains(QStringLiteral("Receiving files (size: 2.5 GB)...")));
        QVERIFY(phone.largestRead <= backup2tool::kMaxChunk);
        QVERIFY(phone.closed);
    }

    void restoreReportsMissingFileAsMultiStatus()
    {
        const QByteArray content = QByteArray(32769, 'x');
        writeFile(root + "/U/a", content);
        writeFile(root + "/U/empty", QByteArray());
        FakePhone phone;
        PlistCFType paths = PlistCFType::createCFArray({str("U/a"), str("U/missing"), str(""), str("U/empty")});
        phone.add(msg(QStringLiteral("DLMessageDownloadFiles"), {paths}));
        phone.add(result(0, QString()));
        backup2tool tool(kUdid, QDir(root), nullptr);
        QCOMPARE(run(tool, phone, OP_RESTORE), QString());
        QCOMPARE(phone.out, nameFrame("U/a") + codeFrame(0x0C, content.left(32768)) + codeFrame(0x0C, "x")
                     + codeFrame(0x00) + nameFrame("U/missing") + codeFrame(0x06) + nameFrame("U/empty")
                     + codeFrame(0x00) + be32(0));
        QCOMPARE(phone.statuses.size(), 1);
        QCOMPARE(phone.statuses[0].code, -13);
        QCOMPARE(phone.statuses[0].description, QStringLiteral("Multi status"));
        QCOMPARE(phone.statuses[0].list, QStringLiteral("{U/missing : {DLFileErrorString : , DLFileErrorCode : -6}}"));
        QCOMPARE(tool.lastErrorDetail(), QStringLiteral("missing not exists."));
        QCOMPARE(phone.options, QStringLiteral("{RestoreSystemFiles : 1, RestorePreserveSettings : 1, "
                                               "RestoreShouldReboot : 1, RestoreDontCopyBackup : 1, "
                                               "RemoveItemsNotRestored : 0}"));

        FakePhone again; // the note belongs to the run that made it
        again.add(msg(QStringLiteral("DLMessageDisconnect")));
        QCOMPARE(run(tool, again, OP_RESTORE), QString());
        QCOMPARE(tool.lastErrorDetail(), QString());
    }

    void folderRequestsAreAnswered()
    {
        writeFile(root + "/U/a", "A");
        writeFile(root + "/U/sub/f", "F");
        writeFile(root + "/U/.hidden", "H");
        FakePhone phone;
        phone.add(msg(QStringLiteral("DLContentsOfDirectory"), {str("U/sub")}));
        phone.add(msg(QStringLiteral("DLMessageCreateDirectory"), {str("U/new/deeper")}));
        PlistCFType moves = PlistCFType::createCFDictionary();
        moves.put(QStringLiteral("U/a"), str("U/moved/a"));
        phone.add(msg(QStringLiteral("DLMessageMoveItems"), {moves}));
        phone.add(msg(QStringLiteral("DLMessageCopyItem"), {str("U/moved/a"), str("U/sub")}));
        phone.add(msg(QStringLiteral("DLMessageCopyItem"), {str("U/sub"), str("U/copy")}));
        phone.add(msg(QStringLiteral("DLMessageCopyItem"), {str("U/sub"), str("U/sub/in")}));
        phone.add(msg(QStringLiteral("DLMessageRemoveItems"),
                      {PlistCFType::createCFArray({str("U/sub"), str("../x"), str("U/gone")})}));
        phone.add(msg(QStringLiteral("DLMessageGetFreeDiskSpace")));
        phone.add(msg(QStringLiteral("DLMessageDisconnect")));
        backup2tool tool(kUdid, QDir(root), nullptr);
        QCOMPARE(run(tool, phone), QString());
        QCOMPARE(phone.statuses.size(), 8);
        QVERIFY(phone.statuses[0].list.startsWith(QStringLiteral("{f : {DLFileType : DLFileTypeRegular, DLFileSize : 1")));
        QVERIFY(QFileInfo(root + "/U/new/deeper").isDir());
        QCOMPARE(phone.statuses[2].code, 0);
        QCOMPARE(readFile(root + "/U/moved/a"), QByteArray("A"));
        QCOMPARE(phone.statuses[3].code, -14); // a file onto a folder is refused
        QCOMPARE(phone.statuses[3].description, QStringLiteral("Destination is a folder."));
        QCOMPARE(phone.statuses[4].code, 0);
        QCOMPARE(readFile(root + "/U/copy/f"), QByteArray("F"));
        QCOMPARE(phone.statuses[5].code, -14); // a folder into itself would never end
        QCOMPARE(phone.statuses[6].code, 0); // removals answer success, with the refusal's text
        QCOMPARE(phone.statuses[6].description, QStringLiteral("invalid path"));
        QVERIFY(!QFileInfo::exists(root + "/U/sub"));
        QVERIFY(phone.statuses[7].list.toLongLong() > 0);
    }

    void moveResultsMapToPhoneCodes_data()
    {
        QTest::addColumn<int>("hookResult");
        QTest::addColumn<int>("code");
        QTest::newRow("done") << 0 << 0;
        QTest::newRow("no such entry") << 2 << -6;
        QTest::newRow("exists") << 17 << -7;
        QTest::newRow("other") << 5 << -5;
    }
    void moveResultsMapToPhoneCodes()
    {
        QFETCH(int, hookResult);
        QFETCH(int, code);
        auto hook = QSharedPointer<MoveHook>::create();
        hook->result = hookResult;
        PlistCFType moves = PlistCFType::createCFDictionary();
        moves.put(QStringLiteral("U/1"), str("U/x"));
        moves.put(QStringLiteral("U/e"), str(""));
        moves.put(QStringLiteral("U/2"), str("U/y"));
        moves.put(QStringLiteral("U/3"), str("U/z"));
        FakePhone phone;
        phone.add(msg(QStringLiteral("DLMessageMoveFiles"), {moves}));
        phone.add(msg(QStringLiteral("DLMessageDisconnect")));
        backup2tool tool(kUdid, QDir(root), hook);
        QCOMPARE(run(tool, phone), QString());
        QCOMPARE(phone.statuses[0].code, code);
        QCOMPARE(phone.statuses[0].description, hookResult ? QStringLiteral("hook says no") : QString());
        QCOMPARE(hook->tried, hookResult ? QStringList({"U/1", "U/2"}) : QStringList({"U/1", "U/2", "U/3"}));
    }

    void cancelDuringDownloadStopsWithoutTerminator()
    {
        writeFile(root + "/U/big", QByteArray(200000, 'z'));
        FakePhone phone;
        phone.add(msg(QStringLiteral("DLMessageDownloadFiles"), {PlistCFType::createCFArray({str("U/big")})}));
        backup2tool tool(kUdid, QDir(root), nullptr);
        phone.onSend = [&] {
            if (phone.out.size() > 40000)
                tool.cancel();
        };
        QCOMPARE(run(tool, phone, OP_RESTORE), QString());
        QVERIFY(phone.out.size() < 80000);
        QVERIFY(!phone.out.endsWith(be32(0)));
        QVERIFY(phone.statuses.isEmpty());
    }

    void vanishingPhoneEndsTheRun_data()
    {
        QTest::addColumn<int>("rawAtEnd");
        QTest::newRow("receive fails") << -3;
        QTest::newRow("receive delivers nothing") << 0;
    }
    void vanishingPhoneEndsTheRun()
    {
        QFETCH(int, rawAtEnd);
        FakePhone phone;
        phone.rawAtEnd = rawAtEnd;
        phone.add(msg(QStringLiteral("DLMessageUploadFiles")),
                  nameFrame("d") + nameFrame("U/f") + be32(0xFFFFFFF0u) + char(0x0C) + QByteArray(100, 'p'));
        backup2tool tool(kUdid, QDir(root), nullptr);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(run(tool, phone).endsWith(QStringLiteral("recv null data.")));
        QVERIFY(timer.elapsed() < 5000);
        QVERIFY(phone.closed);
    }

    void setupFailuresNameTheStep_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("op");
        QTest::addColumn<QString>("text");
        QTest::newRow("no device") << 0 << -3 << 0
                                   << "backup2tool: No device found. Please restart your iPhone to try again.";
        QTest::newRow("service") << 2 << -1 << 1
                                 << "backup2tool: start service com.apple.mobilebackup2 failed. Please restart your "
                                    "iPhone to try again.";
        QTest::newRow("restore refused") << 4 << -7 << 1
                                         << "ERROR: Could not start restore process: device refused to start the "
                                            "restore process. Please restart your iPhone to try again.";
        QTest::newRow("invalid op") << 4 << 0 << 2 << "backup2tool: invalid op.";
        QTest::newRow("receive") << 5 << -3 << 0
                                 << "ERROR: Could not receive from mobilebackup2 (-3). Please restart your iPhone to "
                                    "try again.";
    }
    void setupFailuresNameTheStep()
    {
        QFETCH(int, step);
        QFETCH(int, result);
        QFETCH(int, op);
        QFETCH(QString, text);
        FakePhone phone;
        if (step < 5)
            phone.setup[step] = result;
        backup2tool tool(kUdid, QDir(root), nullptr);
        QCOMPARE(run(tool, phone, backup2tool_op(op)), text);
        QVERIFY(phone.closed);
        // A backup makes the phone's folder before the service starts; a restore makes nothing.
        QCOMPARE(QFileInfo::exists(root + "/U"), op == 0 && step > 1);
    }

    void failedRunGivesOneMessage_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<PlistCFType>("last");
        QTest::addColumn<bool>("hookRefuses");
        QTest::addColumn<QStringList>("parts"); // start, middle..., end; empty: no failure
        const QString sep = QStringLiteral("<br/><br/>");
        QTest::newRow("success whatever the text") << 0 << result(0, "Failed badly") << false << QStringList();
        QTest::newRow("find my")
            << 1 << result(211, "Find my iPhone must be disabled") << false
            << QStringList{"error code:-37. Please follow <a href=\"https://",
                           "\">this tutorial</a> to disable \"Find my iPhone\" first and then restart your iPhone "
                           "to try again.",
                           sep + "Find my iPhone must be disabled"};
        QTest::newRow("could not send") << 0 << result(5, " COULD NOT SEND x ") << false
                                        << QStringList{"error code:-10. Error attaching to device. Please Keep your "
                                                       "iPhone connected and active." + sep + "COULD NOT SEND x"};
        QTest::newRow("insufficient, backup")
            << 0 << result(105, "INSUFFICIENT FREE space") << false
            << QStringList{"error code:-36. Insufficient free disk space on drive to back up. Not enough free disk "
                           "space on your computer." + sep + "INSUFFICIENT FREE space"};
        QTest::newRow("insufficient, restore")
            << 1 << result(105, "insufficient free") << false
            << QStringList{"error code:-36. Insufficient free disk space on device to back up. Not enough free disk "
                           "space on your Device." + sep + "insufficient free"};
        QTest::newRow("code 100 with text") << 0 << result(100, "other") << false
                                            << QStringList{"error code:-36. Insufficient free disk space on drive to "
                                                           "back up. Not enough free disk space on your computer." + sep + "other"};
        QTest::newRow("code 100 without text") << 0 << result(100, "") << false
                                               << QStringList{"error code:100. Please restart your iPhone to try again."};
        QTest::newRow("only spaces") << 0 << result(7, "   ") << false
                                     << QStringList{"error code:7. Please restart your iPhone to try again."};
        QTest::newRow("incomplete restore folder")
            << 1 << result(3, "Failed to move the incomplete restore directory into place at path /x") << false
            << QStringList{"error code:3. " + sep + "Please restart your iPhone first." + sep
                           + "Failed to move the incomplete restore directory into place at path /x"};
        QTest::newRow("purge") << 1 << msg("DLMessagePurgeDiskSpace") << false
                               << QStringList{"error code:-36. Insufficient free disk space on device to back up. Not "
                                              "enough free disk space on your Device." + sep
                                              + "Error: DLMessagePurgeDiskSpace(Insufficient free disk space)."};
        QTest::newRow("hook refuses") << 0 << msg("DLMessageDisconnect") << true
                                      << QStringList{"error code:7. " + sep + "short text"};
        QTest::newRow("unknown message") << 0 << msg("DLMessageWhatever") << false
                                         << QStringList{"Message can not handle: DLMessageWhatever"};
    }
    void failedRunGivesOneMessage()
    {
        QFETCH(int, op);
        QFETCH(PlistCFType, last);
        QFETCH(bool, hookRefuses);
        QFETCH(QStringList, parts);
        auto hook = QSharedPointer<MoveHook>::create();
        hook->refuse = hookRefuses;
        FakePhone phone;
        phone.add(last);
        backup2tool tool(kUdid, QDir(root), hook);
        const QString text = run(tool, phone, backup2tool_op(op));
        if (parts.isEmpty())
            QCOMPARE(text, QString());
        else if (parts.size() == 1)
            QCOMPARE(text, parts[0]);
        else
            QVERIFY2(text.startsWith(parts.first()) && text.contains(parts[1]) && text.endsWith(parts.last()),
                     qPrintable(text));
    }

    // Names from the phone that leave the root, directly or through a link
    // below it, touch nothing outside and read nothing from there.
    void phoneNamesStayInsideTheRoot_data()
    {
        QTest::addColumn<PlistCFType>("message");
        QTest::addColumn<QByteArray>("raw");
        const QString abs = tmp.filePath("secret");
        auto upload = [](const QByteArray& to) {
            return nameFrame("d") + nameFrame(to) + codeFrame(0x0C, "evil") + codeFrame(0x00) + be32(0);
        };
        auto pair = [](const QString& from, const QString& to) {
            PlistCFType d = PlistCFType::createCFDictionary();
            return d.put(from, str(to));
        };
        const PlistCFType up = msg("DLMessageUploadFiles");
        QTest::newRow("upload ..") << up << upload("../secret");
        QTest::newRow("upload absolute") << up << upload(abs.toUtf8());
        QTest::newRow("upload through link") << up << upload("U/link/f");
        QTest::newRow("upload onto link") << up << upload("U/filelink");
        QTest::newRow("remove") << msg("DLMessageRemoveFiles", {PlistCFType::createCFArray(
                                       {str("../secret"), str(abs), str("U/link/f"), str("U/link"), str("U/filelink")})})
                                << QByteArray();
        QTest::newRow("remove tree") << msg("DLMessageRemoveFiles", {PlistCFType::createCFArray({str("U")})})
                                     << QByteArray();
        QTest::newRow("move out") << msg("DLMessageMoveFiles", {pair("U/a", "../moved")}) << QByteArray();
        QTest::newRow("move in") << msg("DLMessageMoveFiles", {pair("U/link/f", "U/got")}) << QByteArray();
        QTest::newRow("move onto link") << msg("DLMessageMoveFiles", {pair("U/a", "U/link")}) << QByteArray();
        QTest::newRow("copy from link") << msg("DLMessageCopyItem", {str("U/link"), str("U/c")}) << QByteArray();
        QTest::newRow("copy into link") << msg("DLMessageCopyItem", {str("U/a"), str("U/link/z")}) << QByteArray();
        QTest::newRow("copy tree") << msg("DLMessageCopyItem", {str("U"), str("V")}) << QByteArray();
        QTest::newRow("mkdir") << msg("DLMessageCreateDirectory", {str("U/link/d")}) << QByteArray();
        QTest::newRow("download") << msg("DLMessageDownloadFiles", {PlistCFType::createCFArray(
                                         {str("../secret"), str(abs), str("U/filelink"), str("U/link/f")})})
                                  << QByteArray();
        QTest::newRow("list") << msg("DLContentsOfDirectory", {str("U/link")}) << QByteArray();
    }
    void phoneNamesStayInsideTheRoot()
    {
        QFETCH(PlistCFType, message);
        QFETCH(QByteArray, raw);
        QDir(tmp.filePath("out")).removeRecursively();
        writeFile(tmp.filePath("secret"), "keep");
        writeFile(tmp.filePath("out/f"), "outside");
        writeFile(root + "/U/a", "A");
        QVERIFY(QFile::link(tmp.filePath("out"), root + "/U/link"));
        QVERIFY(QFile::link(tmp.filePath("secret"), root + "/U/filelink"));
        FakePhone phone;
        phone.add(message, raw);
        phone.add(msg("DLMessageDisconnect"));
        backup2tool tool(kUdid, QDir(root), nullptr);
        run(tool, phone);
        QCOMPARE(readFile(tmp.filePath("secret")), QByteArray("keep"));
        QCOMPARE(QDir(tmp.filePath("out")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                 QStringList{"f"});
        QCOMPARE(readFile(tmp.filePath("out/f")), QByteArray("outside"));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                 QStringList({"out", "root", "secret"}));
        QVERIFY(!phone.out.contains("keep") && !phone.out.contains("outside"));
        for (const FakePhone::Status& s : phone.statuses)
            QVERIFY2(!s.list.contains("{f :"), qPrintable(s.list));
        QVERIFY(!QFileInfo::exists(root + "/V/link"));
    }

    // The library's own connection against the simulated phone: found over
    // the multiplexer, refused at the service.
    void realConnectionNamesTheFailingStep()
    {
        QString text;
        {
            IPhoneSimulator none(QJsonObject{{"devices", QJsonArray()}});
            QVERIFY(none.isReady());
            backup2tool tool(kUdid, QDir(root), nullptr);
            try {
                tool.runThrow(_backup2tool_req(OP_BACKUP));
            } catch (const std::runtime_error& e) {
                text = QString::fromUtf8(e.what());
            }
            QVERIFY(text.startsWith(QStringLiteral("backup2tool: No device found.")));
        }
        IPhoneSimulator locked(QJsonObject{{"locked", true}});
        QVERIFY(locked.isReady());
        backup2tool tool(IPhoneSimulator::kUdid, QDir(root), nullptr);
        try {
            tool.runThrow(_backup2tool_req(OP_RESTORE));
        } catch (const std::runtime_error& e) {
            text = QString::fromUtf8(e.what());
        }
        QVERIFY2(text.startsWith(QStringLiteral("backup2tool: start service com.apple.mobilebackup2 failed.")),
                 qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestBackup2Tool)
#include "tst_backup2tool.moc"
