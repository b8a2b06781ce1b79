// SPDX-License-Identifier: GPL-3.0-or-later
#include "itunesbackup/itemmodelloadbk.h"

#include "itunesbackup/backupmanifest.h"

ItemModelLoadBk::_BKItemNode::_BKItemNode(QSharedPointer<BackupManifest> backup)
    : _ItemNode(0, backup->displayName(), nullptr)
    , backup(std::move(backup))
{
}

ItemModelLoadBk::ItemModelLoadBk(QObject* parent)
    : AbsTreeItemModel(parent)
{
}

int ItemModelLoadBk::columnCount(const QModelIndex&) const
{
    return 3;
}

QVariant ItemModelLoadBk::data(const QModelIndex& index, int role) const
{
    const _BKItemNode* node = backupNode(index);
    if (!node || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    switch (index.column()) {
    case 0:
        return node->name;
    case 1:
        return node->backup->info().Date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    case 2:
        return QDir::toNativeSeparators(node->backup->dir().absolutePath());
    default:
        return {};
    }
}

QVariant ItemModelLoadBk::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case 0:
        return tr("Name");
    case 1:
        return tr("Backup Date");
    case 2:
        return tr("Path");
    default:
        return {};
    }
}

ItemModelLoadBk::_BKItemNode* ItemModelLoadBk::addBackup(QSharedPointer<BackupManifest> backup)
{
    const QDateTime date = backup->info().Date;
    int row = 0;
    while (row < rootNodes.size() && static_cast<_BKItemNode*>(rootNodes[row])->backup->info().Date >= date)
        ++row;
    auto* node = new _BKItemNode(std::move(backup));
    beginInsertRows(QModelIndex(), row, row);
    rootNodes.insert(row, node);
    endInsertRows();
    return node;
}

ItemModelLoadBk::_BKItemNode* ItemModelLoadBk::backupNode(const QModelIndex& index) const
{
    // Every node of this model is a row of a backup: none has children.
    return index.isValid() && index.model() == this ? static_cast<_BKItemNode*>(nodeOf(index)) : nullptr;
}

QList<ItemModelLoadBk::_BKItemNode*> ItemModelLoadBk::backupNodes() const
{
    QList<_BKItemNode*> out;
    for (_ItemNode* node : rootNodes)
        out.append(static_cast<_BKItemNode*>(node));
    return out;
}
