// SPDX-License-Identifier: GPL-3.0-or-later
#include "itunesbackup/filedescription_p.h"

#include <plist/plist.h>

#include <memory>
#include <optional>

namespace {

// A file description is a few hundred bytes; anything far larger is not one.
constexpr int kMaxDescriptionBytes = 1 << 20;

struct PlistFree {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// An archive stores most values as references into "$objects": a UID in
// binary form, a dictionary {"CF$UID": n} in XML form (which the XML reader
// leaves as it is).
plist_t resolve(plist_t objects, plist_t node)
{
    uint64_t index = 0;
    if (node && plist_get_node_type(node) == PLIST_UID) {
        plist_get_uid_val(node, &index);
    } else if (node && plist_get_node_type(node) == PLIST_DICT && plist_dict_get_size(node) == 1) {
        plist_t uid = plist_dict_get_item(node, "CF$UID");
        if (!uid || plist_get_node_type(uid) != PLIST_UINT)
            return node;
        plist_get_uint_val(uid, &index);
    } else {
        return node;
    }
    if (index >= plist_array_get_size(objects))
        return nullptr;
    return plist_array_get_item(objects, uint32_t(index));
}

std::optional<QByteArray> dataValue(plist_t objects, plist_t node)
{
    node = resolve(objects, node);
    if (node && plist_get_node_type(node) == PLIST_DICT)
        node = resolve(objects, plist_dict_get_item(node, "NS.data"));
    if (!node || plist_get_node_type(node) != PLIST_DATA)
        return std::nullopt;
    uint64_t length = 0;
    const char* data = plist_get_data_ptr(node, &length);
    return data ? QByteArray(data, qsizetype(length)) : QByteArray();
}

qint64 intValue(plist_t objects, plist_t node)
{
    node = resolve(objects, node);
    if (!node || plist_get_node_type(node) != PLIST_UINT)
        return 0;
    uint64_t value = 0;
    plist_get_uint_val(node, &value);
    return qint64(value);
}

QString stringValue(plist_t objects, plist_t node)
{
    node = resolve(objects, node);
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return QString();
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    return text ? QString::fromUtf8(text, qsizetype(length)) : QString();
}

} // namespace

bool readFileDescription(const QByteArray& blob, MBDBParser::_MBDBItem& item)
{
    if (blob.isEmpty() || blob.size() > kMaxDescriptionBytes)
        return false;
    plist_t parsed = nullptr;
    if (blob.size() > 6 && blob.startsWith("bplist"))
        plist_from_bin(blob.constData(), uint32_t(blob.size()), &parsed);
    else
        plist_from_xml(blob.constData(), uint32_t(blob.size()), &parsed);
    PlistPtr root(parsed);
    if (!parsed || plist_get_node_type(parsed) != PLIST_DICT)
        return false;
    plist_t objects = plist_dict_get_item(parsed, "$objects");
    plist_t top = plist_dict_get_item(parsed, "$top");
    if (!objects || plist_get_node_type(objects) != PLIST_ARRAY || !top || plist_get_node_type(top) != PLIST_DICT)
        return false;
    plist_t file = resolve(objects, plist_dict_get_item(top, "root"));
    if (!file || plist_get_node_type(file) != PLIST_DICT)
        return false;

    auto get = [file](const char* key) { return plist_dict_get_item(file, key); };
    const QString target = stringValue(objects, get("Target"));
    if (!target.isEmpty())
        item.target.setVal(target.toUtf8());
    if (const auto digest = dataValue(objects, get("Digest")))
        item.digest.setVal(*digest);
    if (const auto key = dataValue(objects, get("EncryptionKey")))
        item.encryptionKey.setVal(*key);
    item.mode = quint16(intValue(objects, get("Mode")));
    item.inodeHigh = 0;
    item.inodeNumber = intValue(objects, get("InodeNumber"));
    item.userId = quint32(intValue(objects, get("UserID")));
    item.groupId = quint32(intValue(objects, get("GroupID")));
    item.lastModified = qint32(intValue(objects, get("LastModified")));
    item.lastStatusChange = qint32(intValue(objects, get("LastStatusChange")));
    item.birth = qint32(intValue(objects, get("Birth")));
    item.size = intValue(objects, get("Size"));
    item.protectionClass = qint8(quint8(intValue(objects, get("ProtectionClass"))));
    return true;
}
