// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/itemmodelcontacts.h"

#include "contactui/contactdisplayer.h"

#include <QBrush>
#include <QColor>
#include <QImage>
#include <QPixmapCache>
#include <QSize>
#include <QThreadPool>

namespace {

const int kIconWidth = 18;
const int kRowHeight = 25;
const int kMobile = 2;

QVariant firstData1(const pim::_Contact& contact, int type)
{
    const auto it = contact.entities.constFind(type);
    if (it == contact.entities.constEnd() || it->isEmpty())
        return QVariant();
    return it->constFirst().fields.value(QStringLiteral("data1")).toString();
}

QPixmap placeholderIcon()
{
    // In the pixmap cache rather than a static: a pixmap must not outlive
    // the GUI application.
    const QString key = QStringLiteral("contacts:placeholder");
    QPixmap icon;
    if (!QPixmapCache::find(key, &icon)) {
        icon = QPixmap(QStringLiteral(":res/empty_contact.png")).scaledToWidth(kIconWidth, Qt::FastTransformation);
        QPixmapCache::insert(key, icon);
    }
    return icon;
}

} // namespace

ItemModelContacts::Row::Row(const pim::_Contact& c)
    : contact(c)
    , email(firstData1(c, pim::ENTITY_EMAIL))
    , address(firstData1(c, pim::ENTITY_ADDR))
{
    bool hasPhone = false;
    const QString text = phoneColumnText(c, &hasPhone);
    if (hasPhone)
        phone = text;
}

ItemModelContacts::Row::Row(ContactListRow&& r)
    : contact(r.id, QString(), std::move(r.fullName))
    , phone(r.phone.isNull() ? QVariant() : QVariant(std::move(r.phone)))
    , email(r.email.isNull() ? QVariant() : QVariant(std::move(r.email)))
    , address(r.address.isNull() ? QVariant() : QVariant(std::move(r.address)))
    , complete(false)
    , hasPhoto(r.hasPhoto)
{
}

ItemModelContacts::ItemModelContacts(QObject* parent)
    : QAbstractItemModel(parent)
{
}

ItemModelContacts::~ItemModelContacts() = default;

QString ItemModelContacts::phoneColumnText(const pim::_Contact& contact, bool* hasPhone)
{
    const QList<pim::Entity> phones = contact.entities.value(pim::ENTITY_PHONE);
    if (hasPhone)
        *hasPhone = !phones.isEmpty();
    if (phones.isEmpty())
        return QString();
    for (const pim::Entity& phone : phones) {
        if (phone.fields.value(QStringLiteral("data2")).toInt() == kMobile)
            return phone.fields.value(QStringLiteral("data1")).toString();
    }
    return phones.constFirst().fields.value(QStringLiteral("data1")).toString();
}

QModelIndex ItemModelContacts::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    if (column != COLUMN_NAME)
        return createIndex(row, column, nullptr);
    return createIndex(row, column, const_cast<pim::_Contact*>(&m_rows[size_t(row)].contact));
}

QModelIndex ItemModelContacts::parent(const QModelIndex&) const
{
    return QModelIndex();
}

int ItemModelContacts::rowCount(const QModelIndex& parent) const
{
    // A flat list: no index has children (columns 1-3 carry no pointer but
    // are children of nothing either).
    return parent.isValid() ? 0 : count();
}

int ItemModelContacts::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : COLUMN_COUNT;
}

QVariant ItemModelContacts::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case COLUMN_NAME:
        return QStringLiteral("Name");
    case COLUMN_PHONE:
        return QStringLiteral("Phone");
    case COLUMN_EMAIL:
        return QStringLiteral("E-Mail");
    case COLUMN_ADDRESS:
        return QStringLiteral("Address");
    default:
        return QVariant();
    }
}

QPixmap ItemModelContacts::iconOf(const Row& row) const
{
    const auto cached = m_icons.constFind(&row);
    if (cached != m_icons.constEnd())
        return *cached;
    QByteArray bytes;
    if (row.complete) {
        const QList<pim::Entity> photos = row.contact.entities.value(pim::ENTITY_PHOTO);
        if (!photos.isEmpty())
            bytes = photos.constFirst().fields.value(QStringLiteral("data15")).toByteArray();
    } else if (row.hasPhoto && m_photoSource) {
        bytes = m_photoSource(row.contact.id);
    }
    const QImage image = ContactDisplayer::decodePhoto(bytes);
    const QPixmap icon = image.isNull() ? placeholderIcon()
                                        : QPixmap::fromImage(image.scaledToWidth(kIconWidth, Qt::FastTransformation));
    m_icons.insert(&row, icon);
    return icon;
}

QVariant ItemModelContacts::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.model() != this || index.row() >= count() || role > Qt::SizeHintRole)
        return QVariant();
    const Row& row = m_rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (index.column()) {
        case COLUMN_NAME:
            return row.contact.fullName;
        case COLUMN_PHONE:
            return row.phone;
        case COLUMN_EMAIL:
            return row.email;
        case COLUMN_ADDRESS:
            return row.address;
        default:
            return QVariant();
        }
    case Qt::DecorationRole:
        if (index.column() != COLUMN_NAME)
            return QVariant();
        return iconOf(row);
    case Qt::BackgroundRole:
        return QBrush(index.row() % 2 == 0 ? QColor(250, 250, 250) : QColor(255, 255, 255));
    case Qt::SizeHintRole:
        return QSize(0, kRowHeight);
    default:
        return QVariant();
    }
}

struct ItemModelContacts::PreparedRows {
    std::deque<Row> rows;
};

std::shared_ptr<ItemModelContacts::PreparedRows> ItemModelContacts::prepareRows(ContactListRows rows)
{
    auto prepared = std::make_shared<PreparedRows>();
    for (ContactListRow& row : rows)
        prepared->rows.emplace_back(std::move(row));
    return prepared;
}

int ItemModelContacts::countOf(const PreparedRows& rows)
{
    return int(rows.rows.size());
}

void ItemModelContacts::replaceRows(std::deque<Row> rows)
{
    // Freeing a hundred thousand rows takes the GUI thread tens of
    // milliseconds; rows hold no pixmaps, so any thread may do it.
    constexpr size_t kFreeElsewhereFrom = 10000;
    beginResetModel();
    auto old = std::make_shared<std::deque<Row>>(std::move(m_rows));
    m_rows = std::move(rows);
    m_icons.clear();
    endResetModel();
    // Moved into the task, so that the task holds the only reference.
    if (old->size() >= kFreeElsewhereFrom)
        QThreadPool::globalInstance()->start([old = std::move(old)]() mutable { old.reset(); });
}

void ItemModelContacts::loadPrepared(std::shared_ptr<PreparedRows> rows)
{
    replaceRows(rows ? std::move(rows->rows) : std::deque<Row>());
}

void ItemModelContacts::loadContacts(const QList<pim::_Contact>& list)
{
    std::deque<Row> rows;
    for (const pim::_Contact& contact : list)
        rows.emplace_back(contact);
    replaceRows(std::move(rows));
}

void ItemModelContacts::loadRows(ContactListRows rows)
{
    loadPrepared(prepareRows(std::move(rows)));
}

void ItemModelContacts::completeRow(int row, const pim::_Contact& whole)
{
    if (row < 0 || row >= count() || m_rows[size_t(row)].contact.id != whole.id)
        return;
    m_rows[size_t(row)].contact = whole;
    m_rows[size_t(row)].complete = true;
}

bool ItemModelContacts::isComplete(int row) const
{
    return row >= 0 && row < count() && m_rows[size_t(row)].complete;
}

void ItemModelContacts::setPhotoSource(std::function<QByteArray(unsigned long long)> source)
{
    m_photoSource = std::move(source);
}

void ItemModelContacts::insertContact(const pim::_Contact& contact)
{
    const int row = count();
    beginInsertRows(QModelIndex(), row, row);
    m_rows.emplace_back(contact);
    endInsertRows();
}

void ItemModelContacts::updateContact(int row, const pim::_Contact& contact)
{
    if (row < 0 || row >= count())
        return;
    // Assigned in place: the row object stays where it is, so pointers to
    // its contact stay valid.
    m_rows[size_t(row)] = Row(contact);
    m_icons.remove(&m_rows[size_t(row)]);
    emit dataChanged(index(row, 0), index(row, COLUMN_COUNT - 1));
}

void ItemModelContacts::clear()
{
    replaceRows({});
}

QModelIndex ItemModelContacts::indexOfPos(int pos) const
{
    if (pos < 0 || pos >= count())
        return QModelIndex();
    return createIndex(pos, COLUMN_NAME, const_cast<pim::_Contact*>(&m_rows[size_t(pos)].contact));
}

const pim::_Contact* ItemModelContacts::contactAt(int row) const
{
    if (row < 0 || row >= count())
        return nullptr;
    return &m_rows[size_t(row)].contact;
}
