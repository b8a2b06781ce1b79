// SPDX-License-Identifier: GPL-3.0-or-later
// A worker left behind by its dialog, and a dialog whose worker ends while
// the cancel question is open.
#include "kit/progressform.h"
#include "kit/reporterrelay.h"
#include "support/messageboxrecorder.h"
#include "support/modaldialoganswerer.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <memory>

class TestReporterRelay : public QObject {
    Q_OBJECT
private slots:
    // Reports pass until the dialog lets the worker go; afterwards none
    // reaches it, and the worker reads itself as cancelled.
    void shouldCutTheWorkerOffItsDialog()
    {
        MessageBoxRecorder boxes;
        auto form = std::make_unique<ProgressForm>(QStringLiteral("t"));
        ReporterRelay relay(form.get());
        QVERIFY(!relay.isCancelled());
        QVERIFY(relay.invokeUpdateProgress(QStringLiteral("working"), 10, QString()));
        relay.detach();
        form.reset();
        QVERIFY(relay.isCancelled());
        QVERIFY(!relay.isTipsWaiting());
        QVERIFY(!relay.invokeUpdateProgress(QStringLiteral("late"), 50, QString()));
        QVERIFY(!relay.invokeErrorOccurred(QStringLiteral("late")));
        QVERIFY(!relay.invokeSucceed(QStringLiteral("late")));
        QVERIFY(!relay.invokeTipsWait(QStringLiteral("late")));
        QVERIFY(!relay.invokeSetCancelBtnText(QStringLiteral("late")));
        QCoreApplication::processEvents();
        QCOMPARE(boxes.count(), 0);
    }

    // The question is a real modal box here: the worker's ending closes it,
    // and the ending stands.
    void shouldCloseTheCancelQuestionWithTheWorkersEnding_data()
    {
        QTest::addColumn<bool>("fails");
        QTest::newRow("success") << false;
        QTest::newRow("error") << true;
    }
    void shouldCloseTheCancelQuestionWithTheWorkersEnding()
    {
        QFETCH(bool, fails);
        ProgressForm form(QStringLiteral("t"));
        QSemaphore asked;
        std::unique_ptr<QThread> worker(QThread::create([&] {
            if (asked.tryAcquire(1, 10000))
                fails ? form.invokeErrorOccurred(QStringLiteral("broken")) : form.invokeSucceed(QString());
        }));
        worker->start();
        std::unique_ptr<MessageBoxRecorder> errorBox;
        ModalDialogAnswerer question([&](QWidget* box) {
            // Answers the error box the ending shows, once the question is gone.
            errorBox = std::make_unique<MessageBoxRecorder>();
            Q_UNUSED(box);
            asked.release();
        });
        question.setMatch([](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; });
        // Should the question stay open, this closes it after its time limit.
        constexpr int kGiveUpMs = 8000;
        ModalDialogAnswerer giveUp([](QWidget*) {}, kGiveUpMs);
        giveUp.setMatch([](QWidget*) { return false; });
        QTimer::singleShot(0, &form, &ProgressForm::cancel);
        QElapsedTimer clock;
        clock.start();
        const int result = form.exec();
        QVERIFY(worker->wait(5000));
        QCOMPARE(result, fails ? 0 : 1);
        // Not left open until the give-up.
        QVERIFY2(clock.elapsed() < kGiveUpMs, qPrintable(QString::number(clock.elapsed())));
        if (fails)
            QVERIFY(errorBox && errorBox->texts().constLast().contains("broken"));
    }
};

QTEST_MAIN(TestReporterRelay)
#include "tst_reporterrelay.moc"
