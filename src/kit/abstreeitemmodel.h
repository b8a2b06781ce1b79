// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractItemModel>
#include <QList>
#include <QModelIndex>
#include <QString>

// A model over a forest of nodes that owns its nodes and answers the
// structural questions (index, parent, row count); a subclass supplies the
// columns and the data and inserts its own nodes, inside
// beginInsertRows/endInsertRows, into rootNodes or a node's children.
class AbsTreeItemModel : public QAbstractItemModel {
public:
    class _ItemNode {
    public:
        // Does not link the node anywhere: the creator inserts it.
        _ItemNode(int type, QString name, _ItemNode* parent);
        // Deletes the whole subtree; does not unlink itself from its parent.
        virtual ~_ItemNode();
        _ItemNode(const _ItemNode&) = delete;
        _ItemNode& operator=(const _ItemNode&) = delete;

        int type;
        QString name;
        // The index last handed out by index(). Only its column is trusted:
        // rows move as siblings come and go, so positions are always
        // recomputed from the parent's list.
        QModelIndex modelIndex;
        _ItemNode* parent;
        QList<_ItemNode*> children;
    };

    explicit AbsTreeItemModel(QObject* parent = nullptr);
    ~AbsTreeItemModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;

    // Emits layoutChanged().
    void contentsUpdate();
    // The node's current index: its position in its parent's list (or in
    // rootNodes), column 0 unless a view has asked for another column;
    // row -1 when the node is in no list.
    QModelIndex indexOfItemNode(const _ItemNode* node) const;
    // Emits dataChanged() from the node to its last child; a node without
    // children reports just itself.
    void invokeDataChanged(const _ItemNode* node);
    // Removes and deletes the node with its subtree: its children first, as
    // one removal, then the node itself. A node that is in no list keeps
    // itself (only its children go).
    void removeNode(const _ItemNode* node);
    // Removes and deletes all children of the node, or every root for null.
    void clearChilds(const _ItemNode* node);
    // Every node, depth first, each before its children.
    QList<const _ItemNode*> nodes() const;
    // Appends node and its subtree (pre-order) to out; nothing for null.
    void appendNode(QList<const _ItemNode*>& out, const _ItemNode* node) const;

protected:
    // The node an index carries, or null for the invisible root.
    _ItemNode* nodeOf(const QModelIndex& index) const;
    // The list that holds node: its parent's children or rootNodes.
    QList<_ItemNode*>& siblingsOf(const _ItemNode* node);
    const QList<_ItemNode*>& siblingsOf(const _ItemNode* node) const;
    // (position in its list, column, node); row -1 when in no list.
    QModelIndex positionIndex(const _ItemNode* node, int column) const;

    QList<_ItemNode*> rootNodes;
};
