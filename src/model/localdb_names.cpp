// SPDX-License-Identifier: GPL-3.0-or-later
// LocalDb: the keys a stored name answers to, and finding the stored
// contact of a name, by the names an import read at once or through the
// case-insensitive name index.
#include "model/localdb.h"

#include <algorithm>

namespace {

long long id64(unsigned long long id)
{
    return static_cast<long long>(id);
}

// Those letters lie at U+1100 and above: three bytes or four in UTF-8.
constexpr char32_t kFirstCjk = 0x1100;

// Whether a stored name holds a blank or tab beside such a letter: only
// then can partsNameKey() differ from its nameKey(). Nearly every name
// is told by its bytes alone.
bool hasBlankBesideCjk(QByteArrayView utf8)
{
    bool high = false;
    bool blank = false;
    for (const char c : utf8) {
        high = high || uchar(c) >= 0xE1;
        blank = blank || c == ' ' || c == '\t';
    }
    if (!high || !blank)
        return false;
    const QList<uint> letters = QString::fromUtf8(utf8).toUcs4();
    for (qsizetype i = 0; i < letters.size(); ++i) {
        if (letters.at(i) != ' ' && letters.at(i) != '\t')
            continue;
        if ((i > 0 && pim::isCjkLetter(letters.at(i - 1)))
            || (i + 1 < letters.size() && pim::isCjkLetter(letters.at(i + 1))))
            return true;
    }
    return false;
}

// The name parts Entity::fullName() is made of, in the order of the
// columns read for them.
const QString kNameParts[] = { QStringLiteral("data2"), QStringLiteral("data3"), QStringLiteral("data4"),
                               QStringLiteral("data5"), QStringLiteral("data6") };

} // namespace

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
        const auto id = static_cast<unsigned long long>(row.int64(0));
        QByteArray key = nameKey(row.text(1).toByteArray());
        if (!key.isEmpty() && !m_importNames.contains(key))
            m_importNames.insert(std::move(key), id);
        QByteArray partsKey = partsNameKey(id, row.text(1));
        if (!partsKey.isEmpty() && !m_importNames.contains(partsKey))
            m_importNames.insert(std::move(partsKey), id);
        return true;
    });
    m_importNamesLoaded = true;
}

QByteArray LocalDb::partsNameKey(unsigned long long id, QByteArrayView fullName)
{
    if (!hasBlankBesideCjk(fullName))
        return QByteArray();
    if (!m_nameParts.isValid())
        m_nameParts = m_db.prepareThrow(QStringLiteral(
            "select data2,data3,data4,data5,data6 from data where contact_id=? and type=1 order by _id limit 1"));
    pim::Entity stored;
    pim::Entity trimmed;
    bool endBlanks = false;
    m_nameParts.bindInt64(1, id64(id)).forEachRow([&](const Sqlite3Statement::Row& row) {
        for (int i = 0; i < 5; ++i) {
            const QString part = row.getText(i);
            endBlanks = endBlanks || pim::hasEndBlanks(part);
            stored.fields.insert(kNameParts[i], part);
            trimmed.fields.insert(kNameParts[i], pim::withoutEndBlanks(part));
        }
        return false;
    });
    if (!endBlanks || stored.fullName().toUtf8() != fullName)
        return QByteArray();
    QByteArray key = nameKey(trimmed.fullName().toUtf8());
    const QByteArray ownKey = nameKey(fullName.toByteArray());
    if (key == ownKey)
        return QByteArray();
    const QString name = QString::fromUtf8(fullName);
    const char32_t first = name.isEmpty() ? 0 : char32_t(QStringView(name).toUcs4().value(0));
    if (first >= kFirstCjk && QString::fromUtf8(key).contains(QString::fromUcs4(&first, 1)))
        return key;
    // In the order of a Latin name the title comes first: the key then
    // carries it, as prefixedNameKey() gives it to the incoming name.
    const QByteArray title = nameKey(trimmed.fields.value(kNameParts[3]).toString().toUtf8());
    if (!title.isEmpty() && ownKey.startsWith(title + ' '))
        return title + '\0' + key;
    return QByteArray();
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

unsigned long long LocalDb::findNameKey(const QByteArray& key, const QByteArray& prefixed)
{
    if (!m_findNameRange.isValid())
        m_findNameRange = m_db.prepareThrow(QStringLiteral(
            "select _id, full_name from contact where full_name>=? collate nocase and full_name<? collate nocase"));
    unsigned long long found = 0;
    // The names from `from` (A-Z folded) up to `to`, each taken when the
    // key it gives is this one and its id the lowest yet.
    const auto scan = [&](const QString& from, const QString& to, bool byParts, const QByteArray& wanted) {
        m_findNameRange.bindText(1, from).bindText(2, to).forEachRow([&](const Sqlite3Statement::Row& row) {
            const auto id = static_cast<unsigned long long>(row.int64(0));
            if (found != 0 && id >= found)
                return true;
            if (byParts ? partsNameKey(id, row.text(1)) == wanted : nameKey(row.text(1).toByteArray()) == wanted)
                found = id;
            return true;
        });
    };
    // A name of this key is the key itself, maybe followed by blanks or
    // tabs; or starts with a blank or tab; or is the key up to a blank
    // between two words, where the name has a tab or a blank and another
    // blank or tab instead. Every range is one descent of the index, with
    // few names in it.
    const QString text = QString::fromUtf8(key);
    scan(text, text + QLatin1Char('!'), false, key);
    scan(QStringLiteral("\t"), QStringLiteral("!"), false, key);
    for (qsizetype at = text.indexOf(u' '); at >= 0; at = text.indexOf(u' ', at + 1)) {
        const QString words = text.left(at);
        scan(words + QLatin1Char('\t'), words + QLatin1Char('\n'), false, key);
        scan(words + QLatin1String(" \t"), words + QLatin1String(" !"), false, key);
    }
    // partsNameKey() starts with a letter of those scripts that its key
    // holds, however its parts were ordered.
    QList<char32_t> firsts;
    for (const uint c : QString::fromUtf8(key).toUcs4()) {
        if (c >= kFirstCjk && pim::isCjkLetter(c) && !firsts.contains(char32_t(c)))
            firsts.append(char32_t(c));
    }
    for (const char32_t c : std::as_const(firsts)) {
        const char32_t next = c + 1;
        scan(QString::fromUcs4(&c, 1), QString::fromUcs4(&next, 1), true, key);
    }
    // A name in the order of a Latin name starts with its title's first
    // word.
    if (!prefixed.isEmpty()) {
        const QString title = QString::fromUtf8(prefixed.left(prefixed.indexOf('\0')));
        const QString word = title.left(title.indexOf(u' ') < 0 ? title.size() : title.indexOf(u' '));
        scan(word, word + QLatin1Char('!'), true, prefixed);
    }
    return found;
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

