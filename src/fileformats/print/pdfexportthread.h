// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QThread>

#include <memory>

class ContactPages;
class IWorkerReporter;

// Writes the contact cards of a walk into one PDF file on a worker thread,
// reading a page of contacts at a time, under the progress dialog: the
// counterpart of ExportToFileThread for the PDF type. A cancel or failure
// leaves no file (and an existing one as it was).
class PdfExportThread : public QThread {
    Q_OBJECT
public:
    PdfExportThread(std::shared_ptr<ContactPages> pages, QString path, IWorkerReporter* form,
                    QObject* parent = nullptr);
    ~PdfExportThread() override;

protected:
    void run() override;

private:
    std::shared_ptr<ContactPages> m_pages;
    QString m_path;
    IWorkerReporter* m_form;
};
