// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/export/exporttofilethread.h"

#include "kit/contactprogress.h"
#include "fileformats/export/exportwriterfactory.h"
#include "fileformats/fileformatslog.h"
#include "fileformats/workercancelled_p.h"
#include "kit/workerreporter.h"
#include "kit/messagetext.h"
#include "model/contactpages.h"
#include "platform/error.h"
#include "platform/files/safefilewriter.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <memory>
#include <thread>

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

// Gathers the contacts' bytes into chunks for the file: the writer is
// unbuffered, and a system call per contact cost a fifth of the writing.
class ChunkedWrites {
public:
    explicit ChunkedWrites(SafeFileWriter& out)
        : m_out(out)
    {
        m_chunk.reserve(kChunk);
    }

    void append(const QByteArray& bytes)
    {
        m_chunk.append(bytes);
        if (m_chunk.size() >= kChunk)
            flush();
    }

    void flush()
    {
        if (m_chunk.isEmpty())
            return;
        writeAll(m_out, m_chunk);
        // Keeps the room for the next chunk.
        m_chunk.resize(0);
    }

private:
    static constexpr qsizetype kChunk = 256 * 1024;
    SafeFileWriter& m_out;
    QByteArray m_chunk;
};

} // namespace

ExportToFileThread::ExportToFileThread(const QList<pim::_Contact>& contacts, TYPE type,
                                       QString path, IWorkerReporter* form, QObject* parent)
    : ExportToFileThread(std::make_shared<ContactListPages>(contacts), type, std::move(path), form, parent)
{
}

ExportToFileThread::ExportToFileThread(std::shared_ptr<ContactPages> pages, TYPE type, QString path,
                                       IWorkerReporter* form, QObject* parent)
    : QThread(parent), pages(std::move(pages)), type(type), path(std::move(path)), form(form)
{
    Q_ASSERT(this->pages);
}

ExportToFileThread::~ExportToFileThread() = default;

QString ExportToFileThread::nothingToExport()
{
    return tr("There are no contacts to export. No file was written.");
}

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

void ExportToFileThread::exportTo(QString chosenPath)
{
    // The next page is read while this one is written.
    ReadAheadPages ahead(*pages);
    const qsizetype n = ahead.count();
    if (n == 0) {
        // No file (nor the page's folder) for nothing: an empty file would
        // look like an export that lost everything.
        form->invokeSucceed(nothingToExport());
        return;
    }
    QString filePath = chosenPath;
    if (type == TYPE_HTML) {
        // The page goes into a new folder that bears the chosen name, so its
        // pictures can sit beside it. Made before the writer, which puts its
        // pictures' folder inside: a folder that cannot be made is named
        // with the system's reason here, not as a page that is missing.
        const QString why = createFolderReason(chosenPath);
        if (!why.isEmpty())
            throw Error(why);
        filePath = QDir(chosenPath).absoluteFilePath(QFileInfo(chosenPath).fileName());
        path = filePath;
    }
    // Shared with the reading threads, which may still run while a failure
    // unwinds this frame.
    const std::shared_ptr<AbsExport> writer = createExportWriter(type, chosenPath);
    if (!writer)
        throw Error(tr("Contacts cannot be exported to this file type."));

    // A cancel or failure drops the writer, which removes what was written
    // and leaves a file being replaced as it was.
    SafeFileWriter out(filePath);
    if (!out.open(openModeFor(type)))
        throw Error(out.errorString());

    QList<pim::_Contact> page;
    if (writer->scansEveryContact()) {
        // The head needs every contact: one walk for it, one for the lines.
        ahead.rewind();
        while (ahead.nextPage(page)) {
            for (const pim::_Contact& contact : std::as_const(page)) {
                if (form->isCancelled())
                    throw WorkerCancelled();
                writer->scan(contact);
            }
        }
    }
    ChunkedWrites chunks(out);
    chunks.append(writer->initialize({}));

    int k = 0;
    ContactProgress progress(form, tr("IDS_EXPORTING_CONTACTS_TO_FILE"), int(n));
    // Making the bytes costs more than reading the contacts: where they
    // depend on the contact alone (and the head fixed above), the reading
    // threads make them too.
    const bool madeAhead = writer->bytesOfContactAlone();
    if (madeAhead) {
        // The lanes then do all the work: as many as the processor has room
        // for beside this thread and the window's. Six made 80,000 cards in
        // two thirds of the time three took; more left too little to others.
        const int lanes = std::clamp(int(std::thread::hardware_concurrency()) - 2, 3, 6);
        ahead.setPageWork(
            [writer](const QList<pim::_Contact>& contacts) {
                QByteArray bytes;
                for (const pim::_Contact& contact : contacts)
                    bytes += writer->ct2Bytes(contact);
                return bytes;
            },
            lanes);
    }
    ahead.rewind();
    QByteArray made;
    while (ahead.nextPage(page, made)) {
        for (const pim::_Contact& contact : std::as_const(page)) {
            if (form->isCancelled())
                throw WorkerCancelled();
            ++k;
            progress.step(k);
            if (!madeAhead)
                chunks.append(writer->ct2Bytes(contact));
        }
        if (madeAhead)
            chunks.append(made);
    }

    chunks.append(writer->uninitialize());
    chunks.flush();
    if (!out.commit())
        throw Error(out.errorString());

    QString done = tr("IDS_SUC_EXPORT_%1_CONTACTS_TO_FILE").arg(k);
    if (type == TYPE_HTML) {
        // The page is not where the save dialog pointed: say where it is.
        done += QLatin1String("<br/>")
            + tr("The page is %1, beside the folder \"photos\" that holds its pictures.")
                  .arg(g_messageText(QDir::toNativeSeparators(filePath)));
    }
    form->invokeSucceed(done);
}
