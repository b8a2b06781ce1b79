// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry: what the companion app sends, over a real loopback
// connection. The first byte picks the reader: command lines as the sync
// threads read them (each "$ent:" record through the record codec and back
// out again, each "$batch:" answer through the id pairs), a stream of
// blocks, or the WiFi handshake's expected answer. The app's side writes
// the rest and hangs up, so every read ends.
#include "android/simpleprotocol.h"
#include "android/synccontactbuilder.h"
#include "android/synccontactparser.h"
#include "model/contact.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>

namespace {

constexpr int kWaitMs = 2000;

void readRecord(const QString& line)
{
    const QStringList fields = line.mid(simpleprotocol::kEnt.size()).split(QLatin1Char(','));
    int type = 0;
    qint64 contactKey = 0;
    qint64 secondKey = 0;
    if (!SyncContactBuilder::fetchIdInfo(fields.first(), &type, &contactKey, &secondKey, nullptr))
        return;
    pim::Entity entity(0, fields.first());
    SyncContactParser::fillEntityInfo(fields, type, entity);
    if (pim::isValidEntityType(type))
        SyncContactBuilder::entitySyncCmd(type, contactKey, secondKey, entity);
}

void readCommands(QTcpSocket& socket)
{
    for (;;) {
        const QString line = simpleprotocol::readCommand(socket, kWaitMs);
        if (line.startsWith(simpleprotocol::kEnt))
            readRecord(line);
        else if (line.startsWith(simpleprotocol::kBatch))
            SyncContactParser::batchReplyPairs(line);
        else if (line.startsWith(simpleprotocol::kDevice))
            SyncContactParser::fromStrBase64(line.mid(simpleprotocol::kDevice.size()));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 256 * 1024)
        return 0;
    static QTcpServer server;
    if (!server.isListening() && !server.listen(QHostAddress::LocalHost))
        std::abort();
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server.serverPort());
    if (!socket.waitForConnected(kWaitMs) || !server.waitForNewConnection(kWaitMs))
        std::abort();
    std::unique_ptr<QTcpSocket> app(server.nextPendingConnection());
    app->write(reinterpret_cast<const char*>(data) + 1, qint64(size - 1));
    while (app->bytesToWrite() > 0 && app->waitForBytesWritten(kWaitMs)) {
    }
    app->disconnectFromHost();

    try {
        switch (data[0] % 3) {
        case 0:
            readCommands(socket);
            break;
        case 1: {
            QBuffer target;
            target.open(QIODevice::WriteOnly);
            simpleprotocol::readStreamContent(socket, target, kWaitMs);
            break;
        }
        default:
            simpleprotocol::readFeedback(socket, simpleprotocol::kHello, kWaitMs);
            break;
        }
    } catch (const std::exception&) {
        // Refused or ended: every failure of a peer is an exception.
    }
    socket.abort();
    return 0;
}
