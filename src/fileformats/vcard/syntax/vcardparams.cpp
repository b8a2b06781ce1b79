// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/syntax/vcardparams.h"

#include <cstring>
#include <new>

namespace {

// Entries move up and down, and between blocks, bit for bit.
static_assert(QTypeInfo<QString>::isRelocatable, "entries are moved with memmove");

} // namespace

VCardParams::VCardParams(const VCardParams& other)
{
    if (other.isEmpty())
        return;
    regrow(other.size());
    Entry* to = entries();
    const Entry* from = other.entries();
    for (qsizetype i = 0; i < other.size(); ++i)
        new (to + i) Entry(from[i]);
    m_block->size = other.size();
}

VCardParams& VCardParams::operator=(const VCardParams& other)
{
    if (this != &other) {
        VCardParams copy(other);
        std::swap(m_block, copy.m_block);
    }
    return *this;
}

VCardParams::~VCardParams()
{
    if (!m_block)
        return;
    Entry* e = entries();
    for (qsizetype i = 0; i < m_block->size; ++i)
        e[i].~Entry();
    m_block->~Block();
    ::operator delete(m_block);
}

void VCardParams::reserve(qsizetype count)
{
    if (count > (m_block ? m_block->capacity : 0))
        regrow(count);
}

void VCardParams::regrow(qsizetype capacity)
{
    const qsizetype live = size();
    void* raw = ::operator new(sizeof(Block) + sizeof(Entry) * size_t(capacity));
    Block* fresh = new (raw) Block { live, capacity };
    if (m_block) {
        std::memcpy(
            static_cast<void*>(fresh + 1), static_cast<const void*>(entries()), sizeof(Entry) * size_t(live));
        m_block->~Block();
        ::operator delete(m_block);
    }
    m_block = fresh;
}

QString VCardParams::value(const QString& key, const QString& defaultValue) const
{
    const qsizetype at = indexOf(key);
    return at < size() ? entries()[at].value : defaultValue;
}

const QString* VCardParams::findIgnoringCase(QLatin1StringView upper) const
{
    const QString* first = nullptr;
    const Entry* e = entries();
    for (qsizetype i = 0; i < size(); ++i) {
        const Entry& entry = e[i];
        if (!isWord(entry.key, upper))
            continue;
        if (entry.key == upper)
            return &entry.value;
        if (!first)
            first = &entry.value;
    }
    return first;
}

VCardParams::iterator VCardParams::insert(const QString& key, const QString& value)
{
    QString& slot = (*this)[key];
    slot = value;
    return find(key);
}

QString& VCardParams::operator[](const QString& key)
{
    const qsizetype at = lowerBound(key);
    if (at < size() && entries()[at].key == key)
        return entries()[at].value;
    const qsizetype live = size();
    if (!m_block || live == m_block->capacity)
        regrow(qMax<qsizetype>(2, live * 2));
    Entry* e = entries();
    std::memmove(
        static_cast<void*>(e + at + 1), static_cast<const void*>(e + at), sizeof(Entry) * size_t(live - at));
    new (e + at) Entry { key, QString() };
    ++m_block->size;
    return e[at].value;
}

qsizetype VCardParams::remove(const QString& key)
{
    const qsizetype at = indexOf(key);
    if (at == size())
        return 0;
    Entry* e = entries();
    e[at].~Entry();
    std::memmove(static_cast<void*>(e + at), static_cast<const void*>(e + at + 1),
        sizeof(Entry) * size_t(size() - at - 1));
    --m_block->size;
    return 1;
}

bool VCardParams::operator==(const VCardParams& other) const
{
    if (size() != other.size())
        return false;
    const Entry* a = entries();
    const Entry* b = other.entries();
    for (qsizetype i = 0; i < size(); ++i) {
        if (a[i].key != b[i].key || a[i].value != b[i].value)
            return false;
    }
    return true;
}

QString VCardParams::withoutBlanks(const QString& value)
{
    if (!value.contains(u' ') && !value.contains(u'\t'))
        return value;
    QString matched = value;
    matched.remove(u' ');
    matched.remove(u'\t');
    return matched;
}

bool VCardParams::isSameWord(QStringView text, QLatin1StringView upper)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char16_t c = text[i].unicode();
        // Beyond ASCII the full case folding decides, as a few letters
        // there fold to ASCII ones (the Kelvin sign to "k").
        if (c >= 0x80)
            return QtPrivate::compareStrings(text, upper, Qt::CaseInsensitive) == 0;
        if (c >= u'a' && c <= u'z')
            c -= u'a' - u'A';
        if (c != char16_t(uchar(upper[i].toLatin1())))
            return false;
    }
    return true;
}

qsizetype VCardParams::indexOf(const QString& key) const
{
    const Entry* e = entries();
    for (qsizetype i = 0; i < size(); ++i) {
        if (e[i].key == key)
            return i;
    }
    return size();
}

qsizetype VCardParams::lowerBound(const QString& key) const
{
    const Entry* e = entries();
    qsizetype at = 0;
    while (at < size() && e[at].key < key)
        ++at;
    return at;
}
