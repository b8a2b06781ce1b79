// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/exporttofilethread.h"

#include "kit/contactprogress.h"
#include "fileformats/exportwriterfactory.h"
#include "fileformats/fileformatslog.h"
#include "fileformats/workercancelled_p.h"
#include "kit/workerreporter.h"
#include "platform/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <memory>

namespace {

Error fileError(const QFileDevice& file)
{
    return Error(file.errorString());
}

void writeAll(QFileDevice& file, const QByteArray& bytes)
{
    if (file.write(bytes) != bytes.size())
        throw fileError(file);
}

QIODevice::OpenMode openModeFor(int type)
{
    if (type == ExportToFileThread::TYPE_TXT)
        return QIODevice::WriteOnly | QIODevice::Text;
    return QIODevice::WriteOnly;
}

// Holds the destination while it is written. A regular file (or a new one)
// is written through QSaveFile: the data goes to a temporary file beside it
// and replaces the chosen file only once everything is written, so a failed
// or cancelled export leaves no partial file and never costs the user the
// file they chose to overwrite. Anything else (a device such as /dev/full)
// is written directly and never removed or replaced.
class PartialFile {
public:
    explicit PartialFile(const QString& path)
    {
        const QFileInfo info(path);
        if (!info.exists() || info.isFile())
            m_file = std::make_unique<QSaveFile>(path);
        else
            m_file = std::make_unique<QFile>(path);
    }
    ~PartialFile() { discard(); }

    QFileDevice& file() { return *m_file; }

    void open(QIODevice::OpenMode mode)
    {
        if (!m_file->open(mode))
            throw fileError(*m_file);
    }

    // Everything must have reached the file system before success is told:
    // a full disk often shows only when the buffer is flushed or closed.
    void commit()
    {
        if (auto* save = qobject_cast<QSaveFile*>(m_file.get())) {
            if (!save->commit())
                throw fileError(*save);
            return;
        }
        if (!m_file->flush())
            throw fileError(*m_file);
        m_file->close();
        if (m_file->error() != QFileDevice::NoError)
            throw fileError(*m_file);
    }

    void discard()
    {
        if (auto* save = qobject_cast<QSaveFile*>(m_file.get())) {
            // Dropping an uncommitted QSaveFile removes its temporary file.
            save->cancelWriting();
            m_file.reset();
            return;
        }
        if (m_file && m_file->isOpen())
            m_file->close();
    }

private:
    std::unique_ptr<QFileDevice> m_file;
};

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
        // PartialFile has removed what was written.
    } catch (const std::exception& e) {
        form->invokeErrorOccurred(QString::fromUtf8(e.what()));
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

    PartialFile out(filePath);
    out.open(openModeFor(type));

    const QByteArray head = writer->initialize(contacts);
    if (!head.isEmpty())
        writeAll(out.file(), head);

    const int n = int(contacts.size());
    int k = 0;
    ContactProgress progress(form, tr("IDS_EXPORTING_CONTACTS_TO_FILE"), n);
    for (const pim::_Contact& contact : std::as_const(contacts)) {
        if (form->isCancelled())
            throw WorkerCancelled();
        ++k;
        progress.step(k);
        writeAll(out.file(), writer->ct2Bytes(contact));
    }

    const QByteArray tail = writer->uninitialize();
    if (!tail.isEmpty())
        writeAll(out.file(), tail);
    out.commit();

    form->invokeSucceed(tr("IDS_SUC_EXPORT_%1_CONTACTS_TO_FILE").arg(k));
}
