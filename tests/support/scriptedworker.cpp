// SPDX-License-Identifier: GPL-3.0-or-later
#include "scriptedworker.h"

#include <QElapsedTimer>

ScriptedWorker::ScriptedWorker(IWorkerReporter* reporter, QObject* parent)
    : QThread(parent)
    , m_reporter(reporter)
{
    Q_ASSERT(reporter);
}

ScriptedWorker::~ScriptedWorker()
{
    // A gate that is still closed must not hold the destructor forever.
    m_gate.release(1000);
    wait();
}

ScriptedWorker& ScriptedWorker::add(Step step)
{
    Q_ASSERT(!isRunning());
    m_steps.append(std::move(step));
    return *this;
}

ScriptedWorker& ScriptedWorker::progress(QString status, int percent, QString text)
{
    return add({ Kind::Progress, std::move(status), std::move(text), percent });
}

ScriptedWorker& ScriptedWorker::succeed(QString text)
{
    return add({ Kind::Succeed, std::move(text), {}, 0 });
}

ScriptedWorker& ScriptedWorker::error(QString text)
{
    return add({ Kind::Error, std::move(text), {}, 0 });
}

ScriptedWorker& ScriptedWorker::tipsWait(QString info, int timeoutMs)
{
    return add({ Kind::TipsWait, std::move(info), {}, timeoutMs });
}

ScriptedWorker& ScriptedWorker::gate(int timeoutMs)
{
    return add({ Kind::Gate, {}, {}, timeoutMs });
}

ScriptedWorker& ScriptedWorker::ignoreCancel()
{
    m_pollCancel = false;
    return *this;
}

bool ScriptedWorker::waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() >= timeoutMs) {
            m_timedOut.store(true);
            return false;
        }
        QThread::msleep(2);
    }
    return true;
}

void ScriptedWorker::run()
{
    for (const Step& step : std::as_const(m_steps)) {
        if (m_pollCancel && m_reporter->isCancelled()) {
            m_sawCancel.store(true);
            return;
        }
        switch (step.kind) {
        case Kind::Progress:
            m_reporter->invokeUpdateProgress(step.text, step.value, step.detail);
            break;
        case Kind::Succeed:
            m_reporter->invokeSucceed(step.text);
            break;
        case Kind::Error:
            m_reporter->invokeErrorOccurred(step.text);
            break;
        case Kind::TipsWait:
            m_reporter->invokeTipsWait(step.text);
            if (!waitUntil([this] { return !m_reporter->isTipsWaiting(); }, step.value))
                return;
            break;
        case Kind::Gate:
            if (!m_gate.tryAcquire(1, step.value)) {
                m_timedOut.store(true);
                return;
            }
            break;
        }
    }
}
