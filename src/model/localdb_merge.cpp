// SPDX-License-Identifier: GPL-3.0-or-later
// LocalDb: merging incoming contacts into stored ones under the rule.
#include "model/localdb.h"

#include "model/abscontactcombinerule.h"
#include "model/comparedtext.h"
#include "model/localdblog.h"
#include "model/pimlabels.h"

#include <algorithm>

namespace {

const QString kData1 = QStringLiteral("data1");
const QString kData2 = QStringLiteral("data2");
const QString kData3 = QStringLiteral("data3");
constexpr unsigned long long kNewRow = 1ULL << 63;

bool isEmptyValue(const QVariant& value)
{
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray().isEmpty();
    return pim::fieldText(value).isEmpty();
}

// Whether the stored entity, as its row reads back, holds the incoming
// values under these keys: an absent key stands for empty text, as it
// would be stored.
bool matchesStored(int type, const pim::Entity& stored, const pim::Entity& incoming, const QStringList& keys)
{
    for (const QString& key : keys) {
        if (!comparedtext::isSameField(type, key, stored, incoming))
            return false;
    }
    return true;
}

// Whether laying the incoming entity's filled values over the stored one
// says anything new in these text columns, each read back as text (absent
// is empty). A value the stored one already says (comparedtext::isSameField)
// is nothing new: the stored form stays.
bool fillsAnyColumn(int type, const pim::Entity& stored, const pim::Entity& incoming, const QStringList& columns)
{
    for (const QString& key : columns) {
        const auto in = incoming.fields.constFind(key);
        if (in == incoming.fields.cend() || isEmptyValue(*in))
            continue;
        if (!comparedtext::isSameField(type, key, stored, incoming))
            return true;
    }
    return false;
}

// The values under keys as one byte string that is equal for two entities
// exactly when matchesStored() finds them equal: each value as the bytes
// that comparison looks at, each preceded by its length.
QByteArray comparisonKey(int type, const pim::Entity& entity, const QStringList& keys)
{
    QByteArray key;
    for (const QString& name : keys) {
        const QVariant value = entity.fields.value(name);
        const QByteArray bytes = value.typeId() == QMetaType::QByteArray
            ? value.toByteArray()
            : comparedtext::ofField(type, entity, name).toUtf8();
        key += QByteArray::number(bytes.size());
        key += ':';
        key += bytes;
    }
    return key;
}

// The keys that give a value its sub-type and label.
bool isTypeKey(const QString& key)
{
    return key == kData2 || key == kData3;
}

// Whether the entity names no particular kind of its value: no label and
// a sub-type among `codes` (AbsContactCombineRule::noKindCodes).
bool namesNoKind(const pim::Entity& entity, const QStringList& codes)
{
    return !codes.isEmpty() && comparedtext::ofValue(entity.fields.value(kData3)).isEmpty()
        && codes.contains(comparedtext::ofValue(entity.fields.value(kData2)));
}

// The keys without those of the sub-type and label: what an entity whose
// file named no type is matched and merged on. False when none was there.
bool dropTypeKeys(QStringList& keys)
{
    return keys.removeIf(isTypeKey) > 0;
}

// Whether the incoming entity holds a value under each of these keys that
// the stored one holds one under (as the merge reads values): laid over
// the stored values, its own then stand whole.
bool fillsEveryKeyOf(int type, const pim::Entity& incoming, const pim::Entity& stored, const QStringList& keys)
{
    for (const QString& key : keys) {
        if (!comparedtext::ofField(type, stored, key).isEmpty() && comparedtext::ofField(type, incoming, key).isEmpty())
            return false;
    }
    return true;
}

// Whether the incoming entity goes into the stored one of the same minimal
// keys without losing what either holds under `whole`: one of them stands
// whole (the incoming one where it fills every key the stored one fills,
// else the stored one), and the other says nothing beyond it.
bool losesNoPart(int type, const pim::Entity& stored, const pim::Entity& incoming, const QStringList& whole)
{
    if (!comparedtext::holdsPartOutsideText(type, stored) && !comparedtext::holdsPartOutsideText(type, incoming))
        return true;
    return fillsEveryKeyOf(type, incoming, stored, whole) ? comparedtext::saysNoMoreThan(type, stored, incoming)
                                                          : comparedtext::saysNoMoreThan(type, incoming, stored);
}

// Whether the entity holds a value under any of the keys, as the merge
// compares values.
bool holdsAnyOf(const pim::Entity& entity, const QStringList& keys)
{
    for (const QString& key : keys) {
        const auto value = entity.fields.constFind(key);
        if (value != entity.fields.cend() && !comparedtext::ofValue(*value).isEmpty())
            return true;
    }
    return false;
}

// The place among the first `joinable` stored entities that an incoming
// one without minimal keys joins: the first that already says what it
// says (its sub-type and label aside: a title is the same title whatever
// kind a file gives it), else the very first; list.size() when there is
// none to join.
qsizetype joinPlace(int type, const QList<pim::Entity>& list, const pim::Entity& incoming, QStringList columns,
                    qsizetype joinable)
{
    joinable = qMin(joinable, list.size());
    if (joinable <= 0)
        return list.size();
    dropTypeKeys(columns);
    for (qsizetype i = 0; i < joinable; ++i) {
        if (!fillsAnyColumn(type, list.at(i), incoming, columns))
            return i;
    }
    return 0;
}

// Whether the phone or e-mail address says who the contact is: a value
// of its own, not an assistant's number.
bool isOwnAddress(int type, const pim::Entity& entity)
{
    return !(type == pim::ENTITY_PHONE && pim::isAssistantPhone(entity))
        && !comparedtext::ofField(type, entity, kData1).isEmpty();
}

bool holdsOwnAddress(int type, const QList<pim::Entity>& list, qsizetype count)
{
    for (qsizetype i = 0; i < count && i < list.size(); ++i) {
        if (isOwnAddress(type, list.at(i)))
            return true;
    }
    return false;
}

constexpr int kCancelCheckEvery = 256;
// Merge targets kept for a whole import; beyond this the cache starts anew,
// which costs one read of each contact merged into again.
constexpr qsizetype kMaxMergeTargets = 256;
// Below this many entities of a type a pass over the list is cheaper than
// keeping its key index, and below this many in all a contact is cheaper to
// read again than to keep: only contacts that many incoming ones grew are
// worth either.
constexpr qsizetype kKeyIndexFrom = 32;
constexpr qsizetype kCacheFrom = 64;

qsizetype entityCount(const pim::_Contact& contact)
{
    qsizetype n = 0;
    for (const QList<pim::Entity>& list : contact.entities)
        n += list.size();
    return n;
}

// Rolls back the transaction level it was opened with unless dismissed, so
// that no exception of any kind leaves the connection one level too deep.
class TranLevel {
public:
    // With `own` false there is no level: the caller's whole edit is rolled
    // back on a failure instead.
    TranLevel(Sqlite3DB& db, bool own)
        : m_db(db)
        , m_open(own)
    {
        if (own)
            m_db.beginTran();
    }
    ~TranLevel()
    {
        if (!m_open)
            return;
        try {
            m_db.rollbackTran();
        } catch (const std::exception& e) {
            qCWarning(lcDb) << "rollback of a merge failed:" << e.what();
        }
    }
    TranLevel(const TranLevel&) = delete;
    TranLevel& operator=(const TranLevel&) = delete;

    void commit()
    {
        if (!m_open)
            return;
        m_open = false;
        m_db.commitTran();
    }
    // Rolls back now and lets a failure of the rollback itself escape.
    void rollback()
    {
        if (!m_open)
            return;
        m_open = false;
        m_db.rollbackTran();
    }

private:
    Sqlite3DB& m_db;
    bool m_open;
};

} // namespace

// Where in a type's stored list the entities of each comparison key are, in
// list order. Entries are added as the list grows; one left behind by an
// entity since removed or changed is harmless, as every hit is checked again.
struct LocalDb::EntityKeys {
    // By the whole minimal keys.
    QHash<QByteArray, QList<qsizetype>> places;
    qsizetype indexed = 0;
    // By the minimal keys without sub-type and label (MergeKeys::values):
    // every entity, and apart those that named no kind when indexed. A
    // merge may give such an entity a kind, never take it away.
    QHash<QByteArray, QList<qsizetype>> byValue;
    QHash<QByteArray, QList<qsizetype>> noKind;
    qsizetype valuesIndexed = 0;

    void catchUp(int type, const QList<pim::Entity>& list, const QStringList& keys)
    {
        indexed = qMin(indexed, list.size());
        for (; indexed < list.size(); ++indexed)
            places[comparisonKey(type, list.at(indexed), keys)].append(indexed);
    }
    void catchUpValues(int type, const QList<pim::Entity>& list, const MergeKeys& keys)
    {
        valuesIndexed = qMin(valuesIndexed, list.size());
        for (; valuesIndexed < list.size(); ++valuesIndexed) {
            const pim::Entity& entity = list.at(valuesIndexed);
            const QByteArray key = comparisonKey(type, entity, keys.values);
            byValue[key].append(valuesIndexed);
            if (namesNoKind(entity, keys.noKindCodes))
                noKind[key].append(valuesIndexed);
        }
    }
    // The entity at `at` now holds these minimal keys as well: found under
    // them too, in list order.
    void addPlace(const QByteArray& key, qsizetype at)
    {
        QList<qsizetype>& list = places[key];
        const auto it = std::lower_bound(list.begin(), list.end(), at);
        if (it == list.end() || *it != at)
            list.insert(it, at);
    }
};

namespace {

// The first place in list, of `candidates` (in list order) when given,
// whose entity `accepts` takes, unless that one does not hold what `holds`
// asks and a later one it takes does; list.size() for none.
template <class Accepts, class Holds>
qsizetype firstPlace(const QList<pim::Entity>& list, const QList<qsizetype>* candidates, Accepts accepts,
                     Holds holds)
{
    qsizetype first = list.size();
    // Whether the search ends at i.
    const auto take = [&](qsizetype i) {
        if (!accepts(list.at(i)))
            return false;
        const bool held = holds(list.at(i));
        if (first == list.size() || held)
            first = i;
        return held;
    };
    if (!candidates) {
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (take(i))
                break;
        }
    } else {
        for (const qsizetype i : *candidates) {
            if (i < list.size() && take(i))
                break;
        }
    }
    return first;
}

} // namespace

qsizetype LocalDb::storedPlace(int type, const QList<pim::Entity>& list, const pim::Entity& incoming,
                               const MergeKeys& keys, Match match, EntityKeys* byKey)
{
    static const QList<qsizetype> none;
    const QStringList& on = match == Match::Whole ? keys.min : keys.values;
    const auto accepts = [&](const pim::Entity& stored) {
        return (match != Match::NoKind || namesNoKind(stored, keys.noKindCodes))
            && matchesStored(type, stored, incoming, on)
            && (keys.whole.isEmpty() || losesNoPart(type, stored, incoming, keys.whole));
    };
    const QList<qsizetype>* candidates = nullptr;
    if (byKey) {
        const QByteArray key = comparisonKey(type, incoming, on);
        if (match == Match::Whole) {
            byKey->catchUp(type, list, keys.min);
            const auto it = byKey->places.constFind(key);
            candidates = it == byKey->places.cend() ? &none : &*it;
        } else if (match == Match::Value) {
            byKey->catchUpValues(type, list, keys);
            const auto it = byKey->byValue.constFind(key);
            candidates = it == byKey->byValue.cend() ? &none : &*it;
        } else {
            byKey->catchUpValues(type, list, keys);
            // Those at the front that name a kind by now (or are gone)
            // never name none again: each is passed over once, however
            // many look it up.
            const auto it = byKey->noKind.find(key);
            if (it == byKey->noKind.end())
                return list.size();
            QList<qsizetype>& places = *it;
            while (!places.isEmpty()) {
                const qsizetype i = places.constFirst();
                if (i < list.size() && accepts(list.at(i)))
                    return i;
                places.removeFirst();
            }
            return list.size();
        }
    }
    // Stored values of one key may differ in parts the key leaves out (an
    // address with its postal code and without): one that already holds
    // every part the incoming one fills is where it goes.
    return firstPlace(list, candidates, accepts, [&](const pim::Entity& stored) {
        return keys.whole.isEmpty()
            || (!comparedtext::holdsPartOutsideText(type, stored) && !comparedtext::holdsPartOutsideText(type, incoming))
            || !fillsAnyColumn(type, stored, incoming, keys.whole);
    });
}

// A stored contact as it reads back, with its key indexes by type.
struct LocalDb::MergeTarget {
    pim::_Contact contact;
    QHash<int, EntityKeys> keys;
    // Read by loadCompared() for mergeContact().
    bool compared = false;
    // The contact's rows, of every type: a copy read for a merge may leave
    // out the types the rule never merges.
    qsizetype rows = 0;
};

bool LocalDb::combine_entity(int type, QList<pim::Entity>& list, const pim::Entity& incoming, pim::Entity& merged,
                             EntityKeys* byKey, qsizetype* at, qsizetype joinable)
{
    if (!m_rule)
        throw Error(QStringLiteral("LocalDb: no duplicate rule to merge with"));
    MergeKeys unknownType;
    if (!pim::isValidEntityType(type)) {
        unknownType.min = m_rule->checkEqualFieldsMin(type);
        unknownType.kept = m_rule->validFields(type, unknownType.single);
    }
    const MergeKeys& keys = pim::isValidEntityType(type) ? mergeKeys(type) : unknownType;
    QStringList keptKeys = keys.kept;
    QStringList keptColumns = keys.keptColumns;
    const bool single = keys.single;
    if (keptKeys.isEmpty())
        return false;
    // A value that came without a sub-type or label finds its stored entry
    // by the value alone and leaves that entry's sub-type and label as they
    // are: a file that does not know them (a label of a phone, a kind the
    // format has no word for) must not turn them into its default.
    const bool typeGiven = pim::isTypeGiven(incoming);
    bool keepsKind = !typeGiven;
    // A stored entry of no particular kind takes the incoming one's kind:
    // its minimal keys change.
    bool givesKind = false;

    bool taken = false;
    qsizetype place = list.size();
    if (single) {
        if (!list.isEmpty())
            place = 0;
    } else if (keepsKind && !keys.values.isEmpty()) {
        place = storedPlace(type, list, incoming, keys, Match::Value, byKey);
    } else {
        place = storedPlace(type, list, incoming, keys, Match::Whole, byKey);
        if (place == list.size() && !keys.noKindCodes.isEmpty()) {
            if (namesNoKind(incoming, keys.noKindCodes)) {
                place = storedPlace(type, list, incoming, keys, Match::Value, byKey);
                keepsKind = true;
            } else {
                place = storedPlace(type, list, incoming, keys, Match::NoKind, byKey);
                givesKind = place < list.size();
            }
        }
    }
    if (place == list.size() && !single)
        place = joinPlace(type, list, incoming, keptColumns, joinable);
    if (place < list.size()) {
        merged = list.at(place);
        taken = true;
    }
    if (at)
        *at = place;
    if (taken && keepsKind) {
        dropTypeKeys(keptKeys);
        dropTypeKeys(keptColumns);
    }
    // A sub-type and a label are one kind, the label what the value is
    // called: an incoming label alone (sub-type 0, as the readers store a
    // label of the user's own) that the stored value carries already
    // leaves its kind as it is, and the label that came with the stored
    // kind goes when a file names another kind without one. Home beside
    // "School" would be neither, and would not read back from the
    // program's own export.
    bool dropsLabel = false;
    if (taken && !keepsKind) {
        const auto holds = [](const pim::Entity& entity, int number) {
            const QVariant* value = entity.fields.find(number);
            return value && !isEmptyValue(*value);
        };
        const auto keptKind = [&keptKeys] { return keptKeys.contains(kData2) && keptKeys.contains(kData3); };
        if (holds(incoming, 3)) {
            if (comparedtext::ofValue(incoming.fields.value(2)) == QLatin1String("0") && keptKind()
                && comparedtext::isSameField(type, kData3, merged, incoming)) {
                dropTypeKeys(keptKeys);
                dropTypeKeys(keptColumns);
            }
        } else {
            dropsLabel = holds(merged, 3) && holds(incoming, 2) && keptKind()
                && !comparedtext::isSameField(type, kData2, merged, incoming);
        }
    }
    // The parts of one value go together: an address's parts make its
    // text, so the stored address takes the incoming ones only where they
    // then stand whole, else keeps its own.
    if (taken && !keys.whole.isEmpty() && !fillsEveryKeyOf(type, incoming, merged, keys.whole)) {
        const auto isPart = [&keys](const QString& key) { return keys.whole.contains(key); };
        keptKeys.removeIf(isPart);
        keptColumns.removeIf(isPart);
    }

    // A stored row that already holds every value the incoming entity
    // fills (a file imported again) is left alone without building the
    // merged row. A photo's hash column follows its bytes, so photos take
    // the whole way.
    if (taken && type != pim::ENTITY_PHOTO && pim::isValidEntityType(type)
        && !fillsAnyColumn(type, merged, incoming, keptColumns))
        return false;
    if (AbsContactCombineRule::isEntityEqual(merged, incoming, keptKeys))
        return false;

    // A new row of only kept, filled values shares the incoming ones
    // instead of copying them one by one.
    bool asIs = !taken;
    for (auto it = incoming.fields.cbegin(); asIs && it != incoming.fields.cend(); ++it)
        asIs = keptKeys.contains(it.key()) && !isEmptyValue(it.value());
    const pim::Entity before = merged;
    if (asIs) {
        merged.fields = incoming.fields;
    } else {
        bool partsChange = false;
        for (const QString& key : keptKeys) {
            const QVariant value = incoming.fields.value(key);
            // The stored form of a value the file says again stays: a
            // re-import of the program's own export changes no row.
            if (!isEmptyValue(value) && !(taken && comparedtext::isSameField(type, key, merged, incoming))) {
                merged.fields[key] = value;
                partsChange = partsChange || (!keys.whole.isEmpty() && keys.whole.contains(key));
            }
        }
        // The text made of the parts goes with them, also where the merge
        // reads it as the stored one (an address with its postal code and
        // without); and so do the parts the stored row says in another
        // form ("1 Main  St" for "1 Main St"), so that the text is the one
        // its parts make and the same file read again finds it.
        if (partsChange) {
            for (const QString& key : keys.min + keys.whole) {
                const QVariant value = incoming.fields.value(key);
                if (!isTypeKey(key) && !isEmptyValue(value)
                    && (keys.min.contains(key) || keptKeys.contains(key)))
                    merged.fields[key] = value;
            }
        }
        if (dropsLabel)
            merged.fields[kData3] = QString();
    }
    if (!taken) {
        list.append(merged);
        return true;
    }
    if (givesKind && byKey)
        byKey->addPlace(comparisonKey(type, merged, keys.min), place);
    // An incoming entity lacking a key stored as empty text (no label, so
    // no "data3") is no change: only what the row would read back counts.
    return rowChanges(type, before, merged);
}

QMap<int, QList<pim::Entity>> LocalDb::combineContact(const pim::_Contact& incoming, pim::_Contact& stored,
                                                      bool& existed)
{
    return combineInto(incoming, &stored, existed);
}

void LocalDb::mergeContact(const pim::_Contact& incoming, bool& existed)
{
    combineInto(incoming, nullptr, existed);
}

// With no `stored` to fill, the stored duplicate is read and rewritten in
// the compared columns only (loadCompared, updateKeptColumns) and nothing
// written is collected.
QMap<int, QList<pim::Entity>> LocalDb::combineInto(const pim::_Contact& incoming, pim::_Contact* stored,
                                                   bool& existed)
{
    const bool compared = stored == nullptr;
    const Hold hold(*this);
    m_lastMergeLeftOut = 0;
    m_lastMergeReplacedPhoto.clear();
    m_lastMergeByNameAlone = false;
    QString replacedPhoto;
    requireWritable("combineContact");
    connection();
    unsigned long long foundId = storedContactOf(incoming);
    if (foundId != 0)
        foundId = sameTitleContact(incoming, foundId);

    // Worked on copies: on failure the caller's `stored` and `existed` are
    // left as they were.
    QMap<int, QList<pim::Entity>> written;
    if (!compared)
        written = stored->entities;
    pim::_Contact target;
    // The target's key indexes: from the import's cache when this contact
    // was merged into before, else made here for lists that grow long.
    std::shared_ptr<MergeTarget> cached;
    QHash<int, EntityKeys> freshKeys;
    QHash<int, EntityKeys>* keyIndex = &freshKeys;
    // The contact's new rows, written together at its end in this order
    // (so with the ids one by one would give); until then an entity stands
    // for its row by kNewRow and its place here.
    QList<std::pair<int, pim::Entity>> newRows;
    // Where in target each new row's entity is (type, place in its list).
    QList<std::pair<int, qsizetype>> newPlaces;
    qsizetype rows = 0;
    qsizetype leftOut = 0;
    bool byNameAlone = false;
    TranLevel level(m_db, !m_wholeImport);
    try {
        if (m_importBroken)
            throw Error(QStringLiteral("combineContact: an earlier contact of this import failed"));
        if (foundId != 0) {
            // Taken out of the cache for the merge and put back once it
            // succeeded, so a failed merge leaves no half-merged copy.
            if (m_wholeImport)
                cached = m_mergeTargets.take(foundId);
            // A copy read in the other way holds other columns.
            if (cached && cached->compared != compared)
                cached.reset();
            if (cached) {
                target = std::move(cached->contact);
                keyIndex = &cached->keys;
            } else if (compared && holdsAlready(foundId, incoming)) {
                // A card imported before: nothing to read or write.
                level.commit();
                existed = true;
                return written;
            } else if (compared) {
                target = loadCompared(foundId, &rows);
            } else {
                // Every column, the country code too, so that an unchanged
                // address is seen as unchanged.
                target = loadContact(foundId, true);
                rows = entityCount(target);
            }
        } else {
            target = pim::_Contact(0, QString(), incoming.fullName);
            insertContactBase(target);
            const auto names = incoming.entities.constFind(pim::ENTITY_NAME);
            if (names != incoming.entities.constEnd() && !names->isEmpty()) {
                pim::Entity name = names->first();
                name.srcId.clear();
                name.id = kNewRow | static_cast<unsigned long long>(newRows.size());
                newRows.append({pim::ENTITY_NAME, name});
                newPlaces.append({pim::ENTITY_NAME, target.entities[pim::ENTITY_NAME].size()});
                target.entities[pim::ENTITY_NAME].append(name);
                if (!compared)
                    written[pim::ENTITY_NAME].append(name);
                addImportName(target.id, incoming.fullName, &name);
            }
        }

        // Every row the contact holds, of any type: what the limit counts.
        if (cached)
            rows = cached->rows;
        else if (foundId == 0)
            rows = entityCount(target);
        // The stored phones and e-mail addresses (those before these counts)
        // and whether one of them is the incoming contact's too: two cards
        // of one name that share none may be two people.
        const qsizetype storedPhones = target.entities.value(pim::ENTITY_PHONE).size();
        const qsizetype storedEmails = target.entities.value(pim::ENTITY_EMAIL).size();
        bool sharesAddress = false;
        bool bringsAddress = false;
        int done = 0;
        for (auto it = incoming.entities.constBegin(); it != incoming.entities.constEnd(); ++it) {
            const int type = it.key();
            // An entity without the keys a match needs (a title without a
            // company) may join what the contact held before this merge,
            // unless the incoming contact names such keys itself.
            qsizetype joinable = 0;
            if (m_rule && pim::isValidEntityType(type) && mergeKeys(type).joinsFirst) {
                const QStringList& minKeys = mergeKeys(type).min;
                if (std::none_of(it.value().cbegin(), it.value().cend(),
                                 [&minKeys](const pim::Entity& e) { return holdsAnyOf(e, minKeys); }))
                    joinable = target.entities.value(type).size();
            }
            for (const pim::Entity& entity : it.value()) {
                if (m_cancelled && ++done % kCancelCheckEvery == 0 && m_cancelled())
                    throw MergeCancelled(QStringLiteral("combineContact: cancelled"));
                QList<pim::Entity>& list = target.entities[type];
                const qsizetype before = list.size();
                EntityKeys* keys = before >= kKeyIndexFrom ? &(*keyIndex)[type] : nullptr;
                pim::Entity merged;
                qsizetype at = before;
                const bool writes = combine_entity(type, list, entity, merged, keys, &at, joinable);
                if (foundId != 0 && (type == pim::ENTITY_PHONE || type == pim::ENTITY_EMAIL)
                    && isOwnAddress(type, entity)) {
                    bringsAddress = true;
                    sharesAddress
                        = sharesAddress || at < (type == pim::ENTITY_PHONE ? storedPhones : storedEmails);
                }
                if (!writes)
                    continue;
                const bool appended = list.size() > before;
                if (appended && rows >= kMaxEntitiesPerContact) {
                    list.removeLast();
                    ++leftOut;
                    continue;
                }
                if (type == pim::ENTITY_GROUP) {
                    const QString groupName = pim::fieldText(merged.fields.value(kData2));
                    if (groupName.isEmpty()) {
                        // A nameless membership would create a nameless group.
                        if (appended)
                            list.removeLast();
                        continue;
                    }
                    merged.fields[kData1] = QString::number(getGroupIdOrAdd(groupName));
                    // An incoming group id of another database differs from
                    // the stored one; the same group after the lookup is no change.
                    if (!appended && !rowChanges(type, list.first(), merged))
                        continue;
                }
                if (appended)
                    ++rows;
                else if (type == pim::ENTITY_PHOTO && (merged.id & kNewRow) == 0)
                    replacedPhoto = list.at(at).photoHash();
                if (merged.id == 0) {
                    merged.id = kNewRow | static_cast<unsigned long long>(newRows.size());
                    newRows.append({type, merged});
                    newPlaces.append({type, at});
                } else if ((merged.id & kNewRow) != 0) {
                    newRows[static_cast<qsizetype>(merged.id & ~kNewRow)].second = merged;
                } else if (compared) {
                    updateKeptColumns(type, merged);
                } else {
                    updateEntity(type, merged);
                }
                // The list holds what the row now reads back: a later
                // incoming entity merged into it (of this contact or, from
                // the cache, of a later one) starts from there, and one
                // that came new changes the row to be written, not adds one.
                list[at] = merged;
                if (!compared)
                    written[type].append(merged);
            }
        }
        if (!newRows.isEmpty()) {
            insertRows(target.id, newRows);
            // Only the new rows' places: the rest of a large target is
            // not walked for each contact merged into it.
            for (qsizetype i = 0; i < newPlaces.size(); ++i)
                target.entities[newPlaces.at(i).first][newPlaces.at(i).second].id = newRows.at(i).second.id;
            for (QList<pim::Entity>& list : written) {
                for (pim::Entity& e : list) {
                    if ((e.id & kNewRow) != 0)
                        e.id = newRows.at(static_cast<qsizetype>(e.id & ~kNewRow)).second.id;
                }
            }
        }
        byNameAlone = bringsAddress && !sharesAddress
            && (holdsOwnAddress(pim::ENTITY_PHONE, target.entities.value(pim::ENTITY_PHONE), storedPhones)
                || holdsOwnAddress(
                    pim::ENTITY_EMAIL, target.entities.value(pim::ENTITY_EMAIL), storedEmails));
        level.commit();
    } catch (const MergeCancelled&) {
        if (m_wholeImport)
            m_importBroken = true;
        level.rollback();
        throw;
    } catch (const std::exception& e) {
        const QString text = QString::fromUtf8(e.what());
        if (m_wholeImport)
            m_importBroken = true;
        level.rollback();
        throw Error(text);
    } catch (...) {
        // A rule's own exception passes unchanged; the level rolls back.
        if (m_wholeImport)
            m_importBroken = true;
        throw;
    }

    if (m_wholeImport && foundId != 0 && (cached || entityCount(target) >= kCacheFrom)) {
        if (m_mergeTargets.size() >= kMaxMergeTargets)
            m_mergeTargets.clear();
        if (!cached) {
            cached = std::make_shared<MergeTarget>();
            cached->keys = std::move(freshKeys);
            cached->compared = compared;
        }
        cached->contact = target;
        cached->rows = rows;
        m_mergeTargets.insert(foundId, cached);
    }
    if (leftOut > 0)
        qCDebug(lcDb) << "contact" << target.id << "is full:" << leftOut << "entities left out";
    m_lastMergeLeftOut = leftOut;
    m_lastMergeReplacedPhoto = replacedPhoto;
    m_lastMergeByNameAlone = byNameAlone;
    existed = foundId != 0;
    if (compared)
        return written;
    *stored = target;
    return written;
}
