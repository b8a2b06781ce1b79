// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAtomicInt>
#include <QMap>
#include <QString>
#include <QVariant>

#include <initializer_list>
#include <iterator>
#include <utility>

namespace pim {

// The fields of one entity, keyed "data1".."data15" like the data table's
// columns, with the interface of a QMap<QString, QVariant> (same key order,
// copy-on-write copies). An entity holds a handful of them and hundreds of
// thousands of entities pass through an import, so the values live in one
// shared block sorted by key instead of one heap node per key. A key outside
// the columns is rare; such keys are kept in a map of their own beside it.
class EntityFields {
    struct Slot {
        int number;
        QVariant value;
    };
    // One block: this header, then `capacity` slots of which the first
    // `columns` are live, sorted by key as text.
    struct alignas(alignof(QVariant)) Data {
        QAtomicInt ref;
        int columns = 0;
        int capacity = 0;
        QMap<QString, QVariant>* other = nullptr;

        static Data* create(int capacity);
        static void release(Data* d) noexcept;
        Slot* slotArray() noexcept { return reinterpret_cast<Slot*>(this + 1); }
    };

    template <bool Const>
    class Iter {
        using Owner = std::conditional_t<Const, const EntityFields, EntityFields>;
        using Map = std::conditional_t<Const, const QMap<QString, QVariant>, QMap<QString, QVariant>>;
        using MapIt = std::conditional_t<Const, QMap<QString, QVariant>::const_iterator, QMap<QString, QVariant>::iterator>;

    public:
        using iterator_category = std::forward_iterator_tag;
        using difference_type = qsizetype;
        using value_type = QVariant;
        using pointer = std::conditional_t<Const, const QVariant*, QVariant*>;
        using reference = std::conditional_t<Const, const QVariant&, QVariant&>;

        Iter() = default;
        template <bool C = Const, typename = std::enable_if_t<C>>
        Iter(const Iter<false>& it)
            : m_slots(it.m_slots), m_slot(it.m_slot), m_columns(it.m_columns), m_map(it.m_map), m_other(it.m_other),
              m_inOther(it.m_inOther)
        {
        }

        const QString& key() const { return m_inOther ? m_other.key() : keyOf(m_slots[m_slot].number); }
        reference value() const { return m_inOther ? m_other.value() : m_slots[m_slot].value; }
        reference operator*() const { return value(); }
        pointer operator->() const { return &value(); }

        Iter& operator++()
        {
            if (m_inOther)
                ++m_other;
            else
                ++m_slot;
            settle();
            return *this;
        }
        Iter operator++(int)
        {
            Iter old = *this;
            ++*this;
            return old;
        }
        friend bool operator==(const Iter& a, const Iter& b)
        {
            return a.m_slot == b.m_slot && (!a.m_map || !b.m_map || a.m_other == b.m_other);
        }
        friend bool operator!=(const Iter& a, const Iter& b) { return !(a == b); }

    private:
        friend class EntityFields;
        friend class Iter<true>;
        using SlotPtr = std::conditional_t<Const, const Slot*, Slot*>;

        Iter(SlotPtr slotsAt, qsizetype columns, qsizetype slot, Map* map, bool atEnd)
            : m_slots(slotsAt), m_slot(slot), m_columns(columns), m_map(map)
        {
            if (m_map)
                m_other = atEnd ? m_map->end() : m_map->begin();
            settle();
        }
        // At a key outside the columns: the column walk resumes at the first
        // column key sorting after it.
        Iter(SlotPtr slotsAt, qsizetype columns, Map* map, MapIt at)
            : m_slots(slotsAt), m_columns(columns), m_map(map), m_other(at), m_inOther(true)
        {
            while (m_slot < m_columns && keyOf(m_slots[m_slot].number) < at.key())
                ++m_slot;
        }

        // At a column key: keys outside the columns resume after it.
        Iter settledAt(int number)
        {
            if (m_map)
                m_other = m_map->lowerBound(keyOf(number));
            m_inOther = false;
            return *this;
        }

        void settle()
        {
            if (!m_map) {
                m_inOther = false;
                return;
            }
            m_inOther = m_other != m_map->end()
                        && (m_slot >= m_columns || m_other.key() < keyOf(m_slots[m_slot].number));
        }

        SlotPtr m_slots = nullptr;
        qsizetype m_slot = 0;
        qsizetype m_columns = 0;
        Map* m_map = nullptr;
        MapIt m_other {};
        bool m_inOther = false;
    };

public:
    using key_type = QString;
    using mapped_type = QVariant;
    using size_type = qsizetype;
    using iterator = Iter<false>;
    using const_iterator = Iter<true>;
    using ConstIterator = const_iterator;
    using Iterator = iterator;

    // The column number of "data1".."data15", 0 for any other key.
    static int keyNumber(QStringView key) noexcept
    {
        const qsizetype n = key.size();
        if ((n != 5 && n != 6) || key[0] != u'd' || key[1] != u'a' || key[2] != u't' || key[3] != u'a')
            return 0;
        const char16_t first = key[4].unicode();
        if (first < u'1' || first > u'9')
            return 0;
        if (n == 5)
            return first - u'0';
        const char16_t second = key[5].unicode();
        if (first != u'1' || second < u'0' || second > u'5')
            return 0;
        return 10 + (second - u'0');
    }
    // "dataN" for a column number 1..15, kept alive for the whole run.
    static const QString& keyOf(int number);

    EntityFields() noexcept = default;
    EntityFields(const EntityFields& other) noexcept;
    EntityFields(EntityFields&& other) noexcept : d(std::exchange(other.d, nullptr)) {}
    EntityFields(const QMap<QString, QVariant>& map);
    EntityFields(std::initializer_list<std::pair<QString, QVariant>> list);
    ~EntityFields();
    EntityFields& operator=(const EntityFields& other) noexcept;
    EntityFields& operator=(EntityFields&& other) noexcept;
    void swap(EntityFields& other) noexcept { std::swap(d, other.d); }

    operator QMap<QString, QVariant>() const { return toMap(); }
    QMap<QString, QVariant> toMap() const;

    qsizetype size() const noexcept { return d ? d->columns + (d->other ? d->other->size() : 0) : 0; }
    qsizetype count() const noexcept { return size(); }
    bool isEmpty() const noexcept { return size() == 0; }
    bool empty() const noexcept { return isEmpty(); }
    void clear();
    // Room for this many column keys without growing again.
    void reserve(qsizetype columns);

    bool contains(const QString& key) const;
    bool contains(int number) const { return slotOf(number) >= 0; }
    QVariant value(const QString& key, const QVariant& defaultValue = QVariant()) const;
    QVariant value(int number, const QVariant& defaultValue = QVariant()) const;
    // The stored value of a column, or null when absent; no copy is made.
    const QVariant* find(int number) const
    {
        const int at = slotOf(number);
        return at < 0 ? nullptr : &d->slotArray()[at].value;
    }
    QVariant& operator[](const QString& key);
    QVariant operator[](const QString& key) const { return value(key); }
    QStringList keys() const;

    iterator insert(const QString& key, const QVariant& value);
    iterator insert(const QString& key, QVariant&& value);
    iterator insert(const_iterator hint, const QString& key, const QVariant& value);
    void insert(int number, QVariant value);
    qsizetype remove(const QString& key);
    QVariant take(const QString& key);

    iterator begin();
    iterator end();
    const_iterator begin() const { return cbegin(); }
    const_iterator end() const { return cend(); }
    const_iterator cbegin() const { return const_iterator(slotArray(), columns(), 0, other(), false); }
    const_iterator cend() const { return const_iterator(slotArray(), columns(), columns(), other(), true); }
    const_iterator constBegin() const { return cbegin(); }
    const_iterator constEnd() const { return cend(); }
    iterator find(const QString& key);
    const_iterator find(const QString& key) const { return constFind(key); }
    const_iterator constFind(const QString& key) const;

    friend bool operator==(const EntityFields& a, const EntityFields& b);
    friend bool operator!=(const EntityFields& a, const EntityFields& b) { return !(a == b); }
    friend bool operator==(const EntityFields& a, const QMap<QString, QVariant>& b) { return a == EntityFields(b); }
    friend bool operator==(const QMap<QString, QVariant>& a, const EntityFields& b) { return EntityFields(a) == b; }
    friend bool operator!=(const EntityFields& a, const QMap<QString, QVariant>& b) { return !(a == b); }
    friend bool operator!=(const QMap<QString, QVariant>& a, const EntityFields& b) { return !(a == b); }

private:
    Slot* slotArray() const noexcept { return d ? d->slotArray() : nullptr; }
    qsizetype columns() const noexcept { return d ? d->columns : 0; }
    QMap<QString, QVariant>* other() const noexcept { return d ? d->other : nullptr; }
    int slotOf(int number) const noexcept
    {
        if (!d)
            return -1;
        const Slot* s = d->slotArray();
        for (int i = 0; i < d->columns; ++i) {
            if (s[i].number == number)
                return i;
        }
        return -1;
    }
    void detach(qsizetype capacity);
    QMap<QString, QVariant>& otherForWrite();
    QVariant& slotForWrite(int number);
    // Stores the value under the column, in a new slot where it had none.
    int slotIndexForWrite(int number, QVariant&& value);

    Data* d = nullptr;
};

} // namespace pim
