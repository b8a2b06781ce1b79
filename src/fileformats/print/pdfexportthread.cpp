// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/print/pdfexportthread.h"

#include "fileformats/print/contactsprinter.h"
#include "fileformats/export/exporttofilethread.h"
#include "fileformats/workercancelled_p.h"
#include "kit/workerrun.h"
#include "model/contactpages.h"

PdfExportThread::PdfExportThread(std::shared_ptr<ContactPages> pages, QString path, IWorkerReporter* form,
                                 QObject* parent)
    : QThread(parent)
    , m_pages(std::move(pages))
    , m_path(std::move(path))
    , m_form(form)
{
    Q_ASSERT(m_pages && m_form);
}

PdfExportThread::~PdfExportThread() = default;

void PdfExportThread::run()
{
    runWorkerJob<WorkerCancelled>(*m_form, tr("Unknown error while writing the PDF file."), [this] {
        // The next page of contacts is read while this one is drawn.
        ReadAheadPages ahead(*m_pages);
        if (ahead.count() == 0) {
            m_form->invokeSucceed(ExportToFileThread::nothingToExport());
            return;
        }
        // Made on this thread: the printer's objects belong to the thread
        // that paints.
        ContactsPrinter printer;
        const int written = printer.printPagesToPDF(ahead, m_path, *m_form);
        m_form->invokeSucceed(tr("IDS_SUC_EXPORT_%1_CONTACTS_TO_FILE").arg(written));
    });
}
