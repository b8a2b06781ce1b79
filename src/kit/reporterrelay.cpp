// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/reporterrelay.h"

// Each call holds the lock only while it queues its report: the dialog's
// invoke... calls never wait for the GUI thread.

void ReporterRelay::detach()
{
    QMutexLocker lock(&m_mutex);
    m_target = nullptr;
}

bool ReporterRelay::invokeUpdateProgress(QString status, int curProgress, QString progressText)
{
    QMutexLocker lock(&m_mutex);
    return m_target && m_target->invokeUpdateProgress(std::move(status), curProgress, std::move(progressText));
}

bool ReporterRelay::invokeErrorOccurred(QString err)
{
    QMutexLocker lock(&m_mutex);
    return m_target && m_target->invokeErrorOccurred(std::move(err));
}

bool ReporterRelay::invokeSucceed(QString tipsStr)
{
    QMutexLocker lock(&m_mutex);
    return m_target && m_target->invokeSucceed(std::move(tipsStr));
}

bool ReporterRelay::invokeTipsWait(QString info)
{
    QMutexLocker lock(&m_mutex);
    return m_target && m_target->invokeTipsWait(std::move(info));
}

bool ReporterRelay::invokeSetCancelBtnText(const QString& text)
{
    QMutexLocker lock(&m_mutex);
    return m_target && m_target->invokeSetCancelBtnText(text);
}

bool ReporterRelay::isCancelled() const
{
    QMutexLocker lock(&m_mutex);
    return !m_target || m_target->isCancelled();
}

bool ReporterRelay::isTipsWaiting() const
{
    QMutexLocker lock(&m_mutex);
    return m_target && m_target->isTipsWaiting();
}
