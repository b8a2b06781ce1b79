// SPDX-License-Identifier: GPL-3.0-or-later
#include "companionsim.h"

#include "support/timebounds.h"

#include <QFile>
#include <QJsonDocument>

#include <stdexcept>

QList<QStringList> goldenTable(const QString& name)
{
    QFile file(qEnvironmentVariable("MARROWLINK_SOURCE_DIR") + "/tests/android/data/" + name);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw std::runtime_error("Cannot read " + file.fileName().toStdString());
    QList<QStringList> rows;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith('#'))
            continue;
        QStringList columns = line.split('|');
        for (QString& column : columns)
            column = column.trimmed();
        rows << columns;
    }
    return rows;
}

CompanionSim::~CompanionSim()
{
    m_process.closeWriteChannel(); // the script ends with its input
    if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(3000))
        m_process.kill();
    m_process.waitForFinished(3000);
}

QList<quint16> CompanionSim::start(const QJsonObject& scenario, const QStringList& listens)
{
    const QString script = qEnvironmentVariable("MARROWLINK_SOURCE_DIR") + "/tests/android/companionsim.py";
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start("python3", QStringList { script, m_preferred } + listens);
    m_process.write(QJsonDocument(scenario).toJson(QJsonDocument::Compact) + '\n');
    QStringList ready = readReply("ready").split(' ', Qt::SkipEmptyParts);
    if (ready.isEmpty())
        throw std::runtime_error("The simulated phone named no address");
    m_address = ready.takeFirst();
    QList<quint16> ports;
    for (const QString& port : std::as_const(ready))
        ports << quint16(port.toUInt());
    return ports;
}

QJsonObject CompanionSim::dump(int endedConversations)
{
    m_process.write(QStringLiteral("dump %1\n").arg(endedConversations).toLatin1());
    return QJsonDocument::fromJson(readReply("state").toUtf8()).object();
}

QString CompanionSim::readReply(const char* prefix)
{
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(timebound::kWaitMs))
            throw std::runtime_error(
                "The simulated phone did not answer: " + m_process.errorString().toStdString());
    }
    const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
    if (!line.startsWith(QLatin1String(prefix)))
        throw std::runtime_error("The simulated phone answered: " + line.toStdString());
    return line.mid(int(qstrlen(prefix))).trimmed();
}
