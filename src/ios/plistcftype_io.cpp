// SPDX-License-Identifier: GPL-3.0-or-later
// Parsing, serialising and the text form of PlistCFType.
#include "ios/plistcftype.h"

#include "ios/plistcftype_p.h"
#include "ios/plistinputcheck_p.h"

#include <QFile>
#include <QStringList>

#include <cstdlib>

namespace {

void setReason(QString* reason, const QString& text)
{
    if (reason)
        *reason = text;
}

} // namespace

PlistCFType PlistCFType::createCFPropertyList(const QByteArray& bytes, QString* reason)
{
    setReason(reason, QString());
    if (bytes.size() > kMaxInputBytes) {
        setReason(reason, QStringLiteral("The property list is %1 bytes long; at most %2 bytes are read.")
                              .arg(bytes.size())
                              .arg(kMaxInputBytes));
        return PlistCFType();
    }
    const bool binary = bytes.size() > 6 && bytes.startsWith("bplist");
    QString why;
    const bool sound = binary
        ? plistcheck::checkBinary(bytes.constData(), size_t(bytes.size()), kMaxNesting, kMaxNodes, &why)
        : plistcheck::checkXml(bytes.constData(), size_t(bytes.size()), kMaxNesting, kMaxNodes, &why);
    if (!sound) {
        qCWarning(lcPlist) << "refused property list:" << why;
        setReason(reason, why);
        return PlistCFType();
    }
    plist_t node = nullptr;
    if (binary)
        plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &node);
    else
        plist_from_xml(bytes.constData(), uint32_t(bytes.size()), &node);
    if (!node)
        setReason(reason, binary ? QStringLiteral("The binary property list could not be read.")
                                 : QStringLiteral("The data is no XML property list."));
    return PlistCFType(node, true);
}

PlistCFType PlistCFType::createCFPropertyListFromFile(const QString& path, QString* reason)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setReason(reason, QStringLiteral("%1: %2").arg(path, file.errorString()));
        return PlistCFType();
    }
    // Read one byte past the limit so an oversized file is refused by size
    // without reading all of it.
    const QByteArray bytes = file.read(kMaxInputBytes + 1);
    const PlistCFType result = createCFPropertyList(bytes, reason);
    if (reason && !reason->isEmpty())
        *reason = QStringLiteral("%1: %2").arg(path, *reason);
    return result;
}

QByteArray PlistCFType::CFPropertyListToBytes(CFPropertyListFormat format) const
{
    plist_t node = static_cast<plist_t>(ref());
    if (!node)
        return QByteArray();
    char* buffer = nullptr;
    uint32_t length = 0;
    if (format == kCFPropertyListXMLFormat_v1_0)
        plist_to_xml(node, &buffer, &length);
    else
        plist_to_bin(node, &buffer, &length);
    QByteArray result;
    if (buffer)
        result = QByteArray(buffer, qsizetype(length));
    free(buffer);
    return result;
}

PlistCFType PlistCFType::CFPropertyListToData(CFPropertyListFormat format) const
{
    return createCFData(CFPropertyListToBytes(format));
}

namespace {

// Trees built by the program are shallow and parsed ones are checked, but a
// node handed over by a device-library call has had no such check; past
// this depth the text form stops instead of exhausting the stack.
constexpr int kMaxTextDepth = 512;

QString textOf(const PlistCFType& value, int depth)
{
    if (value.isCFArray() || value.isCFDictionary()) {
        const bool isArray = value.isCFArray();
        const QLatin1String open(isArray ? "[" : "{");
        const QLatin1String close(isArray ? "]" : "}");
        if (depth >= kMaxTextDepth)
            return open + QLatin1String("...") + close;
        QStringList parts;
        if (isArray) {
            const int n = int(value.array_size());
            for (int i = 0; i < n; ++i)
                parts << textOf(value.at(i), depth + 1);
        } else {
            for (const PlistCFType& key : value.dict_keys()) {
                const QString keyText = key.CFStringQString();
                // One arg call for both: a key holding "%2" must stay text.
                parts << QStringLiteral("%1 : %2").arg(keyText, textOf(value.get(keyText), depth + 1));
            }
        }
        return open + parts.join(QLatin1String(", ")) + close;
    }
    switch (value.typeId()) {
    case 21: return value.CFNumberBool() ? QStringLiteral("1") : QStringLiteral("0");
    case 22:
        if (value.isCFNumber() && plist_get_node_type(static_cast<plist_t>(value.ref())) == PLIST_REAL)
            return QString::number(value.CFNumberDouble(), 'g', 6);
        return QString::number(value.CFNumberInt64());
    case 7: return value.CFStringQString();
    case 37: return value.CFDateToDateTime(0).toString(Qt::TextDate);
    case 20: return QString::fromLatin1(value.CFDataBytes().toBase64());
    case 35: return QString::number(qint32(value.CFKeyedArchiverUIDGetValue()));
    default: return QStringLiteral("NULL");
    }
}

} // namespace

QString PlistCFType::toString() const { return textOf(*this, 0); }
