// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/exporttofilethread.h"

#include "kit/contactprogress.h"
#include "fileformats/exportwriterfactory.h"
#include "fileformats/fileformatslog.h"
#include "fileformats/workercancelled_p.h"
#include "kit/workerreporter.h"
#include "kit/messagetext.h"
#include "platform/error.h"
#include "platform/files/safefilewriter.h"

#include <QDir>
#include <QFileInfo>

#include <memory>

namespace {

QIODevice::OpenMode openModeFor(int type)
{
    if (type == ExportToFileThread::TYPE_TXT)
        return QIODevice::WriteOnly | QIODevice::Text;
    return QIODevice::WriteOnly;
}

void writeAll(SafeFileWriter& out, const QByteArray& bytes)
{
    if (!out.write(bytes))
        throw Error(out.errorString());
}

} // namespace

ExportToFileThread::ExportToFileThread(const QList<pim::_Contact>& contacts, TYPE type,
                                       QString path, IWorkerReporter* form, QObject* parent)
    : QThread(parent), contacts(contacts), type(type), path(std::move(path)), form(form)
{
}

ExportToFileThread::~ExportToFileThread() = default;

void ExportToFileThread::run()
{
    Q_ASSERT(form);
    if (type < TYPE_VCARD || type > TYPE_HTML) {
        qCWarning(lcExport) << "export of unknown file type" << int(type);
        form->invokeErrorOccurred(QString());
        return;
    }
    try {
        exportTo(path);
    } catch (const WorkerCancelled&) {
        // The writer has removed what was written.
    } catch (const std::exception& e) {
        form->invokeErrorOccurred(g_messageText(QString::fromUtf8(e.what())));
    } catch (...) {
        form->invokeErrorOccurred(tr("Unknown error while exporting contacts."));
    }
}

void ExportToFileThread::exportTo(const QString& chosenPath)
{
    std::unique_ptr<AbsExport> writer = createExportWriter(type, chosenPath);
    if (!writer)
        throw Error(tr("Contacts cannot be exported to this file type."));

    QString filePath = chosenPath;
    if (type == TYPE_HTML) {
        // The page goes into a new folder that bears the chosen name, so its
        // pictures can sit beside it.
        QDir().mkpath(chosenPath);
        filePath = QDir(chosenPath).absoluteFilePath(QFileInfo(chosenPath).fileName());
        path = filePath;
    }

    // A cancel or failure drops the writer, which removes what was written
    // and leaves a file being replaced as it was.
    SafeFileWriter out(filePath);
    if (!out.open(openModeFor(type)))
        throw Error(out.errorString());

    const QByteArray head = writer->initialize(contacts);
    if (!head.isEmpty())
        writeAll(out, head);

    const int n = int(contacts.size());
    int k = 0;
    ContactProgress progress(form, tr("IDS_EXPORTING_CONTACTS_TO_FILE"), n);
    for (const pim::_Contact& contact : std::as_const(contacts)) {
        if (form->isCancelled())
            throw WorkerCancelled();
        ++k;
        progress.step(k);
        writeAll(out, writer->ct2Bytes(contact));
    }

    const QByteArray tail = writer->uninitialize();
    if (!tail.isEmpty())
        writeAll(out, tail);
    if (!out.commit())
        throw Error(out.errorString());

    form->invokeSucceed(tr("IDS_SUC_EXPORT_%1_CONTACTS_TO_FILE").arg(k));
}
