// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/addrentitieseditor.h"

#include "model/pimlabels.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
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

AddrEntitiesEditor::AddrEntitiesEditor(QString title, int defaultType, QWidget* parent)
    : QWidget(parent)
    , m_defaultType(defaultType)
    , m_grid(new QGridLayout(this))
{
    m_grid->setContentsMargins(0, 0, 0, 0);
    // Spanning the value columns, so a long title does not widen the type column.
    m_grid->addWidget(new QLabel(title, this), 0, 0, 1, 3);
    QToolButton* addButton = entityrows::newIconButton(this, QStringLiteral(":res/add.png"));
    connect(addButton, &QToolButton::pressed, this, &AddrEntitiesEditor::add);
    m_grid->addWidget(addButton, 0, 3);
}

void AddrEntitiesEditor::addItem(pim::Entity entity)
{
    const QVariantMap& f = entity.fields;
    const int row = entityrows::nextFreeRow(m_grid);
    _Item item(entity.id, entity.srcId);

    const QString label = f.value(kLabel).toString();
    item.type = entityrows::newTypeBox(this, pim::addrTypeMap(), 60);
    entityrows::selectType(item.type, label.isEmpty() ? entityrows::intField(f, kType) : 0, label);
    m_grid->addWidget(item.type, row, 0);

    item.country = newBox(this, "Country", f.value(kCountry).toString());
    m_grid->addWidget(item.country, row, 1, 1, 2);
    item.remove = entityrows::newIconButton(this, QStringLiteral(":res/remove.png"));
    item.remove->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(item.remove, &QToolButton::pressed, this, &AddrEntitiesEditor::remove);
    m_grid->addWidget(item.remove, row, 3);

    item.state = newBox(this, "State", f.value(kState).toString());
    item.state->setFixedWidth(60);
    item.state->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_grid->addWidget(item.state, row + 1, 1);
    item.city = newBox(this, "City", f.value(kCity).toString());
    m_grid->addWidget(item.city, row + 1, 2);

    // Plain text both ways: a street such as "x<y" or "a <b>c</b>" is an
    // address, not markup, and must come back as typed.
    item.street = new QTextEdit(this);
    item.street->setAcceptRichText(false);
    item.street->setPlainText(f.value(kStreet).toString());
    item.street->setMaximumHeight(60);
    item.street->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_grid->addWidget(item.street, row + 2, 1, 1, 2);

    item.postcode = newBox(this, "Postcode", f.value(kPostcode).toString());
    m_grid->addWidget(item.postcode, row + 3, 1, 1, 2);

    if (entity.id != 0 || !entity.srcId.isEmpty()) {
        item.baseline.stored = f;
        item.baseline.shown = shownFields(item);
    }
    m_items.append(item);
}

void AddrEntitiesEditor::add()
{
    pim::Entity entity(0, QStringLiteral(""));
    entity.fields.insert(kType, m_defaultType);
    addItem(entity);
}

void AddrEntitiesEditor::remove()
{
    for (int i = 0; i < m_items.size(); ++i) {
        const _Item& item = m_items.at(i);
        if (item.remove != sender())
            continue;
        const QList<QWidget*> widgets{item.type, item.country, item.state, item.city,
                                      item.street, item.postcode, item.remove};
        for (QWidget* w : widgets) {
            m_grid->removeWidget(w);
            w->hide();
            w->deleteLater();
        }
        m_items.removeAt(i);
        return;
    }
}

QVariantMap AddrEntitiesEditor::shownFields(const _Item& item)
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
    for (const _Item& item : m_items) {
        bool changed = false;
        pim::Entity entity = entityrows::mergeEdited(item.id, item.srcId, item.baseline, shownFields(item),
                                                     {{kType, kLabel}, {kCountry}, {kState}, {kCity}, {kStreet},
                                                      {kPostcode}},
                                                     &changed);
        // The formatted text follows the parts; an untouched row keeps the
        // stored one, which may have been formatted by the phone.
        if (changed)
            entity.fields.insert(QStringLiteral("data1"), entity.formattedAddr());
        result.append(entity);
    }
    return result;
}
