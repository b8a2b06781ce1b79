// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "kit/workerreporter.h"

#include <QList>
#include <QMutex>
#include <QString>

#include <atomic>

// A reporter that keeps every call, for running workers without a dialog
// (tests, benchmarks). Thread-safe; cancel can be requested from any thread,
// optionally once a given number of progress reports has arrived.
class RecordingReporter : public IWorkerReporter {
public:
    bool invokeUpdateProgress(QString status, int curProgress, QString progressText) override;
    bool invokeErrorOccurred(QString err) override;
    bool invokeSucceed(QString tipsStr) override;
    bool invokeTipsWait(QString info) override;
    bool invokeSetCancelBtnText(const QString& text) override;
    bool isCancelled() const override { return m_cancelled.load(); }
    bool isTipsWaiting() const override { return false; }

    void cancel() { m_cancelled.store(true); }
    // Cancel as soon as this many progress reports have been received.
    void cancelAfterProgress(int reports) { m_cancelAfter.store(reports); }

    int progressCount() const;
    // The bar's value of each progress report, in order.
    QList<int> progressValues() const;
    QStringList errors() const;
    QStringList successes() const;
    // Successes plus errors: a well-behaved worker ends with exactly one.
    int endings() const;

private:
    mutable QMutex m_mutex;
    int m_progress = 0;
    QList<int> m_values;
    QStringList m_errors;
    QStringList m_successes;
    std::atomic<bool> m_cancelled { false };
    std::atomic<int> m_cancelAfter { -1 };
};
