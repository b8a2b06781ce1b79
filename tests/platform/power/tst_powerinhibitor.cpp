// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a private bus daemon and a stand-in screen saver service on it, so the
// inhibitor speaks real D-Bus over a real socket.
#include "platform/power/powerinhibitor.h"
#include "support/timebounds.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

class FakeScreenSaver : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    enum Mode { Grant, Refuse, AnswerText };
    Mode mode = Grant;
    uint nextCookie = 41;

    QStringList calls() const
    {
        QMutexLocker lock(&m_mutex);
        return m_calls;
    }

public slots:
    uint Inhibit(const QString& application, const QString& reason)
    {
        record(QStringLiteral("Inhibit %1 / %2").arg(application, reason));
        if (mode == Refuse) {
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("not now"));
            return 0;
        }
        if (mode == AnswerText) {
            setDelayedReply(true);
            connection().send(message().createReply(QVariant(QStringLiteral("no cookie"))));
            return 0;
        }
        return nextCookie;
    }
    void UnInhibit(uint cookie) { record(QStringLiteral("UnInhibit %1").arg(cookie)); }

private:
    void record(const QString& call)
    {
        QMutexLocker lock(&m_mutex);
        m_calls << call;
    }
    mutable QMutex m_mutex;
    QStringList m_calls;
};

class TestPowerInhibitor : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void inhibitsAndReleases_data();
    void inhibitsAndReleases();
    void holdsNothingWithoutABus();

private:
    QProcess m_daemon;
    QString m_address;
};

void TestPowerInhibitor::initTestCase()
{
    m_daemon.setProgram(QStringLiteral("dbus-daemon"));
    m_daemon.setArguments({ QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1") });
    m_daemon.start();
    if (!m_daemon.waitForStarted(timebound::kWaitMs))
        QSKIP("dbus-daemon cannot be started here");
    QElapsedTimer timer;
    timer.start();
    while (!m_daemon.canReadLine() && m_daemon.state() == QProcess::Running && timer.elapsed() < timebound::kWaitMs)
        m_daemon.waitForReadyRead(200);
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    QVERIFY2(!m_address.isEmpty(), "the bus daemon printed no address");
}

void TestPowerInhibitor::cleanupTestCase()
{
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        m_daemon.waitForFinished(3000);
    }
}

void TestPowerInhibitor::inhibitsAndReleases_data()
{
    QTest::addColumn<bool>("serviceOnBus");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("held");
    QTest::addColumn<QStringList>("expectedCalls");

    const QString inhibit = QStringLiteral("Inhibit Marrowlink / Describe Activity Type");
    QTest::newRow("service grants a cookie, released at the end")
        << true << int(FakeScreenSaver::Grant) << true << QStringList { inhibit, QStringLiteral("UnInhibit 41") };
    QTest::newRow("service refuses: nothing held, nothing released")
        << true << int(FakeScreenSaver::Refuse) << false << QStringList { inhibit };
    QTest::newRow("answer without a cookie counts as refused")
        << true << int(FakeScreenSaver::AnswerText) << false << QStringList { inhibit };
    QTest::newRow("bus without the service") << false << int(FakeScreenSaver::Grant) << false << QStringList {};
}

void TestPowerInhibitor::inhibitsAndReleases()
{
    QFETCH(bool, serviceOnBus);
    QFETCH(int, mode);
    QFETCH(bool, held);
    QFETCH(QStringList, expectedCalls);

    const QString serviceName = QStringLiteral("service-%1").arg(QTest::currentDataTag());
    QDBusConnection serviceBus = QDBusConnection::connectToBus(m_address, serviceName);
    QVERIFY(serviceBus.isConnected());

    // The service answers from its own thread: the inhibitor's call blocks
    // the test thread.
    QThread serviceThread;
    serviceThread.start();
    auto* saver = new FakeScreenSaver;
    saver->mode = FakeScreenSaver::Mode(mode);
    saver->moveToThread(&serviceThread);
    if (serviceOnBus) {
        QVERIFY(serviceBus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), saver,
                                          QDBusConnection::ExportAllSlots));
        QVERIFY(serviceBus.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
    }

    const QString clientName = QStringLiteral("client-%1").arg(QTest::currentDataTag());
    {
        QDBusConnection clientBus = QDBusConnection::connectToBus(m_address, clientName);
        QVERIFY(clientBus.isConnected());
        PowerInhibitor inhibitor(clientBus);
        QCOMPARE(inhibitor.inhibit(QStringLiteral("Marrowlink"), QStringLiteral("Describe Activity Type")), held);
        QCOMPARE(inhibitor.isHeld(), held);
        // The destructor gives the inhibition back.
    }
    QCOMPARE(saver->calls(), expectedCalls);

    if (serviceOnBus) {
        serviceBus.unregisterService(QStringLiteral("org.freedesktop.ScreenSaver"));
        serviceBus.unregisterObject(QStringLiteral("/org/freedesktop/ScreenSaver"));
    }
    QDBusConnection::disconnectFromBus(clientName);
    QDBusConnection::disconnectFromBus(serviceName);
    serviceThread.quit();
    serviceThread.wait();
    delete saver;
}

void TestPowerInhibitor::holdsNothingWithoutABus()
{
    const QString name = QStringLiteral("nowhere");
    QTemporaryDir dir;
    QDBusConnection bus = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=%1/no-such-socket").arg(dir.path()), name);
    QVERIFY(!bus.isConnected());
    PowerInhibitor inhibitor(bus);
    QVERIFY(!inhibitor.inhibit(QStringLiteral("Marrowlink"), QStringLiteral("Describe Activity Type")));
    inhibitor.release();
    QVERIFY(!inhibitor.isHeld());
    QDBusConnection::disconnectFromBus(name);
}

QTEST_GUILESS_MAIN(TestPowerInhibitor)
#include "tst_powerinhibitor.moc"
