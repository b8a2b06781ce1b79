#pragma once
// The device-link conversation with one service of the phone (the contact sync
// service speaks it): a version exchange, then property-list messages both ways,
// ended by "DLMessageDisconnect". Built on the device library's property-list
// service client, so that every message the phone sends can be checked before it
// is trusted, and every wait is bounded and can be stopped.
//
// Results are the device library's mobilesync_error_t codes: MOBILESYNC_E_PLIST_ERROR
// for a message of the wrong form, MOBILESYNC_E_RECEIVE_TIMEOUT when the phone stays
// silent, MOBILESYNC_E_BAD_VERSION, MOBILESYNC_E_UNKNOWN_ERROR when the link fails,
// and kDeviceLinkStopped when the owner's stop request ended a wait.
//
// One thread owns a link for its whole life.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <libimobiledevice/mobilesync.h>
#include <libimobiledevice/property_list_service.h>
#include <plist/plist.h>

// An owned message (or any node) of the link, freed with its handle.
struct PlistNodeDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistNodePtr = std::unique_ptr<void, PlistNodeDeleter>;

// A wait ended because the owner asked to stop (not a code of the library).
inline constexpr int kDeviceLinkStopped = -100;

class DeviceLink {
public:
    DeviceLink() = default;
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // Connects to a started service and runs the version exchange: the phone's
    // "DLMessageVersionExchange" must carry two whole numbers, the major one not above
    // versionMajor (a newer one fails with MOBILESYNC_E_BAD_VERSION, as the device
    // library refuses it); anything else fails at once instead of answering it.
    int open(idevice_t device, lockdownd_service_descriptor_t service, uint64_t versionMajor);
    bool isOpen() const { return m_client != nullptr; }
    // The major version the phone announced in the exchange (0 before one).
    uint64_t announcedMajor() const { return m_announcedMajor; }

    // Sends a copy of msg; msg stays the caller's. 0 when the whole message went
    // out; any other result means it did not go out in full, so the phone cannot
    // have taken it (a link that drops after a 0 may have lost it or not).
    int send(plist_t msg);
    // Receives the next message into *msg (owned by the caller afterwards). Waits
    // at most timeoutMs for it, asking `stop` about every 50 ms.
    int receive(plist_t* msg, int timeoutMs);
    // Says goodbye ("DLMessageDisconnect" with reason) when open, and closes.
    void close(const char* reason);

    // Asked while waiting; a true answer ends the wait with kDeviceLinkStopped.
    std::function<bool()> stop;

private:
    property_list_service_client_t m_client = nullptr;
    uint64_t m_announcedMajor = 0;
};

// The first item of an array message when it is text ("SDMessageProcessChanges"),
// otherwise empty.
std::string deviceLinkMessageName(plist_t msg);
