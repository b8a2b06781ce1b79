// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "kit/winmovable.h"
#include "kit/workerreporter.h"

#include <QDialog>
#include <QString>

#include <atomic>

#include <memory>

class QThread;
class Ui_ProgressForm;

// The modal progress dialog of every long operation and the worker's only
// channel to the GUI. The invoke... calls may come from any thread and never
// wait for the GUI thread; their slots run on the GUI thread. exec() returns 1
// after a success and 0 after an error or a confirmed cancel. Escape, Enter
// and close requests do not end it.
class ProgressForm : public QDialog, public IWorkerReporter {
    Q_OBJECT
public:
    explicit ProgressForm(QString title, QWidget* parent = nullptr);
    ~ProgressForm() override;

    bool invokeUpdateProgress(QString status, int curProgress, QString progressText) override;
    bool invokeErrorOccurred(QString err) override;
    bool invokeSucceed(QString tipsStr) override;
    // Sets the waiting flag before queueing, so the worker can poll
    // isTipsWaiting() right after the call.
    bool invokeTipsWait(QString info) override;
    bool invokeSetCancelBtnText(const QString& text) override;

    // The user's cancel: false while the dialog is open, afterwards true
    // unless it ended with a success.
    bool isCancelled() const override { return m_cancelled.load(std::memory_order_acquire); }
    bool isTipsWaiting() const override { return m_tipsWaiting.load(std::memory_order_acquire); }

    void setCancelable(bool cancelable);

    // Waits for `thread` in one-second steps. Returns true once it has ended.
    // With `force` and a cancelled dialog, a worker that is still running after
    // a step is terminated; the result is then that of one more second's wait.
    bool waitForThread(QThread& thread, bool force);
    // One operation's whole turn: starts the worker, shows this dialog until
    // the worker ends it, then waits for the worker. True when it succeeded
    // and was not cancelled.
    bool runWorker(QThread& worker);

public slots:
    // Only the result slots end the dialog.
    void accept() override { }
    void reject() override { }

    void updateProgress(QString status, int curProgress, QString progressText);
    void errorOccurred(QString err);
    void succeed(QString tipsStr);
    void onFinish(int result);
    void tipsWait(QString info);
    void cancel();
    void setCancelBtnText(QString text);

signals:
    void userCacel();

private:
    // True once the dialog's outcome is decided, so a late or second ending
    // (or a cancel confirmed after the worker finished) changes nothing.
    bool outcomeDecided() const { return m_ending || m_finished; }
    // The worker's ending answers an open cancel question: it closes as "No".
    void closeCancelQuestion();

    WinMovable m_movable;
    std::unique_ptr<Ui_ProgressForm> ui;
    std::atomic<bool> m_cancelled { false };
    std::atomic<bool> m_tipsWaiting { false };
    bool m_ending = false; // GUI thread only
    bool m_finished = false; // GUI thread only
    bool m_asking = false; // GUI thread only: the cancel question is open
};
