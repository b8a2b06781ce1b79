// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/itemmodelmaintree.h"

#include <QPixmap>
#include <QPixmapCache>
#include <QTextDocument>

#include <algorithm>

#include "model/localdb.h"

namespace {

const int kIconWidth = 18;

QString iconPath(int type, int kind)
{
    switch (type) {
    case ItemModelMainTree::TYPE_DEVICES_ROOT:
        return QStringLiteral(":res/icon_devices.png");
    case ItemModelMainTree::TYPE_LOCALDB_ROOT:
        return QStringLiteral(":res/icon_databases.png");
    case ItemModelMainTree::TYPE_DEVICE:
        if (kind == ItemModelMainTree::KIND_IOS)
            return QStringLiteral(":res/iphone.png");
        if (kind == ItemModelMainTree::KIND_ANDROID)
            return QStringLiteral(":res/icon_android.png");
        return QString();
    case ItemModelMainTree::TYPE_LOCALDB:
        return QStringLiteral(":res/icon_database.png");
    case ItemModelMainTree::TYPE_GROUP:
        return QStringLiteral(":res/group.png");
    default:
        return QString();
    }
}

QPixmap scaledIcon(const QString& path)
{
    const QString key = QStringLiteral("maintree:") + path;
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = QPixmap(path);
        if (!pixmap.isNull())
            pixmap = pixmap.scaledToWidth(kIconWidth, Qt::FastTransformation);
        QPixmapCache::insert(key, pixmap);
    }
    return pixmap;
}

} // namespace

ItemModelMainTree::_ItemNode::_ItemNode(int type, QString name, _ItemNode* parent)
    : type(type)
    , name(std::move(name))
    , parent(parent)
{
    if (parent)
        parent->children.append(this);
}

ItemModelMainTree::_ItemNode::~_ItemNode()
{
    qDeleteAll(children);
    children.clear();
}

ItemModelMainTree::_DBItemNode::_DBItemNode(int type, QString name, QString id, _ItemNode* parent,
                                            QSharedPointer<LocalDb> db)
    : _ItemNode(type, std::move(name), parent)
    , db(std::move(db))
    , id(std::move(id))
{
}

ItemModelMainTree::_GroupItemNode::_GroupItemNode(int type, _ItemNode* parent, pim::_Group group)
    : _ItemNode(type, group.name, parent)
    , group(std::move(group))
{
}

ItemModelMainTree::ItemModelMainTree(QObject* parent)
    : QAbstractItemModel(parent)
    , devicesRoot(TYPE_DEVICES_ROOT, tr("IDS_ROOT_DEVICE"), nullptr)
    , localDbRoot(TYPE_LOCALDB_ROOT, tr("IDS_ROOT_LOCALDB"), nullptr)
{
}

ItemModelMainTree::~ItemModelMainTree() = default;

ItemModelMainTree::_ItemNode* ItemModelMainTree::nodeOf(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return static_cast<_ItemNode*>(index.internalPointer());
}

QModelIndex ItemModelMainTree::positionIndex(const _ItemNode* node) const
{
    auto* mutableNode = const_cast<_ItemNode*>(node);
    if (node == &devicesRoot)
        return createIndex(0, 0, mutableNode);
    if (node == &localDbRoot)
        return createIndex(1, 0, mutableNode);
    if (!node->parent)
        return QModelIndex();
    const int row = int(node->parent->children.indexOf(mutableNode));
    return row < 0 ? QModelIndex() : createIndex(row, 0, mutableNode);
}

QModelIndex ItemModelMainTree::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    _ItemNode* node = nullptr;
    if (const _ItemNode* parentNode = nodeOf(parent))
        node = parentNode->children.at(row);
    else
        node = const_cast<_ItemNode*>(row == 0 ? &devicesRoot : &localDbRoot);
    node->modelIndex = createIndex(row, column, node);
    return node->modelIndex;
}

QModelIndex ItemModelMainTree::parent(const QModelIndex& child) const
{
    const _ItemNode* node = nodeOf(child);
    if (!node || !node->parent)
        return QModelIndex();
    return positionIndex(node->parent);
}

int ItemModelMainTree::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    const _ItemNode* node = nodeOf(parent);
    return node ? int(node->children.size()) : 2;
}

int ItemModelMainTree::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant ItemModelMainTree::headerData(int, Qt::Orientation, int) const
{
    return QVariant();
}

QVariant ItemModelMainTree::data(const QModelIndex& index, int role) const
{
    const _ItemNode* node = nodeOf(index);
    if (!node)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return node->name;
    case Qt::ToolTipRole:
        // The whole name, for one cut short in the tree. A tool tip that
        // looks like markup is shown as markup: such a name goes as a
        // paragraph of its own, escaped.
        return Qt::mightBeRichText(node->name) ? Qt::convertFromPlainText(node->name) : node->name;
    case Qt::DecorationRole: {
        if (node->type == TYPE_DEVICE && node->kind != KIND_IOS && node->kind != KIND_ANDROID)
            return QPixmap();
        const QString path = iconPath(node->type, node->kind);
        if (path.isEmpty())
            return QVariant();
        return scaledIcon(path);
    }
    default:
        return QVariant();
    }
}

template <typename Node, typename... Args>
Node* ItemModelMainTree::insertNode(_ItemNode* parent, int row, Args&&... args)
{
    beginInsertRows(positionIndex(parent), row, row);
    // The node's constructor links it in as parent's last child.
    auto* node = new Node(std::forward<Args>(args)...);
    parent->children.move(parent->children.size() - 1, row);
    endInsertRows();
    return node;
}

template <typename Node, typename... Args>
Node* ItemModelMainTree::appendNode(_ItemNode* parent, Args&&... args)
{
    return insertNode<Node>(parent, int(parent->children.size()), std::forward<Args>(args)...);
}

ItemModelMainTree::_DBItemNode* ItemModelMainTree::addDevice(QSharedPointer<LocalDb> db, QString name,
                                                             QString id, int kind)
{
    auto* node = appendNode<_DBItemNode>(&devicesRoot, int(TYPE_DEVICE), std::move(name), std::move(id),
                                         &devicesRoot, std::move(db));
    node->kind = kind;
    return node;
}

ItemModelMainTree::_DBItemNode* ItemModelMainTree::addLocalDb(QSharedPointer<LocalDb> db, QString name)
{
    const auto before = std::partition_point(localDbRoot.children.cbegin(), localDbRoot.children.cend(),
        [&name](const _ItemNode* node) { return LocalDb::listsBefore(node->name, name); });
    const int row = int(before - localDbRoot.children.cbegin());
    return insertNode<_DBItemNode>(
        &localDbRoot, row, int(TYPE_LOCALDB), std::move(name), QString(), &localDbRoot, std::move(db));
}

void ItemModelMainTree::refreshDbNodeGroups(_DBItemNode* node)
{
    if (!node || !node->db)
        return;
    // Read first: a failure must leave the old group nodes in place.
    const QList<pim::_Group> groups = node->db->groups();
    clearChilds(node);
    if (!groups.isEmpty()) {
        beginInsertRows(positionIndex(node), 0, int(groups.size()) - 1);
        for (const pim::_Group& group : groups)
            new _GroupItemNode(TYPE_GROUP, node, group);
        endInsertRows();
    }
    contentsUpdate();
}

int ItemModelMainTree::deviceCount(int kind) const
{
    int count = 0;
    for (const _ItemNode* node : devicesRoot.children) {
        if (node->kind == kind)
            ++count;
    }
    return count;
}

void ItemModelMainTree::removeDevice(const QString& id)
{
    for (int row = 0; row < devicesRoot.children.size(); ++row) {
        const auto* node = dynamic_cast<const _DBItemNode*>(devicesRoot.children.at(row));
        if (node && node->db && node->id == id) {
            removeChild(&devicesRoot, row);
            return;
        }
    }
}

void ItemModelMainTree::removeChild(_ItemNode* node, int row)
{
    if (!node || row < 0 || row >= node->children.size())
        return;
    beginRemoveRows(positionIndex(node), row, row);
    _ItemNode* child = node->children.takeAt(row);
    delete child;
    endRemoveRows();
}

void ItemModelMainTree::clearChilds(_ItemNode* node)
{
    if (!node || node->children.isEmpty())
        return;
    beginRemoveRows(positionIndex(node), 0, int(node->children.size()) - 1);
    const QList<_ItemNode*> doomed = node->children;
    node->children.clear();
    qDeleteAll(doomed);
    endRemoveRows();
}

QModelIndex ItemModelMainTree::indexOfItemNode(_ItemNode* node) const
{
    if (!node || !node->parent)
        return QModelIndex();
    const int row = int(node->parent->children.indexOf(node));
    return createIndex(row, 0, node);
}

void ItemModelMainTree::contentsUpdate()
{
    // Views and proxies expect the pair; nothing moves in between.
    emit layoutAboutToBeChanged();
    emit layoutChanged();
}
