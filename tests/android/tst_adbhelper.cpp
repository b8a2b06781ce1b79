// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/adbhelper.h"

#include "fakeadbd.h"
#include "platform/adb/adbservices.h"
#include "support/timebounds.h"

#include <QTemporaryDir>
#include <QTest>

#include <functional>

Q_DECLARE_METATYPE(std::function<void(PAdbUSBHandle)>)

using namespace adbhelper;

class TestAdbHelper : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase() { adbSetSettings(AdbSettings{m_dir.path(), 3000, 60000, 1 << 20}); }

    // The package list is read leniently where it is loose, never takes a near
    // miss ("Package:", a bare prefix) as a name and stops at its first NUL;
    // arguments reach the phone's shell quoted.
    void commandsOnASimulatedPhone()
    {
        const QString listing = QString("package:com.example.one\r\n package: com.example.two \r\nPackage:x\npackage:\n")
            + QChar(0) + "\npackage:after.nul\n";
        FakePhone phone({{"auth", "none"}, {"shell", QJsonObject{{"pm list packages -3", listing}}}});
        QVERIFY(phone.handle && phone.handle->waitForAuth2(timebound::kWaitMs));
        QCOMPARE(packages(phone.handle, PACKAGES_THIRD_PARTY), (QSet<QString>{"com.example.one", "com.example.two"}));
        QVERIFY(packages(phone.handle, PACKAGES_ALL).isEmpty());
        killProcess(phone.handle, "it's; reboot");
        QVERIFY(phone.sim.waitForLog("shell am force-stop 'it'\\''s; reboot'"));
        QVERIFY(phone.sim.log().contains("shell pm list packages"));
    }

    // What the dump and property commands give, read from a simulated phone.
    void valuesReadFromThePhone()
    {
        const QString dump = "Packages:\n  VERSIONCODE=12 minSdk=21\n  versionCode=13\n"
                             "    User 0: installed=true hidden=FALSE stopped=True notLaunched=false enabled=2\n"
                             "    user 10:\n    user 11: installed=false\n";
        const QString props = "ro.a=1\r\nro.b = x y\nro.c=\n# comment\nro.d=a=b\nro.a=2\n";
        FakePhone phone({ { "auth", "none" },
            { "shell", QJsonObject { { "dumpsys package 'com.x'", dump }, { "cat /system/build.prop", props },
                           { "cp 'a b' '/sd/c'", "cp: denied\n" } } } });
        QVERIFY(phone.handle && phone.handle->waitForAuth2(timebound::kWaitMs));
        QString output = "stale";
        QCOMPARE(getDevAppVersion(phone.handle, "com.x", output), 12);
        QCOMPARE(output, dump);
        QCOMPARE(getDevAppVersion(phone.handle, "com.none", output), 0);
        QCOMPARE(output, QString());

        const QList<_AdbAppState> states = appStates(phone.handle, "com.x");
        QCOMPARE(states.size(), 2);
        QCOMPARE(states[0].userId, QString("0"));
        QCOMPARE(QList<bool>({ states[0].installed, states[0].hidden, states[0].stopped, states[0].notLaunched }),
            QList<bool>({ true, false, true, false }));
        QCOMPARE(states[0].enabled, 2);
        QCOMPARE(states[1].userId, QString("11"));
        QVERIFY(!states[1].installed);

        const QHash<QString, QString> expected { { "ro.a", "2" }, { "ro.b ", " x y" }, { "ro.d", "a" } };
        QCOMPARE(adbSysBuildInfo(phone.handle), expected);
        QCOMPARE(cpFile(phone.handle, "a b", "/sd/c"), QString("cp: denied\n"));
    }

    // A command whose output the link cut is a failure naming the command,
    // never a shorter answer: a package listing without its tail would say
    // the companion app is missing.
    void cutOutputIsAFailure_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<std::function<void(PAdbUSBHandle)>>("call");
        QTest::newRow("package listing") << "pm list packages -3"
                                         << std::function<void(PAdbUSBHandle)>([](PAdbUSBHandle h) {
                                                packages(h, PACKAGES_THIRD_PARTY);
                                            });
        QTest::newRow("log") << "logcat -d" << std::function<void(PAdbUSBHandle)>([](PAdbUSBHandle h) { logcatd(h); });
        QTest::newRow("build properties") << "cat /system/build.prop"
                                          << std::function<void(PAdbUSBHandle)>([](PAdbUSBHandle h) {
                                                 adbSysBuildInfo(h);
                                             });
    }
    void cutOutputIsAFailure()
    {
        QFETCH(QString, command);
        QFETCH(std::function<void(PAdbUSBHandle)>, call);
        const QString output = "package:com.example.one\npackage:com.quorvantile.contactssync\n";
        FakePhone phone({ { "auth", "none" },
            { "shell", QJsonObject { { command, QJsonObject { { "output", output }, { "close_after", 24 }, { "drop", true } } } } } });
        QVERIFY(phone.handle && phone.handle->waitForAuth2(timebound::kWaitMs));
        QString failure;
        try {
            call(phone.handle);
        } catch (const std::exception& e) {
            failure = QString::fromUtf8(e.what());
        }
        QVERIFY2(failure.startsWith("The phone did not finish the command \"" + command + "\". The phone "), qPrintable(failure));
    }
};

QTEST_GUILESS_MAIN(TestAdbHelper)
#include "tst_adbhelper.moc"
