// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/absentitieseditor.h"

#include "contactui/wheelguard.h"

#include <QGridLayout>
#include <QLabel>
#include <QToolButton>

AbsEntitiesEditor::AbsEntitiesEditor(const QString& title, int buttonColumn, QWidget* parent)
    : QWidget(parent)
    , m_buttonColumn(buttonColumn)
    , m_grid(new QGridLayout(this))
{
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->addWidget(new QLabel(title, this), 0, 0, 1, buttonColumn);
    QToolButton* addButton = entityrows::newIconButton(this, QStringLiteral(":res/add.png"));
    connect(addButton, &QToolButton::pressed, this, &AbsEntitiesEditor::add);
    m_grid->addWidget(addButton, 0, buttonColumn);
}

AbsEntitiesEditor::~AbsEntitiesEditor() = default;

int AbsEntitiesEditor::nextRow() const
{
    return entityrows::nextFreeRow(m_grid);
}

void AbsEntitiesEditor::placeWidget(Row& row, QWidget* widget, int gridRow, int column, int rowSpan,
                                    int columnSpan)
{
    m_grid->addWidget(widget, gridRow, column, rowSpan, columnSpan);
    row.widgets.append(widget);
    // The editor is a scrolling page: a box passed over while scrolling
    // keeps its value.
    if (g_takesWheelAsValue(widget))
        g_wheelOnlyWhenFocused(widget);
}

QToolButton* AbsEntitiesEditor::placeRemoveButton(Row& row, int gridRow)
{
    row.remove = entityrows::newIconButton(this, QStringLiteral(":res/remove.png"));
    connect(row.remove, &QToolButton::pressed, this, &AbsEntitiesEditor::remove);
    return place(row, row.remove, gridRow, m_buttonColumn);
}

void AbsEntitiesEditor::appendRow(std::unique_ptr<Row> row)
{
    m_rows.push_back(std::move(row));
}

void AbsEntitiesEditor::remove()
{
    for (auto it = m_rows.begin(); it != m_rows.end(); ++it) {
        if ((*it)->remove != sender())
            continue;
        // The button is still delivering its signal: delete nothing at once.
        for (QWidget* w : std::as_const((*it)->widgets)) {
            m_grid->removeWidget(w);
            w->hide();
            w->deleteLater();
        }
        m_rows.erase(it);
        return;
    }
}
