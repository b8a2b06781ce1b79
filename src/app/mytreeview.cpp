// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/mytreeview.h"

MyTreeView::MyTreeView(QWidget* parent)
    : QTreeView(parent)
{
}

MyTreeView::~MyTreeView() = default;

void MyTreeView::contextMenuEvent(QContextMenuEvent* event)
{
    emit createContextMenu();
    QTreeView::contextMenuEvent(event);
}

void MyTreeView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    emit onSelectionChanged(selected, deselected);
    QTreeView::selectionChanged(selected, deselected);
}
