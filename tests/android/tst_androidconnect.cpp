// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/adbconnector.h"
#include "android/androidcontactsdb.h"
#include "android/androidwificonnector.h"
#include "model/data_path_util.h"
#include "platform/adb/adbservices.h"

#include "companionsim.h"
#include "fakeadbd.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kPmInstall = QStringLiteral("pm install -r '/data/local/tmp/com.quorvantile.contactssync.apk'");

QString failureOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

} // namespace

class TestAndroidConnect : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", m_dir.path().toUtf8());
        adbSetSettings(AdbSettings { m_dir.path(), 3000, 60000, 1 << 20 });
        AdbConnector::setWaits({ 300, 200 });
        AndroidWifiConnector::setWaits({ 5000, 500, 200 });
    }

    void installsOnlyAMissingApp_data()
    {
        QTest::addColumn<QString>("listing");
        QTest::addColumn<bool>("packaged");
        QTest::addColumn<QString>("pmAnswer");
        QTest::addColumn<QString>("error");
        const QString other = QStringLiteral("package:org.example.notes\n");
        QTest::newRow("app listed") << "package:com.quorvantile.contactssync\n" + other << true << "" << "";
        QTest::newRow("missing, installed") << other << true << "Success\n" << "";
        QTest::newRow("missing, phone refuses") << other << true << "Failure [INSTALL_FAILED_INSUFFICIENT_STORAGE]\n"
            << "Can not install com.quorvantile.contactssync. The phone did not install "
               "com.quorvantile.contactssync.apk: Failure [INSTALL_FAILED_INSUFFICIENT_STORAGE]";
        QTest::newRow("missing, no package in the build") << other << false << "Success\n"
            << "Can not install com.quorvantile.contactssync. The companion app package is not included in this build.";
    }
    void installsOnlyAMissingApp()
    {
        QFETCH(QString, listing);
        QFETCH(bool, packaged);
        QFETCH(QString, pmAnswer);
        QFETCH(QString, error);
        if (packaged)
            Q_INIT_RESOURCE(test_apk);
        else
            Q_CLEANUP_RESOURCE(test_apk);
        if (!packaged && QFile::exists(AdbConnector::kApkResource))
            QSKIP("this build embeds a companion app package");
        QFile copy(g_dataSaveDir().filePath(AdbConnector::kApkFileName));
        QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write("stale") == 5);
        copy.close();
        QTemporaryDir pushed;
        FakePhone phone({ { "auth", "none" }, { "sync_dir", pushed.path() },
            { "shell", QJsonObject { { "pm list packages -3", listing }, { kPmInstall, pmAnswer } } } });
        QCOMPARE(failureOf([&] { AdbConnector(phone.handle).initialCheck(); }), error);
        const bool installs = !pmAnswer.isEmpty() && packaged;
        QCOMPARE(phone.sim.log().contains("shell " + kPmInstall), installs);
        QFile sent(pushed.filePath(AdbConnector::kApkFileName));
        QCOMPARE(sent.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly), installs);
        QVERIFY(!installs || (copy.readAll() == sent.readAll() && copy.permissions() % 0x1000 == 0x600));
    }

    void wifiFailures_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("error");
        QTest::newRow("nothing listens") << "127.0.0.21" << "" << "WifiServiceTimeoutException";
        QTest::newRow("empty hello") << "127.0.0.22" << "line:hello: " << "did not name the phone";
        QTest::newRow("app refuses") << "127.0.0.25" << "error:Sync is off" << "Sync is off";
        QTest::newRow("silent app") << "127.0.0.26" << "stall" << "";
    }
    void wifiFailures()
    {
        QFETCH(QString, address);
        QFETCH(QString, answer);
        QFETCH(QString, error);
        CompanionSim app(address);
        if (!answer.isEmpty())
            app.start({ { "faults", QJsonObject { { "1", answer } } } }, { "wifi" });
        const QString failure = failureOf([&] { AndroidWifiConnector().initialize(address); });
        QVERIFY2(!failure.isEmpty() && failure.contains(error), qPrintable(failure));
    }

    // A saved device's database: its connector reaches no phone and outlives it.
    void deviceDatabaseHoldsItsConnector()
    {
        PAndroidConnector kept, connector(new AdbConnector(nullptr));
        const QWeakPointer<IAndroidConnector> watch = connector;
        {
            AndroidContactsDb db(m_dir.filePath("phone.db"), std::move(connector));
            db.create();
            kept = db.connector();
        }
        QVERIFY(AndroidContactsDb(m_dir.filePath("phone.db"), kept, LocalDb::ReadOnly).isReadOnly());
        kept->initialCheck();
        QCOMPARE(kept->logcat(), QString());
        QCOMPARE(failureOf([&] { kept->startBackup(5000); }), QString(AdbConnector::kNotConnectedText));
        QCOMPARE(failureOf([&] { kept->startRestore(5000); }), QString(AdbConnector::kNotConnectedText));
        kept.reset();
        QVERIFY(watch.isNull());
    }

};

QTEST_MAIN(TestAndroidConnect)
#include "tst_androidconnect.moc"
