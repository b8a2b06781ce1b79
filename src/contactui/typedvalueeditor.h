// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "contactui/absentitieseditor.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QVariant>
#include <QVariantMap>

// A list of entities of a sub-type and one value each: one row of type box,
// value widget and remove button. The value is read under "data2" (code),
// "data3" (custom label) and "data1" (value) from the stored fields.
class TypedValueEditor : public AbsEntitiesEditor {
    Q_OBJECT
public:
    // One entity per row, in row order, with the row's id and srcId. A row
    // the user left alone comes back exactly as stored.
    QList<pim::Entity> toEntityList(QString typeKey, QString labelKey, QString valueKey) const;

protected:
    TypedValueEditor(const QString& title, QMap<int, QString> typeMap, int defaultType, QWidget* parent);

    // Appends a row. `label` is the custom sub-type label ("" for none).
    // `stored` is the field map the row was filled from: keys the row does
    // not show are handed back untouched by toEntityList.
    void addRow(unsigned long long id, QString srcId, int type, const QString& label, const QVariant& value,
                QVariantMap stored);
    int defaultType() const { return m_defaultType; }

    // A value widget showing `value`, and what it reads back.
    virtual QWidget* newValueBox(const QVariant& value) = 0;
    virtual QVariant valueOf(const QWidget* box) const = 0;

private:
    struct Item;
    QVariantMap shownFields(const Item& item, const QString& typeKey, const QString& labelKey,
                            const QString& valueKey) const;

    QMap<int, QString> m_typeMap;
    int m_defaultType;
};
