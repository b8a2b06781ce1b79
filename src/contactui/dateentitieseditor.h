// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "contactui/entityrows_p.h"
#include "model/contact.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QVariantMap>
#include <QWidget>

class QComboBox;
class QDateTimeEdit;
class QGridLayout;
class QToolButton;

// A list of dates (birthdays, anniversaries): one row per entity of type
// box, date box ("yyyy-MM-dd", the time is kept but not shown) and remove
// button.
class DateEntitiesEditor : public QWidget {
    Q_OBJECT
public:
    DateEntitiesEditor(QString title, QMap<int, QString> typeMap, int defaultType, QWidget* parent = nullptr);

    // Appends a row; an invalid date leaves the box at 1 January 2000.
    // `stored` as in GenericEntitiesEditor::addItem: a date the user did not
    // change comes back as stored (a year-less birthday stays year-less).
    void addItem(unsigned long long id, QString srcId, int type, QString label, QDateTime date,
                 QVariantMap stored = {});
    // The value key holds the ISO text "yyyy-MM-ddThh:mm:ss" of a changed date.
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
        QDateTimeEdit* date = nullptr;
        QToolButton* remove = nullptr;
        entityrows::Baseline baseline;
    };
    QVariantMap shownFields(const _Item& item, const QString& typeKey, const QString& labelKey,
                            const QString& valueKey) const;

    QMap<int, QString> m_typeMap;
    int m_defaultType;
    QGridLayout* m_grid;
    QList<_Item> m_items;
};
