// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "contactui/typedvalueeditor.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QVariantMap>

// A list of dates (birthdays, anniversaries): one row per entity of type
// box, date box ("yyyy-MM-dd", the time is kept but not shown) and remove
// button. toEntityList's value key holds the ISO text "yyyy-MM-ddThh:mm:ss"
// of a changed date.
class DateEntitiesEditor : public TypedValueEditor {
    Q_OBJECT
public:
    DateEntitiesEditor(QString title, QMap<int, QString> typeMap, int defaultType, QWidget* parent = nullptr);

    // Appends a row; an invalid date leaves the box at 1 January 2000.
    // `stored` as in GenericEntitiesEditor::addItem: a date the user did not
    // change comes back as stored (a year-less birthday stays year-less).
    void addItem(unsigned long long id, QString srcId, int type, QString label, QDateTime date,
                 QVariantMap stored = {});
    void add() override;

protected:
    QWidget* newValueBox(const QVariant& value) override;
    QVariant valueOf(const QWidget* box) const override;
};
