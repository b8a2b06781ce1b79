#include "platform/mobilesync/mobilesync_nocheck.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// The text of a string item of an array message, or empty.
std::string itemText(plist_t array, uint32_t index)
{
    plist_t item = plist_get_node_type(array) == PLIST_ARRAY ? plist_array_get_item(array, index) : nullptr;
    if (!item || plist_get_node_type(item) != PLIST_STRING)
        return {};
    char* text = nullptr;
    plist_get_string_val(item, &text);
    std::string result = text ? text : "";
    free(text);
    return result;
}

} // namespace

mobilesync_error_t mobilesync_ready_to_send_changes_from_computer_nocheck(mobilesync_client_t client)
{
    if (!client)
        return MOBILESYNC_E_INVALID_ARG;
    PlistPtr msg(plist_new_array());
    plist_array_append_item(msg.get(), plist_new_string("DLMessagePing"));
    plist_array_append_item(msg.get(), plist_new_string("Preparing to get changes for device"));
    return mobilesync_send(client, msg.get());
}

mobilesync_error_t mobilesync_send_changes_nocheck(mobilesync_client_t client, const char* dataClass,
                                                   plist_t entities, bool isLast, plist_t actions)
{
    if (!client || !dataClass || !entities || plist_get_node_type(entities) != PLIST_DICT)
        return MOBILESYNC_E_INVALID_ARG;
    PlistPtr msg(plist_new_array());
    plist_array_append_item(msg.get(), plist_new_string("SDMessageProcessChanges"));
    plist_array_append_item(msg.get(), plist_new_string(dataClass));
    plist_array_append_item(msg.get(), plist_copy(entities));
    // The device reads this flag as "more changes follow".
    plist_array_append_item(msg.get(), plist_new_bool(isLast ? 0 : 1));
    plist_array_append_item(msg.get(), actions ? plist_copy(actions) : plist_new_string("___EmptyParameterString___"));
    return mobilesync_send(client, msg.get());
}

mobilesync_error_t mobilesync_remap_identifiers_nocheck(mobilesync_client_t client, plist_t* mapping)
{
    if (!client || !mapping)
        return MOBILESYNC_E_INVALID_ARG;
    *mapping = nullptr;
    plist_t received = nullptr;
    mobilesync_error_t err = mobilesync_receive(client, &received);
    PlistPtr msg(received);
    if (err != MOBILESYNC_E_SUCCESS)
        return err;
    const std::string kind = itemText(msg.get(), 0);
    if (kind == "SDMessageCancelSession")
        return MOBILESYNC_E_CANCELLED;
    if (kind != "SDMessageRemapRecordIdentifiers")
        return MOBILESYNC_E_PLIST_ERROR;
    // "___EmptyParameterString___" in place of the dictionary means nothing was remapped.
    plist_t map = plist_array_get_item(msg.get(), 2);
    if (map && plist_get_node_type(map) == PLIST_DICT)
        *mapping = plist_copy(map);
    return MOBILESYNC_E_SUCCESS;
}
