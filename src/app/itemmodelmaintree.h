// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractItemModel>
#include <QList>
#include <QModelIndex>
#include <QSharedPointer>
#include <QString>

#include "model/contact.h"

class LocalDb;

// The tree of the main window: the roots "Devices" and "Local Databases",
// the device and local database nodes under them and each database's groups.
//
// Adding a node emits no model signal of its own beyond the row insertion;
// callers still end with contentsUpdate() or refreshDbNodeGroups(), which
// emit layoutChanged().
class ItemModelMainTree : public QAbstractItemModel {
    Q_OBJECT
public:
    enum NodeType {
        TYPE_DEVICES_ROOT = 1,
        TYPE_LOCALDB_ROOT = 2,
        TYPE_DEVICE = 3,
        TYPE_LOCALDB = 5,
        TYPE_GROUP = 6,
    };
    enum DeviceKind {
        KIND_NONE = 0,
        KIND_IOS = 1,
        KIND_ANDROID = 2,
    };

    class _ItemNode {
    public:
        // Appends itself to parent's children when parent is not null.
        _ItemNode(int type, QString name, _ItemNode* parent);
        // Deletes the subtree; does not unlink itself from its parent.
        virtual ~_ItemNode();
        _ItemNode(const _ItemNode&) = delete;
        _ItemNode& operator=(const _ItemNode&) = delete;

        int type;
        int kind = KIND_NONE;
        QString name;
        // The index last handed out by index(). Informational only: rows
        // move as siblings come and go, so the model always recomputes a
        // node's index from its position.
        QModelIndex modelIndex;
        _ItemNode* parent;
        QList<_ItemNode*> children;
    };

    // A device (type 3) or local database (type 5) node.
    class _DBItemNode : public _ItemNode {
    public:
        _DBItemNode(int type, QString name, QString id, _ItemNode* parent, QSharedPointer<LocalDb> db);

        QSharedPointer<LocalDb> db;
        // Device id, or the file name of a saved device database; empty for
        // a local database.
        QString id;
        // The database could not be read at its last load; the window then
        // offers only what needs no reading.
        bool unreadable = false;
    };

    // A group (type 6) under a database node; its name is the group's.
    class _GroupItemNode : public _ItemNode {
    public:
        _GroupItemNode(int type, _ItemNode* parent, pim::_Group group);

        pim::_Group group;
    };

    explicit ItemModelMainTree(QObject* parent = nullptr);
    ~ItemModelMainTree() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Adds a device node (kind 1 iPhone, 2 Android) as the last child of
    // the Devices root.
    _DBItemNode* addDevice(QSharedPointer<LocalDb> db, QString name, QString id, int kind);
    // Adds a local database node to Local Databases, in the order of
    // LocalDb::listsBefore: one that depends on the names alone, so the
    // tree lists the databases alike right after one was made and after a
    // restart.
    _DBItemNode* addLocalDb(QSharedPointer<LocalDb> db, QString name);
    // Rebuilds the node's group children from its database, then emits
    // layoutChanged(). Nothing for a node without database. When reading the
    // groups throws, the exception propagates and the old children stay.
    void refreshDbNodeGroups(_DBItemNode* node);
    // Number of device nodes of that kind.
    int deviceCount(int kind) const;
    // Removes the first device node with a database whose id equals id
    // (case-sensitive); nothing when none does.
    void removeDevice(const QString& id);
    // Removes and deletes node's child at row; nothing when out of range.
    void removeChild(_ItemNode* node, int row);
    // Removes and deletes all of node's children.
    void clearChilds(_ItemNode* node);
    // The node's index for selecting it; invalid for the two roots.
    QModelIndex indexOfItemNode(_ItemNode* node) const;
    // Emits layoutChanged().
    void contentsUpdate();

    // The node an index of this model carries, null for the invisible root.
    _ItemNode* nodeOf(const QModelIndex& index) const;
    _ItemNode* devicesRootNode() { return &devicesRoot; }
    _ItemNode* localDbRootNode() { return &localDbRoot; }

private:
    // Index of a node at its current position (roots included).
    QModelIndex positionIndex(const _ItemNode* node) const;
    // Makes a node the child at `row` of `parent` (the last one for
    // appendNode), announcing the new row.
    template <typename Node, typename... Args>
    Node* appendNode(_ItemNode* parent, Args&&... args);
    template <typename Node, typename... Args>
    Node* insertNode(_ItemNode* parent, int row, Args&&... args);

    _ItemNode devicesRoot;
    _ItemNode localDbRoot;
};
