// SPDX-License-Identifier: GPL-3.0-or-later
// LocalDb: the per-type column layout of data rows, writing them and
// reading contacts back; the small contact, group and source-id edits, and
// the bound on the rows of one contact.
#include "model/localdb.h"

#include <QAnyStringView>
#include <QVarLengthArray>

#include "model/abscontactcombinerule.h"
#include "model/contactmention.h"

#include <QStringList>

#include <array>
#include <charconv>

namespace {

const QString kData15 = QStringLiteral("data15");
const QString kData2 = QStringLiteral("data2");
const QString kData3 = QStringLiteral("data3");
const QString kData4 = QStringLiteral("data4");
const QString kColId = QStringLiteral("_id");
const QString kColSrcId = QStringLiteral("src_id");
const QString kColFullName = QStringLiteral("full_name");

QStringList dataKeys(std::initializer_list<int> numbers)
{
    QStringList keys;
    for (int n : numbers)
        keys << QStringLiteral("data%1").arg(n);
    return keys;
}

// One entry per type code 0..13; index 0 is unused. The gaps (an IM account
// skips data4, an organisation data8) are part of the stored format.
// How a column's value is bound: its text, the hash of the photo bytes, or
// the bytes themselves. Decided once per layout instead of by comparing
// column names for every value written.
enum class Bind { Text, PhotoHash, Bytes };

struct Layout {
    QStringList write;
    // `write` in key order with each key's number, for a merge that must
    // see every stored column.
    QStringList readAll;
    QList<int> readAllNumbers;
    QList<Bind> writeKinds;
    // For each N, the index in `write` of "dataN", or -1.
    std::array<int, 16> writeIndexOf {};
    QStringList read;
    // For each key of `read`, its number N in "dataN".
    QList<int> readNumbers;
    QString insertSql;
    QString updateSql;
};

std::array<Layout, pim::ENTITY_TYPE_LAST + 1> buildLayouts()
{
    std::array<Layout, pim::ENTITY_TYPE_LAST + 1> l;
    const QStringList valueLabel = dataKeys({1, 2, 3});
    l[pim::ENTITY_NAME].write = dataKeys({1, 2, 3, 4, 5, 6, 7, 8});
    l[pim::ENTITY_PHOTO].write = dataKeys({4, 15});
    l[pim::ENTITY_PHONE].write = valueLabel;
    l[pim::ENTITY_EMAIL].write = valueLabel;
    l[pim::ENTITY_NICKNAME].write = valueLabel;
    l[pim::ENTITY_EVENT].write = valueLabel;
    l[pim::ENTITY_GROUP].write = dataKeys({1, 2});
    l[pim::ENTITY_IM].write = dataKeys({1, 2, 3, 5, 6});
    l[pim::ENTITY_NOTES].write = dataKeys({1});
    l[pim::ENTITY_ORG].write = dataKeys({1, 2, 3, 4, 5, 6, 7, 9});
    l[pim::ENTITY_REL].write = valueLabel;
    l[pim::ENTITY_ADDR].write = dataKeys({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    l[pim::ENTITY_URL].write = valueLabel;
    for (int type = pim::ENTITY_TYPE_FIRST; type <= pim::ENTITY_TYPE_LAST; ++type) {
        Layout& t = l[type];
        t.read = t.write;
        t.writeIndexOf.fill(-1);
        for (const QString& column : t.write) {
            t.writeIndexOf[size_t(QStringView(column).mid(4).toInt())] = int(t.writeKinds.size());
            t.writeKinds << (column == kData15                                        ? Bind::Bytes
                             : type == pim::ENTITY_PHOTO && column == kData4 ? Bind::PhotoHash
                                                                             : Bind::Text);
        }
        const QString columns = t.write.join(QLatin1Char(','));
        t.insertSql = QStringLiteral("insert into data(contact_id,type,src_id,%1) values(?,?,?%2)")
                          .arg(columns, QStringLiteral(",?").repeated(t.write.size()));
        t.updateSql = QStringLiteral("update data set src_id=?,%1 where _id=?")
                          .arg(t.write.join(QLatin1String("=?,")) + QLatin1String("=?"));
    }
    // Read in key order so that each value is appended to the field map
    // at its end instead of searched into place.
    for (Layout& t : l) {
        t.read.sort();
        for (const QString& key : t.read)
            t.readNumbers << QStringView(key).mid(4).toInt();
        t.readAll = t.write;
        t.readAll.sort();
        for (const QString& key : t.readAll)
            t.readAllNumbers << QStringView(key).mid(4).toInt();
    }
    return l;
}

const Layout& layout(int type)
{
    static const std::array<Layout, pim::ENTITY_TYPE_LAST + 1> layouts = buildLayouts();
    return layouts[static_cast<size_t>(type)];
}

void requireValidType(const char* operation, int type)
{
    if (!pim::isValidEntityType(type))
        throw Error(QStringLiteral("%1: invalid entity type %2").arg(QLatin1String(operation)).arg(type));
}

} // namespace

namespace {

void bindColumn(Sqlite3Statement& stmt, int pos, Bind kind, const QString& key, const pim::Entity& entity)
{
    switch (kind) {
    case Bind::Bytes:
        stmt.bindBlob(pos, entity.fields.value(key).toByteArray());
        break;
    case Bind::PhotoHash:
        // Whatever the entity claims, the stored hash is that of the bytes.
        stmt.bindText(pos, entity.photoHash());
        break;
    case Bind::Text: {
        const QVariant* it = entity.fields.find(pim::EntityFields::keyNumber(key));
        if (!it)
            stmt.bindText(pos, QString());
        else if (it->typeId() == QMetaType::QString)
            stmt.bindText(pos, *static_cast<const QString*>(it->constData()));
        else
            stmt.bindText(pos, pim::fieldText(*it));
        break;
    }
    }
}

} // namespace

int LocalDb::bindColumns(Sqlite3Statement& stmt, int first, int type, const pim::Entity& entity) const
{
    const Layout& l = layout(type);
    int pos = first;
    for (qsizetype i = 0; i < l.write.size(); ++i, ++pos)
        bindColumn(stmt, pos, l.writeKinds.at(i), l.write.at(i), entity);
    return pos;
}

bool LocalDb::rowChanges(int type, const pim::Entity& stored, const pim::Entity& merged)
{
    if (!pim::isValidEntityType(type))
        return true;
    const Layout& l = layout(type);
    for (qsizetype i = 0; i < l.write.size(); ++i) {
        const QString& key = l.write.at(i);
        switch (l.writeKinds.at(i)) {
        case Bind::Bytes:
            if (stored.fields.value(key).toByteArray() != merged.fields.value(key).toByteArray())
                return true;
            break;
        case Bind::PhotoHash:
            if (pim::fieldText(stored.fields.value(key)) != merged.photoHash())
                return true;
            break;
        case Bind::Text: {
            // Both sides as the column will read back: absent is empty text.
            const int number = pim::EntityFields::keyNumber(key);
            const QVariant* storedValue = stored.fields.find(number);
            const QVariant* mergedValue = merged.fields.find(number);
            const QVariant absent;
            const QVariant& a = storedValue ? *storedValue : absent;
            const QVariant& b = mergedValue ? *mergedValue : absent;
            if (a.typeId() == QMetaType::QString && b.typeId() == QMetaType::QString) {
                if (*static_cast<const QString*>(a.constData()) != *static_cast<const QString*>(b.constData()))
                    return true;
            } else if (pim::fieldText(a) != pim::fieldText(b)) {
                return true;
            }
            break;
        }
        }
    }
    return stored.srcId != merged.srcId;
}

Sqlite3Statement& LocalDb::rowStatement(bool insert, int type)
{
    Sqlite3Statement& stmt = (insert ? m_insertRow : m_updateRow)[static_cast<size_t>(type)];
    if (!stmt.isValid())
        stmt = connection().prepareThrow(insert ? layout(type).insertSql : layout(type).updateSql);
    return stmt;
}

void LocalDb::insertRows(unsigned long long contactId, QList<std::pair<int, pim::Entity>>& rows)
{
    requireWritable("insertRows");
    constexpr qsizetype kMaxRows = 4;
    static const QString kAllColumns = QStringLiteral("insert into data(contact_id,type,src_id,%1) values")
                                           .arg(dataKeys({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})
                                                    .join(QLatin1Char(',')));
    for (const auto& row : rows)
        requireValidType("insertEntity", row.first);
    qsizetype done = 0;
    while (done < rows.size()) {
        const qsizetype k = qMin(kMaxRows, rows.size() - done);
        // One statement per sequence of types: every row lists every column
        // (so rows of any types share it), the ones its type leaves out as
        // the literal their default gives, so only real values are bound.
        QByteArray shape;
        for (qsizetype i = 0; i < k; ++i)
            shape += char(rows.at(done + i).first);
        if (m_insertShapes.size() > 1024 && !m_insertShapes.contains(shape))
            m_insertShapes.clear();
        Sqlite3Statement& stmt = m_insertShapes[shape];
        if (!stmt.isValid()) {
            QStringList values;
            for (const char type : shape) {
                const Layout& l = layout(type);
                QString row = QStringLiteral("(?1,%1,?").arg(int(type));
                for (int n = 1; n <= 15; ++n)
                    row += l.writeIndexOf[size_t(n)] >= 0 ? QStringLiteral(",?") : n == 15 ? QStringLiteral(",NULL") : QStringLiteral(",''");
                values << row + QLatin1Char(')');
            }
            stmt = connection().prepareThrow(kAllColumns + values.join(QLatin1Char(',')));
        }
        stmt.bindInt64(1, static_cast<long long>(contactId));
        int pos = 2;
        for (qsizetype i = 0; i < k; ++i) {
            const int type = rows.at(done + i).first;
            const pim::Entity& entity = rows.at(done + i).second;
            stmt.bindText(pos++, entity.srcId);
            // The row's placeholders follow the column numbers, as the
            // type's written columns do.
            pos = bindColumns(stmt, pos, type, entity);
        }
        stmt.execute();
        // One statement's rows take consecutive ids, the last one's known.
        const long long last = m_db.lastInsertId();
        for (qsizetype i = 0; i < k; ++i)
            rows[done + i].second.id = static_cast<unsigned long long>(last - (k - 1) + i);
        done += k;
    }
}

void LocalDb::insertEntity(unsigned long long contactId, int type, pim::Entity& entity)
{
    // Checked before anything runs: with no column list there is no
    // statement, and the entity must never take another row's id.
    requireValidType("insertEntity", type);
    const Hold hold(*this);
    requireWritable("insertEntity");
    forgetNameParts(type);
    Sqlite3Statement& stmt = rowStatement(true, type);
    stmt.bindInt64(1, static_cast<long long>(contactId)).bindInt64(2, type).bindText(3, entity.srcId);
    bindColumns(stmt, 4, type, entity);
    stmt.execute();
    entity.id = static_cast<unsigned long long>(m_db.lastInsertId());
}

void LocalDb::updateEntity(int type, const pim::Entity& entity)
{
    requireValidType("updateEntity", type);
    const Hold hold(*this);
    requireWritable("updateEntity");
    forgetNameParts(type);
    Sqlite3Statement& stmt = rowStatement(false, type);
    stmt.bindText(1, entity.srcId);
    const int next = bindColumns(stmt, 2, type, entity);
    stmt.bindInt64(next, static_cast<long long>(entity.id));
    stmt.execute();
}

void LocalDb::fill_entity(Sqlite3Cursor& cursor, int type, pim::Entity& entity)
{
    if (!pim::isValidEntityType(type))
        return;
    const Layout& l = layout(type);
    entity.fields.reserve(entity.fields.size() + l.read.size());
    for (qsizetype i = 0; i < l.read.size(); ++i) {
        const QString& column = l.read.at(i);
        const int number = l.readNumbers.at(i);
        if (type == pim::ENTITY_PHOTO && number == 15)
            entity.fields.insert(number, cursor.getBlob(column));
        else
            entity.fields.insert(number, cursor.getText(column));
    }
}

pim::_Contact LocalDb::contact(unsigned long long id)
{
    return loadContact(id, false);
}

pim::_Contact LocalDb::loadContact(unsigned long long id, bool everyColumn)
{
    const Hold hold(*this);
    connection();
    // The id is bound rather than written into the text so that one
    // prepared statement serves every contact of a large merge.
    Sqlite3Sql base("select * from contact where _id=?");
    base.addInt64Param(static_cast<long long>(id));
    Sqlite3Cursor baseCur = m_db.queryThrow(base);
    if (!baseCur.moveNext())
        return pim::_Contact();
    pim::_Contact result(static_cast<unsigned long long>(baseCur.getInt64(kColId)), baseCur.getText(kColSrcId),
                         baseCur.getText(kColFullName));

    // Columns by position: a merge loads every stored duplicate, and
    // looking each column up by name cost more than reading it.
    static const QString rowsSql = QStringLiteral("select _id,type,src_id,%1 from data where contact_id=?")
                                       .arg(dataKeys({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})
                                                .join(QLatin1Char(',')));
    constexpr int kFirstData = 3; // "data1"; "dataN" is at kFirstData + N - 1
    Sqlite3Sql rows(rowsSql);
    rows.addInt64Param(static_cast<long long>(id));
    Sqlite3Cursor cur = m_db.queryThrow(rows);
    while (cur.moveNext()) {
        const int type = static_cast<int>(cur.getInt64(1));
        pim::Entity entity(static_cast<unsigned long long>(cur.getInt64(0)), cur.getText(2));
        fillEntityAt(cur, kFirstData, type, everyColumn, entity);
        result.entities[type].append(entity);
    }
    return result;
}

const LocalDb::MergeKeys& LocalDb::mergeKeys(int type)
{
    MergeKeys& keys = m_mergeKeys[static_cast<size_t>(type)];
    if (keys.known)
        return keys;
    MergeKeys fresh;
    fresh.min = m_rule->checkEqualFieldsMin(type);
    fresh.kept = m_rule->validFields(type, fresh.single);
    for (const QString& key : m_rule->wholeValueKeys(type)) {
        if (fresh.kept.contains(key))
            fresh.whole << key;
    }
    fresh.joinsFirst = !fresh.single && m_rule->joinsFirstWithoutKeys(type);
    fresh.values = fresh.min;
    if (fresh.values.removeIf([](const QString& key) { return key == kData2 || key == kData3; }) == 0)
        fresh.values.clear();
    else if (!fresh.single)
        fresh.noKindCodes = m_rule->noKindCodes(type);
    const Layout& l = layout(type);
    for (const QString& column : l.readAll) {
        // The hash column of a photo is written from the bytes, so a merge
        // that may write it must have them.
        const bool photoBytes = type == pim::ENTITY_PHOTO && column == kData15 && fresh.kept.contains(kData4);
        if (fresh.kept.contains(column) || fresh.min.contains(column) || photoBytes) {
            fresh.compared << column;
            fresh.comparedNumbers << QStringView(column).mid(4).toInt();
        }
        if (fresh.kept.contains(column))
            fresh.keptColumns << column;
    }
    fresh.numbered = true;
    for (const QString& key : fresh.min)
        fresh.minNumbers << pim::EntityFields::keyNumber(key);
    for (const QString& key : fresh.keptColumns)
        fresh.keptNumbers << pim::EntityFields::keyNumber(key);
    for (const int number : fresh.minNumbers + fresh.keptNumbers) {
        // The blob column, a key that names no column, or a column the
        // merge's copy leaves out (so holds as empty there).
        if (number < 1 || number > 14 || !fresh.comparedNumbers.contains(number))
            fresh.numbered = false;
    }
    fresh.known = true;
    keys = std::move(fresh);
    return keys;
}

pim::_Contact LocalDb::loadCompared(unsigned long long id, qsizetype* rowCount)
{
    static const QString rowsSql = QStringLiteral("select _id,type,src_id,%1 from data where contact_id=?")
                                       .arg(dataKeys({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})
                                                .join(QLatin1Char(',')));
    constexpr int kFirstData = 3;
    pim::_Contact result(id, QString(), QString());
    Sqlite3Sql rows(rowsSql);
    rows.addInt64Param(static_cast<long long>(id));
    Sqlite3Cursor cur = connection().queryThrow(rows);
    qsizetype count = 0;
    while (cur.moveNext()) {
        ++count;
        const int type = static_cast<int>(cur.getInt64(1));
        // A type the rule never merges is never looked at: its rows, names
        // among them, stay unread (but counted).
        if (!pim::isValidEntityType(type))
            continue;
        const MergeKeys& keys = mergeKeys(type);
        if (keys.kept.isEmpty())
            continue;
        pim::Entity entity(static_cast<unsigned long long>(cur.getInt64(0)), cur.getText(2));
        entity.fields.reserve(keys.compared.size());
        for (qsizetype i = 0; i < keys.compared.size(); ++i) {
            const int number = keys.comparedNumbers.at(i);
            const int column = kFirstData + number - 1;
            entity.fields.insert(number, type == pim::ENTITY_PHOTO && number == 15 ? QVariant(cur.getBlob(column))
                                                                                  : QVariant(cur.getText(column)));
        }
        result.entities[type].append(entity);
    }
    if (rowCount)
        *rowCount = count;
    return result;
}

namespace {

// An incoming value as the text the whole merge would compare with a
// column, built only when it is no plain text; `known` is false for bytes,
// which that merge compares as bytes.
class ComparedValue {
public:
    explicit ComparedValue(const QVariant* value)
    {
        if (!value)
            return;
        switch (value->typeId()) {
        case QMetaType::QString:
            m_text = *static_cast<const QString*>(value->constData());
            break;
        case QMetaType::QByteArray:
            m_known = false;
            break;
        case QMetaType::Int:
        case QMetaType::LongLong: {
            const auto end = std::to_chars(m_digits, m_digits + sizeof m_digits, value->toLongLong()).ptr;
            m_number = QByteArrayView(m_digits, end - m_digits);
            m_isNumber = true;
            break;
        }
        default:
            m_own = pim::fieldText(*value);
            m_text = m_own;
            break;
        }
    }
    bool known() const { return m_known; }
    bool isEmpty() const { return m_isNumber ? false : m_text.isEmpty(); }
    // Whether the whole merge may find it equal to a stored text that is
    // not the same: a line end it reads as LF, white space at an end.
    bool mayDiffer() const
    {
        return !m_isNumber && !m_text.isEmpty()
            && (m_text.front().isSpace() || m_text.back().isSpace() || m_text.contains(QLatin1Char('\r')));
    }
    bool equals(QByteArrayView stored) const
    {
        return m_isNumber ? m_number == stored : QAnyStringView::equal(m_text, QUtf8StringView(stored));
    }

private:
    bool m_known = true;
    bool m_isNumber = false;
    QStringView m_text;
    QString m_own;
    char m_digits[24] = {};
    QByteArrayView m_number;
};

// The character whose UTF-8 sequence starts at `at`; asked of every stored
// text a re-import compares, so without building a string.
char32_t codePointAt(QByteArrayView text, qsizetype at)
{
    const auto byte = [&text](qsizetype i) { return i < text.size() ? char32_t(uchar(text.at(i))) : 0; };
    const char32_t b0 = byte(at);
    if (b0 < 0x80)
        return b0;
    if ((b0 & 0xE0) == 0xC0)
        return (b0 & 0x1F) << 6 | (byte(at + 1) & 0x3F);
    if ((b0 & 0xF0) == 0xE0)
        return (b0 & 0x0F) << 12 | (byte(at + 1) & 0x3F) << 6 | (byte(at + 2) & 0x3F);
    return (b0 & 0x07) << 18 | (byte(at + 1) & 0x3F) << 12 | (byte(at + 2) & 0x3F) << 6 | (byte(at + 3) & 0x3F);
}

// ComparedValue::mayDiffer() of a stored column's UTF-8 text.
bool mayDiffer(QByteArrayView stored)
{
    if (stored.isEmpty())
        return false;
    qsizetype last = stored.size() - 1;
    while (last > 0 && last > stored.size() - 4 && (uchar(stored.at(last)) & 0xC0) == 0x80)
        --last;
    return QChar::isSpace(codePointAt(stored, 0)) || QChar::isSpace(codePointAt(stored, last))
        || stored.contains('\r');
}

} // namespace

bool LocalDb::holdsAlready(unsigned long long id, const pim::_Contact& incoming)
{
    // The incoming entities the rule merges, each until it found its row.
    struct Pending {
        int type;
        const pim::Entity* entity;
        const MergeKeys* keys;
    };
    // Beyond this many the whole merge's key indexes are the faster road.
    constexpr qsizetype kMaxPending = 48;
    QVarLengthArray<Pending, 16> pending;
    for (auto it = incoming.entities.constBegin(); it != incoming.entities.constEnd(); ++it) {
        if (it.value().isEmpty())
            continue;
        const int type = it.key();
        // A photo's hash follows its bytes and a membership needs its
        // group's id: both take the whole way, as do unknown types.
        if (!pim::isValidEntityType(type) || type == pim::ENTITY_PHOTO || type == pim::ENTITY_GROUP)
            return false;
        const MergeKeys& keys = mergeKeys(type);
        if (keys.kept.isEmpty())
            continue;
        if (!keys.numbered)
            return false;
        for (const pim::Entity& entity : it.value())
            pending.append({type, &entity, &keys});
    }
    if (pending.size() > kMaxPending)
        return false;
    if (pending.isEmpty())
        return true;

    if (!m_comparedRows.isValid())
        m_comparedRows = connection().prepareThrow(
            QStringLiteral("select type,%1 from data where contact_id=? and type>=?")
                .arg(dataKeys({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}).join(QLatin1Char(','))));
    // Rows come in the order loadCompared() reads them, so the first row
    // an entity matches is the one the whole merge would pick. Those of
    // the types before the first pending one (a name's row, nearly always)
    // are not read at all.
    bool holds = true;
    m_comparedRows.bindInt64(1, static_cast<long long>(id)).bindInt64(2, pending.front().type);
    m_comparedRows.forEachRow([&](const Sqlite3Statement::Row& row) {
        const int type = static_cast<int>(row.int64(0));
        for (qsizetype i = 0; i < pending.size();) {
            const Pending& p = pending.at(i);
            if (p.type != type) {
                ++i;
                continue;
            }
            // As the whole merge does: a value without a sub-type or label
            // is matched and compared without them.
            const bool typeGiven = pim::isTypeGiven(*p.entity);
            const auto isTypeColumn = [typeGiven](int number) { return !typeGiven && (number == 2 || number == 3); };
            if (!p.keys->single) {
                bool matches = true;
                for (const int number : p.keys->minNumbers) {
                    if (isTypeColumn(number))
                        continue;
                    const ComparedValue in(p.entity->fields.find(number));
                    const QByteArrayView stored = row.text(number);
                    // Texts the whole merge finds equal in another form
                    // take its way, which picks the row the same way.
                    if (!in.known() || in.mayDiffer() || mayDiffer(stored)) {
                        holds = false;
                        return false;
                    }
                    if (!in.equals(stored)) {
                        matches = false;
                        break;
                    }
                }
                if (!matches) {
                    ++i;
                    continue;
                }
            }
            // Its row: every value it fills must already be there.
            for (const int number : p.keys->keptNumbers) {
                if (isTypeColumn(number))
                    continue;
                const QVariant* value = p.entity->fields.find(number);
                if (!value)
                    continue;
                const ComparedValue in(value);
                if (!in.known()) {
                    holds = false;
                    return false;
                }
                if (!in.isEmpty() && !in.equals(row.text(number))) {
                    holds = false;
                    return false;
                }
            }
            pending.remove(i);
        }
        return !pending.isEmpty();
    });
    // One left over would be a new row.
    return holds && pending.isEmpty();
}

void LocalDb::updateKeptColumns(int type, const pim::Entity& entity)
{
    requireValidType("updateEntity", type);
    requireWritable("updateEntity");
    forgetNameParts(type);
    const MergeKeys& keys = mergeKeys(type);
    const Layout& l = layout(type);
    Sqlite3Statement& stmt = m_updateKept[static_cast<size_t>(type)];
    if (!stmt.isValid()) {
        QString sql = QStringLiteral("update data set src_id=?");
        for (const QString& column : keys.keptColumns)
            sql += QLatin1Char(',') + column + QStringLiteral("=?");
        stmt = connection().prepareThrow(sql + QStringLiteral(" where _id=?"));
    }
    stmt.bindText(1, entity.srcId);
    int pos = 2;
    for (const QString& column : keys.keptColumns)
        bindColumn(stmt, pos++, l.writeKinds.at(l.writeIndexOf[size_t(QStringView(column).mid(4).toInt())]), column, entity);
    stmt.bindInt64(pos, static_cast<long long>(entity.id));
    stmt.execute();
}

namespace {

// fillEntityAt() over either way of reading a row.
template <class Row>
void fillFromColumns(const Row& row, int firstData, int type, bool everyColumn, pim::Entity& entity)
{
    if (!pim::isValidEntityType(type))
        return;
    const Layout& l = layout(type);
    const QList<int>& numbers = everyColumn ? l.readAllNumbers : l.readNumbers;
    entity.fields.reserve(entity.fields.size() + numbers.size());
    for (const int number : numbers) {
        const int column = firstData + number - 1;
        entity.fields.insert(number, type == pim::ENTITY_PHOTO && number == 15 ? QVariant(row.getBlob(column))
                                                                              : QVariant(row.getText(column)));
    }
}

} // namespace

void LocalDb::fillEntityAt(const Sqlite3Cursor& cur, int firstData, int type, bool everyColumn, pim::Entity& entity)
{
    fillFromColumns(cur, firstData, type, everyColumn, entity);
}

void LocalDb::fillEntityAt(const Sqlite3Statement::Row& row, int firstData, int type, bool everyColumn,
                           pim::Entity& entity)
{
    fillFromColumns(row, firstData, type, everyColumn, entity);
}

namespace {

long long id64(unsigned long long id)
{
    return static_cast<long long>(id);
}

} // namespace

unsigned long long LocalDb::getGroupIdOrAdd(const QString& name)
{
    const Hold hold(*this);
    {
        Sqlite3Cursor cur = connection().queryThrow(
            Sqlite3Sql("select _id from contact_group where name=? collate nocase order by _id limit 1").addTextParam(name));
        if (cur.moveNext())
            return static_cast<unsigned long long>(cur.getInt64(0));
    }
    return insert(Sqlite3Sql("insert into contact_group(name) values(?)").addTextParam(name));
}

pim::Entity LocalDb::setGroup(unsigned long long contactId, unsigned long long groupId, const QString& groupName)
{
    const Hold hold(*this);
    ungroup(contactId);
    const QString groupText = QString::number(groupId);
    pim::Entity membership(insert(Sqlite3Sql("insert into data(type,contact_id,data1,data2) values(?,?,?,?)")
                                      .addIntParam(pim::ENTITY_GROUP)
                                      .addInt64Param(id64(contactId))
                                      .addTextParam(groupText)
                                      .addTextParam(groupName)),
                           QString());
    membership.fields.insert(QStringLiteral("data1"), groupText);
    membership.fields.insert(QStringLiteral("data2"), groupName);
    return membership;
}

void LocalDb::ungroup(unsigned long long contactId)
{
    const Hold hold(*this);
    write(Sqlite3Sql("delete from data where type=? and contact_id=?").addIntParam(pim::ENTITY_GROUP).addInt64Param(id64(contactId)));
}

void LocalDb::removeEntity(unsigned long long entityId)
{
    const Hold hold(*this);
    // The row may be a name's.
    forgetImportNames();
    write(Sqlite3Sql("delete from data where _id=?").addInt64Param(id64(entityId)));
}

void LocalDb::removeContact(unsigned long long contactId)
{
    const Hold hold(*this);
    forgetImportNames();
    write(Sqlite3Sql("delete from data where contact_id=?").addInt64Param(id64(contactId)));
    write(Sqlite3Sql("delete from contact where _id=?").addInt64Param(id64(contactId)));
}

void LocalDb::removeGroupOnly(unsigned long long groupId)
{
    const Hold hold(*this);
    write(Sqlite3Sql("delete from contact_group where _id=?").addInt64Param(id64(groupId)));
}

void LocalDb::updateContactBaseSrcId(unsigned long long contactId, const QString& srcId)
{
    const Hold hold(*this);
    write(Sqlite3Sql("update contact set src_id=? where _id=?").addTextParam(srcId).addInt64Param(id64(contactId)));
}

void LocalDb::updateContactBaseSrcId(const QString& oldSrcId, const QString& newSrcId)
{
    const Hold hold(*this);
    write(Sqlite3Sql("update contact set src_id=? where src_id=?").addTextParam(newSrcId).addTextParam(oldSrcId));
}

void LocalDb::updateEntitySrcId(unsigned long long entityId, const QString& srcId)
{
    const Hold hold(*this);
    write(Sqlite3Sql("update data set src_id=? where _id=?").addTextParam(srcId).addInt64Param(id64(entityId)));
}

void LocalDb::updateEntitySrcId(const QString& oldSrcId, const QString& newSrcId)
{
    const Hold hold(*this);
    write(Sqlite3Sql("update data set src_id=? where src_id=?").addTextParam(newSrcId).addTextParam(oldSrcId));
}

QString LocalDb::leftOutEntriesText(const QString& name, qsizetype leftOut)
{
    // A phone may send a contact whose name record names no one.
    return QObject::tr("%1: only the first %2 entries were kept; %3 more were left out.")
        .arg(name.trimmed().isEmpty() ? pim::mention(QString(), pim::Mention::ContactAtStart) : name)
        .arg(kMaxEntitiesPerContact)
        .arg(leftOut);
}
