// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/adb/adbservices.h"

#include "platform/adb/adblog_p.h"
#include "platform/adb/adbsession_p.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QThreadPool>
#include <QtEndian>

Q_LOGGING_CATEGORY(lcAdb, "app.adb")

namespace {

QMutex g_settingsMutex;
AdbSettings g_settings;

constexpr int kSyncChunk = 64 * 1024;
constexpr qint64 kMaxApkSize = 1024LL * 1024 * 1024;

QByteArray syncRequest(const char id[4], const QByteArray& body)
{
    QByteArray out(id, 4);
    uchar length[4];
    qToLittleEndian<quint32>(static_cast<quint32>(body.size()), length);
    out.append(reinterpret_cast<const char*>(length), 4);
    return out + body;
}

void setResult(bool* ok, QString* error, int* code, const AdbError* failure)
{
    if (ok)
        *ok = failure == nullptr;
    if (error)
        *error = failure ? failure->text() : QString();
    if (code)
        *code = static_cast<int>(failure ? failure->code() : AdbErrorCode::None);
}

std::shared_ptr<AdbSession> sessionOf(const PAdbUSBHandle& handle)
{
    if (!handle)
        throw AdbError(AdbErrorCode::Local, QStringLiteral("No phone was given."));
    return handle->session();
}

// Reads one sync-protocol reply: "OKAY" + 0, or "FAIL" + length + text.
void readSyncStatus(AdbSession& session, const AdbSession::StreamPtr& stream, const QString& remote)
{
    QByteArray reply;
    bool ended = false;
    while (reply.size() < 8 && !ended)
        reply += session.read(stream, session.ioTimeoutMs(), &ended);
    if (reply.startsWith("OKAY"))
        return;
    if (reply.startsWith("FAIL") && reply.size() >= 8) {
        const quint32 length = qMin<quint32>(qFromLittleEndian<quint32>(reply.constData() + 4), 4096);
        while (reply.size() < static_cast<int>(8 + length) && !ended)
            reply += session.read(stream, session.ioTimeoutMs(), &ended);
        throw AdbError(AdbErrorCode::Failed, QStringLiteral("The phone could not store %1: %2")
                                                 .arg(remote, QString::fromUtf8(reply.mid(8, static_cast<int>(length)))));
    }
    throw AdbError(AdbErrorCode::Protocol,
                   QStringLiteral("The phone %1 gave no answer to the upload of %2.").arg(session.deviceId(), remote));
}

void push(AdbSession& session, QFile& file, const QString& remote)
{
    AdbSession::StreamPtr stream = session.open(QStringLiteral("sync:"));
    try {
        // Mode 0644 as decimal text, the form the sync service expects.
        session.write(stream, syncRequest("SEND", remote.toUtf8() + ",33188"));
        for (;;) {
            const QByteArray chunk = file.read(kSyncChunk);
            if (chunk.isEmpty())
                break;
            session.write(stream, syncRequest("DATA", chunk));
        }
        if (file.error() != QFileDevice::NoError)
            throw AdbError(AdbErrorCode::Local, QStringLiteral("Cannot read %1: %2").arg(file.fileName(), file.errorString()));
        QByteArray done("DONE");
        uchar mtime[4];
        qToLittleEndian<quint32>(static_cast<quint32>(QDateTime::currentSecsSinceEpoch()), mtime);
        session.write(stream, done + QByteArray(reinterpret_cast<const char*>(mtime), 4));
        readSyncStatus(session, stream, remote);
        session.write(stream, syncRequest("QUIT", QByteArray()));
    } catch (...) {
        session.closeStream(stream);
        throw;
    }
    session.closeStream(stream);
}

QByteArray shellOrThrow(const PAdbUSBHandle& handle, const QString& command)
{
    bool ok = false;
    QString why;
    int code = 0;
    const QByteArray out = adbShell(handle, command, &ok, &why, &code);
    if (!ok)
        throw AdbError(static_cast<AdbErrorCode>(code), why);
    return out;
}

}  // namespace

void adbSetSettings(const AdbSettings& settings)
{
    QMutexLocker lock(&g_settingsMutex);
    g_settings = settings;
}

AdbSettings adbSettings()
{
    QMutexLocker lock(&g_settingsMutex);
    return g_settings;
}

QThreadPool* adbThreadPool()
{
    // Never deleted: a pool destroyed at exit would wait for readers whose
    // handles the program still holds.
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        // Readers and pumps block for the life of a link; they must never queue.
        p->setMaxThreadCount(512);
        return p;
    }();
    return pool;
}

QString adbShellQuote(const QString& argument)
{
    QString quoted = argument;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QByteArray adbShell(PAdbUSBHandle handle, QString command, bool* ok, QString* error, int* code)
{
    std::shared_ptr<AdbSession> session;
    AdbSession::StreamPtr stream;
    QByteArray out;
    try {
        session = sessionOf(handle);
        stream = session->open(QStringLiteral("shell:") + command);
        const int limit = adbSettings().maxShellOutput;
        // Every wait is bounded: a phone that goes quiet fails the call.
        for (bool ended = false; !ended;) {
            out += session->read(stream, session->ioTimeoutMs(), &ended);
            if (out.size() > limit)
                throw AdbError(AdbErrorCode::Failed, QStringLiteral("The phone %1 sent more than %2 bytes of output.")
                                                         .arg(session->deviceId()).arg(limit));
        }
        session->closeStream(stream);
        setResult(ok, error, code, nullptr);
    } catch (const AdbError& e) {
        if (stream)
            session->closeStream(stream);
        qCInfo(lcAdb) << "shell" << command << "failed:" << e.text();
        setResult(ok, error, code, &e);
    }
    return out;
}

bool adbInstallLegacy(PAdbUSBHandle handle, QString apkPath, QString options, QString* error)
{
    static const QRegularExpression dashOptions(QStringLiteral("^(\\s*-[A-Za-z]+)*\\s*$"));
    QString remote;
    try {
        if (!dashOptions.match(options).hasMatch())
            throw AdbError(AdbErrorCode::Local, QStringLiteral("Unsupported install options \"%1\".").arg(options));
        QFile file(apkPath);
        if (!file.open(QIODevice::ReadOnly))
            throw AdbError(AdbErrorCode::Local, QStringLiteral("Cannot open %1: %2").arg(apkPath, file.errorString()));
        if (file.size() > kMaxApkSize)
            throw AdbError(AdbErrorCode::Local, QStringLiteral("%1 is too large to install.").arg(apkPath));
        QString name = QFileInfo(apkPath).fileName();
        name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
        remote = QStringLiteral("/data/local/tmp/") + name;
        push(*sessionOf(handle), file, remote);
        const QString command = QStringLiteral("pm install %1 %2").arg(options.simplified(), adbShellQuote(remote));
        const QString output = QString::fromUtf8(shellOrThrow(handle, command.simplified()));
        shellOrThrow(handle, QStringLiteral("rm -f ") + adbShellQuote(remote));
        if (!output.contains(QLatin1String("Success"))) {
            const QString failure = output.trimmed().section(QLatin1Char('\n'), -1).trimmed();
            throw AdbError(AdbErrorCode::Failed,
                           QStringLiteral("The phone did not install %1: %2")
                               .arg(QFileInfo(apkPath).fileName(), failure.isEmpty() ? QStringLiteral("no answer") : failure));
        }
        if (error)
            error->clear();
        return true;
    } catch (const AdbError& e) {
        qCInfo(lcAdb) << "install" << apkPath << "failed:" << e.text();
        if (error)
            *error = e.text();
        return false;
    }
}
