// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/imentitieseditor.h"

#include "model/pimlabels.h"

#include <QComboBox>
#include <QLineEdit>

struct IMEntitiesEditor::Item : Row {
    using Row::Row;
    QComboBox* type = nullptr;
    QComboBox* protocol = nullptr;
    QLineEdit* account = nullptr;
};

IMEntitiesEditor::IMEntitiesEditor(QString title, int defaultType, int defaultProtocol, QWidget* parent)
    : AbsEntitiesEditor(title, 3, parent)
    , m_defaultType(defaultType)
    , m_defaultProtocol(defaultProtocol)
{
}

void IMEntitiesEditor::addItem(const pim::Entity& entity)
{
    const QVariantMap& f = entity.fields;
    const int row = nextRow();
    auto item = std::make_unique<Item>(entity.id, entity.srcId);

    const QString label = f.value(QStringLiteral("data3")).toString();
    item->type = place(*item, entityrows::newTypeBox(this, pim::imTypeMap(), 60), row, 0);
    entityrows::selectType(item->type, label.isEmpty() ? entityrows::intField(f, QStringLiteral("data2")) : 0, label);

    // Unlike the type box, the stored code stays selected beside a custom name.
    item->protocol = place(*item, entityrows::newTypeBox(this, pim::imProtocolMap(), 100), row, 1);
    entityrows::selectType(item->protocol, entityrows::intField(f, QStringLiteral("data5")),
                           f.value(QStringLiteral("data6")).toString());

    item->account = place(*item, new QLineEdit(f.value(QStringLiteral("data1")).toString(), this), row, 2);
    placeRemoveButton(*item, row);

    if (entity.id != 0 || !entity.srcId.isEmpty())
        item->take(entity, shownFields(*item));
    appendRow(std::move(item));
}

void IMEntitiesEditor::add()
{
    pim::Entity entity(0, QStringLiteral(""));
    entity.fields.insert(QStringLiteral("data2"), m_defaultType);
    entity.fields.insert(QStringLiteral("data5"), m_defaultProtocol);
    addItem(entity);
}

QVariantMap IMEntitiesEditor::shownFields(const Item& item)
{
    QVariantMap fields;
    entityrows::readType(item.type, fields, QStringLiteral("data2"), QStringLiteral("data3"));
    entityrows::readType(item.protocol, fields, QStringLiteral("data5"), QStringLiteral("data6"));
    fields.insert(QStringLiteral("data1"), item.account->text().trimmed());
    return fields;
}

QList<pim::Entity> IMEntitiesEditor::toEntityList() const
{
    QList<pim::Entity> result;
    for (const Item* item : rows<Item>()) {
        result.append(item->merged(
            shownFields(*item),
            {{QStringLiteral("data2"), QStringLiteral("data3")}, {QStringLiteral("data5"), QStringLiteral("data6")},
             {QStringLiteral("data1")}}));
    }
    return result;
}
