// SPDX-License-Identifier: GPL-3.0-or-later
// LocalDb: the keys a stored name answers to, and finding the stored
// contact of a name, by the names an import read at once or through the
// case-insensitive name index (localdb_nameindex.cpp).
#include "model/localdb_names_p.h"

using namespace localdbnames;

QByteArray LocalDb::nameKey(QByteArray utf8)
{
    // Asked of every name an import reads or looks up: A-Z are folded in
    // one pass that also finds whether any blank is to go, nearly never.
    char* b = utf8.data();
    const qsizetype n = utf8.size();
    bool blanks = false;
    for (qsizetype i = 0; i < n; ++i) {
        if (b[i] >= 'A' && b[i] <= 'Z')
            b[i] = char(b[i] - 'A' + 'a');
        else if (uchar(b[i]) <= ' ')
            blanks = blanks || b[i] == '\t'
                || (b[i] == ' ' && (i == 0 || i + 1 == n || b[i + 1] == ' ' || b[i + 1] == '\t'));
    }
    if (!blanks)
        return utf8;
    // In place: the blanks dropped only shorten what is written.
    qsizetype out = 0;
    bool blank = false;
    for (const char c : std::as_const(utf8)) {
        if (c == ' ' || c == '\t') {
            blank = out > 0;
            continue;
        }
        if (blank) {
            utf8[out++] = ' ';
            blank = false;
        }
        utf8[out++] = c;
    }
    utf8.truncate(out);
    return utf8;
}

void LocalDb::loadImportNames()
{
    m_importNames.clear();
    // Only text equals a bound name; a NULL or a blob never does.
    Sqlite3Statement names = m_db.prepareThrow(
        QStringLiteral("select _id, full_name from contact where typeof(full_name)='text' order by _id"));
    names.forEachRow([this](const Sqlite3Statement::Row& row) {
        addKeys(m_importNames, static_cast<unsigned long long>(row.int64(0)), row.text(1));
        return true;
    });
    m_importNamesLoaded = true;
}

void LocalDb::addKeys(QHash<QByteArray, unsigned long long>& keys, unsigned long long id, QByteArrayView fullName)
{
    // Ids come in any order where a range of the index is read.
    const auto add = [&keys, id](QByteArray key) {
        if (key.isEmpty())
            return;
        unsigned long long& lowest = keys[std::move(key)];
        if (lowest == 0 || id < lowest)
            lowest = id;
    };
    add(nameKey(fullName.toByteArray()));
    add(partsNameKey(id, fullName));
}

void LocalDb::addImportName(unsigned long long id, const QString& fullName, const pim::Entity* parts)
{
    if (!m_wholeImport || fullName.isEmpty())
        return;
    const bool looksUp = !m_wordNames.isEmpty() || !m_runNames.isEmpty() || !m_namesAsked.isEmpty()
        || !m_emptyNames.empty();
    if (!m_importNamesLoaded && !looksUp)
        return;
    const QByteArray utf8 = fullName.toUtf8();
    QByteArray key;
    if (!parts) {
        key = nameKey(utf8);
    } else if (std::any_of(std::cbegin(kNamePartColumns), std::cend(kNamePartColumns), [parts](int column) {
                   // By column number, without a copy.
                   const QVariant* part = parts->fields.find(column);
                   return part
                       && (part->typeId() == QMetaType::QString
                               ? pim::hasEndBlanks(*static_cast<const QString*>(part->constData()))
                               : pim::hasEndBlanks(pim::fieldText(*part)));
               })) {
        // The readers store parts without end blanks: nearly never a key.
        key = partsKeyOf(utf8, *parts);
    }
    // A new contact has the highest id: an older one of its key stays first.
    if (m_importNamesLoaded) {
        if (!key.isEmpty() && !m_importNames.contains(key))
            m_importNames.insert(key, id);
        return;
    }
    if (parts) {
        if (!key.isEmpty() && !m_partsKeys.contains(key))
            m_partsKeys.insert(key, id);
        return;
    }
    // The stretch of the index known empty that the name now stands in
    // holds that name alone: it ends before it and starts again after it.
    const auto gap = m_emptyNames.upper_bound(utf8);
    if (gap != m_emptyNames.end() && gap->second <= utf8) {
        QByteArray start = std::move(gap->second);
        QByteArray after = utf8 + '\0';
        if (ByteOrder()(after, gap->first))
            gap->second = std::move(after);
        else
            m_emptyNames.erase(gap);
        if (ByteOrder()(start, utf8))
            m_emptyNames.emplace(utf8, std::move(start));
    }
    if (key.isEmpty())
        return;
    const auto addTo = [&](QHash<QByteArray, QHash<QByteArray, unsigned long long>>& cache, qsizetype at) {
        const auto names = cache.find(nameKey(utf8.left(at)));
        if (names != cache.end() && !names->contains(key))
            names->insert(key, id);
    };
    // Each word read whose range holds the name: the name up to a control
    // or blank, up to its first blank or tab; and each run: the name up to
    // a tab or control, or a blank before another, a tab, a control or its
    // end. Only words of up to kKeptWordBytes are kept.
    bool inFirstWord = true;
    for (qsizetype at = 0; at < utf8.size() && at <= kKeptWordBytes; ++at) {
        const char c = utf8.at(at);
        if (uchar(c) < '\t' || uchar(c) > ' ')
            continue;
        if (inFirstWord)
            addTo(m_wordNames, at);
        inFirstWord = inFirstWord && !isBlankOrTab(c);
        if (c != ' ' || at + 1 == utf8.size() || uchar(utf8.at(at + 1)) <= ' ')
            addTo(m_runNames, at);
    }
}

QByteArray LocalDb::partsNameKey(unsigned long long id, QByteArrayView fullName)
{
    if (!hasBlankBesideCjk(fullName))
        return QByteArray();
    if (!m_nameParts.isValid())
        m_nameParts = m_db.prepareThrow(QStringLiteral(
            "select data2,data3,data4,data5,data6 from data where contact_id=? and type=1 order by _id limit 1"));
    pim::Entity parts;
    m_nameParts.bindInt64(1, id64(id)).forEachRow([&](const Sqlite3Statement::Row& row) {
        parts = partsWithEndBlanks(row, 0);
        return false;
    });
    return parts.fields.isEmpty() ? QByteArray() : partsKeyOf(fullName, parts);
}

QByteArray LocalDb::partsKeyOf(QByteArrayView fullName, const pim::Entity& parts)
{
    if (!hasBlankBesideCjk(fullName))
        return QByteArray();
    pim::Entity trimmed;
    bool endBlanks = false;
    for (const QString& key : kNameParts) {
        const QString part = pim::fieldText(parts.fields.value(key));
        endBlanks = endBlanks || pim::hasEndBlanks(part);
        trimmed.fields.insert(key, pim::withoutEndBlanks(part));
    }
    if (!endBlanks || parts.fullName().toUtf8() != fullName)
        return QByteArray();
    QByteArray key = nameKey(trimmed.fullName().toUtf8());
    const QByteArray ownKey = nameKey(fullName.toByteArray());
    if (key == ownKey || !mayBePartsKey(key))
        return QByteArray();
    // Only a key of the name's letters in the order its parts give them,
    // whose index ranges hold the name: what the lookup reads. A middle
    // name or suffix that the parts leave out of the name they make, family
    // name first, makes none.
    if (madeOfParts(ownKey, key) && standsAt(ownKey, partsPlaces(key)))
        return key;
    // In the order of a Latin name the title comes first: the key then
    // carries it, as prefixedNameKey() gives it to the incoming name.
    const QByteArray title = nameKey(trimmed.fields.value(kNameParts[3]).toString().toUtf8());
    if (title.isEmpty() || !ownKey.startsWith(title + ' '))
        return QByteArray();
    key = title + '\0' + key;
    return mayBePartsKey(key) && madeOfParts(ownKey, key) && standsAt(ownKey, partsPlaces(key)) ? key : QByteArray();
}

QByteArray LocalDb::prefixedNameKey(const pim::_Contact& incoming, const QByteArray& key)
{
    // Only a key of those letters can have one.
    if (std::none_of(key.cbegin(), key.cend(), [](char c) { return uchar(c) >= 0xE1; }))
        return QByteArray();
    const auto names = incoming.entities.constFind(pim::ENTITY_NAME);
    if (names == incoming.entities.cend() || names->isEmpty())
        return QByteArray();
    const QByteArray title = nameKey(pim::fieldText(names->first().fields.value(kNameParts[3])).toUtf8());
    return title.isEmpty() ? QByteArray() : title + '\0' + key;
}

unsigned long long LocalDb::storedContactOf(const pim::_Contact& incoming)
{
    if (!m_wholeImport || incoming.fullName.isEmpty())
        return isContactBaseExist(incoming.fullName);
    const Hold hold(*this);
    connection();
    ensureNameIndex();
    const QByteArray key = nameKey(incoming.fullName.toUtf8());
    if (key.isEmpty())
        return 0;
    const QByteArray prefixed = prefixedNameKey(incoming, key);
    if (!m_importNamesLoaded)
        return findNameKey(key, prefixed);
    const unsigned long long byName = m_importNames.value(key, 0);
    const unsigned long long byParts = prefixed.isEmpty() ? 0 : m_importNames.value(prefixed, 0);
    return byName == 0 || byParts == 0 ? qMax(byName, byParts) : qMin(byName, byParts);
}

unsigned long long LocalDb::isContactBaseExist(const QString& fullName)
{
    const Hold hold(*this);
    connection();
    // Nameless contacts (company-only, number-only) are distinct people.
    if (fullName.isEmpty())
        return 0;
    ensureNameIndex();
    if (m_wholeImport) {
        const QByteArray key = nameKey(fullName.toUtf8());
        if (key.isEmpty())
            return 0;
        return m_importNamesLoaded ? m_importNames.value(key, 0) : findNameKey(key, QByteArray());
    }
    // "=" with NOCASE folds A-Z like LIKE does but takes "%" and "_"
    // literally: "J_hn" must never find "John".
    // Prepared once: a large import looks up every contact.
    if (!m_findName.isValid())
        m_findName = m_db.prepareThrow(QStringLiteral("select _id from contact where full_name=? collate nocase order by _id limit 1"));
    return static_cast<unsigned long long>(m_findName.bindText(1, fullName).firstInt64(0));
}

