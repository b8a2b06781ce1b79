// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/dateentitieseditor.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QLabel>
#include <QToolButton>

namespace {
const QString kType = QStringLiteral("data2");
const QString kLabel = QStringLiteral("data3");
const QString kValue = QStringLiteral("data1");
} // namespace

DateEntitiesEditor::DateEntitiesEditor(QString title, QMap<int, QString> typeMap, int defaultType, QWidget* parent)
    : QWidget(parent)
    , m_typeMap(std::move(typeMap))
    , m_defaultType(defaultType)
    , m_grid(new QGridLayout(this))
{
    m_grid->setContentsMargins(0, 0, 0, 0);
    // Spanning the value column, so a long title does not widen the type column.
    m_grid->addWidget(new QLabel(title, this), 0, 0, 1, 2);
    QToolButton* addButton = entityrows::newIconButton(this, QStringLiteral(":res/add.png"));
    connect(addButton, &QToolButton::pressed, this, &DateEntitiesEditor::add);
    m_grid->addWidget(addButton, 0, 2);
}

void DateEntitiesEditor::addItem(unsigned long long id, QString srcId, int type, QString label, QDateTime date,
                                 QVariantMap stored)
{
    const int row = entityrows::nextFreeRow(m_grid);
    _Item item(id, std::move(srcId));
    item.type = entityrows::newTypeBox(this, m_typeMap, 100);
    entityrows::selectType(item.type, label.isEmpty() ? type : 0, label);
    m_grid->addWidget(item.type, row, 0);

    item.date = new QDateTimeEdit(this);
    item.date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    if (date.isValid())
        item.date->setDateTime(date);
    m_grid->addWidget(item.date, row, 1);

    item.remove = entityrows::newIconButton(this, QStringLiteral(":res/remove.png"));
    connect(item.remove, &QToolButton::pressed, this, &DateEntitiesEditor::remove);
    m_grid->addWidget(item.remove, row, 2);

    item.baseline.stored = std::move(stored);
    if (item.id != 0 || !item.baseline.stored.isEmpty())
        item.baseline.shown = shownFields(item, kType, kLabel, kValue);
    m_items.append(item);
}

void DateEntitiesEditor::add()
{
    addItem(0, QStringLiteral(""), m_defaultType, QStringLiteral(""), QDateTime(QDate::currentDate(), QTime(0, 0)));
}

void DateEntitiesEditor::remove()
{
    for (int i = 0; i < m_items.size(); ++i) {
        const _Item& item = m_items.at(i);
        if (item.remove != sender())
            continue;
        for (QWidget* w : {static_cast<QWidget*>(item.type), static_cast<QWidget*>(item.date),
                           static_cast<QWidget*>(item.remove)}) {
            m_grid->removeWidget(w);
            w->hide();
            w->deleteLater();
        }
        m_items.removeAt(i);
        return;
    }
}

QVariantMap DateEntitiesEditor::shownFields(const _Item& item, const QString& typeKey, const QString& labelKey,
                                            const QString& valueKey) const
{
    QVariantMap fields;
    entityrows::readType(item.type, fields, typeKey, labelKey);
    fields.insert(valueKey, item.date->dateTime().toString(Qt::ISODate));
    return fields;
}

QList<pim::Entity> DateEntitiesEditor::toEntityList(QString typeKey, QString labelKey, QString valueKey) const
{
    QList<pim::Entity> result;
    for (const _Item& item : m_items) {
        entityrows::Baseline baseline = item.baseline;
        if (!baseline.shown.isEmpty() && (typeKey != kType || labelKey != kLabel || valueKey != kValue)) {
            baseline.shown = QVariantMap{{typeKey, item.baseline.shown.value(kType)},
                                         {labelKey, item.baseline.shown.value(kLabel)},
                                         {valueKey, item.baseline.shown.value(kValue)}};
        }
        result.append(entityrows::mergeEdited(item.id, item.srcId, baseline,
                                              shownFields(item, typeKey, labelKey, valueKey),
                                              {{typeKey, labelKey}, {valueKey}}));
    }
    return result;
}
