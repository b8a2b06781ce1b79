// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "contactui/absentitieseditor.h"
#include "model/contact.h"

#include <QList>
#include <QString>

// A list of instant-messaging accounts: one row per entity of type box
// ("data2"/"data3"), protocol box ("data5"/"data6"), account box ("data1")
// and remove button.
class IMEntitiesEditor : public AbsEntitiesEditor {
    Q_OBJECT
public:
    IMEntitiesEditor(QString title, int defaultType, int defaultProtocol, QWidget* parent = nullptr);

    // Appends a row filled from the entity; its other keys come back untouched.
    void addItem(const pim::Entity& entity);
    QList<pim::Entity> toEntityList() const;
    void add() override;

private:
    struct Item;
    static QVariantMap shownFields(const Item& item);

    int m_defaultType;
    int m_defaultProtocol;
};
