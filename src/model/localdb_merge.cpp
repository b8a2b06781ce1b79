// SPDX-License-Identifier: GPL-3.0-or-later
// LocalDb: merging incoming contacts into stored ones under the rule.
#include "model/localdb.h"

#include "model/abscontactcombinerule.h"
#include "model/localdblog.h"

namespace {

const QString kData1 = QStringLiteral("data1");
const QString kData2 = QStringLiteral("data2");
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
bool matchesStored(const pim::Entity& stored, const pim::Entity& incoming, const QStringList& keys)
{
    for (const QString& key : keys) {
        const QVariant a = stored.fields.value(key);
        const QVariant b = incoming.fields.value(key);
        if (a.typeId() == QMetaType::QByteArray || b.typeId() == QMetaType::QByteArray) {
            if (a.toByteArray() != b.toByteArray())
                return false;
        } else if (pim::fieldText(a) != pim::fieldText(b)) {
            return false;
        }
    }
    return true;
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

bool LocalDb::combine_entity(int type, QList<pim::Entity>& list, const pim::Entity& incoming, pim::Entity& merged)
{
    if (!m_rule)
        throw Error(QStringLiteral("LocalDb: no duplicate rule to merge with"));
    const QStringList minKeys = m_rule->checkEqualFieldsMin(type);
    bool single = false;
    const QStringList keptKeys = m_rule->validFields(type, single);
    if (keptKeys.isEmpty())
        return false;

    bool taken = false;
    if (!single) {
        for (const pim::Entity& candidate : list) {
            if (matchesStored(candidate, incoming, minKeys)) {
                merged = candidate;
                taken = true;
                break;
            }
        }
    } else if (!list.isEmpty()) {
        merged = list.first();
        taken = true;
    }

    if (AbsContactCombineRule::isEntityEqual(merged, incoming, keptKeys))
        return false;

    const pim::Entity before = merged;
    for (const QString& key : keptKeys) {
        const QVariant value = incoming.fields.value(key);
        if (!isEmptyValue(value))
            merged.fields[key] = value;
    }
    if (!taken) {
        list.append(merged);
        return true;
    }
    // An incoming entity lacking a key stored as empty text (no label, so
    // no "data3") is no change: only what the row would read back counts.
    return rowChanges(type, before, merged);
}

QMap<int, QList<pim::Entity>> LocalDb::combineContact(const pim::_Contact& incoming, pim::_Contact& stored,
                                                      bool& existed)
{
    const Hold hold(*this);
    requireWritable("combineContact");
    connection();
    const unsigned long long foundId = isContactBaseExist(incoming.fullName);

    // Worked on copies: on failure the caller's `stored` and `existed` are
    // left as they were.
    QMap<int, QList<pim::Entity>> written = stored.entities;
    pim::_Contact target;
    qsizetype loadedAddrs = 0;
    // The contact's new rows, written together at its end in this order
    // (so with the ids one by one would give); until then an entity stands
    // for its row by kNewRow and its place here.
    QList<std::pair<int, pim::Entity>> newRows;
    TranLevel level(m_db, !m_wholeImport);
    try {
        if (m_importBroken)
            throw Error(QStringLiteral("combineContact: an earlier contact of this import failed"));
        if (foundId != 0) {
            // Every column, the country code too, so that an unchanged
            // address is seen as unchanged.
            target = loadContact(foundId, true);
            loadedAddrs = target.entities.value(pim::ENTITY_ADDR).size();
        } else {
            target = pim::_Contact(0, QString(), incoming.fullName);
            insertContactBase(target);
            const auto names = incoming.entities.constFind(pim::ENTITY_NAME);
            if (names != incoming.entities.constEnd() && !names->isEmpty()) {
                pim::Entity name = names->first();
                name.srcId.clear();
                name.id = kNewRow | static_cast<unsigned long long>(newRows.size());
                newRows.append({pim::ENTITY_NAME, name});
                target.entities[pim::ENTITY_NAME].append(name);
                written[pim::ENTITY_NAME].append(name);
            }
        }

        for (auto it = incoming.entities.constBegin(); it != incoming.entities.constEnd(); ++it) {
            const int type = it.key();
            for (const pim::Entity& entity : it.value()) {
                QList<pim::Entity>& list = target.entities[type];
                const qsizetype before = list.size();
                pim::Entity merged;
                if (!combine_entity(type, list, entity, merged))
                    continue;
                const bool appended = list.size() > before;
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
                if (merged.id == 0) {
                    merged.id = kNewRow | static_cast<unsigned long long>(newRows.size());
                    newRows.append({type, merged});
                    // A later incoming entity merged into this copy must
                    // change the row to be written, not add a second one.
                    if (appended)
                        list.last().id = merged.id;
                } else if ((merged.id & kNewRow) != 0) {
                    newRows[static_cast<qsizetype>(merged.id & ~kNewRow)].second = merged;
                } else {
                    updateEntity(type, merged);
                }
                written[type].append(merged);
            }
        }
        if (!newRows.isEmpty()) {
            insertRows(target.id, newRows);
            for (QMap<int, QList<pim::Entity>>* map : {&target.entities, &written}) {
                for (QList<pim::Entity>& list : *map) {
                    for (pim::Entity& e : list) {
                        if ((e.id & kNewRow) != 0)
                            e.id = newRows.at(static_cast<qsizetype>(e.id & ~kNewRow)).second.id;
                    }
                }
            }
        }
        level.commit();
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

    // As contact() gives them: a loaded address without its country code.
    const auto addrs = target.entities.find(pim::ENTITY_ADDR);
    if (addrs != target.entities.end()) {
        static const QString kData11 = QStringLiteral("data11");
        for (qsizetype i = 0; i < loadedAddrs && i < addrs->size(); ++i)
            (*addrs)[i].fields.remove(kData11);
    }
    existed = foundId != 0;
    stored = target;
    return written;
}
