// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/adb/adbmessage.h"

#include <QtEndian>

quint32 AdbMessage::checksum(const QByteArray& payload)
{
    quint32 sum = 0;
    for (char c : payload)
        sum += static_cast<unsigned char>(c);
    return sum;
}

QByteArray AdbMessage::encode() const
{
    return header(command, arg0, arg1, payload) + payload;
}

QByteArray AdbMessage::header(quint32 command, quint32 arg0, quint32 arg1, const QByteArray& payload)
{
    QByteArray out(HeaderSize, Qt::Uninitialized);
    auto* p = reinterpret_cast<uchar*>(out.data());
    qToLittleEndian<quint32>(command, p);
    qToLittleEndian<quint32>(arg0, p + 4);
    qToLittleEndian<quint32>(arg1, p + 8);
    qToLittleEndian<quint32>(static_cast<quint32>(payload.size()), p + 12);
    qToLittleEndian<quint32>(checksum(payload), p + 16);
    qToLittleEndian<quint32>(command ^ 0xffffffffu, p + 20);
    return out;
}

quint32 AdbMessage::decodeHeader(const char* header, quint32 maxPayload, AdbMessage* out,
                                 quint32* sum)
{
    const auto* p = reinterpret_cast<const uchar*>(header);
    out->command = qFromLittleEndian<quint32>(p);
    out->arg0 = qFromLittleEndian<quint32>(p + 4);
    out->arg1 = qFromLittleEndian<quint32>(p + 8);
    const quint32 length = qFromLittleEndian<quint32>(p + 12);
    *sum = qFromLittleEndian<quint32>(p + 16);
    const quint32 magic = qFromLittleEndian<quint32>(p + 20);
    if (magic != (out->command ^ 0xffffffffu))
        throw AdbError(AdbErrorCode::Protocol,
                       QStringLiteral("The phone sent a damaged ADB message (command %1, magic %2).")
                           .arg(out->command, 8, 16, QLatin1Char('0'))
                           .arg(magic, 8, 16, QLatin1Char('0')));
    if (length > maxPayload)
        throw AdbError(AdbErrorCode::Protocol,
                       QStringLiteral("The phone sent an ADB %1 message of %2 bytes; at most %3 are allowed.")
                           .arg(commandName(out->command))
                           .arg(length)
                           .arg(maxPayload));
    return length;
}

bool AdbMessage::checksumMatches(const QByteArray& payload, quint32 sum)
{
    return sum == 0 || sum == checksum(payload);
}

QString AdbMessage::commandName(quint32 command)
{
    QByteArray name(4, '\0');
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((command >> (8 * i)) & 0xff);
        name[i] = (c >= 0x20 && c < 0x7f) ? c : '?';
    }
    return QString::fromLatin1(name);
}
