// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QList>
#include <QString>
#include <QThread>

#include <memory>

class ContactPages;
class IWorkerReporter;

// Writes a list of contacts into one file on a worker thread, reporting to
// the progress dialog. The caller starts it, runs the dialog, waits for the
// thread and then destroys it. Cancel and failure remove the partial file;
// with no contact at all nothing is written and the user is told so.
class ExportToFileThread : public QThread {
    Q_OBJECT
public:
    enum TYPE : int {
        TYPE_VCARD = 1,
        TYPE_CSV = 2,
        TYPE_TXT = 3,
        TYPE_HTML = 4,
    };

    ExportToFileThread(const QList<pim::_Contact>& contacts, TYPE type, QString path,
                       IWorkerReporter* form, QObject* parent = nullptr);
    // Reads the contacts a page at a time while it writes them, so that a
    // whole database is exported without being held: only on this thread.
    ExportToFileThread(std::shared_ptr<ContactPages> pages, TYPE type, QString path, IWorkerReporter* form,
                       QObject* parent = nullptr);
    ~ExportToFileThread() override;

    // What an export of no contact says instead of writing a file.
    static QString nothingToExport();

protected:
    void run() override;

private:
    void exportTo(QString chosenPath);

    std::shared_ptr<ContactPages> pages;
    TYPE type;
    QString path;
    IWorkerReporter* form;
};
