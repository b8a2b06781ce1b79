// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/imentitieseditor.h"

#include "model/pimlabels.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

IMEntitiesEditor::IMEntitiesEditor(QString title, int defaultType, int defaultProtocol, QWidget* parent)
    : QWidget(parent)
    , m_defaultType(defaultType)
    , m_defaultProtocol(defaultProtocol)
    , m_grid(new QGridLayout(this))
{
    m_grid->setContentsMargins(0, 0, 0, 0);
    // Spanning the value columns, so a long title does not widen the type column.
    m_grid->addWidget(new QLabel(title, this), 0, 0, 1, 3);
    QToolButton* addButton = entityrows::newIconButton(this, QStringLiteral(":res/add.png"));
    connect(addButton, &QToolButton::pressed, this, &IMEntitiesEditor::add);
    m_grid->addWidget(addButton, 0, 3);
}

void IMEntitiesEditor::addItem(const pim::Entity& entity)
{
    const QVariantMap& f = entity.fields;
    const int row = entityrows::nextFreeRow(m_grid);
    _Item item(entity.id, entity.srcId);

    const QString label = f.value(QStringLiteral("data3")).toString();
    item.type = entityrows::newTypeBox(this, pim::imTypeMap(), 60);
    entityrows::selectType(item.type, label.isEmpty() ? entityrows::intField(f, QStringLiteral("data2")) : 0, label);
    m_grid->addWidget(item.type, row, 0);

    // Unlike the type box, the stored code stays selected beside a custom name.
    item.protocol = entityrows::newTypeBox(this, pim::imProtocolMap(), 100);
    entityrows::selectType(item.protocol, entityrows::intField(f, QStringLiteral("data5")),
                           f.value(QStringLiteral("data6")).toString());
    m_grid->addWidget(item.protocol, row, 1);

    item.account = new QLineEdit(f.value(QStringLiteral("data1")).toString(), this);
    m_grid->addWidget(item.account, row, 2);

    item.remove = entityrows::newIconButton(this, QStringLiteral(":res/remove.png"));
    connect(item.remove, &QToolButton::pressed, this, &IMEntitiesEditor::remove);
    m_grid->addWidget(item.remove, row, 3);

    if (entity.id != 0 || !entity.srcId.isEmpty()) {
        item.baseline.stored = f;
        item.baseline.shown = shownFields(item);
    }
    m_items.append(item);
}

void IMEntitiesEditor::add()
{
    pim::Entity entity(0, QStringLiteral(""));
    entity.fields.insert(QStringLiteral("data2"), m_defaultType);
    entity.fields.insert(QStringLiteral("data5"), m_defaultProtocol);
    addItem(entity);
}

void IMEntitiesEditor::remove()
{
    for (int i = 0; i < m_items.size(); ++i) {
        const _Item& item = m_items.at(i);
        if (item.remove != sender())
            continue;
        for (QWidget* w : {static_cast<QWidget*>(item.type), static_cast<QWidget*>(item.protocol),
                           static_cast<QWidget*>(item.account), static_cast<QWidget*>(item.remove)}) {
            m_grid->removeWidget(w);
            w->hide();
            w->deleteLater();
        }
        m_items.removeAt(i);
        return;
    }
}

QVariantMap IMEntitiesEditor::shownFields(const _Item& item)
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
    for (const _Item& item : m_items) {
        result.append(entityrows::mergeEdited(
            item.id, item.srcId, item.baseline, shownFields(item),
            {{QStringLiteral("data2"), QStringLiteral("data3")}, {QStringLiteral("data5"), QStringLiteral("data6")},
             {QStringLiteral("data1")}}));
    }
    return result;
}
