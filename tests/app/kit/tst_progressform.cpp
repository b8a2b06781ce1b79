// SPDX-License-Identifier: GPL-3.0-or-later
#include "messageboxrecorder.h"
#include "modaldialoganswerer.h"
#include "progressform.h"
#include "scriptedworker.h"
#include "errorreport.h"
#include "tips.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <atomic>

Q_DECLARE_METATYPE(QMessageBox::StandardButton)

namespace {

QProgressBar* bar(ProgressForm& f) { return f.findChild<QProgressBar*>(QStringLiteral("progressBar")); }
QLabel* label(ProgressForm& f, const char* name) { return f.findChild<QLabel*>(QLatin1String(name)); }
QPushButton* cancelButton(ProgressForm& f) { return f.findChild<QPushButton*>(QStringLiteral("btnCancel")); }

// Presses Cancel the way a user does: mouse button down on the button.
void pressCancel(ProgressForm& f)
{
    QTest::mousePress(cancelButton(f), Qt::LeftButton);
    QTest::mouseRelease(cancelButton(f), Qt::LeftButton);
}

// Spins the event loop until `done` or the time limit.
bool spinUntil(const std::function<bool()>& done, int ms = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// A worker that runs until told to stop, whatever the dialog says.
class StubbornThread : public QThread {
public:
    explicit StubbornThread(int runMs) : m_runMs(runMs) { }
    std::atomic<bool> finishedAlone { false };

protected:
    void run() override
    {
        QElapsedTimer clock;
        clock.start();
        while (m_runMs < 0 || clock.elapsed() < m_runMs)
            QThread::msleep(5);
        finishedAlone.store(true);
    }

private:
    int m_runMs;
};

} // namespace

class TestProgressForm : public QObject {
    Q_OBJECT
private slots:
    void shouldShowTitleAndStartEmpty();
    void shouldUpdateProgress_data();
    void shouldUpdateProgress();
    void shouldIgnoreKeysAndCloseRequests_data();
    void shouldIgnoreKeysAndCloseRequests();
    void shouldEndAsTheWorkerReports_data();
    void shouldEndAsTheWorkerReports();
    void shouldCancelOnlyWhenConfirmed_data();
    void shouldCancelOnlyWhenConfirmed();
    void shouldKeepTheWorkersOutcomeWhenCancelRaces_data();
    void shouldKeepTheWorkersOutcomeWhenCancelRaces();
    void shouldQueueInvokesFromAThreadWithoutBlocking();
    void shouldWaitForThread_data();
    void shouldWaitForThread();
};

void TestProgressForm::shouldShowTitleAndStartEmpty()
{
    ProgressForm form(QStringLiteral("Loading Contacts from Device"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Loading Contacts from Device"));
    QCOMPARE(label(form, "lbStatus")->text(), QStringLiteral("Loading Contacts from Device"));
    QCOMPARE(bar(form)->value(), 0);
    QVERIFY(form.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(form.windowFlags() & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(!form.styleSheet().isEmpty());
    QCOMPARE(cancelButton(form)->focusPolicy(), Qt::NoFocus);
    QVERIFY(!form.isCancelled());
}

void TestProgressForm::shouldUpdateProgress_data()
{
    QTest::addColumn<int>("startValue");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("percent");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expectedStatus");
    QTest::addColumn<int>("expectedValue");
    QTest::addColumn<QString>("expectedText");

    QTest::newRow("percent with default text") << 0 << "Merging contacts now..." << 40 << ""
                                               << "Merging contacts now..." << 40 << "Progress:40%";
    QTest::newRow("negative percent keeps the bar") << 33 << "" << -1 << "" << "title" << 33 << "Progress:33%";
    QTest::newRow("empty status keeps the line") << 0 << "" << 10 << "Contacts:1/10" << "title" << 10
                                                 << "Contacts:1/10";
    QTest::newRow("worker text shown as given") << 0 << "s" << 66 << "Contacts:2/3" << "s" << 66 << "Contacts:2/3";
    QTest::newRow("zero percent") << 50 << "s" << 0 << "" << "s" << 0 << "Progress:0%";
    QTest::newRow("above range clamped to full") << 0 << "s" << 250 << "" << "s" << 100 << "Progress:100%";
}

void TestProgressForm::shouldUpdateProgress()
{
    QFETCH(int, startValue);
    QFETCH(QString, status);
    QFETCH(int, percent);
    QFETCH(QString, text);
    QFETCH(QString, expectedStatus);
    QFETCH(int, expectedValue);
    QFETCH(QString, expectedText);

    ProgressForm form(QStringLiteral("title"));
    form.updateProgress(QString(), startValue, QString());
    // Called on the GUI thread, the invoke runs the slot at once.
    QVERIFY(form.invokeUpdateProgress(status, percent, text));
    QCOMPARE(label(form, "lbStatus")->text(), expectedStatus);
    QCOMPARE(bar(form)->value(), expectedValue);
    QCOMPARE(label(form, "lbProgress")->text(), expectedText);
}

void TestProgressForm::shouldIgnoreKeysAndCloseRequests_data()
{
    QTest::addColumn<int>("key"); // 0: a close request
    QTest::newRow("Escape") << int(Qt::Key_Escape);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("close request") << 0;
}

void TestProgressForm::shouldIgnoreKeysAndCloseRequests()
{
    QFETCH(int, key);
    MessageBoxRecorder boxes;
    ProgressForm form(QStringLiteral("t"));
    QSignalSpy finished(&form, &QDialog::finished);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    if (key == 0)
        QVERIFY(!form.close());
    else
        QTest::keyClick(&form, Qt::Key(key));

    QVERIFY(form.isVisible());
    QCOMPARE(finished.count(), 0);
    QCOMPARE(boxes.count(), 0); // not even the cancel question
    QVERIFY(!form.isCancelled());
}

void TestProgressForm::shouldEndAsTheWorkerReports_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("expectedResult");
    QTest::addColumn<bool>("expectedCancelled");
    QTest::addColumn<QStringList>("expectedBoxes");
    QTest::addColumn<QStringList>("expectedReports");

    const QString sucText = QStringLiteral("Successfully imported 3 contacts.");
    QTest::newRow("success with a text") << "S:" + sucText << 1 << false << QStringList { sucText } << QStringList {};
    QTest::newRow("success without a text shows no box") << "S:" << 1 << false << QStringList {} << QStringList {};
    QTest::newRow("error shows the error box and reports")
        << "E:disk full" << 0 << true
        << QStringList { "<nobr><b>Quorvantile Marrowlink for Mac v3.1.13</b></nobr><br/><br/>"
                         + Tips::errorBoxText("disk full") }
        << QStringList { "disk full" };
    QTest::newRow("a second ending is dropped") << "S:done|E:late" << 1 << false << QStringList { "done" }
                                                << QStringList {};
    QTest::newRow("tips wait shows a box and lets the worker go on")
        << "T:Unlock your phone|S:" << 1 << false << QStringList { "Unlock your phone" } << QStringList {};
}

void TestProgressForm::shouldEndAsTheWorkerReports()
{
    QFETCH(QString, script);
    QFETCH(int, expectedResult);
    QFETCH(bool, expectedCancelled);
    QFETCH(QStringList, expectedBoxes);
    QFETCH(QStringList, expectedReports);

    MessageBoxRecorder boxes;
    QStringList reports;
    ErrorReportHook previous = setErrorReportHook([&](const QString& e) { reports.append(e); });

    ProgressForm form(QString {});
    ScriptedWorker worker(&form);
    worker.progress(QStringLiteral("working"), 50);
    for (const QString& step : script.split(QLatin1Char('|'))) {
        const QString arg = step.mid(2);
        if (step.startsWith(QLatin1String("S:")))
            worker.succeed(arg);
        else if (step.startsWith(QLatin1String("E:")))
            worker.error(arg);
        else if (step.startsWith(QLatin1String("T:")))
            worker.tipsWait(arg);
    }
    worker.ignoreCancel();
    worker.start();
    const int result = form.exec();
    QVERIFY(form.waitForThread(worker, false));
    // Deliver whatever the worker queued after its first ending.
    QCoreApplication::processEvents();
    setErrorReportHook(std::move(previous));

    QCOMPARE(result, expectedResult);
    QCOMPARE(form.isCancelled(), expectedCancelled);
    QCOMPARE(boxes.texts(), expectedBoxes);
    QCOMPARE(reports, expectedReports);
    QVERIFY(!worker.timedOut());
    QVERIFY(!form.isTipsWaiting());
}

void TestProgressForm::shouldCancelOnlyWhenConfirmed_data()
{
    QTest::addColumn<bool>("cancelable");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<int>("expectedResult");
    QTest::addColumn<bool>("expectedCancelled");
    QTest::addColumn<int>("expectedQuestions");

    QTest::newRow("Cancel then No leaves dialog and worker alone") << true << QMessageBox::No << 1 << false << 1;
    QTest::newRow("Cancel then Yes cancels") << true << QMessageBox::Yes << 0 << true << 1;
    QTest::newRow("not cancelable ignores the button") << false << QMessageBox::Yes << 1 << false << 0;
}

void TestProgressForm::shouldCancelOnlyWhenConfirmed()
{
    QFETCH(bool, cancelable);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(int, expectedResult);
    QFETCH(bool, expectedCancelled);
    QFETCH(int, expectedQuestions);

    MessageBoxRecorder boxes;
    boxes.answerNext(answer);
    ProgressForm form(QStringLiteral("t"));
    form.setCancelable(cancelable);
    QSignalSpy userCancel(&form, &ProgressForm::userCacel);
    ScriptedWorker worker(&form);
    worker.progress(QString(), 10).gate().succeed();
    worker.start();

    ModalDialogAnswerer answerer([&](QWidget*) {
        pressCancel(form);
        // Let the worker finish only after the user's answer.
        worker.release();
    });
    answerer.setMatch([&](QWidget* w) { return w == &form; });
    const int result = form.exec();
    QVERIFY(form.waitForThread(worker, false));

    QVERIFY(answerer.answered());
    QCOMPARE(result, expectedResult);
    QCOMPARE(form.isCancelled(), expectedCancelled);
    QCOMPARE(boxes.count(), expectedQuestions);
    QCOMPARE(userCancel.count(), expectedCancelled ? 1 : 0);
    if (expectedQuestions) {
        QCOMPARE(boxes.boxes().first().icon, QMessageBox::Question);
        QCOMPARE(boxes.boxes().first().text, QStringLiteral("Are You Sure You Want To Cancel?"));
    }
    // A cancelled worker stops at its next poll: the success is never sent.
    QCOMPARE(worker.sawCancel(), expectedCancelled);
}

void TestProgressForm::shouldKeepTheWorkersOutcomeWhenCancelRaces_data()
{
    QTest::addColumn<bool>("workerFails");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expectedResult");
    QTest::addColumn<bool>("expectedCancelled");

    QTest::newRow("success while asking stays a success") << false << "Successfully imported 2 contacts." << 1 << false;
    QTest::newRow("quiet success while asking stays a success") << false << "" << 1 << false;
    QTest::newRow("error while asking stays an error") << true << "broken pipe" << 0 << true;
}

void TestProgressForm::shouldKeepTheWorkersOutcomeWhenCancelRaces()
{
    QFETCH(bool, workerFails);
    QFETCH(QString, text);
    QFETCH(int, expectedResult);
    QFETCH(bool, expectedCancelled);

    MessageBoxRecorder boxes;
    ProgressForm form(QStringLiteral("t"));
    QSignalSpy userCancel(&form, &ProgressForm::userCacel);
    ScriptedWorker worker(&form);
    worker.gate();
    if (workerFails)
        worker.error(text);
    else
        worker.succeed(text);
    worker.ignoreCancel();
    worker.start();

    bool endedWhileAsking = false;
    boxes.setWhileOpen([&](QMessageBox& box) {
        if (box.icon() != QMessageBox::Question)
            return;
        // The worker ends while the question is on screen; its ending is
        // delivered inside the question's event loop.
        worker.release();
        endedWhileAsking = spinUntil([&] { return !form.isVisible(); });
    });
    boxes.answerNext(QMessageBox::Yes);

    ModalDialogAnswerer answerer([&](QWidget*) { pressCancel(form); });
    answerer.setMatch([&](QWidget* w) { return w == &form; });
    const int result = form.exec();
    QVERIFY(form.waitForThread(worker, false));

    QVERIFY(endedWhileAsking);
    QCOMPARE(result, expectedResult);
    QCOMPARE(form.isCancelled(), expectedCancelled);
    QCOMPARE(userCancel.count(), 0);
    QCOMPARE(boxes.boxes().first().icon, QMessageBox::Question);
    QCOMPARE(boxes.count(), text.isEmpty() ? 1 : 2);
}

void TestProgressForm::shouldQueueInvokesFromAThreadWithoutBlocking()
{
    ProgressForm form(QStringLiteral("t"));
    QSignalSpy values(bar(form), &QProgressBar::valueChanged);
    QStringList seenTexts;
    connect(bar(form), &QProgressBar::valueChanged, this,
        [&](int) { seenTexts.append(label(form, "lbProgress")->text()); });

    ScriptedWorker worker(&form);
    for (int i = 1; i <= 100; ++i)
        worker.progress(QStringLiteral("step %1").arg(i), i, QStringLiteral("Contacts:%1/100").arg(i));
    worker.cancelText(QStringLiteral("Stop"));
    worker.start();
    // The GUI thread delivers nothing while it waits here, so the worker can
    // only finish if none of its calls waits for the GUI thread.
    QVERIFY(worker.wait(10000));
    QCOMPARE(values.count(), 0);

    QCoreApplication::processEvents();
    QCOMPARE(values.count(), 100);
    for (int i = 0; i < 100; ++i)
        QCOMPARE(values.at(i).at(0).toInt(), i + 1);
    // Each text arrives after the value of the same call: the label still shows
    // the previous call's text when the bar moves.
    QCOMPARE(seenTexts.at(1), QStringLiteral("Contacts:1/100"));
    QCOMPARE(label(form, "lbProgress")->text(), QStringLiteral("Contacts:100/100"));
    QCOMPARE(label(form, "lbStatus")->text(), QStringLiteral("step 100"));
    QCOMPARE(cancelButton(form)->text(), QStringLiteral("Stop"));
}

void TestProgressForm::shouldWaitForThread_data()
{
    QTest::addColumn<int>("workerRunMs"); // -1: never ends by itself
    QTest::addColumn<bool>("errorFirst");
    QTest::addColumn<bool>("force");
    QTest::addColumn<bool>("expectedFinishedAlone");

    QTest::newRow("worker ending by itself") << 300 << false << false << true;
    QTest::newRow("open dialog never forces") << 1500 << false << true << true;
    QTest::newRow("after an error force terminates a stuck worker") << -1 << true << true << false;
    QTest::newRow("after an error without force waits it out") << 1500 << true << false << true;
}

void TestProgressForm::shouldWaitForThread()
{
    QFETCH(int, workerRunMs);
    QFETCH(bool, errorFirst);
    QFETCH(bool, force);
    QFETCH(bool, expectedFinishedAlone);

    MessageBoxRecorder boxes;
    ProgressForm form(QStringLiteral("t"));
    if (errorFirst)
        form.errorOccurred(QStringLiteral("failed")); // done(0): cancelled from here on
    QCOMPARE(form.isCancelled(), errorFirst);

    StubbornThread worker(workerRunMs);
    worker.start();
    QVERIFY(form.waitForThread(worker, force));
    QVERIFY(worker.isFinished());
    QCOMPARE(worker.finishedAlone.load(), expectedFinishedAlone);
}

QTEST_MAIN(TestProgressForm)
#include "tst_progressform.moc"
