// SPDX-License-Identifier: GPL-3.0-or-later
// Keyed archives: a dictionary with "$archiver", "$objects", "$top" and
// "$version", whose objects refer to each other by UID index into "$objects".
#include "ios/plistcftype.h"

namespace {

const QString kObjects = QStringLiteral("$objects");
const QString kKeys = QStringLiteral("NS.keys");
const QString kValues = QStringLiteral("NS.objects");

// The index "$top"/"root" names; 0 when either is missing or no UID.
quint32 rootIndex(const PlistCFType& archive)
{
    return archive.get(QStringLiteral("$top")).get(QStringLiteral("root")).CFKeyedArchiverUIDGetValue();
}

PlistCFType uidArray(quint32 first, int count)
{
    PlistCFType array = PlistCFType::createCFArray();
    for (int i = 0; i < count; ++i)
        array.append(PlistCFType::createCFKeyedArchiverUID(qint64(first) + i));
    return array;
}

PlistCFType stringArray(const QStringList& texts)
{
    PlistCFType array = PlistCFType::createCFArray();
    for (const QString& text : texts)
        array.append(PlistCFType::createCFString(text));
    return array;
}

} // namespace

QHash<QString, PlistCFType> PlistCFType::NSKeyedArchiver() const
{
    QHash<QString, PlistCFType> map;
    const PlistCFType objects = get(kObjects);
    if (!objects.isCFArray())
        return map;
    const quint32 root = rootIndex(*this);
    if (root >= objects.array_size())
        return map;
    const PlistCFType object = objects.at(int(root));
    if (!object.isCFDictionary())
        return map;
    const quint32 count = objects.array_size();
    for (const PlistCFType& key : object.dict_keys()) {
        const QString keyText = key.CFStringQString();
        const PlistCFType value = object.get(keyText);
        if (value.isCFKeyedArchiverUID()) {
            const quint32 index = value.CFKeyedArchiverUIDGetValue();
            map.insert(keyText, index < count ? objects.at(int(index)) : PlistCFType());
        } else {
            map.insert(keyText, value);
        }
    }
    return map;
}

PlistCFType PlistCFType::createNSDictionaryStringCFType(const QHash<QString, PlistCFType>& map, bool isMutable)
{
    PlistCFType archive = createCFDictionary();
    PlistCFType objects = createCFArray();
    PlistCFType top = createCFDictionary();
    top.put(QStringLiteral("root"), createCFKeyedArchiverUID(1));
    archive.put(QStringLiteral("$archiver"), createCFString(QStringLiteral("NSKeyedArchiver")));
    archive.put(kObjects, objects);
    archive.put(QStringLiteral("$top"), top);
    archive.put(QStringLiteral("$version"), createCFNumberInt64(100000));

    PlistCFType root = createCFDictionary();
    objects.append(createCFString(QStringLiteral("$null")));
    objects.append(root);

    const QStringList keys = map.keys();
    const int n = int(keys.size());
    for (const QString& key : keys)
        objects.append(createCFString(key));
    PlistCFType valueRefs = createCFArray();
    for (int i = 0; i < n; ++i) {
        const PlistCFType value = map.value(keys.at(i));
        if (value.ref()) {
            objects.append(value);
            valueRefs.append(createCFKeyedArchiverUID(qint64(n) + 2 + i));
        } else {
            // The null value has no node to place; it is archived as the
            // archive's own nil, entry 0. Its slot still gets an entry so
            // every later index stays where the layout puts it.
            objects.append(createCFString(QStringLiteral("$null")));
            valueRefs.append(createCFKeyedArchiverUID(0));
        }
    }
    root.put(kKeys, uidArray(2, n));
    root.put(kValues, valueRefs);
    root.put(QStringLiteral("$class"), createCFKeyedArchiverUID(2 * qint64(n) + 2));

    const QString className = isMutable ? QStringLiteral("NSMutableDictionary") : QStringLiteral("NSDictionary");
    QStringList classes {className};
    if (isMutable)
        classes << QStringLiteral("NSDictionary");
    classes << QStringLiteral("NSObject");
    PlistCFType classRecord = createCFDictionary();
    classRecord.put(QStringLiteral("$classes"), stringArray(classes));
    classRecord.put(QStringLiteral("$classname"), createCFString(className));
    objects.append(classRecord);
    return archive;
}

QHash<QString, PlistCFType> PlistCFType::parseNSDictionaryStringCFType(const PlistCFType& archive)
{
    QHash<QString, PlistCFType> map;
    const qint32 root = qint32(rootIndex(archive));
    if (root < 1)
        return map;
    const PlistCFType objects = archive.get(kObjects);
    const PlistCFType object = objects.at(root);
    const PlistCFType keys = object.get(kKeys);
    const PlistCFType values = object.get(kValues);
    const quint32 count = qMin(keys.array_size(), values.array_size());
    for (quint32 i = 0; i < count; ++i) {
        // A reference index above INT_MAX reads as negative and so, like
        // one past the end, names no entry.
        const int keyRef = int(keys.at(int(i)).CFKeyedArchiverUIDGetValue());
        const int valueRef = int(values.at(int(i)).CFKeyedArchiverUIDGetValue());
        map.insert(objects.at(keyRef).CFStringQString(), clone(objects.at(valueRef)));
    }
    return map;
}
