#include "platform/mobilesync/devicelink.h"

#include <chrono>
#include <cstdlib>
#include <memory>

namespace {

constexpr unsigned kPollMs = 50;

bool isWholeNumber(plist_t node)
{
    return node && plist_get_node_type(node) == PLIST_UINT;
}

} // namespace

std::string deviceLinkMessageName(plist_t msg)
{
    plist_t item = msg && plist_get_node_type(msg) == PLIST_ARRAY ? plist_array_get_item(msg, 0) : nullptr;
    if (!item || plist_get_node_type(item) != PLIST_STRING)
        return {};
    char* text = nullptr;
    plist_get_string_val(item, &text);
    std::string name = text ? text : "";
    free(text);
    return name;
}

DeviceLink::~DeviceLink()
{
    close("All done, thanks for the memories");
}

int DeviceLink::open(idevice_t device, lockdownd_service_descriptor_t service, uint64_t versionMajor)
{
    if (m_client || !device || !service)
        return MOBILESYNC_E_INVALID_ARG;
    if (property_list_service_client_new(device, service, &m_client) != PROPERTY_LIST_SERVICE_E_SUCCESS) {
        m_client = nullptr;
        return MOBILESYNC_E_MUX_ERROR;
    }
    plist_t received = nullptr;
    if (const int code = receive(&received, 10000); code != 0)
        return code;
    PlistNodePtr hello(received);
    // A phone that names no whole numbers here is not speaking the protocol: answering
    // it would only leave us waiting for a "ready" that never comes.
    if (deviceLinkMessageName(hello.get()) != "DLMessageVersionExchange" || plist_array_get_size(hello.get()) < 3
        || !isWholeNumber(plist_array_get_item(hello.get(), 1)) || !isWholeNumber(plist_array_get_item(hello.get(), 2)))
        return MOBILESYNC_E_PLIST_ERROR;
    uint64_t major = 0;
    plist_get_uint_val(plist_array_get_item(hello.get(), 1), &major);
    m_announcedMajor = major;
    // A newer major version may change any message: answering it would sync
    // on guesses.
    if (major > versionMajor)
        return MOBILESYNC_E_BAD_VERSION;
    PlistNodePtr answer(plist_new_array());
    plist_array_append_item(answer.get(), plist_new_string("DLMessageVersionExchange"));
    plist_array_append_item(answer.get(), plist_new_string("DLVersionsOk"));
    plist_array_append_item(answer.get(), plist_new_uint(versionMajor));
    if (const int code = send(answer.get()); code != 0)
        return code;
    if (const int code = receive(&received, 10000); code != 0)
        return code;
    PlistNodePtr ready(received);
    return deviceLinkMessageName(ready.get()) == "DLMessageDeviceReady" ? 0 : MOBILESYNC_E_PLIST_ERROR;
}

int DeviceLink::send(plist_t msg)
{
    if (!m_client || !msg)
        return MOBILESYNC_E_INVALID_ARG;
    return property_list_service_send_binary_plist(m_client, msg) == PROPERTY_LIST_SERVICE_E_SUCCESS
        ? 0
        : MOBILESYNC_E_UNKNOWN_ERROR;
}

int DeviceLink::receive(plist_t* msg, int timeoutMs)
{
    if (!m_client || !msg)
        return MOBILESYNC_E_INVALID_ARG;
    *msg = nullptr;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (stop && stop())
            return kDeviceLinkStopped;
        // Only the wait for a message's first bytes is cut into slices: once it has
        // begun, the library reads it whole.
        const property_list_service_error_t err
            = property_list_service_receive_plist_with_timeout(m_client, msg, kPollMs);
        if (err == PROPERTY_LIST_SERVICE_E_SUCCESS && *msg)
            return 0;
        plist_free(*msg);
        *msg = nullptr;
        if (err == PROPERTY_LIST_SERVICE_E_PLIST_ERROR)
            return MOBILESYNC_E_PLIST_ERROR;
        if (err != PROPERTY_LIST_SERVICE_E_RECEIVE_TIMEOUT && err != PROPERTY_LIST_SERVICE_E_SUCCESS)
            return MOBILESYNC_E_UNKNOWN_ERROR;
        if (std::chrono::steady_clock::now() >= deadline)
            return MOBILESYNC_E_RECEIVE_TIMEOUT;
    }
}

void DeviceLink::close(const char* reason)
{
    if (!m_client)
        return;
    PlistNodePtr bye(plist_new_array());
    plist_array_append_item(bye.get(), plist_new_string("DLMessageDisconnect"));
    plist_array_append_item(bye.get(), plist_new_string(reason ? reason : "___EmptyParameterString___"));
    property_list_service_send_binary_plist(m_client, bye.get());
    property_list_service_client_free(m_client);
    m_client = nullptr;
}
