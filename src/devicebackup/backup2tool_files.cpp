// SPDX-License-Identifier: GPL-3.0-or-later
// File contents between phone and computer: the phone's download requests
// (a restore) and upload batches (a backup), carried as raw frames of a
// 4-byte big-endian length and, for file data and status, a code byte.
#include "devicebackup/backup2tool.h"

#include "devicebackup/devicebackuplog.h"
#include "platform/error.h"

#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <vector>

namespace {

const char kAttachHint[] = "Error attaching to device. Please Keep your iPhone connected and active. ";

constexpr char kCodeSuccess = 0x00;
constexpr char kCodeLocalError = 0x06;
constexpr char kCodeRemoteError = 0x0B;
constexpr char kCodeFileData = 0x0C;
// The phone's own frame size for file data going to it.
constexpr quint32 kSendChunk = 32768;
// What a transfer that moves nothing, again and again, is reported as.
constexpr int kStalled = -3;

QByteArray lengthBytes(quint32 length)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(length, bytes.data());
    return bytes;
}

QString attachFailure(const QString& detail)
{
    return QLatin1String(kAttachHint) + detail;
}

QString sizeText(quint64 size)
{
    if (size >= 1000000000000ULL)
        return QString::asprintf("%0.1f TB", double(size) / 999999995904.0);
    if (size >= 1000000000ULL)
        return QString::asprintf("%0.1f GB", double(size) / 1000000000.0);
    if (size >= 1000000ULL)
        return QString::asprintf("%0.1f MB", double(size) / 1000000.0);
    if (size >= 1000ULL)
        return QString::asprintf("%0.1f KB", double(size) / 1000.0);
    return QString::asprintf("%d Bytes", int(size));
}

// Sends every byte; 0 or the transfer's failing result.
int sendAll(Backup2Transport& link, const char* data, quint32 length)
{
    int idle = 0;
    for (quint32 sent = 0; sent < length;) {
        quint32 done = 0;
        const int r = link.sendRaw(data + sent, length - sent, done);
        if (r != 0)
            return r;
        if (done == 0 && ++idle >= backup2tool::kMaxIdleReads)
            return kStalled;
        if (done > length - sent)
            return kStalled;
        if (done > 0)
            idle = 0;
        sent += done;
    }
    return 0;
}

} // namespace

bool backup2tool::recvExact(Backup2Transport& link, char* data, quint32 length)
{
    int idle = 0;
    for (quint32 got = 0; got < length;) {
        quint32 done = 0;
        const int r = link.receiveRaw(data + got, length - got, done);
        if (r != 0) {
            qCWarning(lcDeviceBackup) << "raw receive failed:" << r;
            return false;
        }
        if (done > length - got)
            return false;
        if (done == 0) {
            // A phone that has gone keeps answering with nothing.
            if (++idle >= kMaxIdleReads) {
                qCWarning(lcDeviceBackup) << "raw receive delivered nothing" << idle << "times";
                return false;
            }
            continue;
        }
        idle = 0;
        got += done;
    }
    return true;
}

void backup2tool::drainThrow(Backup2Transport& link, quint32 length)
{
    std::vector<char> chunk(std::min(length, kMaxChunk));
    while (length > 0) {
        const quint32 n = std::min(length, kMaxChunk);
        if (!recvExact(link, chunk.data(), n))
            throw Error(attachFailure(QStringLiteral("backup2tool::recvFileThrow: recv null data.")));
        length -= n;
    }
}

void backup2tool::sendFilesThrow(Backup2Transport& link, PlistCFType message)
{
    const PlistCFType paths = message.at(1);
    PlistCFType multiStatus;
    for (quint32 i = 0; i < paths.array_size(); ++i) {
        if (isCancel())
            return;
        const QString path = paths.at(int(i)).CFStringQString();
        if (path.isEmpty())
            continue;
        emitUpdate(tr("Sending %1 to device...").arg(QFileInfo(path).fileName()));
        sendFileThrow(link, path, multiStatus);
    }
    // A cancel inside the last file leaves it unfinished; a terminator now
    // would tell the phone the batch was whole.
    if (isCancel())
        return;
    const QByteArray terminator(4, '\0');
    sendAll(link, terminator.constData(), 4);
    if (!multiStatus.ref())
        link.sendStatusResponse(0, QString(), PlistCFType::createCFDictionary());
    else
        link.sendStatusResponse(-13, QStringLiteral("Multi status"), multiStatus);
}

void backup2tool::sendFileThrow(Backup2Transport& link, QString path, PlistCFType& multiStatus)
{
    const QByteArray name = path.toUtf8();
    const QByteArray nameFrame = lengthBytes(quint32(name.size())) + name;
    int r = sendAll(link, nameFrame.constData(), quint32(nameFrame.size()));
    if (r != 0)
        throw Error(attachFailure(
            QStringLiteral("backup2tool::sendFileThrow: send path(%1) failed. return %2.").arg(path).arg(r)));

    const QString local = resolveDevicePath(m_root, path);
    const QFileInfo info(local);
    if (local.isEmpty() || !info.isFile()) {
        // Reported to the phone; the batch goes on with the next path.
        QString errorText;
        if (local.isEmpty()) {
            errorText = QStringLiteral("invalid path");
            m_lastErrorDetail = QStringLiteral("%1: invalid path.").arg(QFileInfo(path).fileName());
        } else {
            m_lastErrorDetail = QStringLiteral("%1 not exists.").arg(info.fileName());
        }
        if (!multiStatus.ref())
            multiStatus = PlistCFType::createCFDictionary();
        PlistCFType entry = PlistCFType::createCFDictionary();
        entry.put(QStringLiteral("DLFileErrorString"), PlistCFType::createCFString(errorText));
        entry.put(QStringLiteral("DLFileErrorCode"), PlistCFType::createCFNumberInt32(-6));
        multiStatus.put(path, entry);
        const QByteArray text = errorText.toUtf8();
        const QByteArray frame = lengthBytes(quint32(text.size() + 1)) + kCodeLocalError + text;
        r = sendAll(link, frame.constData(), quint32(frame.size()));
        if (r != 0)
            throw Error(attachFailure(
                QStringLiteral("backup2tool::sendFileThrow: send error string failed. return %1.").arg(r)));
        return;
    }

    if (info.size() > 0) {
        QFile file(local);
        if (!file.open(QIODevice::ReadOnly))
            throw Error(QStringLiteral("backup2tool::sendFileThrow: can not open %1. %2")
                            .arg(info.fileName(), file.errorString()));
        // The code byte sits in front of the data so each frame goes out of
        // one buffer.
        std::vector<char> buffer(kSendChunk + 1);
        buffer[0] = kCodeFileData;
        while (!file.atEnd()) {
            if (isCancel())
                return;
            const qint64 n = file.read(buffer.data() + 1, kSendChunk);
            if (n <= 0)
                throw Error(QStringLiteral("backup2tool::sendFileThrow: can not read %1. %2")
                                .arg(info.fileName(), file.errorString()));
            const QByteArray header = lengthBytes(quint32(n + 1));
            r = sendAll(link, header.constData(), 4);
            if (r == 0)
                r = sendAll(link, buffer.data(), quint32(n + 1));
            if (r != 0)
                throw Error(attachFailure(
                    QStringLiteral("backup2tool::sendFileThrow: send buf failed. return %1.").arg(r)));
        }
    }
    const char success[] = { 0, 0, 0, 1, kCodeSuccess };
    r = sendAll(link, success, 5);
    if (r != 0)
        throw Error(attachFailure(
            QStringLiteral("backup2tool::sendFileThrow: send status failed. return %1.").arg(r)));
}

void backup2tool::recvFilesThrow(Backup2Transport& link, PlistCFType message)
{
    QString errorText;
    const quint64 total = quint64(message.at(3).CFNumberInt64(0));
    emitUpdate(tr("Receiving files (size: %1)...").arg(sizeText(total)));
    for (;;) {
        const QString deviceName = recvFileNameThrow(link);
        if (deviceName.isEmpty())
            break;
        const QString fileName = recvFileNameThrow(link);
        if (fileName.isEmpty())
            break;
        m_hook->recvFileBegin(m_root, m_udid, fileName, deviceName);
        recvFileThrow(link, deviceName, fileName, errorText);
    }
    const int r = link.sendStatusResponse(0, errorText, PlistCFType::createCFDictionary());
    if (r != 0)
        throw Error(attachFailure(
            QStringLiteral("backup2tool::recvFilesThrow, Could not send status response, error %1").arg(r)));
}

QString backup2tool::recvFileNameThrow(Backup2Transport& link)
{
    const QString readFailure
        = attachFailure(QStringLiteral("backup2tool::recvFileNamesThrow: could not read filename."));
    char header[4];
    if (!recvExact(link, header, 4))
        throw Error(readFailure);
    const quint32 length = qFromBigEndian<quint32>(header);
    if (length == 0)
        return QString();
    if (length > kMaxNameLength)
        throw Error(
            QStringLiteral("backup2tool::recvFileNamesThrow: too large filename length (%1)!").arg(length));
    QByteArray name(int(length), '\0');
    if (!recvExact(link, name.data(), length))
        throw Error(readFailure);
    return QString::fromUtf8(name);
}

int backup2tool::recvFileThrow(
    Backup2Transport& link, QString deviceName, QString fileName, QString& errorText)
{
    Q_UNUSED(deviceName);
    const QString localPath = m_root.absoluteFilePath(fileName);
    QFile file(localPath);
    int state = m_hook->recvFileOpenWrite(m_root, fileName, file, errorText);
    const QString nullData = attachFailure(QStringLiteral("backup2tool::recvFileThrow: recv null data."));

    unsigned long long count = 0;
    std::vector<char> chunk;
    for (;;) {
        char header[5];
        if (!recvExact(link, header, 4))
            throw Error(nullData);
        const quint32 length = qFromBigEndian<quint32>(header);
        if (length == 0 || !recvExact(link, header + 4, 1))
            throw Error(nullData);
        quint32 left = length - 1;
        const char code = header[4];
        if (code == kCodeSuccess) {
            drainThrow(link, left);
            break;
        }
        if (code == kCodeRemoteError) {
            QByteArray text(int(std::min(left, kMaxNameLength)), '\0');
            if (!recvExact(link, text.data(), quint32(text.size())))
                throw Error(nullData);
            errorText = QString::fromUtf8(text);
            throw Error(
                QStringLiteral("Please restart your iPhone to try again. backup2tool::recvFileThrow: remote "
                               "error. %1")
                    .arg(errorText));
        }
        if (code != kCodeFileData)
            throw Error(QStringLiteral("backup2tool::recvFileThrow: invalid code %1.").arg(int(qint8(code))));
        // File data is streamed through one bounded buffer: the phone's
        // length is never an allocation size.
        while (left > 0) {
            const quint32 n = std::min(left, kMaxChunk);
            if (chunk.size() < n)
                chunk.resize(n);
            if (!recvExact(link, chunk.data(), n))
                throw Error(nullData);
            if (file.isOpen() && state == 0 && file.write(chunk.data(), n) != qint64(n)) {
                state
                    = file.error() != QFileDevice::NoError ? int(file.error()) : int(QFileDevice::WriteError);
                errorText = file.errorString();
            }
            count += n;
            left -= n;
        }
    }
    // Buffered data can still fail to reach the disk.
    if (file.isOpen() && state == 0 && !file.flush()) {
        state = file.error() != QFileDevice::NoError ? int(file.error()) : int(QFileDevice::WriteError);
        errorText = file.errorString();
    }
    m_hook->recvFileEnd(m_root, fileName, count);
    if (state != 0)
        throw Error(
            QStringLiteral("backup2tool::recvFileThrow: Write %1 failed. %2").arg(localPath, errorText));
    return 0;
}
