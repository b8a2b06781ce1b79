// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/abstreeitemmodel.h"

AbsTreeItemModel::_ItemNode::_ItemNode(int type, QString name, _ItemNode* parent)
    : type(type)
    , name(std::move(name))
    , parent(parent)
{
}

AbsTreeItemModel::_ItemNode::~_ItemNode()
{
    qDeleteAll(children);
    children.clear();
}

AbsTreeItemModel::AbsTreeItemModel(QObject* parent)
    : QAbstractItemModel(parent)
{
}

AbsTreeItemModel::~AbsTreeItemModel()
{
    qDeleteAll(rootNodes);
    rootNodes.clear();
}

AbsTreeItemModel::_ItemNode* AbsTreeItemModel::nodeOf(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return static_cast<_ItemNode*>(index.internalPointer());
}

QList<AbsTreeItemModel::_ItemNode*>& AbsTreeItemModel::siblingsOf(const _ItemNode* node)
{
    return node->parent ? node->parent->children : rootNodes;
}

const QList<AbsTreeItemModel::_ItemNode*>& AbsTreeItemModel::siblingsOf(const _ItemNode* node) const
{
    return node->parent ? node->parent->children : rootNodes;
}

QModelIndex AbsTreeItemModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    const _ItemNode* parentNode = nodeOf(parent);
    const QList<_ItemNode*>& list = parentNode ? parentNode->children : rootNodes;
    _ItemNode* node = list.at(row);
    node->modelIndex = createIndex(row, column, node);
    return node->modelIndex;
}

QModelIndex AbsTreeItemModel::parent(const QModelIndex& child) const
{
    const _ItemNode* node = nodeOf(child);
    if (!node || !node->parent)
        return QModelIndex();
    // Always column 0: item views and the model tester expect parents there.
    const QModelIndex index = positionIndex(node->parent, 0);
    return index.isValid() ? index : QModelIndex();
}

int AbsTreeItemModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    const _ItemNode* node = nodeOf(parent);
    return int(node ? node->children.size() : rootNodes.size());
}

void AbsTreeItemModel::contentsUpdate()
{
    // Views and proxies expect the pair; nothing moves in between.
    emit layoutAboutToBeChanged();
    emit layoutChanged();
}

QModelIndex AbsTreeItemModel::positionIndex(const _ItemNode* node, int column) const
{
    const int row = int(siblingsOf(node).indexOf(const_cast<_ItemNode*>(node)));
    return createIndex(row, column, const_cast<_ItemNode*>(node));
}

QModelIndex AbsTreeItemModel::indexOfItemNode(const _ItemNode* node) const
{
    if (!node)
        return QModelIndex();
    return positionIndex(node, node->modelIndex.isValid() ? node->modelIndex.column() : 0);
}

void AbsTreeItemModel::invokeDataChanged(const _ItemNode* node)
{
    if (!node)
        return;
    const QModelIndex self = positionIndex(node, 0);
    if (!self.isValid())
        return;
    // A node and its last child have different parents, which dataChanged
    // does not allow: report the node and the range of its children apart.
    const int lastColumn = qMax(0, columnCount(self.parent()) - 1);
    emit dataChanged(self, positionIndex(node, lastColumn));
    if (!node->children.isEmpty()) {
        const int childColumns = qMax(0, columnCount(self) - 1);
        emit dataChanged(positionIndex(node->children.constFirst(), 0),
                         positionIndex(node->children.constLast(), childColumns));
    }
}

void AbsTreeItemModel::clearChilds(const _ItemNode* node)
{
    QList<_ItemNode*>& list = node ? const_cast<_ItemNode*>(node)->children : rootNodes;
    if (list.isEmpty())
        return;
    const QModelIndex parentIndex = node ? positionIndex(node, 0) : QModelIndex();
    beginRemoveRows(parentIndex, 0, int(list.size()) - 1);
    const QList<_ItemNode*> doomed = list;
    list.clear();
    qDeleteAll(doomed);
    endRemoveRows();
}

void AbsTreeItemModel::removeNode(const _ItemNode* node)
{
    if (!node)
        return;
    clearChilds(node);
    QList<_ItemNode*>& list = siblingsOf(node);
    const int row = int(list.indexOf(const_cast<_ItemNode*>(node)));
    if (row < 0)
        return;
    const QModelIndex parentIndex = node->parent ? positionIndex(node->parent, 0) : QModelIndex();
    beginRemoveRows(parentIndex, row, row);
    list.removeAt(row);
    delete node;
    endRemoveRows();
}

QList<const AbsTreeItemModel::_ItemNode*> AbsTreeItemModel::nodes() const
{
    QList<const _ItemNode*> out;
    for (const _ItemNode* root : rootNodes)
        appendNode(out, root);
    return out;
}

void AbsTreeItemModel::appendNode(QList<const _ItemNode*>& out, const _ItemNode* node) const
{
    if (!node)
        return;
    out.append(node);
    for (const _ItemNode* child : node->children)
        appendNode(out, child);
}
