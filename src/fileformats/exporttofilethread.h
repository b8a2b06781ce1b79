// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QList>
#include <QString>
#include <QThread>

class IWorkerReporter;

// Writes a list of contacts into one file on a worker thread, reporting to
// the progress dialog. The caller starts it, runs the dialog, waits for the
// thread and then destroys it. Cancel and failure remove the partial file.
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
    ~ExportToFileThread() override;

protected:
    void run() override;

private:
    void exportTo(const QString& filePath);

    QList<pim::_Contact> contacts;
    TYPE type;
    QString path;
    IWorkerReporter* form;
};
