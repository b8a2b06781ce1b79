// SPDX-License-Identifier: GPL-3.0-or-later
#include "ios/plistcftype.h"

#include "ios/plistcftype_p.h"

#include <cstdlib>
#include <limits>

Q_LOGGING_CATEGORY(lcPlist, "app.ios", QtWarningMsg)

namespace {

// Seconds from 1970-01-01 to 2001-01-01, both UTC: the epoch of plist dates.
constexpr qint64 kPlistEpochMSecs = 978307200LL * 1000;

PlistCFType owning(plist_t node)
{
    return PlistCFType(node, true);
}

// Whether node is container or one of the containers that hold it: putting
// such a node into container would make the tree a cycle.
bool isSelfOrAncestor(plist_t node, plist_t container)
{
    for (plist_t p = container; p; p = plist_get_parent(p)) {
        if (p == node)
            return true;
    }
    return false;
}

} // namespace

PlistCFType::PlistCFType(void* node, bool owned)
    : d(new PlistCFTypePrivacy(static_cast<plist_t>(node), owned))
{
}

PlistCFType::PlistCFType(const PlistCFType& other) = default;

PlistCFType& PlistCFType::operator=(const PlistCFType& other)
{
    if (this != &other) {
        d = other.d;
        m_children = other.m_children;
    }
    return *this;
}

PlistCFType::~PlistCFType() = default;

void* PlistCFType::ref() const
{
    return d ? d->p() : nullptr;
}

int PlistCFType::kind() const
{
    plist_t node = static_cast<plist_t>(ref());
    return node ? int(plist_get_node_type(node)) : -1;
}

quint64 PlistCFType::typeId() const
{
    switch (kind()) {
    case PLIST_BOOLEAN: return 21;
    case PLIST_UINT:
    case PLIST_REAL: return 22;
    case PLIST_STRING:
    case PLIST_KEY: return 7;
    case PLIST_ARRAY: return 19;
    case PLIST_DICT: return 18;
    case PLIST_DATE: return 37;
    case PLIST_DATA: return 20;
    case PLIST_UID: return 35;
    default: return 16;
    }
}

bool PlistCFType::isCFBoolean() const { return kind() == PLIST_BOOLEAN; }
bool PlistCFType::isCFNumber() const { return kind() == PLIST_UINT || kind() == PLIST_REAL; }
bool PlistCFType::isCFString() const { return kind() == PLIST_STRING || kind() == PLIST_KEY; }
bool PlistCFType::isCFArray() const { return kind() == PLIST_ARRAY; }
bool PlistCFType::isCFDictionary() const { return kind() == PLIST_DICT; }
bool PlistCFType::isCFDate() const { return kind() == PLIST_DATE; }
bool PlistCFType::isCFData() const { return kind() == PLIST_DATA; }
bool PlistCFType::isCFKeyedArchiverUID() const { return kind() == PLIST_UID; }

// ---- creators

PlistCFType PlistCFType::createCFBoolean(bool value) { return owning(plist_new_bool(value ? 1 : 0)); }
PlistCFType PlistCFType::createCFNumberInt8(qint8 value) { return createCFNumberInt64(value); }
PlistCFType PlistCFType::createCFNumberInt16(qint16 value) { return createCFNumberInt64(value); }
PlistCFType PlistCFType::createCFNumberInt32(qint32 value) { return createCFNumberInt64(value); }
PlistCFType PlistCFType::createCFNumberInt64(qint64 value) { return owning(plist_new_uint(quint64(value))); }
PlistCFType PlistCFType::createCFNumberCFIndex(qint64 value) { return createCFNumberInt64(value); }
PlistCFType PlistCFType::createCFNumberFloat(float value) { return owning(plist_new_real(double(value))); }
PlistCFType PlistCFType::createCFNumberDouble(double value) { return owning(plist_new_real(value)); }

PlistCFType PlistCFType::createCFString(const QString& text)
{
    // constData() stops the C string at the first NUL the text holds.
    return owning(plist_new_string(text.toUtf8().constData()));
}

PlistCFType PlistCFType::createCFData(const QByteArray& bytes)
{
    return owning(plist_new_data(bytes.constData(), quint64(bytes.size())));
}

PlistCFType PlistCFType::createCFDate(const QDateTime& dateTime)
{
    if (!dateTime.isValid())
        return PlistCFType();
    // The wall-clock fields are stored as if they were UTC, and read back the
    // same way, so a birthday at midnight stays on its day in every zone.
    const QDateTime asUtc(dateTime.date(), dateTime.time(), Qt::UTC);
    const qint64 msecs = asUtc.toMSecsSinceEpoch() - kPlistEpochMSecs;
    const qint64 seconds = msecs / 1000; // toward zero; the remainder keeps the sign
    if (seconds < std::numeric_limits<qint32>::min() || seconds > std::numeric_limits<qint32>::max()) {
        qCDebug(lcPlist) << "date outside the property-list range:" << dateTime;
        return PlistCFType();
    }
    return owning(plist_new_date(qint32(seconds), qint32(msecs % 1000) * 1000));
}

PlistCFType PlistCFType::createCFKeyedArchiverUID(qint64 value) { return owning(plist_new_uid(quint64(value))); }
PlistCFType PlistCFType::createCFDictionary() { return owning(plist_new_dict()); }
PlistCFType PlistCFType::createCFArray() { return owning(plist_new_array()); }

PlistCFType PlistCFType::createCFDictionary(const QList<PlistCFType>& keys, const QList<PlistCFType>& values)
{
    PlistCFType dict = createCFDictionary();
    const qsizetype n = qMin(keys.size(), values.size());
    for (qsizetype i = 0; i < n; ++i)
        dict.put(keys.at(i).toString(), values.at(i));
    return dict;
}

PlistCFType PlistCFType::createCFArray(const QList<PlistCFType>& items)
{
    PlistCFType array = createCFArray();
    for (const PlistCFType& item : items)
        array.append(item);
    return array;
}

PlistCFType PlistCFType::createCFDictionaryCreateMutableCopy(const PlistCFType& source)
{
    if (!source.isCFDictionary())
        return createCFDictionary();
    return clone(source);
}

PlistCFType PlistCFType::clone(const PlistCFType& value)
{
    plist_t node = static_cast<plist_t>(value.ref());
    return node ? owning(plist_copy(node)) : PlistCFType();
}

// ---- getters

bool PlistCFType::CFNumberBool(bool defaultValue) const
{
    if (kind() != PLIST_BOOLEAN)
        return defaultValue;
    uint8_t value = 0;
    plist_get_bool_val(static_cast<plist_t>(ref()), &value);
    return value != 0;
}

qint64 PlistCFType::CFNumberInt64(qint64 defaultValue) const
{
    if (kind() != PLIST_UINT)
        return defaultValue;
    uint64_t value = quint64(defaultValue);
    plist_get_uint_val(static_cast<plist_t>(ref()), &value);
    return qint64(value);
}

// The narrow getters keep the low bits of the 64-bit value, sign-extended.
qint8 PlistCFType::CFNumberInt8(qint8 defaultValue) const { return qint8(CFNumberInt64(defaultValue)); }
qint16 PlistCFType::CFNumberInt16(qint16 defaultValue) const { return qint16(CFNumberInt64(defaultValue)); }
qint32 PlistCFType::CFNumberInt(qint32 defaultValue) const { return qint32(CFNumberInt64(defaultValue)); }

double PlistCFType::CFNumberDouble(double defaultValue) const
{
    if (kind() != PLIST_REAL)
        return defaultValue;
    double value = defaultValue;
    plist_get_real_val(static_cast<plist_t>(ref()), &value);
    return value;
}

float PlistCFType::CFNumberFloat(float defaultValue) const { return float(CFNumberDouble(defaultValue)); }

QString PlistCFType::CFStringQString() const
{
    const int k = kind();
    if (k != PLIST_STRING && k != PLIST_KEY)
        return QString();
    char* text = nullptr;
    // A dictionary key node answers only the key call, a string only the
    // string call.
    if (k == PLIST_KEY)
        plist_get_key_val(static_cast<plist_t>(ref()), &text);
    else
        plist_get_string_val(static_cast<plist_t>(ref()), &text);
    const QString result = QString::fromUtf8(text);
    free(text);
    return result;
}

int PlistCFType::CFStringLength() const { return int(CFStringQString().size()); }

QByteArray PlistCFType::CFDataBytes() const
{
    if (kind() != PLIST_DATA)
        return QByteArray();
    char* bytes = nullptr;
    uint64_t length = 0;
    plist_get_data_val(static_cast<plist_t>(ref()), &bytes, &length);
    QByteArray result;
    if (bytes && length > 0 && length <= quint64(std::numeric_limits<int>::max()))
        result = QByteArray(bytes, qsizetype(length));
    free(bytes);
    return result;
}

int PlistCFType::CFDataLength() const { return int(CFDataBytes().size()); }

QDateTime PlistCFType::CFDateToDateTime(int offsetSeconds) const
{
    if (kind() != PLIST_DATE)
        return QDateTime();
    plist_t node = static_cast<plist_t>(ref());
    int32_t seconds = 0;
    int32_t micros = 0;
    plist_get_date_val(node, &seconds, &micros);
    // libplist gives the fraction without its sign; it is negative exactly
    // when the stored instant lies before 2001. With whole seconds of 0 only
    // a comparison with the negative candidate tells.
    bool negative = seconds < 0;
    if (seconds == 0 && micros != 0) {
        plist_t probe = plist_new_date(0, -micros);
        negative = plist_compare_node_value(node, probe) != 0;
        plist_free(probe);
    }
    // Whole milliseconds were written; rounding absorbs the double's noise.
    const qint64 fractionMs = (qint64(micros) + 500) / 1000;
    const qint64 msecs = (qint64(seconds) + offsetSeconds) * 1000 + (negative ? -fractionMs : fractionMs);
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(kPlistEpochMSecs + msecs, Qt::UTC);
    return QDateTime(utc.date(), utc.time(), Qt::LocalTime);
}

QDateTime PlistCFType::CFDateToDateTime(const __CFTimeZone*) const { return CFDateToDateTime(0); }
QDateTime PlistCFType::CFDateToDateTime(const QString&) const { return CFDateToDateTime(0); }

quint32 PlistCFType::CFKeyedArchiverUIDGetValue() const
{
    if (kind() != PLIST_UID)
        return 0;
    uint64_t value = 0;
    plist_get_uid_val(static_cast<plist_t>(ref()), &value);
    return quint32(value);
}

// ---- containers

// The node to insert into this container for value: the value's own node,
// handed over (the value's private part joins the child table and stops
// owning), or a deep copy when the node cannot change hands. libplist does
// not detach a node from its old parent, so inserting a node that has one,
// or the container itself, or one of its ancestors, would corrupt the tree.
void* PlistCFType::adoptForInsert(const PlistCFType& value)
{
    plist_t node = static_cast<plist_t>(value.ref());
    if (!node)
        return nullptr;
    if (!value.d->owned || plist_get_parent(node) || isSelfOrAncestor(node, static_cast<plist_t>(ref())))
        return plist_copy(node);
    m_children.insert(node, value.d);
    value.d->owned = false;
    return node;
}

quint32 PlistCFType::dict_size() const
{
    return kind() == PLIST_DICT ? plist_dict_get_size(static_cast<plist_t>(ref())) : 0;
}

QList<PlistCFType> PlistCFType::dict_keys() const
{
    QList<PlistCFType> keys;
    if (dict_size() == 0)
        return keys;
    plist_t node = static_cast<plist_t>(ref());
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(node, &iter);
    if (!iter)
        return keys;
    for (;;) {
        char* key = nullptr;
        plist_dict_next_item(node, iter, &key, nullptr);
        if (!key)
            break;
        keys.append(createCFString(QString::fromUtf8(key)));
        free(key);
    }
    free(iter);
    return keys;
}

PlistCFType PlistCFType::get(const QString& key) const
{
    if (kind() != PLIST_DICT)
        return PlistCFType();
    return PlistCFType(plist_dict_get_item(static_cast<plist_t>(ref()), key.toUtf8().constData()), false);
}

PlistCFType PlistCFType::get(const PlistCFType& key) const { return get(key.toString()); }

PlistCFType& PlistCFType::put(const QString& key, const PlistCFType& value)
{
    if (kind() != PLIST_DICT || !value.ref())
        return *this;
    plist_dict_set_item(static_cast<plist_t>(ref()), key.toUtf8().constData(),
        static_cast<plist_t>(adoptForInsert(value)));
    return *this;
}

PlistCFType& PlistCFType::put(const PlistCFType& key, const PlistCFType& value)
{
    if (!key.ref())
        return *this;
    return put(key.toString(), value);
}

PlistCFType& PlistCFType::dict_replace(const PlistCFType& key, const PlistCFType& value) { return put(key, value); }

quint32 PlistCFType::array_size() const
{
    return kind() == PLIST_ARRAY ? plist_array_get_size(static_cast<plist_t>(ref())) : 0;
}

PlistCFType PlistCFType::at(int index) const
{
    if (index < 0 || quint32(index) >= array_size())
        return PlistCFType();
    return PlistCFType(plist_array_get_item(static_cast<plist_t>(ref()), quint32(index)), false);
}

PlistCFType& PlistCFType::append(const PlistCFType& value)
{
    if (kind() != PLIST_ARRAY || !value.ref())
        return *this;
    plist_array_append_item(static_cast<plist_t>(ref()), static_cast<plist_t>(adoptForInsert(value)));
    return *this;
}

PlistCFType& PlistCFType::array_replace(int index, const PlistCFType& value)
{
    // The index is checked before the value changes hands: a node handed to
    // a call that then ignores it would be lost.
    if (index < 0 || quint32(index) >= array_size() || !value.ref())
        return *this;
    plist_array_set_item(static_cast<plist_t>(ref()), static_cast<plist_t>(adoptForInsert(value)), quint32(index));
    return *this;
}
