// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "contactui/typedvalueeditor.h"

#include <QMap>
#include <QString>
#include <QVariantMap>

// A list of one-value entities with a sub-type (phones, e-mail addresses,
// related names, websites): a title row with an add button, then one row per
// entity of type box, value box and remove button. It validates nothing and
// never drops a row; whether a row is empty is the edit dialog's call.
class GenericEntitiesEditor : public TypedValueEditor {
    Q_OBJECT
public:
    GenericEntitiesEditor(QString title, QString placeholder, QMap<int, QString> typeMap, int defaultType,
                          QWidget* parent = nullptr);

    // Appends a row. `label` is the custom sub-type label ("" for none).
    // `stored` is the field map the row was filled from: keys the row does
    // not show are handed back untouched by toEntityList.
    void addItem(unsigned long long id, QString srcId, int type, QString label, QString value,
                 QVariantMap stored = {});
    void add() override;

protected:
    QWidget* newValueBox(const QVariant& value) override;
    QVariant valueOf(const QWidget* box) const override;

private:
    QString m_placeholder;
};
