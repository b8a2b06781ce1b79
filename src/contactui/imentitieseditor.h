// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "contactui/entityrows_p.h"
#include "model/contact.h"

#include <QList>
#include <QString>
#include <QWidget>

class QComboBox;
class QGridLayout;
class QLineEdit;
class QToolButton;

// A list of instant-messaging accounts: one row per entity of type box
// ("data2"/"data3"), protocol box ("data5"/"data6"), account box ("data1")
// and remove button.
class IMEntitiesEditor : public QWidget {
    Q_OBJECT
public:
    IMEntitiesEditor(QString title, int defaultType, int defaultProtocol, QWidget* parent = nullptr);

    // Appends a row filled from the entity; its other keys come back untouched.
    void addItem(const pim::Entity& entity);
    QList<pim::Entity> toEntityList() const;

public slots:
    void add();
    void remove();

private:
    struct _Item {
        _Item(unsigned long long id, QString srcId) : id(id), srcId(std::move(srcId)) {}
        unsigned long long id;
        QString srcId;
        QComboBox* type = nullptr;
        QComboBox* protocol = nullptr;
        QLineEdit* account = nullptr;
        QToolButton* remove = nullptr;
        entityrows::Baseline baseline;
    };
    static QVariantMap shownFields(const _Item& item);

    int m_defaultType;
    int m_defaultProtocol;
    QGridLayout* m_grid;
    QList<_Item> m_items;
};
