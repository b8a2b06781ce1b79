// SPDX-License-Identifier: GPL-3.0-or-later
#include "contact.h"

#include <QDate>
#include <QDateTime>

namespace pim {

namespace {
const QString kIsoDateTime = QStringLiteral("yyyy-MM-ddTHH:mm:ss");
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

bool fieldEquals(const QVariant& left, const QVariant& right)
{
    if (!left.isValid() || left.isNull() || !right.isValid() || right.isNull()) {
        // An absent value reads as empty text / 0 / no bytes.
        if (left.typeId() == QMetaType::QByteArray || right.typeId() == QMetaType::QByteArray)
            return left.toByteArray() == right.toByteArray();
        return fieldText(left) == fieldText(right);
    }
    switch (left.typeId()) {
    case QMetaType::QByteArray:
        return left.toByteArray() == right.toByteArray();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: {
        bool ok = false;
        const qlonglong r = right.toLongLong(&ok);
        return ok && left.toLongLong() == r;
    }
    case QMetaType::QDateTime:
    case QMetaType::QDate:
        return fieldText(left) == fieldText(right);
    default:
        return fieldText(left) == fieldText(right);
    }
}

} // namespace pim
