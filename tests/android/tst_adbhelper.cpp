// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/adbhelper.h"

#include "fakeadbd.h"
#include "platform/adb/adbservices.h"

#include <QTemporaryDir>
#include <QTest>

using namespace adbhelper;

class TestAdbHelper : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase() { adbSetSettings(AdbSettings{m_dir.path(), 3000, 60000, 1 << 20}); }

    // What the phone prints is read leniently where it is loose and never
    // takes a near miss ("Package:", a bare prefix, a later duplicate) as a value.
    void parsesThePhonesOutput()
    {
        QCOMPARE(parsePackages("package:com.example.one\r\n package: com.example.two \r\nPackage:x\npackage:\n"),
            (QSet<QString>{"com.example.one", "com.example.two"}));
        QVERIFY(parsePackages("").isEmpty());
        QCOMPARE(parseVersionCode("  VERSIONCODE=12 minSdk=21\nversionCode=9\n"), 12);
        QCOMPARE(parseVersionCode("Unable to find package\n"), 0);
        const QList<_AdbAppState> states = parseAppStates(
            "  User 0: installed=true hidden=FALSE stopped=True notLaunched=false enabled=2\n"
            "user 10:\n"
            "user 11: installed=false enabled=x\n");
        QCOMPARE(states.size(), 2);
        QVERIFY(states[0].userId == "0" && states[0].installed && states[0].stopped && !states[0].hidden
            && !states[0].notLaunched && states[0].enabled == 2);
        QVERIFY(states[1].userId == "11" && states[1].enabled == 0);
        const QHash<QString, QString> p = parseBuildProperties("ro.a=1\nro.b = x y\r\nro.c=\n# a comment\nname=a=b\nro.a=3\n");
        QCOMPARE(p, (QHash<QString, QString>{{"ro.a", "3"}, {"ro.b ", " x y"}, {"name", "a"}}));
    }

    // The commands reach the phone as fixed text with quoted arguments, and
    // output stops at its first NUL.
    void commandsOnASimulatedPhone()
    {
        FakePhone phone({{"auth", "none"},
                         {"shell", QJsonObject{{"pm list packages -3", "package:com.quorvantile.contactssync\r\n"},
                                               {"dumpsys package 'a.b'", QString("x\nversionCode=31 y\n")},
                                               {"cat /system/build.prop", QString("ro.x=1\n") + QChar(0) + "ro.y=2\n"}}}});
        QVERIFY(phone.handle && phone.handle->waitForAuth2(5000));
        QCOMPARE(packages(phone.handle, PACKAGES_THIRD_PARTY), QSet<QString>{"com.quorvantile.contactssync"});
        QVERIFY(packages(phone.handle, PACKAGES_ALL).isEmpty());
        QString dump;
        QCOMPARE(getDevAppVersion(phone.handle, "a.b", dump), 31);
        QCOMPARE(dump, QStringLiteral("x\nversionCode=31 y\n"));
        QCOMPARE(adbSysBuildInfo(phone.handle), (QHash<QString, QString>{{"ro.x", "1"}}));
        killProcess(phone.handle, "it's; reboot");
        cpFile(phone.handle, "/sdcard/a b", "/data/local/tmp/c");
        QVERIFY(phone.sim.waitForLog("shell cp '/sdcard/a b' '/data/local/tmp/c'"));
        const QStringList log = phone.sim.log();
        QVERIFY(log.contains("shell pm list packages"));
        QVERIFY(log.contains("shell am force-stop 'it'\\''s; reboot'"));
    }
};

QTEST_GUILESS_MAIN(TestAdbHelper)
#include "tst_adbhelper.moc"
