// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/contact.h"

#include <QDate>
#include <QDateTime>

#include <algorithm>
#include <iterator>
#include <utility>

namespace pim {

namespace {

// The literal T is quoted: the stored form must never depend on which
// letters a Qt version treats as format characters.
const QString kIsoDateTime = QStringLiteral("yyyy-MM-dd'T'HH:mm:ss");

bool isSignedIntegral(int type)
{
    switch (type) {
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::SChar:
    case QMetaType::Char:
        return true;
    default:
        return false;
    }
}

bool isUnsignedIntegral(int type)
{
    switch (type) {
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

bool isFloating(int type)
{
    return type == QMetaType::Double || type == QMetaType::Float;
}

bool isNumeric(int type)
{
    return isSignedIntegral(type) || isUnsignedIntegral(type) || isFloating(type);
}

// Compares two numbers of any numeric types without losing the top bit of
// an unsigned 64-bit value.
bool numbersEqual(const QVariant& a, const QVariant& b)
{
    const int ta = a.typeId();
    const int tb = b.typeId();
    if (isFloating(ta) || isFloating(tb))
        return a.toDouble() == b.toDouble();
    if (isUnsignedIntegral(ta) && isUnsignedIntegral(tb))
        return a.toULongLong() == b.toULongLong();
    if (isSignedIntegral(ta) && isSignedIntegral(tb))
        return a.toLongLong() == b.toLongLong();
    const QVariant& s = isSignedIntegral(ta) ? a : b;
    const QVariant& u = isSignedIntegral(ta) ? b : a;
    const qlonglong sv = s.toLongLong();
    return sv >= 0 && quint64(sv) == u.toULongLong();
}

QDateTime dateTimeOf(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::QDateTime:
        return v.toDateTime();
    case QMetaType::QDate:
        return v.toDate().startOfDay();
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return QDateTime::fromString(v.toString(), Qt::ISODate);
    default:
        return QDateTime();
    }
}

} // namespace

bool isMultiValued(int type)
{
    switch (type) {
    case ENTITY_PHONE:
    case ENTITY_EMAIL:
    case ENTITY_EVENT:
    case ENTITY_IM:
    case ENTITY_REL:
    case ENTITY_URL:
        return true;
    default:
        return false;
    }
}

const QString& typeNotGivenKey()
{
    static const QString key = QStringLiteral("typeNotGiven");
    return key;
}

bool isTypeGiven(const Entity& entity)
{
    return !entity.fields.contains(typeNotGivenKey());
}

void setTypeNotGiven(Entity& entity)
{
    entity.fields.insert(typeNotGivenKey(), true);
}

QString fieldText(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return value.toDateTime().toString(kIsoDateTime);
    case QMetaType::QDate:
        return value.toDate().startOfDay().toString(kIsoDateTime);
    default:
        return value.toString();
    }
}

bool isBlankText(QStringView text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}

void dropFoundEndBlanks(QString& text)
{
    const auto isEndBlank = [](QChar c) { return c == u' ' || c == u'\t'; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isEndBlank(text.at(begin)))
        ++begin;
    while (end > begin && isEndBlank(text.at(end - 1)))
        --end;
    text.truncate(end);
    text.remove(0, begin);
}

bool keepsEndBlanks(int type)
{
    return type == ENTITY_NOTES;
}

namespace {

// The fields that carry the value of an entry of the type; none for a type
// outside the table.
std::pair<const int*, const int*> valueColumns(int type)
{
    static constexpr int kName[] = { 1, 2, 3, 4, 5, 6, 7, 8, 9 };
    static constexpr int kPhoto[] = { 15 };
    static constexpr int kGroup[] = { 2 };
    static constexpr int kOrg[] = { 1, 4, 5 };
    static constexpr int kAddress[] = { 4, 7, 8, 9, 10 };
    static constexpr int kValue[] = { 1 };
    const auto all = [](const auto& columns) { return std::make_pair(std::begin(columns), std::end(columns)); };
    switch (type) {
    case ENTITY_NAME:
        return all(kName);
    case ENTITY_PHOTO:
        return all(kPhoto);
    case ENTITY_GROUP:
        return all(kGroup);
    case ENTITY_ORG:
        return all(kOrg);
    case ENTITY_ADDR:
        return all(kAddress);
    case ENTITY_PHONE:
    case ENTITY_EMAIL:
    case ENTITY_NICKNAME:
    case ENTITY_EVENT:
    case ENTITY_IM:
    case ENTITY_NOTES:
    case ENTITY_REL:
    case ENTITY_URL:
        return all(kValue);
    default:
        return { nullptr, nullptr };
    }
}

} // namespace

bool isBlankEntry(int type, const Entity& entity)
{
    const auto [first, last] = valueColumns(type);
    if (first == last)
        return false;
    return std::all_of(first, last, [&entity](int column) {
        const QVariant* value = entity.fields.find(column);
        if (!value)
            return true;
        // Readers test every value they make: the text is looked at in
        // place rather than converted to a copy.
        if (value->typeId() == QMetaType::QString)
            return isBlankText(*static_cast<const QString*>(value->constData()));
        if (value->typeId() == QMetaType::QByteArray)
            return static_cast<const QByteArray*>(value->constData())->isEmpty();
        return isBlankText(fieldText(*value));
    });
}

bool fieldEquals(const QVariant& left, const QVariant& right)
{
    if (!left.isValid() || !right.isValid())
        return left.isValid() == right.isValid();

    const int lt = left.typeId();
    const int rt = right.typeId();
    if (isNumeric(lt) && isNumeric(rt))
        return numbersEqual(left, right);

    switch (lt) {
    case QMetaType::QString:
        if (rt == QMetaType::QString)
            return left.toString() == right.toString();
        if (!right.canConvert<QString>())
            return false;
        return left.toString() == fieldText(right);
    case QMetaType::QByteArray:
        if (rt == QMetaType::QByteArray)
            return left.toByteArray() == right.toByteArray();
        if (!right.canConvert<QString>())
            return false;
        return left.toByteArray() == fieldText(right).toUtf8();
    case QMetaType::QDateTime:
    case QMetaType::QDate: {
        // Dates are kept to the second, as they are stored.
        const QDateTime r = dateTimeOf(right);
        return r.isValid() && fieldText(left) == fieldText(QVariant(r));
    }
    default:
        break;
    }

    if (isSignedIntegral(lt) || isUnsignedIntegral(lt)) {
        bool ok = false;
        if (isUnsignedIntegral(lt)) {
            const qulonglong r = right.toULongLong(&ok);
            return ok && left.toULongLong() == r;
        }
        const qlonglong r = right.toLongLong(&ok);
        return ok && left.toLongLong() == r;
    }
    if (isFloating(lt)) {
        bool ok = false;
        const double r = right.toDouble(&ok);
        return ok && left.toDouble() == r;
    }

    QVariant converted = right;
    if (!converted.convert(left.metaType()))
        return false;
    return left == converted;
}

} // namespace pim
