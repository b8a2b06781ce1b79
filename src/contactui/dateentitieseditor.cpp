// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/dateentitieseditor.h"

#include <QDateTimeEdit>

DateEntitiesEditor::DateEntitiesEditor(QString title, QMap<int, QString> typeMap, int defaultType, QWidget* parent)
    : TypedValueEditor(title, std::move(typeMap), defaultType, parent)
{
}

void DateEntitiesEditor::addItem(unsigned long long id, QString srcId, int type, QString label, QDateTime date,
                                 QVariantMap stored)
{
    addRow(id, std::move(srcId), type, label, date, std::move(stored));
}

void DateEntitiesEditor::add()
{
    addItem(0, QStringLiteral(""), defaultType(), QStringLiteral(""), QDateTime(QDate::currentDate(), QTime(0, 0)));
}

QWidget* DateEntitiesEditor::newValueBox(const QVariant& value)
{
    auto* box = new QDateTimeEdit(this);
    box->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    const QDateTime date = value.toDateTime();
    if (date.isValid())
        box->setDateTime(date);
    return box;
}

QVariant DateEntitiesEditor::valueOf(const QWidget* box) const
{
    return static_cast<const QDateTimeEdit*>(box)->dateTime().toString(Qt::ISODate);
}
