// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <stdexcept>

// Why an ADB call failed; carried by AdbError and reported through the
// out-parameters of the service calls.
enum class AdbErrorCode {
    None = 0,
    Transport,     // the link to the phone failed or was closed
    Protocol,      // the phone sent something that is not ADB
    Timeout,       // the phone stopped answering
    Unauthorized,  // the phone has not allowed debugging for this computer
    Refused,       // the phone refused to open the service
    Local,         // a local file, key or socket failed
    Failed,        // the phone ran the request and reported a failure
};

class AdbError : public std::runtime_error {
public:
    AdbError(AdbErrorCode code, const QString& text)
        : std::runtime_error(text.toStdString()), m_code(code) {}
    AdbErrorCode code() const { return m_code; }
    QString text() const { return QString::fromUtf8(what()); }

private:
    AdbErrorCode m_code;
};

// One message of the ADB wire protocol: a 24-byte little-endian header
// (command, arg0, arg1, payload length, byte sum of the payload, command
// xor 0xffffffff) followed by the payload.
struct AdbMessage {
    enum Command : quint32 {
        CNXN = 0x4e584e43,
        AUTH = 0x48545541,
        OPEN = 0x4e45504f,
        OKAY = 0x59414b4f,
        CLSE = 0x45534c43,
        WRTE = 0x45545257,
    };
    enum AuthType : quint32 { AuthToken = 1, AuthSignature = 2, AuthRsaPublicKey = 3 };
    static constexpr int HeaderSize = 24;
    static constexpr quint32 Version = 0x01000001;
    // What we accept in one payload; also the size we offer in CNXN.
    static constexpr quint32 MaxPayload = 256 * 1024;

    quint32 command = 0;
    quint32 arg0 = 0;
    quint32 arg1 = 0;
    QByteArray payload;

    static quint32 checksum(const QByteArray& payload);
    // Header and payload as sent on the wire.
    QByteArray encode() const;
    // The 24-byte header alone, for transports that send the payload apart.
    static QByteArray header(quint32 command, quint32 arg0, quint32 arg1, const QByteArray& payload);
    // Parses a header; throws AdbError(Protocol) on a wrong magic or a
    // payload longer than maxPayload. Returns the payload length to read.
    static quint32 decodeHeader(const char* header, quint32 maxPayload, AdbMessage* out,
                                quint32* sum);
    // Checks the payload against the header's sum. Newer phones send 0,
    // which means "not computed".
    static bool checksumMatches(const QByteArray& payload, quint32 sum);
    static QString commandName(quint32 command);
};
