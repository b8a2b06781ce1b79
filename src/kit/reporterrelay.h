// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "kit/workerreporter.h"

#include <QMutex>

// Stands between a worker and its dialog, so a worker may outlive the dialog
// it reported to: once detached, nothing reaches the dialog any more and the
// worker reads itself as cancelled. The relay must outlive the worker; the
// dialog must outlive its detach(). Thread-safe.
class ReporterRelay : public IWorkerReporter {
public:
    explicit ReporterRelay(IWorkerReporter* target) : m_target(target) {}

    // Cuts the worker off its dialog; GUI thread, before the dialog goes.
    void detach();

    bool invokeUpdateProgress(QString status, int curProgress, QString progressText) override;
    bool invokeErrorOccurred(QString err) override;
    bool invokeSucceed(QString tipsStr) override;
    bool invokeTipsWait(QString info) override;
    bool invokeSetCancelBtnText(const QString& text) override;
    bool isCancelled() const override;
    bool isTipsWaiting() const override;

private:
    mutable QMutex m_mutex;
    IWorkerReporter* m_target;
};
