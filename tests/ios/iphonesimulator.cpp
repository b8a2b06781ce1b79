#include "iphonesimulator.h"

#include "support/timebounds.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QThread>

#include <cstring>
#include <stdexcept>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

IPhoneSimulator::IPhoneSimulator(const QJsonObject& scenario)
{
    QFile file(dir.filePath("scenario.json"));
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(scenario).toJson()) <= 0)
        throw std::runtime_error("Cannot write the simulated iPhone's scenario");
    file.close();
    const QString socket = dir.filePath("usbmuxd");
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start("python3", {IPHONESIM_SCRIPT, socket, file.fileName(), dir.filePath("log"), dir.filePath("dump")});
    if (!process.waitForReadyRead(timebound::kWaitMs) || process.readLine().trimmed() != "ready")
        throw std::runtime_error("The simulated iPhone did not start");
    qputenv("USBMUXD_SOCKET_ADDRESS", ("UNIX:" + socket).toUtf8());
    ready = true;
}

IPhoneSimulator::~IPhoneSimulator()
{
    qunsetenv("USBMUXD_SOCKET_ADDRESS");
    process.kill();
    process.waitForFinished(5000);
}

bool IPhoneSimulator::control(const QString& line)
{
    process.write(line.toUtf8() + '\n');
    for (QDeadlineTimer deadline(timebound::kWaitMs); !deadline.hasExpired(); process.waitForReadyRead(100))
        while (process.canReadLine())
            if (process.readLine().trimmed() == "done " + line.toUtf8())
                return true;
    return false;
}

QStringList IPhoneSimulator::log(const QString& channel) const
{
    QFile file(dir.filePath("log"));
    QStringList lines;
    if (file.open(QIODevice::ReadOnly))
        for (const QString& line : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts))
            if (channel.isEmpty() || line.startsWith(channel + ' '))
                lines << line;
    return lines;
}

QStringList IPhoneSimulator::messageNames(const QString& channel) const
{
    QStringList names;
    for (const QString& line : log(channel))
        names << line.section(' ', 1, 1);
    return names;
}

bool IPhoneSimulator::waitForSessionsEnded(int ms) const
{
    for (QDeadlineTimer deadline(ms);; QThread::msleep(20)) {
        const QStringList sync = messageNames("sync"), sim = messageNames("sim");
        if (sim.count("session-ended") >= sync.count("DLMessageVersionExchange"))
            return true;
        if (deadline.hasExpired())
            return false;
    }
}

QJsonObject IPhoneSimulator::phoneRecords() const
{
    QFile file(dir.filePath("dump"));
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

DeadMultiplexer::DeadMultiplexer(bool hung)
{
    const QByteArray path = dir.filePath("usbmuxd").toUtf8();
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path)
        throw std::runtime_error("The temporary folder's path is too long for a socket");
    memcpy(address.sun_path, path.constData(), size_t(path.size()));
    fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && (!hung || ::listen(fd, 8) == 0);
    if (fd >= 0 && (!hung || !bound))
        ::close(fd), fd = -1;
    if (!bound)
        throw std::runtime_error("Cannot make the dead multiplexer socket");
    qputenv("USBMUXD_SOCKET_ADDRESS", "UNIX:" + path);
}

DeadMultiplexer::~DeadMultiplexer()
{
    qunsetenv("USBMUXD_SOCKET_ADDRESS");
    if (fd >= 0)
        ::close(fd);
}
