// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/entityfields.h"

#include <QStringList>

#include <array>
#include <cstring>
#include <new>

namespace pim {

namespace {

constexpr int kColumns = 15;

// Where "dataN" sorts among the column keys as text: data1, data10..data15,
// data2..data9.
constexpr std::array<int, kColumns + 1> kRank = {0, 0, 7, 8, 9, 10, 11, 12, 13, 14, 1, 2, 3, 4, 5, 6};

static_assert(QTypeInfo<QVariant>::isRelocatable, "slots are moved with memmove");

} // namespace

EntityFields::Data* EntityFields::Data::create(int capacity)
{
    void* raw = ::operator new(sizeof(Data) + sizeof(Slot) * size_t(capacity));
    Data* d = new (raw) Data;
    d->ref.storeRelaxed(1);
    d->capacity = capacity;
    return d;
}

void EntityFields::Data::release(Data* d) noexcept
{
    if (!d || d->ref.deref())
        return;
    Slot* s = d->slotArray();
    for (int i = 0; i < d->columns; ++i)
        s[i].~Slot();
    delete d->other;
    d->~Data();
    ::operator delete(d);
}

const QString& EntityFields::keyOf(int number)
{
    static const std::array<QString, kColumns + 1> keys = [] {
        std::array<QString, kColumns + 1> k;
        for (int i = 1; i <= kColumns; ++i)
            k[size_t(i)] = QStringLiteral("data") + QString::number(i);
        return k;
    }();
    return keys[size_t(number)];
}

EntityFields::EntityFields(const EntityFields& other) noexcept : d(other.d)
{
    if (d)
        d->ref.ref();
}

EntityFields::EntityFields(const QMap<QString, QVariant>& map)
{
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        insert(it.key(), it.value());
}

EntityFields::EntityFields(std::initializer_list<std::pair<QString, QVariant>> list)
{
    for (const auto& [key, value] : list)
        insert(key, value);
}

EntityFields::~EntityFields()
{
    Data::release(d);
}

EntityFields& EntityFields::operator=(const EntityFields& other) noexcept
{
    if (other.d)
        other.d->ref.ref();
    Data::release(std::exchange(d, other.d));
    return *this;
}

EntityFields& EntityFields::operator=(EntityFields&& other) noexcept
{
    if (this != &other)
        Data::release(std::exchange(d, std::exchange(other.d, nullptr)));
    return *this;
}

QMap<QString, QVariant> EntityFields::toMap() const
{
    QMap<QString, QVariant> map;
    for (auto it = cbegin(); it != cend(); ++it)
        map.insert(map.cend(), it.key(), it.value());
    return map;
}

void EntityFields::clear()
{
    Data::release(std::exchange(d, nullptr));
}

void EntityFields::reserve(qsizetype columns)
{
    detach(qMin<qsizetype>(columns, kColumns));
}

// Makes the block this object's own with room for `capacity` columns.
void EntityFields::detach(qsizetype capacity)
{
    if (d && d->capacity >= capacity && d->ref.loadRelaxed() == 1)
        return;
    const int live = d ? d->columns : 0;
    int want = int(qMax<qsizetype>(capacity, live));
    if (!d || want > d->capacity)
        want = qMin(qMax(want, d ? d->capacity * 2 : 4), kColumns);
    else
        want = d->capacity;
    Data* fresh = Data::create(want);
    if (!d) {
        d = fresh;
        return;
    }
    Slot* from = d->slotArray();
    Slot* to = fresh->slotArray();
    fresh->columns = live;
    if (d->ref.loadRelaxed() == 1) {
        // Sole owner: the values move over bit for bit (QVariant is
        // relocatable) and the old block is freed without destroying them.
        std::memcpy(static_cast<void*>(to), static_cast<const void*>(from), sizeof(Slot) * size_t(live));
        fresh->other = std::exchange(d->other, nullptr);
        d->~Data();
        ::operator delete(d);
        d = fresh;
        return;
    }
    for (int i = 0; i < live; ++i)
        new (to + i) Slot(from[i]);
    if (d->other)
        fresh->other = new QMap<QString, QVariant>(*d->other);
    Data::release(std::exchange(d, fresh));
}

QMap<QString, QVariant>& EntityFields::otherForWrite()
{
    detach(0);
    if (!d->other)
        d->other = new QMap<QString, QVariant>;
    return *d->other;
}

QVariant& EntityFields::slotForWrite(int number)
{
    int at = slotOf(number);
    if (at >= 0)
        detach(0);
    else
        at = slotIndexForWrite(number, QVariant()); // may move the block
    return d->slotArray()[at].value;
}

int EntityFields::slotIndexForWrite(int number, QVariant&& value)
{
    const int at = slotOf(number);
    if (at >= 0) {
        detach(0);
        d->slotArray()[at].value = std::move(value);
        return at;
    }
    detach(columns() + 1);
    Slot* s = d->slotArray();
    int pos = d->columns;
    while (pos > 0 && kRank[size_t(s[pos - 1].number)] > kRank[size_t(number)])
        --pos;
    // The later values move up one place bit for bit to open the gap.
    std::memmove(static_cast<void*>(s + pos + 1), static_cast<const void*>(s + pos),
                 sizeof(Slot) * size_t(d->columns - pos));
    new (s + pos) Slot {number, std::move(value)};
    ++d->columns;
    return pos;
}

bool EntityFields::contains(const QString& key) const
{
    if (const int n = keyNumber(key))
        return slotOf(n) >= 0;
    return other() && other()->contains(key);
}

QVariant EntityFields::value(const QString& key, const QVariant& defaultValue) const
{
    if (const int n = keyNumber(key))
        return value(n, defaultValue);
    return other() ? other()->value(key, defaultValue) : defaultValue;
}

QVariant EntityFields::value(int number, const QVariant& defaultValue) const
{
    const int at = slotOf(number);
    return at < 0 ? defaultValue : d->slotArray()[at].value;
}

QVariant& EntityFields::operator[](const QString& key)
{
    if (const int n = keyNumber(key))
        return slotForWrite(n);
    return otherForWrite()[key];
}

QStringList EntityFields::keys() const
{
    QStringList list;
    list.reserve(size());
    for (auto it = cbegin(); it != cend(); ++it)
        list.append(it.key());
    return list;
}

EntityFields::iterator EntityFields::insert(const QString& key, const QVariant& value)
{
    return insert(key, QVariant(value));
}

EntityFields::iterator EntityFields::insert(const QString& key, QVariant&& value)
{
    if (const int n = keyNumber(key)) {
        const int at = slotIndexForWrite(n, std::move(value));
        iterator it(d->slotArray(), d->columns, at, d->other, false);
        return d->other ? it.settledAt(n) : it;
    }
    auto& map = otherForWrite();
    const auto at = map.insert(key, std::move(value));
    return iterator(d->slotArray(), d->columns, &map, at);
}

EntityFields::iterator EntityFields::insert(const_iterator, const QString& key, const QVariant& value)
{
    return insert(key, value);
}

void EntityFields::insert(int number, QVariant value)
{
    Q_ASSERT(number >= 1 && number <= kColumns);
    slotIndexForWrite(number, std::move(value));
}

qsizetype EntityFields::remove(const QString& key)
{
    const int n = keyNumber(key);
    if (!n) {
        if (!other() || !other()->contains(key))
            return 0;
        return otherForWrite().remove(key);
    }
    const int at = slotOf(n);
    if (at < 0)
        return 0;
    detach(0);
    Slot* s = d->slotArray();
    s[at].~Slot();
    std::memmove(static_cast<void*>(s + at), static_cast<const void*>(s + at + 1),
                 sizeof(Slot) * size_t(d->columns - at - 1));
    --d->columns;
    return 1;
}

QVariant EntityFields::take(const QString& key)
{
    QVariant taken = value(key);
    remove(key);
    return taken;
}

EntityFields::iterator EntityFields::begin()
{
    detach(0);
    return iterator(d->slotArray(), d->columns, 0, d->other, false);
}

EntityFields::iterator EntityFields::end()
{
    detach(0);
    return iterator(d->slotArray(), d->columns, d->columns, d->other, true);
}

EntityFields::iterator EntityFields::find(const QString& key)
{
    const int n = keyNumber(key);
    if (n && slotOf(n) < 0)
        return end();
    if (!n && !(other() && other()->contains(key)))
        return end();
    detach(0);
    if (n)
        return iterator(d->slotArray(), d->columns, slotOf(n), d->other, false).settledAt(n);
    return iterator(d->slotArray(), d->columns, d->other, d->other->find(key));
}

EntityFields::const_iterator EntityFields::constFind(const QString& key) const
{
    if (const int n = keyNumber(key)) {
        const int at = slotOf(n);
        if (at < 0)
            return cend();
        return const_iterator(slotArray(), columns(), at, other(), false).settledAt(n);
    }
    if (!other())
        return cend();
    const auto at = std::as_const(*other()).find(key);
    if (at == other()->cend())
        return cend();
    return const_iterator(slotArray(), columns(), other(), at);
}

bool operator==(const EntityFields& a, const EntityFields& b)
{
    if (a.d == b.d)
        return true;
    if (a.size() != b.size())
        return false;
    auto i = a.cbegin();
    auto j = b.cbegin();
    for (; i != a.cend(); ++i, ++j) {
        if (i.key() != j.key() || i.value() != j.value())
            return false;
    }
    return true;
}

} // namespace pim
