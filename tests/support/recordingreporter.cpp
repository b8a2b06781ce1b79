// SPDX-License-Identifier: GPL-3.0-or-later
#include "recordingreporter.h"

#include <QMutexLocker>

bool RecordingReporter::invokeUpdateProgress(QString, int curProgress, QString)
{
    QMutexLocker lock(&m_mutex);
    ++m_progress;
    m_values << curProgress;
    const int after = m_cancelAfter.load();
    if (after >= 0 && m_progress >= after)
        m_cancelled.store(true);
    return true;
}

bool RecordingReporter::invokeErrorOccurred(QString err)
{
    QMutexLocker lock(&m_mutex);
    m_errors.append(err);
    return true;
}

bool RecordingReporter::invokeSucceed(QString tipsStr)
{
    QMutexLocker lock(&m_mutex);
    m_successes.append(tipsStr);
    return true;
}

bool RecordingReporter::invokeTipsWait(QString)
{
    return true;
}

bool RecordingReporter::invokeSetCancelBtnText(const QString&)
{
    return true;
}

int RecordingReporter::progressCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_progress;
}

QStringList RecordingReporter::errors() const
{
    QMutexLocker lock(&m_mutex);
    return m_errors;
}

QStringList RecordingReporter::successes() const
{
    QMutexLocker lock(&m_mutex);
    return m_successes;
}

int RecordingReporter::endings() const
{
    QMutexLocker lock(&m_mutex);
    return m_errors.size() + m_successes.size();
}

QList<int> RecordingReporter::progressValues() const
{
    QMutexLocker lock(&m_mutex);
    return m_values;
}
