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

    // The package list is read leniently where it is loose, never takes a near
    // miss ("Package:", a bare prefix) as a name and stops at its first NUL;
    // arguments reach the phone's shell quoted.
    void commandsOnASimulatedPhone()
    {
        const QString listing = QString("package:com.example.one\r\n package: com.example.two \r\nPackage:x\npackage:\n")
            + QChar(0) + "\npackage:after.nul\n";
        FakePhone phone({{"auth", "none"}, {"shell", QJsonObject{{"pm list packages -3", listing}}}});
        QVERIFY(phone.handle && phone.handle->waitForAuth2(5000));
        QCOMPARE(packages(phone.handle, PACKAGES_THIRD_PARTY), (QSet<QString>{"com.example.one", "com.example.two"}));
        QVERIFY(packages(phone.handle, PACKAGES_ALL).isEmpty());
        killProcess(phone.handle, "it's; reboot");
        QVERIFY(phone.sim.waitForLog("shell am force-stop 'it'\\''s; reboot'"));
        QVERIFY(phone.sim.log().contains("shell pm list packages"));
    }
};

QTEST_GUILESS_MAIN(TestAdbHelper)
#include "tst_adbhelper.moc"
