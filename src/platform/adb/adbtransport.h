// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// The byte link to one phone: USB bulk endpoints or a TCP connection.
// read() runs on the session's reader thread, write() on any thread under the
// session's write lock, close() on any thread at any time.
class AdbTransport {
public:
    virtual ~AdbTransport() = default;
    // Reads up to maxLen bytes, waiting at most timeoutMs. Returns the count
    // read, 0 when nothing came in time. Throws AdbError(Transport) when the
    // link failed or was closed.
    virtual qint64 read(char* buffer, qint64 maxLen, int timeoutMs) = 0;
    // Sends one whole message (header and payload); throws AdbError on failure
    // or when the phone takes nothing for timeoutMs.
    virtual void write(const QByteArray& header, const QByteArray& payload, int timeoutMs) = 0;
    // Ends the link; a blocked read() returns with an error soon after.
    virtual void close() = 0;
    // Where the link goes, for messages ("usb 1-4", "127.0.0.1:5555").
    virtual QString describe() const = 0;
};

// Connects to an adbd listening on TCP. Returns null when nothing listens
// there (refused or no answer within timeoutMs); throws AdbError(Transport)
// on other failures.
std::unique_ptr<AdbTransport> adbConnectTcp(const QString& host, quint16 port, int timeoutMs);
