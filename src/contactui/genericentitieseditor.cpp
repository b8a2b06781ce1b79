// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/genericentitieseditor.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace {
// The keys the contact editor reads the stored entity with; the baseline is
// taken under them.
const QString kType = QStringLiteral("data2");
const QString kLabel = QStringLiteral("data3");
const QString kValue = QStringLiteral("data1");
} // namespace

GenericEntitiesEditor::GenericEntitiesEditor(QString title, QString placeholder, QMap<int, QString> typeMap,
                                             int defaultType, QWidget* parent)
    : QWidget(parent)
    , m_placeholder(std::move(placeholder))
    , m_typeMap(std::move(typeMap))
    , m_defaultType(defaultType)
    , m_grid(new QGridLayout(this))
{
    m_grid->setContentsMargins(0, 0, 0, 0);
    // Spanning the value column, so a long title does not widen the type column.
    m_grid->addWidget(new QLabel(title, this), 0, 0, 1, 2);
    QToolButton* addButton = entityrows::newIconButton(this, QStringLiteral(":res/add.png"));
    connect(addButton, &QToolButton::pressed, this, &GenericEntitiesEditor::add);
    m_grid->addWidget(addButton, 0, 2);
}

void GenericEntitiesEditor::addItem(unsigned long long id, QString srcId, int type, QString label, QString value,
                                    QVariantMap stored)
{
    const int row = entityrows::nextFreeRow(m_grid);
    _Item item(id, std::move(srcId));
    item.type = entityrows::newTypeBox(this, m_typeMap, 100);
    entityrows::selectType(item.type, label.isEmpty() ? type : 0, label);
    m_grid->addWidget(item.type, row, 0);

    item.value = new QLineEdit(this);
    item.value->setPlaceholderText(m_placeholder);
    item.value->setText(value);
    m_grid->addWidget(item.value, row, 1);

    item.remove = entityrows::newIconButton(this, QStringLiteral(":res/remove.png"));
    connect(item.remove, &QToolButton::pressed, this, &GenericEntitiesEditor::remove);
    m_grid->addWidget(item.remove, row, 2);

    item.baseline.stored = std::move(stored);
    if (item.id != 0 || !item.baseline.stored.isEmpty())
        item.baseline.shown = shownFields(item, kType, kLabel, kValue);
    m_items.append(item);
}

void GenericEntitiesEditor::add()
{
    addItem(0, QStringLiteral(""), m_defaultType, QStringLiteral(""), QStringLiteral(""));
}

void GenericEntitiesEditor::remove()
{
    for (int i = 0; i < m_items.size(); ++i) {
        const _Item& item = m_items.at(i);
        if (item.remove != sender())
            continue;
        // The button is still delivering its signal: delete nothing at once.
        for (QWidget* w : {static_cast<QWidget*>(item.type), static_cast<QWidget*>(item.value),
                           static_cast<QWidget*>(item.remove)}) {
            m_grid->removeWidget(w);
            w->hide();
            w->deleteLater();
        }
        m_items.removeAt(i);
        return;
    }
}

QVariantMap GenericEntitiesEditor::shownFields(const _Item& item, const QString& typeKey, const QString& labelKey,
                                               const QString& valueKey) const
{
    QVariantMap fields;
    entityrows::readType(item.type, fields, typeKey, labelKey);
    fields.insert(valueKey, item.value->text().trimmed());
    return fields;
}

QList<pim::Entity> GenericEntitiesEditor::toEntityList(QString typeKey, QString labelKey, QString valueKey) const
{
    QList<pim::Entity> result;
    for (const _Item& item : m_items) {
        entityrows::Baseline baseline = item.baseline;
        if (!baseline.shown.isEmpty() && (typeKey != kType || labelKey != kLabel || valueKey != kValue)) {
            // Asked under other keys than filled with: compare under those.
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
