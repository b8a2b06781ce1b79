// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/abstextexport.h"

#include "model/pimlabels.h"

#include <QHash>
#include <QVector>

#include <algorithm>

namespace {

enum class CellKind {
    // Name, organisation and address parts: the column exists only for a
    // non-empty field, and an empty one never clears an earlier value.
    NonEmptyOnly,
    // A type with one value (nickname, group, notes): one column, the
    // later value wins.
    Single,
    // A multi-valued type (pim::isMultiValued): every value gets a column
    // of its own.
    Repeated,
};

QString text(const pim::Entity& e, const char* key)
{
    return pim::fieldText(e.fields.value(QLatin1String(key)));
}

int code(const pim::Entity& e, const char* key)
{
    // Absent or not a number: 0, which every label table calls "Other".
    return e.fields.value(QLatin1String(key)).toInt();
}

QString labelled(const char* prefix, const QMap<int, QString>& labels, int code, const char* suffix = "")
{
    return QLatin1String(prefix) + labels.value(code) + QLatin1String(suffix);
}

// Calls visit(column, value, kind) for every cell a contact fills, by
// ascending entity type and, within a type, in list order.
template <typename Visit>
void walkCells(const pim::_Contact& contact, Visit&& visit)
{
    const auto part = [&](const char* column, const pim::Entity& e, const char* key) {
        const QString value = text(e, key);
        if (!value.isEmpty())
            visit(QString::fromLatin1(column), value, CellKind::NonEmptyOnly);
    };
    const auto addrPart = [&](const QString& column, const pim::Entity& e, const char* key) {
        const QString value = text(e, key);
        if (!value.isEmpty())
            visit(column, value, CellKind::NonEmptyOnly);
    };

    for (auto it = contact.entities.cbegin(); it != contact.entities.cend(); ++it) {
        const int type = it.key();
        const CellKind listed = pim::isMultiValued(type) ? CellKind::Repeated : CellKind::Single;
        for (const pim::Entity& e : it.value()) {
            switch (type) {
            case pim::ENTITY_NAME:
                part("Prefix", e, "data5");
                part("First Name", e, "data2");
                part("Middle Name", e, "data4");
                part("Last Name", e, "data3");
                part("Suffix", e, "data6");
                break;
            case pim::ENTITY_PHONE:
                visit(AbsTextExport::telCol(e), text(e, "data1"), listed);
                break;
            case pim::ENTITY_EMAIL:
                visit(AbsTextExport::emailCol(e), text(e, "data1"), listed);
                break;
            case pim::ENTITY_NICKNAME:
                visit(QStringLiteral("Nickname"), text(e, "data1"), listed);
                break;
            case pim::ENTITY_EVENT:
                visit(AbsTextExport::eventCol(e), text(e, "data1"), listed);
                break;
            case pim::ENTITY_GROUP:
                visit(QStringLiteral("Category"), text(e, "data2"), listed);
                break;
            case pim::ENTITY_IM:
                visit(AbsTextExport::imCol(e), text(e, "data1"), listed);
                break;
            case pim::ENTITY_NOTES:
                visit(QStringLiteral("Notes"), text(e, "data1"), listed);
                break;
            case pim::ENTITY_ORG:
                part("Company", e, "data1");
                part("Department", e, "data5");
                part("Job Title", e, "data4");
                break;
            case pim::ENTITY_REL:
                visit(AbsTextExport::relCol(e), text(e, "data1"), listed);
                break;
            case pim::ENTITY_ADDR:
                addrPart(AbsTextExport::addrCountryCol(e), e, "data10");
                addrPart(AbsTextExport::addrStateCol(e), e, "data8");
                addrPart(AbsTextExport::addrCityCol(e), e, "data7");
                addrPart(AbsTextExport::addrStreetCol(e), e, "data4");
                addrPart(AbsTextExport::addrPostcodeCol(e), e, "data9");
                break;
            case pim::ENTITY_URL:
                visit(AbsTextExport::urlCol(e), text(e, "data1"), listed);
                break;
            default:
                // Photos and unknown types have no column.
                break;
            }
        }
    }
}

} // namespace

QString AbsTextExport::telCol(const pim::Entity& e)
{
    return labelled("Tel:", pim::phoneTypeMap(), code(e, "data2"));
}

QString AbsTextExport::emailCol(const pim::Entity& e)
{
    return labelled("Email:", pim::emailTypeMap(), code(e, "data2"));
}

QString AbsTextExport::eventCol(const pim::Entity& e)
{
    return labelled("Date:", pim::eventTypeMap(), code(e, "data2"));
}

QString AbsTextExport::imCol(const pim::Entity& e)
{
    // Named after the protocol: that is what tells two handles apart.
    return labelled("IM:", pim::imProtocolMap(), code(e, "data5"));
}

QString AbsTextExport::relCol(const pim::Entity& e)
{
    return labelled("Rel:", pim::relTypeMap(), code(e, "data2"));
}

QString AbsTextExport::urlCol(const pim::Entity& e)
{
    return labelled("Url:", pim::urlTypeMap(), code(e, "data2"));
}

QString AbsTextExport::addrCountryCol(const pim::Entity& e)
{
    return labelled("Addr:", pim::addrTypeMap(), code(e, "data2"), ":Country");
}

QString AbsTextExport::addrStateCol(const pim::Entity& e)
{
    return labelled("Addr:", pim::addrTypeMap(), code(e, "data2"), ":State");
}

QString AbsTextExport::addrCityCol(const pim::Entity& e)
{
    return labelled("Addr:", pim::addrTypeMap(), code(e, "data2"), ":City");
}

QString AbsTextExport::addrStreetCol(const pim::Entity& e)
{
    return labelled("Addr:", pim::addrTypeMap(), code(e, "data2"), ":Street");
}

QString AbsTextExport::addrPostcodeCol(const pim::Entity& e)
{
    return labelled("Addr:", pim::addrTypeMap(), code(e, "data2"), ":Postcode");
}

int AbsTextExport::colPriority(const QString& name)
{
    static const struct {
        const char* name;
        int rank;
    } exact[] = {
        { "Prefix", 10 },  { "First Name", 20 }, { "Middle Name", 30 }, { "Last Name", 40 },
        { "Suffix", 50 },  { "Nickname", 51 },   { "Category", 60 },    { "Company", 70 },
        { "Department", 80 }, { "Job Title", 90 },
    };
    for (const auto& e : exact) {
        if (name == QLatin1String(e.name))
            return e.rank;
    }
    if (name.startsWith(QLatin1String("Tel:")))
        return 100;
    if (name.startsWith(QLatin1String("Email:")))
        return 200;
    if (name.startsWith(QLatin1String("Date:")))
        return 300;
    if (name.startsWith(QLatin1String("Addr:"))) {
        static const char* const suffixes[] = { ":Country", ":State", ":City", ":Street", ":Postcode" };
        for (int i = 0; i < 5; ++i) {
            if (name.endsWith(QLatin1String(suffixes[i])))
                return 401 + i;
        }
        return 1000;
    }
    if (name.startsWith(QLatin1String("IM:")))
        return 500;
    if (name.startsWith(QLatin1String("Rel:")))
        return 600;
    if (name.startsWith(QLatin1String("Url:")))
        return 700;
    if (name == QLatin1String("Notes"))
        return 800;
    return 1000;
}

bool AbsTextExport::compareColNameLess(const QString& a, const QString& b)
{
    const int pa = colPriority(a);
    const int pb = colPriority(b);
    if (pa != pb)
        return pa < pb;
    return a < b;
}

void AbsTextExport::scan(const pim::_Contact& contact)
{
    QHash<QString, int> seen;
    walkCells(contact, [&](const QString& column, const QString&, CellKind kind) {
        const int n = kind == CellKind::Repeated ? ++seen[column] : 1;
        int& best = maxCount[column];
        best = std::max(best, n);
    });
}

QByteArray AbsTextExport::initialize(const QList<pim::_Contact>& contacts)
{
    for (const pim::_Contact& contact : contacts)
        scan(contact);

    QStringList names = maxCount.keys();
    std::sort(names.begin(), names.end(), compareColNameLess);

    colIndex.clear();
    QStringList cols;
    for (const QString& name : std::as_const(names)) {
        const int count = maxCount.value(name);
        colIndex.insert(name, Slot { int(cols.size()), count });
        for (int k = 0; k < count; ++k)
            cols.append(name);
    }
    colCount = int(cols.size());
    return cols2Bytes(cols);
}

QByteArray AbsTextExport::ct2Bytes(const pim::_Contact& contact)
{
    QVector<QString> cells(colCount);
    QHash<QString, int> seen;
    walkCells(contact, [&](const QString& column, const QString& value, CellKind kind) {
        const auto slot = colIndex.constFind(column);
        if (slot == colIndex.constEnd())
            return; // a contact initialize() never saw
        if (kind == CellKind::Repeated) {
            const int k = seen[column]++;
            if (k < slot->count)
                cells[slot->first + k] = value;
        } else {
            cells[slot->first] = value;
        }
    });
    return rowData2Bytes(cells.data(), colCount);
}

QByteArray AbsTextExport::uninitialize()
{
    return QByteArray();
}
