// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/addrentitieseditor.h"

#include "contactui/plaintextbox.h"
#include "model/pimlabels.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTextEdit>
#include <QToolButton>

namespace {
const QString kType = QStringLiteral("data2");
const QString kLabel = QStringLiteral("data3");
const QString kStreet = QStringLiteral("data4");
const QString kCity = QStringLiteral("data7");
const QString kState = QStringLiteral("data8");
const QString kPostcode = QStringLiteral("data9");
const QString kCountry = QStringLiteral("data10");

QLineEdit* newBox(QWidget* parent, const char* placeholder, const QString& text)
{
    auto* box = new QLineEdit(text, parent);
    box->setPlaceholderText(AddrEntitiesEditor::tr(placeholder));
    return box;
}
} // namespace

struct AddrEntitiesEditor::Item : Row {
    using Row::Row;
    QComboBox* type = nullptr;
    QLineEdit* country = nullptr;
    QLineEdit* state = nullptr;
    QLineEdit* city = nullptr;
    QTextEdit* street = nullptr;
    QLineEdit* postcode = nullptr;
};

AddrEntitiesEditor::AddrEntitiesEditor(QString title, int defaultType, QWidget* parent)
    : AbsEntitiesEditor(title, 3, parent)
    , m_defaultType(defaultType)
{
}

void AddrEntitiesEditor::addItem(pim::Entity entity)
{
    const QVariantMap& f = entity.fields;
    const int row = nextRow();
    auto item = std::make_unique<Item>(entity.id, entity.srcId);

    const QString label = f.value(kLabel).toString();
    item->type = place(*item, entityrows::newTypeBox(this, pim::addrTypeMap(), 60), row, 0);
    entityrows::selectType(item->type, label.isEmpty() ? entityrows::intField(f, kType) : 0, label);

    item->country = place(*item, newBox(this, "Country", f.value(kCountry).toString()), row, 1, 1, 2);
    placeRemoveButton(*item, row)->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    item->state = place(*item, newBox(this, "State", f.value(kState).toString()), row + 1, 1);
    item->state->setFixedWidth(60);
    item->state->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    item->city = place(*item, newBox(this, "City", f.value(kCity).toString()), row + 1, 2);

    item->street = place(*item, plaintextbox::create(this), row + 2, 1, 1, 2);
    plaintextbox::setText(item->street, f.value(kStreet).toString());
    item->street->setMaximumHeight(60);
    item->street->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    item->postcode = place(*item, newBox(this, "Postcode", f.value(kPostcode).toString()), row + 3, 1, 1, 2);

    if (entity.id != 0 || !entity.srcId.isEmpty())
        item->take(entity, shownFields(*item));
    appendRow(std::move(item));
}

void AddrEntitiesEditor::add()
{
    pim::Entity entity(0, QStringLiteral(""));
    entity.fields.insert(kType, m_defaultType);
    addItem(entity);
}

QVariantMap AddrEntitiesEditor::shownFields(const Item& item)
{
    QVariantMap fields;
    entityrows::readType(item.type, fields, kType, kLabel);
    fields.insert(kCountry, item.country->text().trimmed());
    fields.insert(kState, item.state->text().trimmed());
    fields.insert(kCity, item.city->text().trimmed());
    fields.insert(kStreet, item.street->toPlainText().trimmed());
    fields.insert(kPostcode, item.postcode->text().trimmed());
    return fields;
}

QList<pim::Entity> AddrEntitiesEditor::toEntityList() const
{
    QList<pim::Entity> result;
    for (const Item* item : rows<Item>()) {
        bool changed = false;
        pim::Entity entity = item->merged(shownFields(*item),
                                          {{kType, kLabel}, {kCountry}, {kState}, {kCity}, {kStreet}, {kPostcode}},
                                          &changed);
        // The formatted text follows the parts; an untouched row keeps the
        // stored one, which may have been formatted by the phone.
        if (changed)
            entity.fields.insert(QStringLiteral("data1"), entity.formattedAddr());
        result.append(entity);
    }
    return result;
}
