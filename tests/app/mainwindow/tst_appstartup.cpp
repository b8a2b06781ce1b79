// SPDX-License-Identifier: GPL-3.0-or-later
#include "appstartup.h"
#include "productinfo.h"
#include "datafolderfixture.h"
#include "defaultstartupsteps.h"
#include "instancelock.h"
#include "mainwindow.h"
#include "messageboxrecorder.h"
#include "startupsteps.h"
#include "updatecheckschedule.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Writes down every step; the answers come from the test row.
class ScriptedSteps : public StartupSteps {
public:
    int version = 8;
    bool lockFree = true;
    QString baseFolder;
    int loopResult = 0;
    QStringList steps;

    void takePowerAssertion() override { steps << QStringLiteral("assert power"); }
    void releasePowerAssertion() override { steps << QStringLiteral("release power"); }
    void installTranslator() override { steps << QStringLiteral("install translator"); }
    void removeTranslator() override { steps << QStringLiteral("remove translator"); }
    int sqliteWrapperVersion() override
    {
        steps << QStringLiteral("check wrapper");
        return version;
    }
    bool lockDataFolder() override
    {
        steps << QStringLiteral("lock data folder");
        return lockFree;
    }
    void unlockDataFolder() override { steps << QStringLiteral("unlock data folder"); }
    void startAdbPortGuard() override { steps << QStringLiteral("start port guard"); }
    void stopAdbPortGuard() override { steps << QStringLiteral("stop port guard"); }
    void createAndShowMainWindow() override { steps << QStringLiteral("show window"); }
    void destroyMainWindow() override { steps << QStringLiteral("destroy window"); }
    QString defaultBaseFolder() override { return baseFolder; }
    void showError(const QString& text) override { steps << QStringLiteral("error: ") + text; }
    void showWarning(const QString&) override { steps << QStringLiteral("storage warning"); }
    int runEventLoop() override
    {
        steps << QStringLiteral("event loop");
        return loopResult;
    }
};

// The program's real steps, with the wrapper's answer and the event loop
// replaced; boxes are real and recorded.
class ProgramStepsUnderTest : public DefaultStartupSteps {
public:
    ProgramStepsUnderTest(int version)
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
    int runEventLoop() override
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<MainWindow*>(widget) && widget->isVisible())
                windowShown = true;
        }
        return 7;
    }

    bool windowBuilt = false;
    bool windowShown = false;

private:
    int m_version;
};

const QStringList kFullRun {
    QStringLiteral("assert power"), QStringLiteral("install translator"), QStringLiteral("check wrapper"),
    QStringLiteral("lock data folder"), QStringLiteral("start port guard"), QStringLiteral("show window"),
};
const QStringList kFullTeardown {
    QStringLiteral("destroy window"), QStringLiteral("stop port guard"), QStringLiteral("unlock data folder"),
    QStringLiteral("remove translator"), QStringLiteral("release power"),
};

} // namespace

class TestAppStartup : public QObject {
    Q_OBJECT
private slots:
    void stepOrder_data();
    void stepOrder();
    void wrongWrapperEndsWithOneErrorBox_data();
    void wrongWrapperEndsWithOneErrorBox();
    void storageWarningText();
    void instanceLock_data();
    void instanceLock();
    void updateSchedule_data();
    void updateSchedule();
};

void TestAppStartup::stepOrder_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("lockFree");
    QTest::addColumn<bool>("baseExists");
    QTest::addColumn<int>("loopResult");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("normal start and close")
        << 8 << true << true << 0 << (kFullRun + QStringList { QStringLiteral("event loop") } + kFullTeardown) << 0;
    QTest::newRow("event loop result is the exit code")
        << 8 << true << true << 3 << (kFullRun + QStringList { QStringLiteral("event loop") } + kFullTeardown) << 3;
    QTest::newRow("missing base folder warns over the shown window")
        << 8 << true << false << 0
        << (kFullRun + QStringList { QStringLiteral("storage warning"), QStringLiteral("event loop") } + kFullTeardown)
        << 0;
    const QStringList wrongWrapper { QStringLiteral("assert power"),
                                     QStringLiteral("install translator"),
                                     QStringLiteral("check wrapper"),
                                     QStringLiteral("error: invalid libsqlite_qt."),
                                     QStringLiteral("remove translator"),
                                     QStringLiteral("release power") };
    QTest::newRow("wrapper 7 stops before guard and window") << 7 << true << true << 0 << wrongWrapper << 1;
    QTest::newRow("wrapper 9 stops before guard and window") << 9 << true << true << 0 << wrongWrapper << 1;
    QTest::newRow("data folder held by another instance")
        << 8 << false << true << 0
        << QStringList { QStringLiteral("assert power"),
                         QStringLiteral("install translator"),
                         QStringLiteral("check wrapper"),
                         QStringLiteral("lock data folder"),
                         QStringLiteral("error: ") + AppStartup::dataFolderInUseText(),
                         QStringLiteral("remove translator"),
                         QStringLiteral("release power") }
        << 1;
}

void TestAppStartup::stepOrder()
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

void TestAppStartup::wrongWrapperEndsWithOneErrorBox_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("boxes");
    QTest::addColumn<bool>("window");

    QTest::newRow("wrapper 7") << 7 << 1 << 1 << false;
    QTest::newRow("wrapper 9") << 9 << 1 << 1 << false;
    QTest::newRow("wrapper 0") << 0 << 1 << 1 << false;
    QTest::newRow("wrapper 8 runs the window") << 8 << 7 << 0 << true;
}

void TestAppStartup::wrongWrapperEndsWithOneErrorBox()
{
    QFETCH(int, version);
    QFETCH(int, exitCode);
    QFETCH(int, boxes);
    QFETCH(bool, window);

    DataFolderFixture folder;
    QVERIFY(folder.isValid());
    MessageBoxRecorder recorder;
    ProgramStepsUnderTest steps(version);

    QCOMPARE(AppStartup::run(steps), exitCode);
    QCOMPARE(recorder.count(), boxes);
    if (boxes > 0) {
        QCOMPARE(recorder.boxes().constFirst().icon, QMessageBox::Critical);
        QVERIFY(recorder.boxes().constFirst().text.contains(QStringLiteral("invalid libsqlite_qt.")));
    }
    QCOMPARE(steps.windowBuilt, window);
    QCOMPARE(steps.windowShown, window);
    // The teardown has given the folder back.
    QVERIFY(!QFile::exists(folder.dataFolder().filePath(QLatin1String(InstanceLock::kFileName))));
}

void TestAppStartup::storageWarningText()
{
    QTemporaryDir home;
    QVERIFY(AppStartup::isStorageWritable(home.path()));
    QVERIFY(!AppStartup::isStorageWritable(home.filePath(QStringLiteral("QuorVantile"))));
    QVERIFY(!AppStartup::isStorageWritable(QString()));
    const QString text = AppStartup::storageWarningText();
    QVERIFY(text.startsWith(QStringLiteral("Please allow Quorvantile to access storage on Mac. ")));
    // Without a tutorial page the warning carries no link at all.
    if (QByteArray(product::kStorageTutorialPage).isEmpty())
        QVERIFY(!text.contains(QStringLiteral("<a ")));
    else
        QVERIFY(text.contains(QStringLiteral("\">How to?</a>")));
}

void TestAppStartup::instanceLock_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<int>("outcome");

    QTest::newRow("free folder") << QStringLiteral("free") << int(InstanceLock::Acquired);
    QTest::newRow("second instance on the same folder") << QStringLiteral("held") << int(InstanceLock::HeldElsewhere);
    QTest::newRow("another data folder is independent") << QStringLiteral("other folder") << int(InstanceLock::Acquired);
    QTest::newRow("free again after release") << QStringLiteral("released") << int(InstanceLock::Acquired);
    QTest::newRow("lock of a process that died is taken over")
        << QStringLiteral("dead owner") << int(InstanceLock::Acquired);
    // Not mistaken for a second instance: start-up goes on to the storage
    // warning instead of refusing to run.
    QTest::newRow("missing folder is no other instance") << QStringLiteral("missing") << int(InstanceLock::Unavailable);
}

void TestAppStartup::instanceLock()
{
    QFETCH(QString, situation);
    QFETCH(int, outcome);

    QTemporaryDir dir;
    const QString folder = dir.path();
    const QString lockPath = QDir(folder).filePath(QLatin1String(InstanceLock::kFileName));
    InstanceLock first;
    if (situation == QLatin1String("held") || situation == QLatin1String("other folder")
        || situation == QLatin1String("released")) {
        QCOMPARE(int(first.acquire(folder)), int(InstanceLock::Acquired));
    }
    if (situation == QLatin1String("released"))
        first.release();
    if (situation == QLatin1String("dead owner")) {
        // A lock file exactly as a crashed instance leaves it, naming a
        // process that no longer exists.
        QProcess finished;
        finished.start(QStringLiteral("true"), {});
        QVERIFY(finished.waitForStarted(5000));
        const qint64 deadPid = finished.processId();
        QVERIFY(finished.waitForFinished(5000));
        QByteArray content;
        {
            QLockFile model(lockPath);
            QVERIFY(model.tryLock(0));
            QFile file(lockPath);
            QVERIFY(file.open(QIODevice::ReadOnly));
            content = file.readAll();
            model.unlock();
        }
        QList<QByteArray> lines = content.split('\n');
        QVERIFY(deadPid > 0);
        lines[0] = QByteArray::number(deadPid);
        QFile file(lockPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(lines.join('\n'));
    }

    QTemporaryDir otherDir;
    const QString target = situation == QLatin1String("other folder") ? otherDir.path()
        : situation == QLatin1String("missing")                        ? dir.filePath(QStringLiteral("gone/away"))
                                                                       : folder;
    InstanceLock second;
    QCOMPARE(int(second.acquire(target)), outcome);
    QCOMPARE(second.isHeld(), outcome == int(InstanceLock::Acquired));
}

void TestAppStartup::updateSchedule_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<qint64>("now");
    QTest::addColumn<bool>("due");

    const qint64 now = 1700000000;
    QTest::newRow("never checked") << QByteArray() << false << now << true;
    QTest::newRow("checked a day minus a second ago") << QByteArray::number(now - 86400) << true << now << false;
    QTest::newRow("checked just now") << QByteArray::number(now) << true << now << false;
    QTest::newRow("checked 86401 seconds ago") << QByteArray::number(now - 86401) << true << now << true;
    QTest::newRow("time of zero") << QByteArray("0") << true << now << true;
    QTest::newRow("text that is no number") << QByteArray("yesterday") << true << now << true;
    QTest::newRow("empty file") << QByteArray() << true << now << true;
    QTest::newRow("time in the future wraps and checks") << QByteArray::number(now + 10) << true << now << true;
}

void TestAppStartup::updateSchedule()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, fileExists);
    QFETCH(qint64, now);
    QFETCH(bool, due);

    QTemporaryDir dir;
    const QString path = dir.filePath(QLatin1String(UpdateCheckSchedule::kTimeFileName));
    if (fileExists) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QCOMPARE(UpdateCheckSchedule::isDue(path, now), due);
}

QTEST_MAIN(TestAppStartup)
#include "tst_appstartup.moc"
