// SPDX-License-Identifier: GPL-3.0-or-later
// Backup2Transport: the connection of one backup or restore run to the
// phone's backup service, cut along the calls the client makes so that the
// phone's side can be played by another implementation. Mobilebackup2Transport
// is the real one, over the device library's mobilebackup2 client.
//
// Every call returns the library's result code (0 success) and never throws.
// The object lives for one run; close() (also run by the destructor)
// releases what is held, in the order service descriptor, lockdown client,
// backup client, device connection.
#pragma once

#include "ios/plistcftype.h"

#include <QString>

#include <functional>
#include <memory>

class Backup2Transport {
public:
    virtual ~Backup2Transport();

    // Finds the phone over the USB multiplexer.
    virtual int openDevice(const QString& udid) = 0;
    // Lockdown client with a session.
    virtual int openLockdown() = 0;
    // Starts the backup service and opens its client; the lockdown client is
    // released here whatever happens. Non-zero also when the phone gives no
    // port.
    virtual int startService() = 0;
    // Offers the protocol versions 2.0 and 2.1.
    virtual int exchangeVersion() = 0;
    // "Backup" or "Restore" for the phone `udid`; a null options value sends none.
    virtual int sendRequest(const QString& request, const QString& udid, const PlistCFType& options) = 0;
    // One message: an array whose element 0 is `name`. -5 when nothing came in time.
    virtual int receiveMessage(PlistCFType& message, QString& name) = 0;
    // Raw frames; `done` receives how many bytes moved, which may be fewer
    // than asked (or none) with result 0.
    virtual int sendRaw(const char* data, quint32 length, quint32& done) = 0;
    virtual int receiveRaw(char* data, quint32 length, quint32& done) = 0;
    // An empty description sends none; a null list sends none.
    virtual int sendStatusResponse(int code, const QString& description, const PlistCFType& list) = 0;
    virtual void close() = 0;
};

using Backup2TransportFactory = std::function<std::unique_ptr<Backup2Transport>()>;

class Mobilebackup2Transport : public Backup2Transport {
public:
    Mobilebackup2Transport();
    ~Mobilebackup2Transport() override;
    Mobilebackup2Transport(const Mobilebackup2Transport&) = delete;
    Mobilebackup2Transport& operator=(const Mobilebackup2Transport&) = delete;

    int openDevice(const QString& udid) override;
    int openLockdown() override;
    int startService() override;
    int exchangeVersion() override;
    int sendRequest(const QString& request, const QString& udid, const PlistCFType& options) override;
    int receiveMessage(PlistCFType& message, QString& name) override;
    int sendRaw(const char* data, quint32 length, quint32& done) override;
    int receiveRaw(char* data, quint32 length, quint32& done) override;
    int sendStatusResponse(int code, const QString& description, const PlistCFType& list) override;
    void close() override;

private:
    struct Handles;
    std::unique_ptr<Handles> h;
};
