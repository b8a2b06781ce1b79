// SPDX-License-Identifier: GPL-3.0-or-later
// LocalDb: finding the stored contact of a name through the name index, in
// the few ranges where a name of its keys can stand.
#include "model/localdb_names_p.h"

using namespace localdbnames;

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
// (askNamesOf()), each once in an import; with `lastPlaceEmpty`, but for
// the last place of the family name first, known to hold none.
unsigned long long LocalDb::partsKeyHolder(const QByteArray& wanted, bool lastPlaceEmpty)
{
    // Asked once for the key: its places hold its letters and blanks.
    const bool stretches = !m_emptyNames.empty() && !hasAsciiLetter(wanted);
    const Places places = partsPlaces(wanted);
    for (const Place& place : places) {
        if (place.next.isEmpty()) {
            wordNames(place.before, false, wanted);
            continue;
        }
        // The last place of the family name first, known empty already
        // (scanFromLastPlace()).
        if (lastPlaceEmpty && place.rest.isEmpty() && place.next.data() + place.next.size() == wanted.constEnd())
            continue;
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

// scanNames() of the names of a parts key (mayBePartsKey()), where it can
// be read from where the last place of a name of its parts, family name
// first, starts (partsPlaces(): the key without its last letter, then a
// blank or tab): the stretch up to the first name read is then known
// empty (knownEmpty()), and that place with it, which would take a
// descent of its own, as nearly each key has a place of its own there.
// The names of the key are read again on their own where more than a few
// of others lie between. Answers whether that place is known empty.
bool LocalDb::scanFromLastPlace(const QByteArray& key, const std::function<void(unsigned long long, QByteArrayView)>& name)
{
    constexpr qsizetype kFewBetween = 2;
    const Bounds to(key, "!");
    qsizetype last = key.size() - 1;
    while (last > 0 && !startsLetter(key.at(last)))
        --last;
    if (!m_caseOrderNames || last <= 0 || letterAt(key, 0) < kFirstCjk || hasAsciiLetter(key)) {
        scanNames(key, to.text(), name);
        return false;
    }
    const Bounds from(QByteArrayView(key).first(last), "\t");
    const Bounds place(Bounds(QByteArrayView(key).first(last), " ").text(), QByteArrayView(key).sliced(last));
    const Bounds placeEnd(place.text(), "\xff");
    if (knownEmpty(from.text(), placeEnd.text(), true)) {
        scanNames(key, to.text(), name);
        return true;
    }
    if (!m_findNameFrom.isValid())
        m_findNameFrom = m_db.prepareThrow(QStringLiteral(
            "select _id, full_name from contact where full_name>=? and full_name<? order by full_name"));
    QByteArray first = kPastEveryName;
    qsizetype between = 0;
    bool few = true;
    m_findNameFrom.bindUtf8(1, from.text()).bindUtf8(2, kPastEveryName).forEachRow([&](const Sqlite3Statement::Row& row) {
        const QByteArrayView text = row.text(1);
        if (first == kPastEveryName)
            first = text.toByteArray();
        if (text.compare(to.text()) >= 0)
            return false;
        if (text.compare(key) < 0) {
            few = ++between <= kFewBetween;
            return few;
        }
        name(static_cast<unsigned long long>(row.int64(0)), text);
        return true;
    });
    if (!few)
        scanNames(key, to.text(), name);
    // Up to the first name read, the index holds none.
    const bool placeEmpty = !ByteOrder()(first, placeEnd.text());
    QByteArray& start = m_emptyNames[std::move(first)];
    if (start.isEmpty() || from.text() < start)
        start = QByteArray(from.text().constData(), from.text().size());
    return placeEmpty;
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
    const auto exact = [&](unsigned long long id, QByteArrayView name) {
        if ((found == 0 || id < found) && nameKey(name.toByteArray()) == key)
            found = id;
    };
    const bool partsKey = mayBePartsKey(key);
    bool lastPlaceEmpty = false;
    if (partsKey)
        lastPlaceEmpty = scanFromLastPlace(key, exact);
    else
        scanNames(key, Bounds(key, "!").text(), exact);
    qsizetype at = key.indexOf(' ');
    for (; at >= 0 && at <= kKeptWordBytes; at = key.indexOf(' ', at + 1))
        take(wordNames(QByteArrayView(key).first(at), true, key));
    if (at >= 0)
        take(runNamesHolder(key, at));
    take(wordNames(QByteArrayView(), false, key));
    if (partsKey)
        take(partsKeyHolder(key, lastPlaceEmpty));
    if (mayBePartsKey(prefixed))
        take(partsKeyHolder(prefixed));
    return found;
}
