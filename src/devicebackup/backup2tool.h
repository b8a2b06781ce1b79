// SPDX-License-Identifier: GPL-3.0-or-later
// backup2tool: the client of an iPhone's backup service. One call of
// runThrow() runs one whole backup or restore on the calling thread: the
// phone leads, sending one message at a time, and each is answered before
// the next is read. Every file operation goes through the hook, with paths
// relative to the backup root; the client reads only the files a restore
// sends, and only through checked paths.
//
// Failures: runThrow() throws std::runtime_error (our Error) with UTF-8 text
// that names what failed; a failure the phone or the hook reports is turned
// into one HTML message for a rich-text box. A cancel or the phone's
// disconnect ends the run normally.
//
// Threads: runThrow() blocks a worker thread; update() is emitted on it.
// cancel() and setCancel() may come from any thread.
//
// Raw data is bounded: file data moves in blocks of at most kMaxChunk
// bytes, names are at most 4096 bytes, and a peer that keeps delivering
// nothing is given up on after kMaxIdleReads empty transfers.
#pragma once

#include "devicebackup/backup2toolhook.h"
#include "devicebackup/backup2transport.h"
#include "ios/plistcftype.h"

#include <QDir>
#include <QMutex>
#include <QObject>
#include <QSharedPointer>
#include <QString>

enum backup2tool_op : int {
    OP_BACKUP = 0, // the phone sends its backup to the computer
    OP_RESTORE = 1, // the computer sends a backup to the phone
};

struct _backup2tool_req {
    explicit _backup2tool_req(backup2tool_op op)
        : op(op)
    {
    }

    backup2tool_op op;
    // Restore: send RestoreShouldReboot, RestoreDontCopyBackup and
    // RemoveItemsNotRestored only where they differ from the phone's defaults.
    bool sparseRestoreOptions = false;
    bool restoreSystemFiles = true;
    bool restoreShouldReboot = true;
    bool restoreDontCopyBackup = true;
    bool restorePreserveSettings = true;
    bool removeItemsNotRestored = false;
    QString password; // sent only when not empty
};

class backup2tool : public QObject {
    Q_OBJECT
public:
    static constexpr quint32 kMaxChunk = 64 * 1024;
    static constexpr quint32 kMaxNameLength = 4096;
    static constexpr int kMaxIdleReads = 100;

    // A null hook gives the default hook. Nothing is contacted here.
    backup2tool(QString udid, QDir root, QSharedPointer<Backup2ToolHook> hook, QObject* parent = nullptr);
    ~backup2tool() override;

    // Replaces the connection each run opens (the phone's backup service by default).
    void setTransportFactory(Backup2TransportFactory factory);

    // One whole run; returns after success, a disconnect or a cancel.
    void runThrow(_backup2tool_req req);
    // The run itself: 0 for success, cancel and disconnect, otherwise the
    // code with errorText. Set-up and handler failures are thrown.
    int innerRunThrow(_backup2tool_req req, QString& errorText);

    void setCancel();
    bool isCancel();
    double progress() const { return m_progress; }
    QString status1() const { return m_status1; }
    // The text of the last update(); readable from any thread.
    QString status2() const;
    // The note of the last missing file of a restore's downloads in this run.
    QString lastErrorDetail() const { return m_lastErrorDetail; }

    // Message handlers, one per kind of request of the phone.
    void sendFilesThrow(Backup2Transport& link, PlistCFType message);
    void sendFileThrow(Backup2Transport& link, QString path, PlistCFType& multiStatus);
    void recvFilesThrow(Backup2Transport& link, PlistCFType message);
    QString recvFileNameThrow(Backup2Transport& link);
    int recvFileThrow(Backup2Transport& link, QString deviceName, QString fileName, QString& errorText);
    void sendDirContentsThrow(Backup2Transport& link, PlistCFType message);
    void createDirectory(Backup2Transport& link, PlistCFType message);
    void sendFreeDiskSpace(Backup2Transport& link);
    void moveFilesThrow(Backup2Transport& link, PlistCFType message);
    void removeFilesThrow(Backup2Transport& link, PlistCFType message);
    void copyItemThrow(Backup2Transport& link, PlistCFType message);

signals:
    // status1 is always empty; status2 is the text to show.
    void update(double pg, QString status1, QString status2);

public slots:
    void cancel();

private:
    void emitUpdate(const QString& text);
    int messageLoopThrow(Backup2Transport& link, QString& errorText);
    int deviceResult(const PlistCFType& message, QString& errorText) const;
    // Every byte asked for, or false when the link fails or stalls.
    bool recvExact(Backup2Transport& link, char* data, quint32 length);
    void drainThrow(Backup2Transport& link, quint32 length);

    mutable QMutex m_mutex; // guards m_cancel and m_status2
    QString m_udid;
    QDir m_root;
    QDir m_deviceDir;
    QSharedPointer<Backup2ToolHook> m_hook;
    QString m_status1, m_status2;
    double m_progress = 0.0;
    bool m_cancel = false;
    QString m_lastErrorDetail;
    Backup2TransportFactory m_transportFactory;
};
