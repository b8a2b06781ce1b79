// SPDX-License-Identifier: GPL-3.0-or-later
#include "devicebackup/backup2transport.h"

#include "ios/mobiledevice.h"

#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <libimobiledevice/mobilebackup2.h>

#include <cstdlib>

namespace {
const char kServiceName[] = "com.apple.mobilebackup2";
}

struct Mobilebackup2Transport::Handles {
    idevice_t device = nullptr;
    lockdownd_client_t lockdown = nullptr;
    lockdownd_service_descriptor_t service = nullptr;
    mobilebackup2_client_t client = nullptr;
};

Backup2Transport::~Backup2Transport() = default;

Mobilebackup2Transport::Mobilebackup2Transport()
    : h(new Handles)
{
}

Mobilebackup2Transport::~Mobilebackup2Transport()
{
    close();
}

int Mobilebackup2Transport::openDevice(const QString& udid)
{
    return idevice_new_with_options(&h->device, udid.toUtf8().constData(), IDEVICE_LOOKUP_USBMUX);
}

int Mobilebackup2Transport::openLockdown()
{
    return lockdownd_client_new_with_handshake(h->device, &h->lockdown, kMobiledeviceLabel);
}

int Mobilebackup2Transport::startService()
{
    int r = lockdownd_start_service_with_escrow_bag(h->lockdown, kServiceName, &h->service);
    lockdownd_client_free(h->lockdown);
    h->lockdown = nullptr;
    if (r == 0 && (!h->service || h->service->port == 0))
        r = LOCKDOWN_E_UNKNOWN_ERROR;
    if (r != 0)
        return r;
    r = mobilebackup2_client_new(h->device, h->service, &h->client);
    lockdownd_service_descriptor_free(h->service);
    h->service = nullptr;
    return r;
}

int Mobilebackup2Transport::exchangeVersion()
{
    double local[] = { 2.0, 2.1 };
    double remote = 0.0;
    return mobilebackup2_version_exchange(h->client, local, 2, &remote);
}

int Mobilebackup2Transport::sendRequest(
    const QString& request, const QString& udid, const PlistCFType& options)
{
    const QByteArray id = udid.toLocal8Bit();
    return mobilebackup2_send_request(h->client, request.toUtf8().constData(), id.constData(), id.constData(),
        static_cast<plist_t>(options.ref()));
}

int Mobilebackup2Transport::receiveMessage(PlistCFType& message, QString& name)
{
    plist_t node = nullptr;
    char* text = nullptr;
    const int r = mobilebackup2_receive_message(h->client, &node, &text);
    message = PlistCFType(node, true);
    name = text ? QString::fromUtf8(text) : QString();
    free(text);
    return r;
}

int Mobilebackup2Transport::sendRaw(const char* data, quint32 length, quint32& done)
{
    uint32_t sent = 0;
    const int r = mobilebackup2_send_raw(h->client, data, length, &sent);
    done = sent;
    return r;
}

int Mobilebackup2Transport::receiveRaw(char* data, quint32 length, quint32& done)
{
    uint32_t received = 0;
    const int r = mobilebackup2_receive_raw(h->client, data, length, &received);
    done = received;
    return r;
}

int Mobilebackup2Transport::sendStatusResponse(int code, const QString& description, const PlistCFType& list)
{
    const QByteArray text = description.toUtf8();
    return mobilebackup2_send_status_response(h->client, code,
        description.isEmpty() ? nullptr : text.constData(), static_cast<plist_t>(list.ref()));
}

void Mobilebackup2Transport::close()
{
    if (h->service)
        lockdownd_service_descriptor_free(h->service);
    if (h->lockdown)
        lockdownd_client_free(h->lockdown);
    if (h->client)
        mobilebackup2_client_free(h->client);
    if (h->device)
        idevice_free(h->device);
    *h = Handles();
}
