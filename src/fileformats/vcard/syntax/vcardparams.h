// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLatin1StringView>
#include <QString>

#include <utility>

// The parameters of one vCard property: name to value, a name at most once,
// iterated in the order of the names as QString orders them (by UTF-16
// unit, case counting). Nearly every property has none, one or two, and a
// file has hundreds of thousands of properties: so the pairs share one
// block, none without parameters, and are found by a scan, where a tree
// would cost a block per pair. The property keeps a single pointer to it,
// so that a card of ten properties stays a block small enough for the
// allocator's fast per-thread cache.
class VCardParams {
    struct Entry {
        QString key;
        QString value;
    };

    // What QMap's iterators offer that our callers use: key(), value(), and
    // the value through * and ->.
    template <typename E> class Iterator {
    public:
        Iterator() = default;
        explicit Iterator(E* entry)
            : m_entry(entry)
        {
        }
        const QString& key() const { return m_entry->key; }
        auto& value() const { return m_entry->value; }
        auto& operator*() const { return m_entry->value; }
        auto* operator->() const { return &m_entry->value; }
        Iterator& operator++()
        {
            ++m_entry;
            return *this;
        }
        bool operator==(const Iterator& other) const { return m_entry == other.m_entry; }
        bool operator!=(const Iterator& other) const { return m_entry != other.m_entry; }

    private:
        E* m_entry = nullptr;
    };

public:
    using iterator = Iterator<Entry>;
    using const_iterator = Iterator<const Entry>;

    VCardParams() noexcept = default;
    VCardParams(const VCardParams& other);
    VCardParams(VCardParams&& other) noexcept
        : m_block(std::exchange(other.m_block, nullptr))
    {
    }
    VCardParams& operator=(const VCardParams& other);
    VCardParams& operator=(VCardParams&& other) noexcept
    {
        std::swap(m_block, other.m_block);
        return *this;
    }
    ~VCardParams();

    bool isEmpty() const { return size() == 0; }
    qsizetype size() const { return m_block ? m_block->size : 0; }
    // Room for this many parameters without growing again.
    void reserve(qsizetype count);

    iterator begin() { return iterator(entries()); }
    iterator end() { return iterator(entries() + size()); }
    const_iterator begin() const { return constBegin(); }
    const_iterator end() const { return constEnd(); }
    const_iterator constBegin() const { return const_iterator(entries()); }
    const_iterator constEnd() const { return const_iterator(entries() + size()); }

    iterator find(const QString& key) { return iterator(entries() + indexOf(key)); }
    const_iterator find(const QString& key) const { return constFind(key); }
    const_iterator constFind(const QString& key) const { return const_iterator(entries() + indexOf(key)); }
    bool contains(const QString& key) const { return indexOf(key) < size(); }
    // The value of key; defaultValue when there is none.
    QString value(const QString& key, const QString& defaultValue = QString()) const;
    // The value of the parameter whose name is upper without regard to
    // ASCII case, the exact spelling first; null when there is none.
    const QString* findIgnoringCase(QLatin1StringView upper) const;

    // Sets key's value, replacing any it had.
    iterator insert(const QString& key, const QString& value);
    // The value of key, added empty in its place when there is none.
    QString& operator[](const QString& key);
    // Removes key; the number of parameters removed (0 or 1).
    qsizetype remove(const QString& key);

    bool operator==(const VCardParams& other) const;
    bool operator!=(const VCardParams& other) const { return !(*this == other); }

    // Whether text equals upper, an upper-case ASCII word, without regard to
    // ASCII case. Parameter names and the words compared with them are
    // ASCII, so this spares the full case tables; the length first, and
    // inline, as almost every name differs in length.
    static bool isWord(QStringView text, QLatin1StringView upper)
    {
        return text.size() == upper.size() && isSameWord(text, upper);
    }

    // A value as it is matched with words: without the blanks and tabs that
    // the tokenizer keeps between its bytes ("HOME, VOICE"), so a kind
    // reads as it always did. The value itself when it holds none.
    static QString withoutBlanks(const QString& value);

private:
    // isWord() for text of the word's length.
    static bool isSameWord(QStringView text, QLatin1StringView upper);
    // One allocation: this header, then room for `capacity` entries of
    // which the first `size` are live.
    struct alignas(Entry) Block {
        qsizetype size;
        qsizetype capacity;
    };

    Entry* entries() const { return m_block ? reinterpret_cast<Entry*>(m_block + 1) : nullptr; }
    // Moves the entries into a new block with room for capacity of them.
    void regrow(qsizetype capacity);
    // The position of key; size() when there is none.
    qsizetype indexOf(const QString& key) const;
    // Where key stands or would stand in the sorted order.
    qsizetype lowerBound(const QString& key) const;

    Block* m_block = nullptr;
};

// A single owning pointer: moved bit for bit as well as by its constructor.
Q_DECLARE_TYPEINFO(VCardParams, Q_RELOCATABLE_TYPE);
