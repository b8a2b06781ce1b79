// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QItemSelection>
#include <QTreeView>

// The tree view of both panes of the main window; it announces selection
// changes and context-menu requests before handling them itself.
class MyTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit MyTreeView(QWidget* parent = nullptr);
    ~MyTreeView() override;

signals:
    // Emitted before the inherited selection handling runs.
    void onSelectionChanged(QItemSelection selected, QItemSelection deselected);
    // Emitted before the event reaches the inherited handler.
    void createContextMenu();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
};
