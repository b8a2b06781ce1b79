// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/genericentitieseditor.h"

#include <QLineEdit>

GenericEntitiesEditor::GenericEntitiesEditor(QString title, QString placeholder, QMap<int, QString> typeMap,
                                             int defaultType, QWidget* parent)
    : TypedValueEditor(title, std::move(typeMap), defaultType, parent)
    , m_placeholder(std::move(placeholder))
{
}

void GenericEntitiesEditor::addItem(unsigned long long id, QString srcId, int type, QString label, QString value,
                                    QVariantMap stored)
{
    addRow(id, std::move(srcId), type, label, value, std::move(stored));
}

void GenericEntitiesEditor::add()
{
    addItem(0, QStringLiteral(""), defaultType(), QStringLiteral(""), QStringLiteral(""));
}

QWidget* GenericEntitiesEditor::newValueBox(const QVariant& value)
{
    auto* box = new QLineEdit(this);
    box->setPlaceholderText(m_placeholder);
    box->setText(value.toString());
    return box;
}

QVariant GenericEntitiesEditor::valueOf(const QWidget* box) const
{
    return static_cast<const QLineEdit*>(box)->text().trimmed();
}
