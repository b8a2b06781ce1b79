// SPDX-License-Identifier: GPL-3.0-or-later
// The run of backup2tool: set-up, the message loop with its dispatch, and
// the one message a failed run ends with. The handlers of the single
// messages live in backup2tool_files.cpp and backup2tool_folders.cpp.
#include "devicebackup/backup2tool.h"

#include "devicebackup/devicebackuplog.h"
#include "platform/error.h"

#include <QMutexLocker>

namespace {

// A page of the phone maker's support site that explains turning the
// phone's locator off, which a restore needs.
const char kFindMyHelpPage[] = "https://support.apple.com/en-us/HT210400";

const char kRestartHint[] = " Please restart your iPhone to try again.";

// Releases the run's handles on every way out of it, thrown or returned.
struct TransportCloser {
    Backup2Transport& link;
    ~TransportCloser() { link.close(); }
};

PlistCFType restoreOptions(const _backup2tool_req& req)
{
    PlistCFType options = PlistCFType::createCFDictionary();
    options.put(QStringLiteral("RestoreSystemFiles"), PlistCFType::createCFBoolean(req.restoreSystemFiles));
    options.put(
        QStringLiteral("RestorePreserveSettings"), PlistCFType::createCFBoolean(req.restorePreserveSettings));
    if (!req.sparseRestoreOptions) {
        options.put(
            QStringLiteral("RestoreShouldReboot"), PlistCFType::createCFBoolean(req.restoreShouldReboot));
        options.put(
            QStringLiteral("RestoreDontCopyBackup"), PlistCFType::createCFBoolean(req.restoreDontCopyBackup));
        options.put(QStringLiteral("RemoveItemsNotRestored"),
            PlistCFType::createCFBoolean(req.removeItemsNotRestored));
    } else {
        // The phone's defaults need not be sent; only departures from them.
        if (!req.restoreShouldReboot)
            options.put(QStringLiteral("RestoreShouldReboot"), PlistCFType::createCFBoolean(false));
        if (req.restoreDontCopyBackup)
            options.put(QStringLiteral("RestoreDontCopyBackup"), PlistCFType::createCFBoolean(true));
        if (req.removeItemsNotRestored)
            options.put(QStringLiteral("RemoveItemsNotRestored"), PlistCFType::createCFBoolean(true));
    }
    if (!req.password.isEmpty())
        options.put(QStringLiteral("Password"), PlistCFType::createCFString(req.password));
    return options;
}

void sendRequestThrow(Backup2Transport& link, const _backup2tool_req& req, const QString& udid)
{
    if (req.op == OP_RESTORE) {
        const int r = link.sendRequest(QStringLiteral("Restore"), udid, restoreOptions(req));
        if (r == -7)
            throw Error(
                QStringLiteral("ERROR: Could not start restore process: device refused to start the restore "
                               "process.")
                + QLatin1String(kRestartHint));
        if (r == -6)
            throw Error(
                QStringLiteral("ERROR: Could not start restore process: backup protocol version mismatch!"));
        if (r != 0)
            throw Error(QStringLiteral("ERROR: Could not start restore process: unspecified error occurred.")
                + QLatin1String(kRestartHint));
        return;
    }
    if (req.op == OP_BACKUP) {
        const int r = link.sendRequest(QStringLiteral("Backup"), udid, PlistCFType());
        if (r == -7)
            throw Error(
                QStringLiteral("Please restart your iPhone to try again. ERROR: Could not start backup "
                               "process: device refused to start the backup process."));
        if (r == -6)
            throw Error(
                QStringLiteral("ERROR: Could not start backup process: backup protocol version mismatch!"));
        if (r != 0)
            throw Error(
                QStringLiteral("Please restart your iPhone to try again. ERROR: Could not start backup "
                               "process: unspecified error occurred"));
        return;
    }
    throw Error(QStringLiteral("backup2tool: invalid op."));
}

// The element of a message that carries the phone's overall progress.
int progressIndex(const QString& name)
{
    static const QStringList atThree = {
        QStringLiteral("DLMessageDownloadFiles"),
        QStringLiteral("DLMessageMoveFiles"),
        QStringLiteral("DLMessageMoveItems"),
        QStringLiteral("DLMessageRemoveFiles"),
        QStringLiteral("DLMessageRemoveItems"),
    };
    if (atThree.contains(name))
        return 3;
    return name == QLatin1String("DLMessageUploadFiles") ? 2 : -1;
}

} // namespace

backup2tool::backup2tool(QString udid, QDir root, QSharedPointer<Backup2ToolHook> hook, QObject* parent)
    : QObject(parent)
    , m_udid(udid)
    , m_root(root)
    , m_deviceDir(root.absoluteFilePath(udid))
    , m_hook(hook ? hook : QSharedPointer<Backup2ToolHook>(new Backup2ToolHook))
{
}

backup2tool::~backup2tool() = default;

void backup2tool::setTransportFactory(Backup2TransportFactory factory)
{
    m_transportFactory = std::move(factory);
}

void backup2tool::cancel()
{
    setCancel();
}

void backup2tool::setCancel()
{
    QMutexLocker lock(&m_mutex);
    m_cancel = true;
}

bool backup2tool::isCancel()
{
    QMutexLocker lock(&m_mutex);
    return m_cancel;
}

QString backup2tool::status2() const
{
    QMutexLocker lock(&m_mutex);
    return m_status2;
}

void backup2tool::emitUpdate(const QString& text)
{
    {
        QMutexLocker lock(&m_mutex);
        m_status2 = text;
    }
    emit update(m_progress, QString(), text);
}

int backup2tool::innerRunThrow(_backup2tool_req req, QString& errorText)
{
    {
        QMutexLocker lock(&m_mutex);
        m_cancel = false;
    }
    m_progress = 0.0;
    // A note of an earlier run would otherwise be pinned to this run's result.
    m_lastErrorDetail.clear();

    m_hook->beginThrow(m_root, m_udid);

    std::unique_ptr<Backup2Transport> owned
        = m_transportFactory ? m_transportFactory() : std::make_unique<Mobilebackup2Transport>();
    if (!owned)
        throw Error(QStringLiteral("backup2tool: No device found. Please restart your iPhone to try again."));
    Backup2Transport& link = *owned;
    TransportCloser closer { link };

    if (link.openDevice(m_udid) != 0)
        throw Error(QStringLiteral("backup2tool: No device found. Please restart your iPhone to try again."));
    int r = link.openLockdown();
    if (r != 0)
        throw Error(QStringLiteral("backup2tool: open device failed, return %1.").arg(r)
            + QLatin1String(kRestartHint));
    if (req.op == OP_BACKUP && !m_deviceDir.exists())
        m_deviceDir.mkpath(m_deviceDir.absolutePath());
    if (link.startService() != 0)
        throw Error(QStringLiteral("backup2tool: start service com.apple.mobilebackup2 failed.")
            + QLatin1String(kRestartHint));
    r = link.exchangeVersion();
    if (r != 0)
        throw Error(
            QStringLiteral("Could not perform backup protocol version exchange, error code %1").arg(r));
    sendRequestThrow(link, req, m_udid);
    return messageLoopThrow(link, errorText);
}

int backup2tool::messageLoopThrow(Backup2Transport& link, QString& errorText)
{
    for (;;) {
        if (isCancel()) {
            qCInfo(lcDeviceBackup) << "run cancelled";
            return 0;
        }
        emitUpdate(tr("This may take a few minutes. Please wait..."));
        PlistCFType message;
        QString name;
        const int r = link.receiveMessage(message, name);
        if (r == -5)
            continue;
        if (r != 0)
            throw Error(QStringLiteral("ERROR: Could not receive from mobilebackup2 (%1).").arg(r)
                + QLatin1String(kRestartHint));

        const int at = progressIndex(name);
        if (at >= 0) {
            const double pg = message.at(at).CFNumberDouble(0.0);
            if (pg > 0)
                m_progress = pg;
        }

        int code = 0;
        if (!m_hook->onHandleMsgContinue(m_root, m_udid, message, code, errorText))
            return code;

        if (name == QLatin1String("DLMessageDownloadFiles")) {
            sendFilesThrow(link, message);
        } else if (name == QLatin1String("DLMessageUploadFiles")) {
            recvFilesThrow(link, message);
        } else if (name == QLatin1String("DLMessageGetFreeDiskSpace")) {
            sendFreeDiskSpace(link);
        } else if (name == QLatin1String("DLContentsOfDirectory")) {
            sendDirContentsThrow(link, message);
        } else if (name == QLatin1String("DLMessageCreateDirectory")) {
            createDirectory(link, message);
        } else if (name == QLatin1String("DLMessageMoveFiles")
            || name == QLatin1String("DLMessageMoveItems")) {
            moveFilesThrow(link, message);
        } else if (name == QLatin1String("DLMessageRemoveFiles")
            || name == QLatin1String("DLMessageRemoveItems")) {
            removeFilesThrow(link, message);
        } else if (name == QLatin1String("DLMessageCopyItem")) {
            copyItemThrow(link, message);
        } else if (name == QLatin1String("DLMessageDisconnect")) {
            return 0;
        } else if (name == QLatin1String("DLMessageProcessMessage")) {
            return deviceResult(message, errorText);
        } else if (name == QLatin1String("DLMessagePurgeDiskSpace")) {
            errorText = QStringLiteral("Error: DLMessagePurgeDiskSpace(Insufficient free disk space).");
            return -36;
        } else {
            throw Error(QStringLiteral("Message can not handle: %1").arg(name));
        }
    }
}

int backup2tool::deviceResult(const PlistCFType& message, QString& errorText) const
{
    const PlistCFType result = message.at(1);
    const int code = int(result.get(QStringLiteral("ErrorCode")).CFNumberInt64(0));
    errorText = result.get(QStringLiteral("ErrorDescription")).CFStringQString();
    if (errorText.isEmpty())
        errorText = result.get(QStringLiteral("Content")).CFStringQString();
    if (!m_lastErrorDetail.isEmpty())
        errorText += QLatin1Char(' ') + m_lastErrorDetail;
    return code;
}

void backup2tool::runThrow(_backup2tool_req req)
{
    QString errorText;
    int code = innerRunThrow(req, errorText);
    if (code == 0)
        return;
    errorText = errorText.trimmed();
    qCWarning(lcDeviceBackup) << "run ended with" << code << errorText;
    // The phone's own words go into a rich-text message below.
    errorText = errorText.toHtmlEscaped();
    if (!errorText.isEmpty()) {
        if (errorText.contains(QLatin1String("Find My iPhone must be disabled"), Qt::CaseInsensitive)) {
            code = -37;
        } else if (errorText.contains(QLatin1String("could not send"), Qt::CaseInsensitive)
            || errorText.contains(QLatin1String("could only send"), Qt::CaseInsensitive)
            || errorText.contains(QLatin1String("Could not receive"), Qt::CaseInsensitive)) {
            code = -10;
        } else if (errorText.contains(QLatin1String("Insufficient free"), Qt::CaseInsensitive)
            || code == 100) {
            code = -36;
        } else if (errorText.contains(
                       QLatin1String("Failed to move the incomplete restore directory into place at path"),
                       Qt::CaseInsensitive)) {
            errorText = tr("Please restart your iPhone first.") + QLatin1String("<br/><br/>") + errorText;
        }
    }

    QString message = QStringLiteral("error code:%1. ").arg(code);
    if (code == -37) {
        message += tr(
            "Please follow <a href=\"%1\">this tutorial</a> to disable \"Find my iPhone\" first and then "
            "restart your iPhone to try again.")
                       .arg(QLatin1String(kFindMyHelpPage));
    } else if (code == -36) {
        message += req.op == OP_RESTORE ? tr("Insufficient free disk space on device to back up. Not enough "
                                             "free disk space on your Device.")
                                        : tr("Insufficient free disk space on drive to back up. Not enough "
                                             "free disk space on your computer.");
    } else if (code == -10) {
        message += tr("Error attaching to device. Please Keep your iPhone connected and active.");
    } else if (errorText.isEmpty()) {
        message += tr("Please restart your iPhone to try again.");
    }
    if (!errorText.isEmpty())
        message += QLatin1String("<br/><br/>") + errorText;
    throw Error(message);
}
