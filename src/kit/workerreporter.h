// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// How a worker thread talks to the GUI while it runs. ProgressForm is the
// real implementation; tests use a recorder. Every call may come from any
// thread and never waits for the GUI thread.
class IWorkerReporter {
public:
    virtual ~IWorkerReporter() = default;

    // status: empty keeps the current line; curProgress: negative keeps the
    // bar; progressText: empty shows "Progress:%1%". Both are plain text,
    // shown as written.
    virtual bool invokeUpdateProgress(QString status, int curProgress, QString progressText) = 0;
    // The three texts below are rich text: a text carrying data (a file name, an
    // error's words) goes through g_messageText() first.
    virtual bool invokeErrorOccurred(QString err) = 0;
    virtual bool invokeSucceed(QString tipsStr) = 0;
    virtual bool invokeTipsWait(QString info) = 0;
    virtual bool invokeSetCancelBtnText(const QString& text) = 0;

    // The user's cancel, polled by the worker between items.
    virtual bool isCancelled() const = 0;
    virtual bool isTipsWaiting() const = 0;
};
