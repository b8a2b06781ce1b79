// SPDX-License-Identifier: GPL-3.0-or-later
#include "companionsim.h"

#include "android/simpleprotocol.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpSocket>

#include <stdexcept>

QString outcomeOf(const std::function<QString()>& call)
{
    try {
        return call();
    } catch (const simpleprotocol::RemoteException& e) {
        return QStringLiteral("remote: ") + QString::fromUtf8(e.what());
    } catch (const simpleprotocol::SocketDataTransferException& e) {
        return QStringLiteral("transfer: ") + QString::fromUtf8(e.what());
    } catch (const simpleprotocol::OperationCancelled&) {
        return QStringLiteral("cancelled");
    }
}

bool matchesWildcard(const QString& text, const QString& pattern)
{
    QStringList parts = pattern.split(QLatin1Char('*'));
    for (QString& p : parts)
        p = QRegularExpression::escape(p);
    const QRegularExpression re(QRegularExpression::anchoredPattern(parts.join(QStringLiteral(".*"))),
                                QRegularExpression::DotMatchesEverythingOption);
    return re.match(text).hasMatch();
}

CompanionSim::CompanionSim(QString address) : m_address(std::move(address)) {}

CompanionSim::~CompanionSim()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel(); // the script exits at the end of its input
    if (!m_process.waitForFinished(3000))
        m_process.kill();
    m_process.waitForFinished(3000);
}

QList<quint16> CompanionSim::start(const QJsonObject& scenario, const QStringList& listens)
{
    QStringList args{ qEnvironmentVariable("MARROWLINK_SOURCE_DIR") + QStringLiteral("/tests/android/companionsim.py"),
                      QStringLiteral("--address"), m_address };
    for (const QString& l : listens)
        args << QStringLiteral("--listen") << l;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("python3"), args);
    m_process.write(QJsonDocument(scenario).toJson(QJsonDocument::Compact) + '\n');
    QList<quint16> ports;
    const QStringList words = readReply(QStringLiteral("ready")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& w : words)
        ports << quint16(w.toUInt());
    return ports;
}

QJsonObject CompanionSim::dump()
{
    m_process.write("dump\n");
    return QJsonDocument::fromJson(readReply(QStringLiteral("state")).toUtf8()).object();
}

QString CompanionSim::readReply(const QString& prefix)
{
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(10000))
            throw std::runtime_error("The simulated phone did not answer: " + m_process.errorString().toStdString());
    }
    const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
    if (!line.startsWith(prefix))
        throw std::runtime_error("The simulated phone answered: " + line.toStdString());
    return line.mid(prefix.size()).trimmed();
}

void CompanionSim::connect(QTcpSocket& socket, quint16 port) const
{
    socket.connectToHost(m_address, port);
    if (!socket.waitForConnected(5000))
        throw std::runtime_error("No connection to the simulated phone: " + socket.errorString().toStdString());
}
