// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "contactui/entityrows_p.h"
#include "model/contact.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QVariantMap>
#include <QWidget>

class QComboBox;
class QGridLayout;
class QLineEdit;
class QToolButton;

// A list of one-value entities with a sub-type (phones, e-mail addresses,
// related names, websites): a title row with an add button, then one row per
// entity of type box, value box and remove button. It validates nothing and
// never drops a row; whether a row is empty is the edit dialog's call.
class GenericEntitiesEditor : public QWidget {
    Q_OBJECT
public:
    GenericEntitiesEditor(QString title, QString placeholder, QMap<int, QString> typeMap, int defaultType,
                          QWidget* parent = nullptr);

    // Appends a row. `label` is the custom sub-type label ("" for none).
    // `stored` is the field map the row was filled from: keys the row does
    // not show are handed back untouched by toEntityList.
    void addItem(unsigned long long id, QString srcId, int type, QString label, QString value,
                 QVariantMap stored = {});
    // One entity per row, in row order, with the row's id and srcId. A row
    // the user left alone comes back exactly as stored.
    QList<pim::Entity> toEntityList(QString typeKey, QString labelKey, QString valueKey) const;

public slots:
    void add();
    void remove();

private:
    struct _Item {
        _Item(unsigned long long id, QString srcId) : id(id), srcId(std::move(srcId)) {}
        unsigned long long id;
        QString srcId;
        QComboBox* type = nullptr;
        QLineEdit* value = nullptr;
        QToolButton* remove = nullptr;
        entityrows::Baseline baseline;
    };
    QVariantMap shownFields(const _Item& item, const QString& typeKey, const QString& labelKey,
                            const QString& valueKey) const;

    QString m_placeholder;
    QMap<int, QString> m_typeMap;
    int m_defaultType;
    QGridLayout* m_grid;
    QList<_Item> m_items;
};
