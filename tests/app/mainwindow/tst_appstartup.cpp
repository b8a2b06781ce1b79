// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and shutdown: the order of the steps, and the program's own steps
// with real boxes, a real data folder and its real lock.
#include "app/appstartup.h"
#include "app/defaultstartupsteps.h"
#include "app/instancelock.h"
#include "app/mainwindow.h"
#include "app/startupsteps.h"
#include "datafolderfixture.h"
#include "kit/productinfo.h"
#include "support/messageboxrecorder.h"
#include "support/timebounds.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(QMessageBox::Icon)

namespace {

// Writes down every step; the answers come from the test row.
class ScriptedSteps : public StartupSteps {
public:
    int version = 8;
    bool lockFree = true;
    QString baseFolder;
    int loopResult = 0;
    QStringList steps;

    void takePowerAssertion() override { steps << "assert power"; }
    void releasePowerAssertion() override { steps << "release power"; }
    void installTranslator() override { steps << "install translator"; }
    void removeTranslator() override { steps << "remove translator"; }
    int sqliteWrapperVersion() override { steps << "check wrapper"; return version; }
    bool lockDataFolder() override { steps << "lock data folder"; return lockFree; }
    void unlockDataFolder() override { steps << "unlock data folder"; }
    void startAdbPortGuard() override { steps << "start port guard"; }
    void stopAdbPortGuard() override { steps << "stop port guard"; }
    void createAndShowMainWindow() override { steps << "show window"; }
    void destroyMainWindow() override { steps << "destroy window"; }
    QString defaultBaseFolder() override { return baseFolder; }
    void showError(const QString& text) override { steps << "error: " + text; }
    void showWarning(const QString&) override { steps << "storage warning"; }
    int runEventLoop() override { steps << "event loop"; return loopResult; }
};

// The program's real steps (no port guard: it would kill this machine's
// ADB servers), with the wrapper's answer and the event loop replaced.
class ProgramStepsUnderTest : public DefaultStartupSteps {
public:
    explicit ProgramStepsUnderTest(int version)
        : DefaultStartupSteps(*static_cast<QApplication*>(QCoreApplication::instance()), nullptr, nullptr),
          m_version(version)
    {
    }
    int sqliteWrapperVersion() override { return m_version; }
    void createAndShowMainWindow() override
    {
        windowBuilt = true;
        DefaultStartupSteps::createAndShowMainWindow();
    }
    // As root every existing folder is writable: storage without access is
    // a folder that is not there.
    QString defaultBaseFolder() override
    {
        const QString real = DefaultStartupSteps::defaultBaseFolder();
        return storageDenied ? real + QStringLiteral("/not-there") : real;
    }
    int runEventLoop() override
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<MainWindow*>(widget) && widget->isVisible())
                windowShown = true;
        }
        return 7;
    }

    bool storageDenied = false;
    bool windowBuilt = false;
    bool windowShown = false;

private:
    int m_version;
};

QStringList steps(const char* list) { return QString::fromLatin1(list).split(QLatin1Char(',')); }

const QStringList kStart = steps("assert power,install translator,check wrapper");
const QStringList kEnd = steps("remove translator,release power");
const QStringList kRun = steps("lock data folder,start port guard,show window");
const QStringList kTeardown = steps("destroy window,stop port guard,unlock data folder");

} // namespace

class TestAppStartup : public QObject {
    Q_OBJECT
private slots:
    void runsStartupStepsInOrder_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("lockFree");
        QTest::addColumn<bool>("baseExists");
        QTest::addColumn<int>("loopResult");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("exitCode");

        const QStringList loop { "event loop" };
        QTest::newRow("event loop result is the exit code")
            << 8 << true << true << 3 << kStart + kRun + loop + kTeardown + kEnd << 3;
        QTest::newRow("missing base folder warns over the shown window")
            << 8 << true << false << 0 << kStart + kRun + QStringList { "storage warning" } + loop + kTeardown + kEnd << 0;
        QTest::newRow("wrong wrapper stops before guard and window")
            << 7 << true << true << 0 << kStart + QStringList { "error: invalid libsqlite_qt." } + kEnd << 1;
        QTest::newRow("data folder held by another instance")
            << 8 << false << true << 0
            << kStart + QStringList { "lock data folder", "error: " + AppStartup::dataFolderInUseText() } + kEnd << 1;
    }

    void runsStartupStepsInOrder()
    {
        QFETCH(int, version);
        QFETCH(bool, lockFree);
        QFETCH(bool, baseExists);
        QFETCH(int, loopResult);
        QFETCH(QStringList, expected);
        QFETCH(int, exitCode);

        QTemporaryDir home;
        ScriptedSteps steps;
        steps.version = version;
        steps.lockFree = lockFree;
        steps.loopResult = loopResult;
        steps.baseFolder = baseExists ? home.path() : home.filePath(QStringLiteral("QuorVantile"));

        QCOMPARE(AppStartup::run(steps), exitCode);
        QCOMPARE(steps.steps, expected);
    }

    // The whole start-up as a user meets it: the boxes, whether the window
    // came up, the exit code, and the data folder given back afterwards.
    void startsTheProgramOrSaysWhyNot_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("folderHeld");
        QTest::addColumn<bool>("storageDenied");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QMessageBox::Icon>("box"); // NoIcon: no box at all
        QTest::addColumn<QString>("boxText");
        QTest::addColumn<bool>("window");

        const QString wrapper = QStringLiteral("invalid libsqlite_qt.");
        const QString storage = QStringLiteral("Please allow Quorvantile to access storage on Mac.");
        QTest::newRow("wrapper 7") << 7 << false << false << 1 << QMessageBox::Critical << wrapper << false;
        QTest::newRow("wrapper 9") << 9 << false << false << 1 << QMessageBox::Critical << wrapper << false;
        QTest::newRow("wrapper 8 runs the window") << 8 << false << false << 7 << QMessageBox::NoIcon << QString() << true;
        QTest::newRow("second instance on the same data folder is refused")
            << 8 << true << false << 1 << QMessageBox::Critical << QStringLiteral("Another copy of the program") << false;
        QTest::newRow("storage without access warns, then runs")
            << 8 << false << true << 7 << QMessageBox::Warning << storage << true;
    }

    void startsTheProgramOrSaysWhyNot()
    {
        QFETCH(int, version);
        QFETCH(bool, folderHeld);
        QFETCH(bool, storageDenied);
        QFETCH(int, exitCode);
        QFETCH(QMessageBox::Icon, box);
        QFETCH(QString, boxText);
        QFETCH(bool, window);

        DataFolderFixture folder;
        const QString dataFolder = folder.dataFolder().absolutePath();
        InstanceLock running;
        if (folderHeld)
            QCOMPARE(int(running.acquire(dataFolder)), int(InstanceLock::Acquired));
        MessageBoxRecorder recorder;
        ProgramStepsUnderTest steps(version);
        steps.storageDenied = storageDenied;

        QCOMPARE(AppStartup::run(steps), exitCode);
        QCOMPARE(recorder.count(), box == QMessageBox::NoIcon ? 0 : 1);
        if (box != QMessageBox::NoIcon) {
            QCOMPARE(recorder.boxes().constFirst().icon, box);
            QVERIFY2(recorder.boxes().constFirst().text.contains(boxText), qPrintable(recorder.boxes().constFirst().text));
        }
        QCOMPARE(steps.windowBuilt, window);
        QCOMPARE(steps.windowShown, window);
        // The running instance keeps its folder; otherwise the teardown has
        // given it back.
        QCOMPARE(running.isHeld(), folderHeld);
        running.release();
        QVERIFY(!QFile::exists(QDir(dataFolder).filePath(QLatin1String(InstanceLock::kFileName))));
    }

    void findsWritableStorage()
    {
        QTemporaryDir home;
        QVERIFY(AppStartup::isStorageWritable(home.path()));
        QVERIFY(!AppStartup::isStorageWritable(home.filePath(QStringLiteral("QuorVantile"))));
        QVERIFY(!AppStartup::isStorageWritable(QString()));
        // Without a tutorial page the warning carries no link at all.
        QCOMPARE(AppStartup::storageWarningText().contains(QStringLiteral("<a ")), *product::kStorageTutorialPage != '\0');
    }

    void locksOneInstance_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("outcome");

        QTest::newRow("free folder") << "free" << int(InstanceLock::Acquired);
        QTest::newRow("second instance on the same folder") << "held" << int(InstanceLock::HeldElsewhere);
        QTest::newRow("free again after release") << "released" << int(InstanceLock::Acquired);
        QTest::newRow("lock of a process that died is taken over") << "dead owner" << int(InstanceLock::Acquired);
        // Not mistaken for a second instance: start-up goes on to the storage
        // warning instead of refusing to run.
        QTest::newRow("missing folder is no other instance") << "missing" << int(InstanceLock::Unavailable);
    }

    void locksOneInstance()
    {
        QFETCH(QString, situation);
        QFETCH(int, outcome);

        QTemporaryDir dir;
        const QString folder = dir.path();
        const QString lockPath = QDir(folder).filePath(QLatin1String(InstanceLock::kFileName));
        InstanceLock first;
        if (situation == QLatin1String("held") || situation == QLatin1String("released"))
            QCOMPARE(int(first.acquire(folder)), int(InstanceLock::Acquired));
        if (situation == QLatin1String("released"))
            first.release();
        if (situation == QLatin1String("dead owner")) {
            // A lock file exactly as a crashed instance leaves it, naming a
            // process that no longer exists.
            QProcess finished;
            finished.start(QStringLiteral("true"), {});
            QVERIFY(finished.waitForStarted(timebound::kWaitMs));
            const qint64 deadPid = finished.processId();
            QVERIFY(finished.waitForFinished(timebound::kWaitMs));
            QLockFile model(lockPath);
            QVERIFY(model.tryLock(0));
            QFile file(lockPath);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QList<QByteArray> lines = file.readAll().split('\n');
            file.close();
            model.unlock(); // removes the file: it is written back as the dead one's
            lines[0] = QByteArray::number(deadPid);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(lines.join('\n'));
        }

        const QString target = situation == QLatin1String("missing") ? dir.filePath(QStringLiteral("gone/away")) : folder;
        InstanceLock second;
        QCOMPARE(int(second.acquire(target)), outcome);
        QCOMPARE(second.isHeld(), outcome == int(InstanceLock::Acquired));
    }
};

QTEST_MAIN(TestAppStartup)
#include "tst_appstartup.moc"
