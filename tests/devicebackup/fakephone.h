// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The phone's side of a backup run, played from a script: each step hands
// the client one message and makes its raw bytes readable; what the client
// sends (raw bytes, status responses, the request) is kept for the test.

#include "devicebackup/backup2tool.h"

#include <QFile>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <climits>
#include <functional>

inline QByteArray be32(quint32 n)
{
    QByteArray b(4, '\0');
    qToBigEndian(n, b.data());
    return b;
}
inline const auto nameFrame = [](const QByteArray& name) { return be32(quint32(name.size())) + name; };
inline const auto codeFrame = [](char code, const QByteArray& payload = {}) {
    return be32(quint32(payload.size() + 1)) + code + payload;
};
inline const auto str = [](const QString& s) { return PlistCFType::createCFString(s); };
inline const auto arr = [](const QList<PlistCFType>& items) { return PlistCFType::createCFArray(items); };
inline const auto dict = [](const QString& key, const PlistCFType& value) {
    return PlistCFType::createCFDictionary().put(key, value);
};
inline PlistCFType msg(const QString& name, QList<PlistCFType> rest = {})
{
    rest.prepend(str(name));
    return arr(rest);
}

struct FakePhone {
    struct Status {
        int code;
        QString description;
        QString list; // toString() of the property list
    };
    int setup[5] = {}; // results of: device, lockdown, service, version, request
    QList<QPair<PlistCFType, QByteArray>> script; // then "DLMessageDisconnect"
    int rawAtEnd = -3; // raw receive result when no byte is left (0: deliver nothing)
    quint32 readChunk = UINT_MAX; // most bytes one raw receive delivers
    std::function<void()> onSend; // after each raw send
    QByteArray in, out;
    QList<Status> statuses;
    QString request, options;
    quint32 largestRead = 0;
    bool closed = false;

    void add(const PlistCFType& message, const QByteArray& raw = {}) { script.append({ message, raw }); }
};

struct FakePhoneLink : Backup2Transport {
    FakePhone& p;
    explicit FakePhoneLink(FakePhone& phone)
        : p(phone)
    {
    }
    int openDevice(const QString&) override { return p.setup[0]; }
    int openLockdown() override { return p.setup[1]; }
    int startService() override { return p.setup[2]; }
    int exchangeVersion() override { return p.setup[3]; }
    int sendRequest(const QString& request, const QString&, const PlistCFType& options) override
    {
        p.request = request, p.options = options.toString();
        return p.setup[4];
    }
    int receiveMessage(PlistCFType& message, QString& name) override
    {
        if (p.script.isEmpty()) // the phone is done
            p.add(msg("DLMessageDisconnect"));
        message = p.script.first().first;
        name = message.at(0).CFStringQString();
        p.in += p.script.takeFirst().second;
        return 0;
    }
    int sendRaw(const char* data, quint32 length, quint32& done) override
    {
        p.out.append(data, int(done = length));
        if (p.onSend)
            p.onSend();
        return 0;
    }
    int receiveRaw(char* data, quint32 length, quint32& done) override
    {
        p.largestRead = std::max(p.largestRead, length);
        done = std::min({ length, p.readChunk, quint32(p.in.size()) });
        std::copy_n(p.in.constData(), done, data);
        p.in.remove(0, int(done));
        return done == 0 ? p.rawAtEnd : 0;
    }
    int sendStatusResponse(int code, const QString& description, const PlistCFType& list) override
    {
        p.statuses.append({ code, description, list.toString() });
        return 0;
    }
    void close() override { p.closed = true; }
};

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
}

// Runs one request against the phone (without one, over the library's own
// connection); the exception's text, or empty when the run returned.
inline QString run(backup2tool& tool, FakePhone* phone, backup2tool_op op = OP_BACKUP)
{
    if (phone)
        tool.setTransportFactory([phone] { return std::make_unique<FakePhoneLink>(*phone); });
    try {
        tool.runThrow(_backup2tool_req(op));
    } catch (const std::runtime_error& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}
