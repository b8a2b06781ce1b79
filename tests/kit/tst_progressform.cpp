// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/errorreport.h"
#include "support/messageboxrecorder.h"
#include "support/modaldialoganswerer.h"
#include "kit/progressform.h"
#include "kit/productinfo.h"
#include "kit/tips.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <memory>

Q_DECLARE_METATYPE(QMessageBox::StandardButton)

namespace {

QProgressBar* bar(ProgressForm& f) { return f.findChild<QProgressBar*>(QStringLiteral("progressBar")); }
QString labelText(ProgressForm& f, const char* name) { return f.findChild<QLabel*>(QLatin1String(name))->text(); }

// Runs `work` on its own thread, the way the real workers report.
std::unique_ptr<QThread> worker(std::function<void()> work) { return std::unique_ptr<QThread>(QThread::create(std::move(work))); }

// A worker that runs until its time is up, whatever the dialog says. Its
// own run(), not a wrapped function: a forced stop must unwind nothing.
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
    void updatesProgress_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // status line | bar value | progress line

        QTest::newRow("percent with default text") << "Merging..." << 40 << "" << "Merging...|40|Progress:40%";
        QTest::newRow("negative percent keeps the bar") << "" << -1 << "" << "title|33|Progress:33%";
        QTest::newRow("empty status keeps the line") << "" << 10 << "Contacts:1/10" << "title|10|Contacts:1/10";
        QTest::newRow("above range clamped to full") << "s" << 250 << "" << "s|100|Progress:100%";
    }
    void updatesProgress()
    {
        QFETCH(QString, status);
        QFETCH(int, percent);
        QFETCH(QString, text);
        QFETCH(QString, expected);

        ProgressForm form(QStringLiteral("title"));
        form.updateProgress(QString(), 33, QString());
        // Called on the GUI thread, the invoke runs the slot at once.
        QVERIFY(form.invokeUpdateProgress(status, percent, text));
        const QString shown = QStringLiteral("%1|%2|%3").arg(labelText(form, "lbStatus")).arg(bar(form)->value()).arg(
            labelText(form, "lbProgress"));
        QCOMPARE(shown, expected);
    }

    void ignoresKeysAndCloseRequests_data()
    {
        QTest::addColumn<int>("key"); // 0: a close request
        QTest::newRow("Escape") << int(Qt::Key_Escape);
        QTest::newRow("Enter") << int(Qt::Key_Enter);
        QTest::newRow("close request") << 0;
    }
    void ignoresKeysAndCloseRequests()
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

    void endsAsTheWorkerReports_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("expectedResult");
        QTest::addColumn<QStringList>("expectedBoxes");
        QTest::addColumn<QStringList>("expectedReports");
        // For each box: whether the progress dialog stays visible behind it
        // ('+') or closed first ('-').
        QTest::addColumn<QString>("behind");

        const QString done = QStringLiteral("Successfully imported 3 contacts.");
        QTest::newRow("success with a text") << "S:" + done << 1 << QStringList { done } << QStringList {} << "-";
        QTest::newRow("success without a text shows no box") << "S:" << 1 << QStringList {} << QStringList {} << "";
        QTest::newRow("error shows the error box and reports")
            << "E:disk full" << 0
            << QStringList { "<nobr><b>" + product::title() + " v3.1.13</b></nobr><br/><br/>"
                             + Tips::errorBoxText("disk full") }
            << QStringList { "disk full" } << "-";
        QTest::newRow("a second ending is dropped") << "S:done|E:late" << 1 << QStringList { "done" } << QStringList {}
                                                    << "-";
        QTest::newRow("tips wait shows a box and lets the worker go on")
            << "T:Unlock your phone|S:" << 1 << QStringList { "Unlock your phone" } << QStringList {} << "+";
    }

    void endsAsTheWorkerReports()
    {
        QFETCH(QString, script);
        QFETCH(int, expectedResult);
        QFETCH(QStringList, expectedBoxes);
        QFETCH(QStringList, expectedReports);
        QFETCH(QString, behind);

        MessageBoxRecorder boxes;
        QStringList reports;
        ErrorReportHook previous = setErrorReportHook([&](const QString& e) { reports.append(e); });

        ProgressForm form(QString {});
        QString shownBehind;
        boxes.setWhileOpen([&](QMessageBox&) { shownBehind += form.isVisible() ? '+' : '-'; });
        bool timedOut = false;
        const auto thread = worker([&] {
            form.invokeUpdateProgress(QStringLiteral("working"), 50, {});
            for (const QString& step : script.split(QLatin1Char('|'))) {
                const QString arg = step.mid(2);
                if (step.startsWith(QLatin1String("S:")))
                    form.invokeSucceed(arg);
                else if (step.startsWith(QLatin1String("E:")))
                    form.invokeErrorOccurred(arg);
                else if (form.invokeTipsWait(arg)) {
                    QElapsedTimer clock;
                    clock.start();
                    while (form.isTipsWaiting() && !(timedOut = clock.elapsed() > 10000))
                        QThread::msleep(2);
                }
            }
        });
        thread->start();
        const int result = form.exec();
        QVERIFY(form.waitForThread(*thread, false));
        // Deliver whatever the worker queued after its first ending.
        QCoreApplication::processEvents();
        setErrorReportHook(std::move(previous));

        QCOMPARE(result, expectedResult);
        QCOMPARE(form.isCancelled(), expectedResult == 0);
        QCOMPARE(boxes.texts(), expectedBoxes);
        QCOMPARE(reports, expectedReports);
        QCOMPARE(shownBehind, behind);
        QVERIFY(!timedOut);
    }

    void cancelsOnlyWhenConfirmed_data()
    {
        QTest::addColumn<bool>("cancelable");
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<bool>("expectedCancelled");

        QTest::newRow("Cancel then No leaves dialog and worker alone") << true << QMessageBox::No << false;
        QTest::newRow("Cancel then Yes cancels") << true << QMessageBox::Yes << true;
        QTest::newRow("not cancelable ignores the button") << false << QMessageBox::Yes << false;
    }
    void cancelsOnlyWhenConfirmed()
    {
        QFETCH(bool, cancelable);
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(bool, expectedCancelled);

        MessageBoxRecorder boxes;
        boxes.answerNext(answer);
        ProgressForm form(QStringLiteral("t"));
        form.setCancelable(cancelable);
        QSignalSpy userCancel(&form, &ProgressForm::userCacel);
        // Like a real worker: it polls the dialog between its steps and stops
        // there once cancelled. It goes on only after the user has answered.
        QSemaphore gate;
        std::atomic<bool> sawCancel { false };
        const auto thread = worker([&] {
            form.invokeUpdateProgress(QString(), 10, {});
            if (!gate.tryAcquire(1, 10000))
                return;
            if (form.isCancelled())
                sawCancel = true;
            else
                form.invokeSucceed({});
        });
        thread->start();

        ModalDialogAnswerer answerer([&](QWidget*) {
            QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
            gate.release();
        });
        answerer.setMatch([&](QWidget* w) { return w == &form; });
        const int result = form.exec();
        gate.release();
        QVERIFY(form.waitForThread(*thread, false));
        QVERIFY(answerer.answered());

        QCOMPARE(result, expectedCancelled ? 0 : 1);
        QCOMPARE(form.isCancelled(), expectedCancelled);
        QCOMPARE(userCancel.count(), expectedCancelled ? 1 : 0);
        QCOMPARE(boxes.count(), cancelable ? 1 : 0);
        if (cancelable) {
            QCOMPARE(boxes.boxes().first().icon, QMessageBox::Question);
            QCOMPARE(boxes.boxes().first().text, QStringLiteral("Are You Sure You Want To Cancel?"));
        }
        // A cancelled worker stops at its next poll: the success is never sent.
        QCOMPARE(sawCancel.load(), expectedCancelled);
    }

    void keepsTheWorkersOutcomeWhenCancelRaces_data()
    {
        QTest::addColumn<bool>("workerFails");
        QTest::addColumn<QString>("text");

        QTest::newRow("success while asking stays a success") << false << "Successfully imported 2 contacts.";
        QTest::newRow("error while asking stays an error") << true << "broken pipe";
    }

    void keepsTheWorkersOutcomeWhenCancelRaces()
    {
        QFETCH(bool, workerFails);
        QFETCH(QString, text);

        MessageBoxRecorder boxes;
        ProgressForm form(QStringLiteral("t"));
        QSignalSpy userCancel(&form, &ProgressForm::userCacel);
        QSemaphore gate;
        const auto thread = worker([&] {
            if (!gate.tryAcquire(1, 10000))
                return;
            workerFails ? form.invokeErrorOccurred(text) : form.invokeSucceed(text);
        });
        thread->start();

        bool endedWhileAsking = false;
        boxes.setWhileOpen([&](QMessageBox& box) {
            if (box.icon() != QMessageBox::Question)
                return;
            // The worker's ending is delivered inside the question's event loop.
            gate.release();
            QElapsedTimer clock;
            clock.start();
            while (form.isVisible() && clock.elapsed() < 5000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            endedWhileAsking = !form.isVisible();
        });
        boxes.answerNext(QMessageBox::Yes);

        // Presses Cancel the way a user does, with the mouse, once the form is on screen.
        ModalDialogAnswerer answerer([&](QWidget*) {
            QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
        });
        answerer.setMatch([&](QWidget* w) { return w == &form; });
        const int result = form.exec();
        gate.release();
        QVERIFY(form.waitForThread(*thread, false));
        QVERIFY(answerer.answered());

        QVERIFY(endedWhileAsking);
        QCOMPARE(result, workerFails ? 0 : 1);
        QCOMPARE(form.isCancelled(), workerFails);
        QCOMPARE(userCancel.count(), 0);
        QCOMPARE(boxes.count(), 2);
    }

    void queuesInvokesFromAThreadWithoutBlocking()
    {
        ProgressForm form(QStringLiteral("t"));
        QList<int> values;
        connect(form.findChild<QProgressBar*>(QStringLiteral("progressBar")), &QProgressBar::valueChanged,
            this, [&](int v) { values.append(v); });

        const auto thread = worker([&] {
            for (int i = 1; i <= 100; ++i)
                form.invokeUpdateProgress(QStringLiteral("step %1").arg(i), i, QStringLiteral("Contacts:%1/100").arg(i));
        });
        thread->start();
        // The GUI thread delivers nothing while it waits here, so the worker can
        // only finish if none of its calls waits for the GUI thread.
        QVERIFY(thread->wait(10000));
        QVERIFY(values.isEmpty());

        QCoreApplication::processEvents();
        QCOMPARE(values.size(), 100);
        for (int i = 0; i < 100; ++i)
            QCOMPARE(values.at(i), i + 1);
    }

    void waitsForThread_data()
    {
        QTest::addColumn<int>("workerRunMs"); // -1: never ends by itself
        QTest::addColumn<bool>("errorFirst");
        QTest::addColumn<bool>("force");

        QTest::newRow("worker ending by itself") << 300 << false << false;
        QTest::newRow("open dialog never forces") << 1500 << false << true;
        QTest::newRow("after an error force terminates a stuck worker") << -1 << true << true;
        QTest::newRow("after an error without force waits it out") << 1500 << true << false;
    }

    void waitsForThread()
    {
        QFETCH(int, workerRunMs);
        QFETCH(bool, errorFirst);
        QFETCH(bool, force);

        MessageBoxRecorder boxes;
        ProgressForm form(QStringLiteral("t"));
        if (errorFirst)
            form.errorOccurred(QStringLiteral("failed")); // done(0): cancelled from here on
        QCOMPARE(form.isCancelled(), errorFirst);

        StubbornThread worker(workerRunMs);
        worker.start();
        QVERIFY(form.waitForThread(worker, force));
        QVERIFY(worker.isFinished());
        QCOMPARE(worker.finishedAlone.load(), workerRunMs >= 0);
    }
};

QTEST_MAIN(TestProgressForm)
#include "tst_progressform.moc"
