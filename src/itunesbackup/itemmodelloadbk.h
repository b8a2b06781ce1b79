// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "kit/abstreeitemmodel.h"

#include <QSharedPointer>

class BackupManifest;

// The backups of the chooser, one root row each, newest first, in the
// columns "Name", "Backup Date" and "Path". GUI thread only.
class ItemModelLoadBk : public AbsTreeItemModel {
    Q_OBJECT
public:
    // A row: the backup it stands for (its Manifest.plist summary read).
    class _BKItemNode : public _ItemNode {
    public:
        explicit _BKItemNode(QSharedPointer<BackupManifest> backup);
        QSharedPointer<BackupManifest> backup;
    };

    explicit ItemModelLoadBk(QObject* parent = nullptr);

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Inserts a row before the first one of an earlier date (after rows of
    // the same date) and announces it; returns its node.
    _BKItemNode* addBackup(QSharedPointer<BackupManifest> backup);
    // The row's node, or null for an index that points at no row.
    _BKItemNode* backupNode(const QModelIndex& index) const;
    // The rows' nodes in row order.
    QList<_BKItemNode*> backupNodes() const;
};
