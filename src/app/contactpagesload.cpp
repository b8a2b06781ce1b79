// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/contactpagesload.h"

#include "kit/contactprogress.h"
#include "kit/progressform.h"
#include "kit/workerrun.h"
#include "model/contactpages.h"

#include <QCoreApplication>
#include <QThread>

#include <exception>
#include <memory>

namespace {

struct Cancelled {};

QString tr(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

bool g_readContactsOnWorker(ContactPages& pages, qsizetype limit, QList<pim::_Contact>& contacts,
                            qsizetype* total, QWidget* parent)
{
    ProgressForm form(tr("Reading contacts..."), parent);
    QList<pim::_Contact> read;
    qsizetype all = 0;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        runWorkerJob<Cancelled>(form, tr("An unexpected error stopped the command."), [&] {
            pages.rewind();
            all = pages.count();
            const qsizetype wanted = limit < 0 ? all : std::min(limit, all);
            ContactProgress progress(&form, tr("Reading contacts..."), int(wanted));
            read.reserve(wanted);
            QList<pim::_Contact> page;
            while (read.size() < wanted && pages.nextPage(page)) {
                if (form.isCancelled())
                    throw Cancelled();
                read.append(page.mid(0, wanted - read.size()));
                progress.step(int(read.size()));
            }
            form.invokeSucceed(QString());
        });
    }));
    if (!form.runWorker(*worker))
        return false;
    contacts = std::move(read);
    if (total)
        *total = all;
    return true;
}

bool g_writeContactsOnWorker(const QString& title, qsizetype total, QWidget* parent,
                             const std::function<void(const std::function<void(qsizetype)>& step)>& write)
{
    // About as many as the window stores in a few tens of milliseconds.
    constexpr qsizetype kInPlace = 300;
    if (total <= kInPlace) {
        write([](qsizetype) {});
        return true;
    }
    ProgressForm form(title, parent);
    std::exception_ptr failure;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        runWorkerJob<Cancelled>(form, tr("An unexpected error stopped the command."), [&] {
            ContactProgress progress(&form, title, int(total));
            try {
                write([&](qsizetype done) {
                    if (form.isCancelled())
                        throw Cancelled();
                    progress.step(int(done));
                });
            } catch (const Cancelled&) {
                throw;
            } catch (...) {
                // Worded by the caller, as when the change runs in place.
                failure = std::current_exception();
            }
            form.invokeSucceed(QString());
        });
    }));
    const bool done = form.runWorker(*worker);
    if (failure)
        std::rethrow_exception(failure);
    return done;
}
