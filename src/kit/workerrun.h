// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "kit/messagetext.h"
#include "kit/workerreporter.h"

#include <QString>

#include <exception>
#include <utility>

// How a worker's job ended.
enum class WorkEnd { Done, Cancelled, Failed };

namespace workerrun {
// The cancel type of a job that cannot be cancelled: never thrown.
struct NoCancel {};
} // namespace workerrun

// Runs a worker's whole job. Nothing may leave QThread::run (it would end
// the program), so every throw becomes the job's ending: `Cancel` ends it
// silently (the user asked for it), a std::exception reports its text
// (as plain text), and anything else reports
// `unexpected`. The job reports its own success.
template <class Cancel = workerrun::NoCancel, class Work>
WorkEnd runWorkerJob(IWorkerReporter& reporter, const QString& unexpected, Work&& work)
{
    try {
        std::forward<Work>(work)();
        return WorkEnd::Done;
    } catch (const Cancel&) {
        return WorkEnd::Cancelled;
    } catch (const std::exception& e) {
        // The dialog takes rich text: the error's words, often naming a
        // file, are escaped once here and nowhere else.
        reporter.invokeErrorOccurred(g_messageText(QString::fromUtf8(e.what())));
    } catch (...) {
        reporter.invokeErrorOccurred(unexpected);
    }
    return WorkEnd::Failed;
}
