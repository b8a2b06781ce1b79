// SPDX-License-Identifier: GPL-3.0-or-later
// LocalDb: the keys a stored name answers to, and finding the stored
// contact of a name, by the names an import read at once or through the
// case-insensitive name index.
#include "model/localdb.h"

#include <QVarLengthArray>

#include <algorithm>

namespace {

long long id64(unsigned long long id)
{
    return static_cast<long long>(id);
}

// Those letters lie at U+1100 and above: three bytes or four in UTF-8.
constexpr char32_t kFirstCjk = 0x1100;

// The words whose ranges of the name index an import keeps (wordNames())
// are at most this long: names share their first words, while each longer
// prefix of a long name is its own, and keeping them all would keep the
// square of the name's length.
constexpr qsizetype kKeptWordBytes = 64;
// A parts key holds at most this many letters: the names earlier builds
// made of parts are short, and every letter of a key is a place where
// the lookup reads the index.
constexpr qsizetype kMostPartsLetters = 64;

// The name parts Entity::fullName() is made of, in the order of the
// columns read for them.
const QString kNameParts[] = { QStringLiteral("data2"), QStringLiteral("data3"), QStringLiteral("data4"),
                               QStringLiteral("data5"), QStringLiteral("data6") };
const int kNamePartColumns[] = { 2, 3, 4, 5, 6 };

// The letter that starts at `at` in UTF-8 text (its first byte, not a
// continuation byte); U+FFFD for a sequence cut short.
char32_t letterAt(QByteArrayView utf8, qsizetype at)
{
    const uchar lead = uchar(utf8.at(at));
    if (lead < 0x80)
        return lead;
    const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (at + length > utf8.size())
        return 0xFFFD;
    char32_t c = lead & (0x3F >> (length - 1));
    for (int i = 1; i < length; ++i)
        c = c << 6 | (uchar(utf8.at(at + i)) & 0x3F);
    return c;
}

bool startsLetter(char c)
{
    return (uchar(c) & 0xC0) != 0x80;
}

bool isBlankOrTab(char c)
{
    return c == ' ' || c == '\t';
}

// Whether a stored name holds a blank or tab beside such a letter: only
// then can partsNameKey() differ from its nameKey(). Nearly every name
// is told by its bytes alone; the rest by the letters beside each blank.
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
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        if (!isBlankOrTab(utf8.at(i)))
            continue;
        qsizetype before = i - 1;
        while (before > 0 && !startsLetter(utf8.at(before)))
            --before;
        if ((before >= 0 && pim::isCjkLetter(letterAt(utf8, before)))
            || (i + 1 < utf8.size() && pim::isCjkLetter(letterAt(utf8, i + 1))))
            return true;
    }
    return false;
}

// The first word of a name: up to its first blank or tab, or the whole.
QByteArrayView firstWord(QByteArrayView name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isBlankOrTab(name.at(i)))
            return name.first(i);
    }
    return name;
}

// The length in bytes of the UTF-8 letter that starts at `at`.
qsizetype letterLength(QByteArrayView utf8, qsizetype at)
{
    qsizetype end = at + 1;
    while (end < utf8.size() && !startsLetter(utf8.at(end)))
        ++end;
    return end - at;
}

// Where in the name index a stored name with the parts key `key` (see
// partsKeyOf) stands: it starts with `before` (A-Z folded), then blanks or
// tabs, then `next`, or anything where `next` is empty; with one blank
// there, it is `before`, the blank, `next` and `rest`. The one definition
// of it, so that a lookup through the index reads those few names and
// finds every one whose names were read at once. Parts of Chinese,
// Japanese or Korean letters read family name first, so a name made of
// them with end blanks is the key with a blank after a letter ("山田" and
// "太" of "山田 太郎" for "山田太郎"); one that an earlier build put in the
// order of a Latin name starts with the given name, which ends the key,
// and goes on with the family name, which starts it ("明" and "李" of
// "明 李" for "李明"). Each starts with a letter at U+1100 or above, as
// such names do. A key with a title ("dr" NUL "李明") is of a name that
// starts with the title's first word.
struct Place {
    QByteArrayView before;
    QByteArrayView next;
    QByteArrayView rest;
};
using Places = QVarLengthArray<Place, 16>;
Places partsPlaces(QByteArrayView key)
{
    Places places;
    const qsizetype titleEnd = key.indexOf('\0');
    if (titleEnd >= 0) {
        places.append({ firstWord(key.first(titleEnd)), QByteArrayView(), QByteArrayView() });
        return places;
    }
    const QByteArrayView first = key.first(letterLength(key, 0));
    for (qsizetype at = first.size(); at < key.size(); at += letterLength(key, at)) {
        const QByteArrayView next = key.sliced(at, letterLength(key, at));
        if (letterAt(key, 0) >= kFirstCjk)
            places.append({ key.first(at), next, key.sliced(at + next.size()) });
        if (letterAt(key, at) >= kFirstCjk)
            places.append({ key.sliced(at), first, key.first(at).sliced(first.size()) });
    }
    return places;
}

// Whether a name key is one the parts of a parts key make with blanks at
// their ends (Entity::fullName()): the key with one blank in it, where
// the family name, or the family and middle name, ends; or in the order
// of a Latin name the given name, which ends the key, a blank and the
// family name, which starts it. With a title, the name starts with it and
// a blank. Middle names with blanks at their ends too, which would make a
// second blank, are not told.
bool madeOfParts(QByteArrayView own, QByteArrayView key)
{
    const qsizetype titleEnd = key.indexOf('\0');
    if (titleEnd >= 0) {
        const QByteArrayView title = key.first(titleEnd);
        if (!own.startsWith(title) || own.size() <= title.size() || own.at(title.size()) != ' ')
            return false;
        own = own.sliced(title.size() + 1);
        key = key.sliced(titleEnd + 1);
    }
    const qsizetype blank = own.indexOf(' ');
    if (blank <= 0 || own.size() != key.size() + 1 || own.indexOf(' ', blank + 1) >= 0)
        return false;
    const QByteArrayView before = own.first(blank);
    const QByteArrayView after = own.sliced(blank + 1);
    return (key.startsWith(before) && key.endsWith(after)) || (key.startsWith(after) && key.endsWith(before));
}

// Whether a name key stands where `places` say.
bool standsAt(QByteArrayView nameKey, const Places& places)
{
    return std::any_of(places.cbegin(), places.cend(), [nameKey](const Place& place) {
        const qsizetype at = place.before.size();
        return nameKey.startsWith(place.before) && at < nameKey.size() && nameKey.at(at) == ' '
            && nameKey.sliced(at + 1).startsWith(place.next);
    });
}

// The letters of a key whatever their order, without blanks, tabs and the
// NUL after a title, counted and summed: where a lookup finds the names to
// ask of their parts, which hold the same letters in another order.
// The same for a stored name as for its nameKey(): A-Z are folded here.
quint64 lettersSum(QByteArrayView key)
{
    quint64 count = 0;
    quint64 sum = 0;
    quint64 squares = 0;
    for (const char c : key) {
        if (c == ' ' || c == '\t' || c == '\0')
            continue;
        const quint64 b = uchar(c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
        ++count;
        sum += b;
        squares += b * b;
    }
    return count << 48 ^ sum << 24 ^ squares;
}

// Whether a key can be the parts key of a stored name: parts of those
// letters make a name without blanks, family name first (Entity::fullName),
// so a blank in what they make, after its title if it has one, is a blank
// inside a part, which writers of such names do not put there. A name
// written with a blank ("山田 太郎", "★ 王明") is then looked up as it is
// written, without reading every stored name of its first word. The key
// holds at most kMostPartsLetters letters, and one of those scripts: the
// stored name holds the key's letters with a blank beside such a letter,
// so one of marks or emoji alone ("★♪・〆") is no parts key.
bool mayBePartsKey(QByteArrayView key)
{
    if (key.isEmpty() || key.sliced(key.indexOf('\0') + 1).contains(' '))
        return false;
    qsizetype letters = 0;
    bool cjk = false;
    for (qsizetype at = 0; at < key.size(); at += letterLength(key, at)) {
        const char c = key.at(at);
        if (c == '\0' || c == ' ')
            continue;
        if (++letters > kMostPartsLetters)
            return false;
        cjk = cjk || (uchar(c) >= 0xE1 && pim::isCjkLetter(letterAt(key, at)));
    }
    return cjk;
}

// Whether a name holds few enough letters, its blanks and tabs aside, for
// its parts to make a key of them.
bool fewPartsLetters(QByteArrayView name)
{
    qsizetype letters = 0;
    for (const char c : name) {
        if (startsLetter(c) && c != ' ' && c != '\t' && ++letters > kMostPartsLetters)
            return false;
    }
    return true;
}

// Whether a text holds an ASCII letter: where none does, the name index
// of the case-sensitive order holds the same names in a range as the
// case-insensitive one, and is read for less.
bool hasAsciiLetter(QByteArrayView text)
{
    return std::any_of(text.begin(), text.end(), [](char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; });
}

// A text and a character or two more, the bound of a range of the name
// index, built without a copy on the heap for the usual short text.
class Bounds {
public:
    Bounds(QByteArrayView text, QByteArrayView tail)
        : m_bytes(text.size() + tail.size())
    {
        std::copy(tail.begin(), tail.end(), std::copy(text.begin(), text.end(), m_bytes.begin()));
    }
    // Valid while this lives.
    QByteArray text() const { return QByteArray::fromRawData(m_bytes.constData(), m_bytes.size()); }

private:
    QVarLengthArray<char, 64> m_bytes;
};

// Greater in the case-sensitive order than every name, which is UTF-8.
const QByteArray kPastEveryName = QByteArrayLiteral("\xff");

// The parts of a first name row read in `row` from column `first` on
// (NULL where the contact has none), where one has blanks at its ends;
// else none: such parts make no other key (LocalDb::partsKeyOf()), and
// are nearly every name's, told from the row in place.
pim::Entity partsWithEndBlanks(const Sqlite3Statement::Row& row, int first)
{
    pim::Entity parts;
    for (int i = first; i < first + 5; ++i) {
        const QByteArrayView part = row.text(i);
        if (!part.isEmpty() && (isBlankOrTab(part.front()) || isBlankOrTab(part.back()))) {
            for (int k = 0; k < 5; ++k)
                parts.fields.insert(kNameParts[k], row.getText(first + k));
            break;
        }
    }
    return parts;
}

} // namespace

// Told without a call: asked many times for every name an import looks up.
inline bool LocalDb::ByteOrder::operator()(const QByteArray& a, const QByteArray& b) const noexcept
{
    const qsizetype n = qMin(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        if (a.at(i) != b.at(i))
            return uchar(a.at(i)) < uchar(b.at(i));
    }
    return n < b.size();
}

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

// Hands each stored name from `from` (A-Z folded) up to `to` in the name
// index with its id to `name`; with `next`, which receives the first name
// at or after `to` when a range without ASCII letters is read in the
// case-sensitive order (kPastEveryName for none), else empty text.
void LocalDb::scanNames(QByteArrayView from, QByteArrayView to,
                        const std::function<void(unsigned long long, QByteArrayView)>& name, QByteArray* next)
{
    const bool caseOrder = m_caseOrderNames && !hasAsciiLetter(from) && !hasAsciiLetter(to);
    Sqlite3Statement& range = !caseOrder ? m_findNameRange : next ? m_findNameFrom : m_findNameCaseRange;
    if (!range.isValid()) {
        range = m_db.prepareThrow(
            !caseOrder ? QStringLiteral("select _id, full_name from contact where full_name>=? collate nocase"
                                        " and full_name<? collate nocase")
            : next     ? QStringLiteral("select _id, full_name from contact where full_name>=? and full_name<?"
                                        " order by full_name")
                       : QStringLiteral("select _id, full_name from contact where full_name>=? and full_name<?"));
    }
    if (caseOrder && next) {
        // Up to text past every name: blobs, which sort after all text,
        // are no names.
        *next = kPastEveryName;
        range.bindUtf8(1, from).bindUtf8(2, kPastEveryName).forEachRow([&](const Sqlite3Statement::Row& row) {
            const QByteArrayView text = row.text(1);
            if (text.compare(to) >= 0) {
                *next = text.toByteArray();
                return false;
            }
            name(static_cast<unsigned long long>(row.int64(0)), text);
            return true;
        });
        return;
    }
    if (next)
        next->clear();
    range.bindUtf8(1, from).bindUtf8(2, to).forEachRow([&](const Sqlite3Statement::Row& row) {
        name(static_cast<unsigned long long>(row.int64(0)), row.text(1));
        return true;
    });
}

// Whether the range from `from` up to `to` (A-Z folded) of the name index
// is known to hold no name; `noAsciiLetter` where the caller knows its
// text holds none.
bool LocalDb::knownEmpty(const QByteArray& from, const QByteArray& to, bool noAsciiLetter) const
{
    // In the case-sensitive order, a range that lies in a stretch of the
    // index known to hold no name holds none; one read up to the next name
    // and found empty makes the stretch up to there known (readNames()).
    // The bounds of a range differ only in characters after its text.
    if (!m_caseOrderNames || (!noAsciiLetter && hasAsciiLetter(from)))
        return false;
    const auto gap = m_emptyNames.upper_bound(from);
    return gap != m_emptyNames.end() && !ByteOrder()(from, gap->second) && !ByteOrder()(gap->first, to);
}

// Reads the range from `from` up to `to`: the nameKey() of each name into
// `keys`, if given, with the lowest id that has it, and each that may have
// a partsNameKey() among those to ask once a lookup wants a key of its
// letters.
void LocalDb::readNames(const QByteArray& from, const QByteArray& to, QHash<QByteArray, unsigned long long>* keys)
{
    if (knownEmpty(from, to))
        return;
    QByteArray next;
    bool any = false;
    scanNames(
        from, to,
        [&](unsigned long long id, QByteArrayView name) {
            any = true;
            if (keys) {
                unsigned long long& lowest = (*keys)[nameKey(name.toByteArray())];
                if (lowest == 0 || id < lowest)
                    lowest = id;
            }
            // Whether its parts make another key is asked of its name row
            // only where a lookup wants a key of its letters.
            if (!m_partsAsked.contains(id) && hasBlankBesideCjk(name)) {
                m_partsAsked.insert(id);
                if (fewPartsLetters(name))
                    m_partsToAsk[lettersSum(name)].append({ id, name.toByteArray() });
            }
        },
        &next);
    if (!any && !next.isEmpty()) {
        QByteArray& start = m_emptyNames[std::move(next)];
        if (start.isEmpty() || from < start)
            start = QByteArray(from.constData(), from.size());
    }
}

// The lowest id of a name of `key` among the names readNames() reads that
// start with the word and then a blank, a tab or a control; with `run`, a
// tab or control, or a blank before another, a tab, a control or nothing;
// 0 for none. Read at the first use in an import, then kept with the
// contacts it stores, for a word of at most kKeptWordBytes.
unsigned long long LocalDb::wordNames(QByteArrayView word, bool run, const QByteArray& key)
{
    // Looked up without a copy: asked several times for every name.
    QHash<QByteArray, QHash<QByteArray, unsigned long long>>& cache = run ? m_runNames : m_wordNames;
    const bool kept = word.size() <= kKeptWordBytes;
    if (kept) {
        const auto known = cache.constFind(QByteArray::fromRawData(word.data(), word.size()));
        if (known != cache.cend())
            return known->value(key, 0);
    }
    QHash<QByteArray, unsigned long long> keys;
    readNames(Bounds(word, "\t").text(), Bounds(word, run ? QByteArrayView(" !") : QByteArrayView("!")).text(), &keys);
    const unsigned long long holder = keys.value(key, 0);
    if (kept)
        cache.insert(word.toByteArray(), std::move(keys));
    return holder;
}

namespace {

// The length of the longest start `name`, A-Z folded, shares with `key`.
qsizetype sharedStart(QByteArrayView name, QByteArrayView key)
{
    const qsizetype n = qMin(name.size(), key.size());
    qsizetype at = 0;
    while (at < n) {
        const char c = name.at(at);
        if ((c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) != key.at(at))
            break;
        ++at;
    }
    return at;
}

// The order of `name`, A-Z folded, against the first `length` bytes of
// `key` and then `tail`, as the name index orders them, told from `shared`
// (sharedStart() of the two): below zero where the name comes first.
int compareBound(QByteArrayView name, qsizetype shared, QByteArrayView key, qsizetype length, QByteArrayView tail)
{
    if (shared < length) {
        if (shared == name.size())
            return -1;
        const char c = name.at(shared);
        return uchar(c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) < uchar(key.at(shared)) ? -1 : 1;
    }
    const QByteArrayView rest = name.sliced(length);
    for (qsizetype i = 0; i < tail.size(); ++i) {
        if (i == rest.size())
            return -1;
        const char c = rest.at(i);
        const uchar folded = uchar(c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
        if (folded != uchar(tail.at(i)))
            return folded < uchar(tail.at(i)) ? -1 : 1;
    }
    return rest.size() > tail.size() ? 1 : 0;
}

} // namespace

// The lowest id of a stored name of `key` that has a tab or a run of
// blanks where the key has a blank, at its blanks from `first` on, or 0:
// the ranges of the name index wordNames() reads with `run`, each after
// the one before, read in one pass in the index's order that seeks again
// only past a stretch that holds none of them. A long name costs a few
// descents of the index then, rather than one for each of its blanks.
unsigned long long LocalDb::runNamesHolder(const QByteArray& key, qsizetype first)
{
    if (!m_findNameSeek.isValid())
        m_findNameSeek = m_db.prepareThrow(QStringLiteral(
            "select _id, full_name from contact where full_name>=? collate nocase order by full_name collate nocase"));
    unsigned long long found = 0;
    for (qsizetype at = first; at >= 0;) {
        bool seekAgain = false;
        m_findNameSeek.bindUtf8(1, Bounds(QByteArrayView(key).first(at), "\t").text())
            .forEachRow([&](const Sqlite3Statement::Row& row) {
                const QByteArrayView name = row.text(1);
                const qsizetype shared = sharedStart(name, key);
                // Past the ranges that end before it.
                while (at >= 0 && compareBound(name, shared, key, at, " !") >= 0)
                    at = key.indexOf(' ', at + 1);
                if (at < 0)
                    return false;
                if (compareBound(name, shared, key, at, "\t") < 0) {
                    seekAgain = true;
                    return false;
                }
                const auto id = static_cast<unsigned long long>(row.int64(0));
                if ((found == 0 || id < found) && nameKey(name.toByteArray()) == key)
                    found = id;
                return true;
            });
        if (!seekAgain)
            break;
    }
    return found;
}

// Asks the stored names that are `name` (A-Z folded), however many, of the
// keys their parts make, with their first name rows in the same read: a
// name of the letters a lookup wants, where it stands (partsPlaces()),
// asked once in an import.
void LocalDb::askNamesOf(const QByteArray& name)
{
    // As scanNames() reads a range.
    const bool caseOrder = m_caseOrderNames && !hasAsciiLetter(name);
    Sqlite3Statement& names = m_namesWithParts[caseOrder ? 1 : 0];
    if (!names.isValid())
        names = m_db.prepareThrow(QStringLiteral(
                                      "select c._id, c.full_name, d.data2, d.data3, d.data4, d.data5, d.data6 from contact c"
                                      " left join data d on d._id=(select _id from data where contact_id=c._id and type=1"
                                      " order by _id limit 1) where c.full_name=?%1")
                                      .arg(caseOrder ? QString() : QStringLiteral(" collate nocase")));
    names.bindUtf8(1, name).forEachRow([this](const Sqlite3Statement::Row& row) {
        const auto id = static_cast<unsigned long long>(row.int64(0));
        const QByteArrayView fullName = row.text(1);
        if (!hasBlankBesideCjk(fullName))
            return true;
        // A read of a range before may have left it to ask.
        if (m_partsAsked.contains(id)) {
            const auto toAsk = m_partsToAsk.find(lettersSum(fullName));
            if (toAsk == m_partsToAsk.end()
                || toAsk->removeIf([id](const std::pair<unsigned long long, QByteArray>& held) { return held.first == id; })
                    == 0)
                return true;
        }
        m_partsAsked.insert(id);
        const pim::Entity parts = partsWithEndBlanks(row, 2);
        QByteArray key = parts.fields.isEmpty() ? QByteArray() : partsKeyOf(fullName, parts);
        if (!key.isEmpty()) {
            unsigned long long& lowest = m_partsKeys[std::move(key)];
            if (lowest == 0 || id < lowest)
                lowest = id;
        }
        return true;
    });
}

// The lowest id of a stored contact whose partsNameKey() is `wanted`, or
// 0, from the names where partsKeyOf() says such a name stands: the ranges
// of a tab or a run of blanks are read, and the names with one blank
// there, each the key with a blank put in, asked with their name rows
// (askNamesOf()), each once in an import.
unsigned long long LocalDb::partsKeyHolder(const QByteArray& wanted)
{
    // Asked once for the key: its places hold its letters and blanks.
    const bool stretches = !m_emptyNames.empty() && !hasAsciiLetter(wanted);
    const Places places = partsPlaces(wanted);
    for (const Place& place : places) {
        if (place.next.isEmpty()) {
            wordNames(place.before, false, wanted);
            continue;
        }
        // Most often the stretch of the index from the first to past the
        // last is known to hold no name.
        const Bounds start(Bounds(place.before, " ").text(), place.next);
        if (stretches && knownEmpty(Bounds(place.before, "\t").text(), Bounds(start.text(), "\xff").text(), true))
            continue;
        wordNames(place.before, true, wanted);
        QByteArray name(start.text().constData(), start.text().size());
        name.append(place.rest);
        if (!m_namesAsked.contains(name) && !knownEmpty(name, Bounds(name, "\x01").text())) {
            askNamesOf(name);
            m_namesAsked.insert(std::move(name));
        }
    }
    // Of the names read with the key's letters, those that stand where a
    // name of this key's parts does are asked; the others wait for a key
    // of their own.
    const auto toAsk = m_partsToAsk.isEmpty() ? m_partsToAsk.end() : m_partsToAsk.find(lettersSum(wanted));
    if (toAsk != m_partsToAsk.end()) {
        QList<std::pair<unsigned long long, QByteArray>>& names = *toAsk;
        for (qsizetype i = 0; i < names.size();) {
            const QByteArray own = nameKey(names.at(i).second);
            if (!madeOfParts(own, wanted) || !standsAt(own, places)) {
                ++i;
                continue;
            }
            const auto [id, name] = names.takeAt(i);
            QByteArray key = partsNameKey(id, name);
            if (key.isEmpty())
                continue;
            unsigned long long& lowest = m_partsKeys[std::move(key)];
            if (lowest == 0 || id < lowest)
                lowest = id;
        }
        if (names.isEmpty())
            m_partsToAsk.erase(toAsk);
    }
    return m_partsKeys.value(wanted, 0);
}

unsigned long long LocalDb::findNameKey(const QByteArray& key, const QByteArray& prefixed)
{
    unsigned long long found = 0;
    const auto take = [&found](unsigned long long id) {
        if (id != 0 && (found == 0 || id < found))
            found = id;
    };
    // A name of this key is the key itself, maybe followed by blanks or
    // tabs; or is the key up to a blank between two words, where the name
    // has a tab, or a blank and another blank or tab, instead; or starts
    // with a blank or tab. The first is one descent of the index, with few
    // names in it; the others are read once in an import for each of the
    // words before such a blank and for the names that start with a blank
    // or tab, as many of its names share them, and past the words kept in
    // one pass. A name whose parts make the key stands where partsPlaces()
    // says.
    scanNames(key, Bounds(key, "!").text(), [&](unsigned long long id, QByteArrayView name) {
        if ((found == 0 || id < found) && nameKey(name.toByteArray()) == key)
            found = id;
    });
    qsizetype at = key.indexOf(' ');
    for (; at >= 0 && at <= kKeptWordBytes; at = key.indexOf(' ', at + 1))
        take(wordNames(QByteArrayView(key).first(at), true, key));
    if (at >= 0)
        take(runNamesHolder(key, at));
    take(wordNames(QByteArrayView(), false, key));
    for (const QByteArray& wanted : { key, prefixed }) {
        if (mayBePartsKey(wanted))
            take(partsKeyHolder(wanted));
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

