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
class QTextEdit;
class QToolButton;

// A list of postal addresses, four grid rows per entity: type box, country
// and remove button; state and city; street (several lines); postcode.
class AddrEntitiesEditor : public QWidget {
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

public slots:
    void add();
    void remove();

private:
    struct _Item {
        _Item(unsigned long long id, QString srcId) : id(id), srcId(std::move(srcId)) {}
        unsigned long long id;
        QString srcId;
        QComboBox* type = nullptr;
        QLineEdit* country = nullptr;
        QLineEdit* state = nullptr;
        QLineEdit* city = nullptr;
        QTextEdit* street = nullptr;
        QLineEdit* postcode = nullptr;
        QToolButton* remove = nullptr;
        entityrows::Baseline baseline;
    };
    static QVariantMap shownFields(const _Item& item);

    int m_defaultType;
    QGridLayout* m_grid;
    QList<_Item> m_items;
};
