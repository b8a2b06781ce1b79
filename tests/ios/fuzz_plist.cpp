// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry: one property list, binary or XML, as a phone or a backup
// sends it: parsed, printed, written back in both formats and read again,
// and taken apart as a keyed archive.
#include "ios/plistcftype.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QString reason;
    const PlistCFType value = PlistCFType::createCFPropertyList(bytes, &reason);
    if (!value.ref())
        return 0;
    value.toString();
    for (const auto format : { PlistCFType::kCFPropertyListBinaryFormat_v1_0, PlistCFType::kCFPropertyListXMLFormat_v1_0 }) {
        const QByteArray written = value.CFPropertyListToBytes(format);
        // What we write, we must read back.
        if (written.isEmpty() || !PlistCFType::createCFPropertyList(written).ref())
            std::abort();
    }
    const QHash<QString, PlistCFType> root = value.NSKeyedArchiver();
    for (const PlistCFType& entry : root)
        entry.toString();
    PlistCFType::parseNSDictionaryStringCFType(value);
    return 0;
}
