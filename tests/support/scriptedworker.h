// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "kit/workerreporter.h"

#include <QList>
#include <QSemaphore>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>

// Test seam: a worker thread that plays a script against a reporter, the way
// the real workers do (progress steps, then one success or one error), so the
// progress dialog and the roads that run workers can be tested without
// devices or files. Like a real worker it polls isCancelled() between steps
// and stops there once the dialog was cancelled. Build the script before
// start(); the getters may be read from any thread.
class ScriptedWorker : public QThread {
    Q_OBJECT
public:
    explicit ScriptedWorker(IWorkerReporter* reporter, QObject* parent = nullptr);
    ~ScriptedWorker() override;

    ScriptedWorker& progress(QString status, int percent, QString text = {});
    ScriptedWorker& succeed(QString text = {});
    ScriptedWorker& error(QString text);
    // Shows an information box through the dialog and waits (bounded) until
    // the user has closed it.
    ScriptedWorker& tipsWait(QString info, int timeoutMs = 10000);
    // Waits until the test calls release(); lets a test order the worker's
    // next step against something on the GUI thread.
    ScriptedWorker& gate(int timeoutMs = 10000);
    // Ignores the cancel flag between steps, for a worker that must finish.
    ScriptedWorker& ignoreCancel();

    void release() { m_gate.release(); }

    bool sawCancel() const { return m_sawCancel.load(); }
    bool timedOut() const { return m_timedOut.load(); }

protected:
    void run() override;

private:
    enum class Kind { Progress, Succeed, Error, TipsWait, Gate };
    struct Step {
        Kind kind;
        QString text;
        QString detail;
        int value = 0;
    };

    ScriptedWorker& add(Step step);
    bool waitUntil(const std::function<bool()>& done, int timeoutMs);

    IWorkerReporter* m_reporter;
    QList<Step> m_steps;
    bool m_pollCancel = true;
    QSemaphore m_gate;
    std::atomic<bool> m_sawCancel { false };
    std::atomic<bool> m_timedOut { false };
};
