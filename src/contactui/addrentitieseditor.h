// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "contactui/absentitieseditor.h"
#include "model/contact.h"

#include <QList>
#include <QString>

// A list of postal addresses, four grid rows per entity: type box, country
// and remove button; state and city; street (several lines); postcode.
class AddrEntitiesEditor : public AbsEntitiesEditor {
    Q_OBJECT
public:
    AddrEntitiesEditor(QString title, int defaultType, QWidget* parent = nullptr);

    // Appends a row filled from the entity; keys the row does not show
    // (extra address lines, PO box) come back untouched.
    void addItem(pim::Entity entity);
    // "data10" country, "data8" state, "data7" city, "data4" street (plain
    // text, inner line breaks kept), "data9" postcode, "data2"/"data3" the
    // sub-type and "data1" the formatted address of a changed row.
    QList<pim::Entity> toEntityList() const;
    void add() override;

private:
    struct Item;
    static QVariantMap shownFields(const Item& item);

    int m_defaultType;
};
