// SPDX-License-Identifier: GPL-3.0-or-later
#include "exporttofilethread.h"

#include "exportwriterfactory.h"
#include "fileformatslog.h"
#include "workerreporter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <memory>
#include <stdexcept>

namespace {

// The user cancelled; unwinds to run() without a message.
struct ExportCancelled {};

std::runtime_error fileError(const QFile& file)
{
    return std::runtime_error(file.errorString().toUtf8().toStdString());
}

void writeAll(QFile& file, const QByteArray& bytes)
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

// Holds the destination while it is written and takes the partial file away
// again unless the export completed. Only a regular file that this export
// opened is removed: a path that could not be opened may be someone else's
// file, and a device such as /dev/full must never be unlinked.
class PartialFile {
public:
    explicit PartialFile(const QString& path) : m_file(path) {}
    ~PartialFile() { discard(); }

    QFile& file() { return m_file; }

    void open(QIODevice::OpenMode mode)
    {
        if (!m_file.open(mode))
            throw fileError(m_file);
        m_removable = QFileInfo(m_file.fileName()).isFile();
    }

    // Everything must have reached the file system before success is told:
    // a full disk often shows only when the buffer is flushed or closed.
    void commit()
    {
        if (!m_file.flush())
            throw fileError(m_file);
        m_file.close();
        if (m_file.error() != QFileDevice::NoError)
            throw fileError(m_file);
        m_removable = false;
    }

    void discard()
    {
        if (m_file.isOpen())
            m_file.close();
        if (m_removable && !m_file.remove())
            qCWarning(lcExport) << "could not remove the partial file" << m_file.fileName()
                                << m_file.errorString();
        m_removable = false;
    }

private:
    QFile m_file;
    bool m_removable = false;
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
    } catch (const ExportCancelled&) {
        // The partial file is gone already; a cancel shows nothing.
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
        throw std::runtime_error(
            tr("Contacts cannot be exported to this file type.").toUtf8().toStdString());

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
    int lastPercent = -1;
    for (const pim::_Contact& contact : std::as_const(contacts)) {
        if (form->isCancelled()) {
            out.discard();
            throw ExportCancelled();
        }
        ++k;
        reportProgress(k, n, &lastPercent);
        writeAll(out.file(), writer->ct2Bytes(contact));
    }

    const QByteArray tail = writer->uninitialize();
    if (!tail.isEmpty())
        writeAll(out.file(), tail);
    out.commit();

    form->invokeSucceed(tr("IDS_SUC_EXPORT_%1_CONTACTS_TO_FILE").arg(k));
}

// The dialog needs a report only when the bar moves: one per contact would
// flood the GUI thread's queue on a large list. The first and the last
// report always go out.
void ExportToFileThread::reportProgress(int k, int n, int* lastPercent)
{
    const int percent = int(double(k) / double(n) * 100.0);
    if (percent == *lastPercent && k != 1 && k != n)
        return;
    *lastPercent = percent;
    form->invokeUpdateProgress(tr("IDS_EXPORTING_CONTACTS_TO_FILE"), percent,
                               tr("Contacts:%1/%2").arg(k).arg(n));
}
