// SPDX-License-Identifier: GPL-3.0-or-later
// LocalDb: the per-type column layout of data rows, writing them and
// reading contacts back.
#include "model/localdb.h"

#include <QStringList>

#include <array>

namespace {

const QString kData15 = QStringLiteral("data15");
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
    QList<Bind> writeKinds;
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
        for (const QString& column : t.write) {
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
    // The country code is written but never read back: the editor's change
    // detection relies on a loaded address lacking "data11".
    l[pim::ENTITY_ADDR].read.removeAll(QStringLiteral("data11"));
    // Read in key order so that each value is appended to the field map
    // at its end instead of searched into place.
    for (Layout& t : l) {
        t.read.sort();
        for (const QString& key : t.read)
            t.readNumbers << QStringView(key).mid(4).toInt();
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

void LocalDb::bindColumns(Sqlite3Sql& sql, int type, const pim::Entity& entity) const
{
    const Layout& l = layout(type);
    for (qsizetype i = 0; i < l.write.size(); ++i) {
        switch (l.writeKinds.at(i)) {
        case Bind::Bytes:
            sql.addBlobParam(entity.fields.value(l.write.at(i)).toByteArray());
            break;
        case Bind::PhotoHash:
            // Whatever the entity claims, the stored hash is that of the bytes.
            sql.addTextParam(entity.photoHash());
            break;
        case Bind::Text:
            sql.addTextParam(pim::fieldText(entity.fields.value(l.write.at(i))));
            break;
        }
    }
}

void LocalDb::insertEntity(unsigned long long contactId, int type, pim::Entity& entity)
{
    // Checked before anything runs: with no column list there is no
    // statement, and the entity must never take another row's id.
    requireValidType("insertEntity", type);
    const Hold hold(*this);
    Sqlite3Sql sql(layout(type).insertSql);
    sql.addInt64Param(static_cast<long long>(contactId)).addIntParam(type).addTextParam(entity.srcId);
    bindColumns(sql, type, entity);
    entity.id = insert(sql);
}

void LocalDb::updateEntity(int type, const pim::Entity& entity)
{
    requireValidType("updateEntity", type);
    const Hold hold(*this);
    Sqlite3Sql sql(layout(type).updateSql);
    sql.addTextParam(entity.srcId);
    bindColumns(sql, type, entity);
    sql.addInt64Param(static_cast<long long>(entity.id));
    write(sql);
}

void LocalDb::fill_entity(Sqlite3Cursor& cursor, int type, pim::Entity& entity)
{
    if (!pim::isValidEntityType(type))
        return;
    const Layout& l = layout(type);
    auto hint = entity.fields.cend();
    for (const QString& column : l.read) {
        if (type == pim::ENTITY_PHOTO && column == kData15)
            entity.fields.insert(hint, column, cursor.getBlob(column));
        else
            entity.fields.insert(hint, column, cursor.getText(column));
        hint = entity.fields.cend();
    }
}

pim::_Contact LocalDb::contact(unsigned long long id)
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
        if (pim::isValidEntityType(type)) {
            const Layout& l = layout(type);
            for (qsizetype i = 0; i < l.read.size(); ++i) {
                const int column = kFirstData + l.readNumbers.at(i) - 1;
                const QVariant value = type == pim::ENTITY_PHOTO && l.readNumbers.at(i) == 15
                    ? QVariant(cur.getBlob(column))
                    : QVariant(cur.getText(column));
                entity.fields.insert(entity.fields.cend(), l.read.at(i), value);
            }
        }
        result.entities[type].append(entity);
    }
    return result;
}
