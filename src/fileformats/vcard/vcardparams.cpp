// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/vcardparams.h"

QString VCardParams::value(const QString& key, const QString& defaultValue) const
{
    const qsizetype at = indexOf(key);
    return at < m_entries.size() ? m_entries[at].value : defaultValue;
}

const QString* VCardParams::findIgnoringCase(QLatin1StringView upper) const
{
    const QString* first = nullptr;
    for (const Entry& entry : m_entries) {
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
    if (at == m_entries.size() || m_entries[at].key != key)
        m_entries.insert(m_entries.cbegin() + at, Entry { key, QString() });
    return m_entries[at].value;
}

qsizetype VCardParams::remove(const QString& key)
{
    const qsizetype at = indexOf(key);
    if (at == m_entries.size())
        return 0;
    m_entries.remove(at);
    return 1;
}

bool VCardParams::operator==(const VCardParams& other) const
{
    if (size() != other.size())
        return false;
    for (qsizetype i = 0; i < size(); ++i) {
        if (m_entries[i].key != other.m_entries[i].key || m_entries[i].value != other.m_entries[i].value)
            return false;
    }
    return true;
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
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].key == key)
            return i;
    }
    return m_entries.size();
}

qsizetype VCardParams::lowerBound(const QString& key) const
{
    qsizetype at = 0;
    while (at < m_entries.size() && m_entries[at].key < key)
        ++at;
    return at;
}
