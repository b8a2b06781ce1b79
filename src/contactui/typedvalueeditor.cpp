// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/typedvalueeditor.h"

#include <QComboBox>

namespace {
// The keys the contact editor reads the stored entity with; the baseline is
// taken under them.
const QString kType = QStringLiteral("data2");
const QString kLabel = QStringLiteral("data3");
const QString kValue = QStringLiteral("data1");
} // namespace

struct TypedValueEditor::Item : Row {
    using Row::Row;
    QComboBox* type = nullptr;
    QWidget* value = nullptr;
};

TypedValueEditor::TypedValueEditor(const QString& title, QMap<int, QString> typeMap, int defaultType,
                                   QWidget* parent)
    : AbsEntitiesEditor(title, 2, parent)
    , m_typeMap(std::move(typeMap))
    , m_defaultType(defaultType)
{
}

void TypedValueEditor::addRow(unsigned long long id, QString srcId, int type, const QString& label,
                              const QVariant& value, QVariantMap stored)
{
    const int row = nextRow();
    auto item = std::make_unique<Item>(id, std::move(srcId));
    item->type = place(*item, entityrows::newTypeBox(this, m_typeMap, 100), row, 0);
    entityrows::selectType(item->type, label.isEmpty() ? type : 0, label);
    item->value = place(*item, newValueBox(value), row, 1);
    placeRemoveButton(*item, row);

    item->baseline.stored = std::move(stored);
    if (item->id != 0 || !item->baseline.stored.isEmpty())
        item->baseline.shown = shownFields(*item, kType, kLabel, kValue);
    appendRow(std::move(item));
}

QVariantMap TypedValueEditor::shownFields(const Item& item, const QString& typeKey, const QString& labelKey,
                                          const QString& valueKey) const
{
    QVariantMap fields;
    entityrows::readType(item.type, fields, typeKey, labelKey);
    fields.insert(valueKey, valueOf(item.value));
    return fields;
}

QList<pim::Entity> TypedValueEditor::toEntityList(QString typeKey, QString labelKey, QString valueKey) const
{
    QList<pim::Entity> result;
    for (const Item* item : rows<Item>()) {
        entityrows::Record record = *item;
        if (!record.baseline.shown.isEmpty() && (typeKey != kType || labelKey != kLabel || valueKey != kValue)) {
            // Asked under other keys than filled with: compare under those.
            record.baseline.shown = QVariantMap{{typeKey, item->baseline.shown.value(kType)},
                                                {labelKey, item->baseline.shown.value(kLabel)},
                                                {valueKey, item->baseline.shown.value(kValue)}};
        }
        result.append(
            record.merged(shownFields(*item, typeKey, labelKey, valueKey), {{typeKey, labelKey}, {valueKey}}));
    }
    return result;
}
