// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/export/abstextexport.h"

#include "fileformats/csv/csvcolumndictionary.h"
#include "model/pimlabels.h"

#include <QDateTime>

#include <QHash>
#include <QVector>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// By the column's number ("data7": 7): a key text made for every cell of
// every contact would cost more than the look-up itself.
QString text(const pim::Entity& e, const char* key)
{
    Q_ASSERT(std::strncmp(key, "data", 4) == 0);
    const QVariant* value = e.fields.find(std::atoi(key + 4));
    return value ? pim::fieldText(*value) : QString();
}

int code(const pim::Entity& e, const char* key)
{
    // Absent or not a number: 0, which every label table calls "Other".
    return e.fields.value(QLatin1String(key)).toInt();
}

// A code without a label is written as its number, which the CSV reader
// maps back to the same code.
QString labelled(const char* prefix, const QMap<int, QString>& labels, int code, const char* suffix = "")
{
    const auto label = labels.constFind(code);
    return QLatin1String(prefix) + (label != labels.constEnd() ? *label : QString::number(code))
        + QLatin1String(suffix);
}

// A date without a time of day goes out as a date ("1966-03-12"), one with
// a time as stored; text that is no ISO date as it stands.
QString dateCell(const QVariant& value)
{
    QDateTime when;
    switch (value.typeId()) {
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate);
    case QMetaType::QDateTime:
        when = value.toDateTime();
        break;
    default: {
        const QString stored = value.toString();
        if (stored.size() != 19 || stored.at(10) != QLatin1Char('T'))
            return stored;
        when = QDateTime::fromString(stored, Qt::ISODate);
        if (!when.isValid())
            return stored;
        break;
    }
    }
    if (when.time() == QTime(0, 0))
        return when.date().toString(Qt::ISODate);
    return pim::fieldText(when);
}

const QString kDisplayName = QStringLiteral("Display Name");

// Calls visit(column, instance, value) for every cell a contact fills, by
// ascending entity type and, within a type, in list order. instance counts
// the values of one column (of one address label, of one name or
// organisation) within the contact, so that every value has a cell of its
// own. Name, organisation and address parts give a cell only when filled.
// Whether a display name is one of its own takes building the name from its
// parts, the dearest cell of a contact: it is asked only where
// asksDisplayName(instance) says its column matters.
template <typename Visit, typename AsksDisplayName>
void walkCells(const pim::_Contact& contact, Visit&& visit, AsksDisplayName&& asksDisplayName)
{
    QHash<QString, int> seen;
    const auto next = [&seen](const QString& key) { return seen[key]++; };
    const auto part = [&](const QString& column, int instance, const QString& value) {
        if (!value.isEmpty())
            visit(column, instance, value);
    };

    for (auto it = contact.entities.cbegin(); it != contact.entities.cend(); ++it) {
        const int type = it.key();
        for (const pim::Entity& e : it.value()) {
            switch (type) {
            case pim::ENTITY_NAME: {
                const int k = next(QStringLiteral("#name"));
                // Only a display name of its own ("Dr. Ann Ray", "Mum"): the
                // reader builds the same one from the parts anyway, and a
                // column that repeats every name would only be noise.
                if (asksDisplayName(k)) {
                    const QString display = text(e, "data1");
                    if (!display.isEmpty() && display.trimmed() != e.fullName())
                        visit(kDisplayName, k, display);
                }
                part(QStringLiteral("Prefix"), k, text(e, "data5"));
                part(QStringLiteral("First Name"), k, text(e, "data2"));
                part(QStringLiteral("Middle Name"), k, text(e, "data4"));
                part(QStringLiteral("Last Name"), k, text(e, "data3"));
                part(QStringLiteral("Phonetic First Name"), k, text(e, "data7"));
                part(QStringLiteral("Phonetic Last Name"), k, text(e, "data8"));
                part(QStringLiteral("Suffix"), k, text(e, "data6"));
                break;
            }
            case pim::ENTITY_PHONE: {
                const QString column = AbsTextExport::telCol(e);
                visit(column, next(column), text(e, "data1"));
                break;
            }
            case pim::ENTITY_EMAIL: {
                const QString column = AbsTextExport::emailCol(e);
                visit(column, next(column), text(e, "data1"));
                break;
            }
            case pim::ENTITY_NICKNAME: {
                const QString column = QStringLiteral("Nickname");
                visit(column, next(column), text(e, "data1"));
                break;
            }
            case pim::ENTITY_EVENT: {
                const QString column = AbsTextExport::eventCol(e);
                visit(column, next(column), dateCell(e.fields.value(QStringLiteral("data1"))));
                break;
            }
            case pim::ENTITY_GROUP: {
                const QString column = QStringLiteral("Category");
                visit(column, next(column), text(e, "data2"));
                break;
            }
            case pim::ENTITY_IM: {
                const QString column = AbsTextExport::imCol(e);
                visit(column, next(column), text(e, "data1"));
                break;
            }
            case pim::ENTITY_NOTES: {
                const QString column = QStringLiteral("Notes");
                visit(column, next(column), text(e, "data1"));
                break;
            }
            case pim::ENTITY_ORG: {
                const int k = next(QStringLiteral("#org"));
                part(QStringLiteral("Company"), k, text(e, "data1"));
                part(QStringLiteral("Department"), k, text(e, "data5"));
                part(QStringLiteral("Job Title"), k, text(e, "data4"));
                break;
            }
            case pim::ENTITY_REL: {
                const QString column = AbsTextExport::relCol(e);
                visit(column, next(column), text(e, "data1"));
                break;
            }
            case pim::ENTITY_ADDR: {
                const int k = next(AbsTextExport::addrStreetCol(e));
                part(AbsTextExport::addrCountryCol(e), k, text(e, "data10"));
                part(AbsTextExport::addrStateCol(e), k, text(e, "data8"));
                part(AbsTextExport::addrCityCol(e), k, text(e, "data7"));
                part(AbsTextExport::addrStreetCol(e), k, text(e, "data4"));
                part(AbsTextExport::addrPostcodeCol(e), k, text(e, "data9"));
                break;
            }
            case pim::ENTITY_URL: {
                const QString column = AbsTextExport::urlCol(e);
                visit(column, next(column), text(e, "data1"));
                break;
            }
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
    // Named after the protocol: that is what tells two handles apart. A
    // kind other than Home, which the reader gives a handle of no kind, goes
    // before it ("IM:Work:Skype"), as an address's goes before its part.
    const int kind = code(e, "data2");
    const QString protocol = labelled("", pim::imProtocolMap(), code(e, "data5"));
    if (kind == 1)
        return QLatin1String("IM:") + protocol;
    return labelled("IM:", pim::imTypeMap(), kind, ":") + protocol;
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
        { "Display Name", 5 }, { "Prefix", 10 },  { "First Name", 20 }, { "Middle Name", 30 },
        { "Last Name", 40 },   { "Phonetic First Name", 41 }, { "Phonetic Last Name", 42 },
        { "Suffix", 50 },      { "Nickname", 51 }, { "Category", 60 },  { "Company", 70 },
        { "Department", 80 },  { "Job Title", 90 },
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
    walkCells(
        contact,
        [&](const QString& base, int instance, const QString&) {
            const QString name = CsvColumnDictionary::numberedName(base, instance);
            if (!scanned.contains(name))
                scanned.insert(name, Column { base, instance });
        },
        // Once a contact opened the column, later ones need not be asked.
        [&](int instance) {
            return !scanned.contains(CsvColumnDictionary::numberedName(kDisplayName, instance));
        });
}

QByteArray AbsTextExport::initialize(const QList<pim::_Contact>& contacts)
{
    for (const pim::_Contact& contact : contacts)
        scan(contact);

    QList<std::pair<QString, Column>> sorted;
    for (auto it = scanned.cbegin(); it != scanned.cend(); ++it)
        sorted.append({ it.key(), it.value() });
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        if (a.second.base != b.second.base)
            return compareColNameLess(a.second.base, b.second.base);
        return a.second.instance < b.second.instance;
    });

    colIndex.clear();
    QStringList cols;
    for (const auto& [name, column] : std::as_const(sorted)) {
        colIndex.insert(name, int(cols.size()));
        cols.append(name);
    }
    colCount = int(cols.size());
    return cols2Bytes(cols);
}

QByteArray AbsTextExport::ct2Bytes(const pim::_Contact& contact)
{
    QVector<QString> cells(colCount);
    walkCells(
        contact,
        [&](const QString& base, int instance, const QString& value) {
            const auto slot = colIndex.constFind(CsvColumnDictionary::numberedName(base, instance));
            if (slot != colIndex.constEnd()) // else a contact initialize() never saw
                cells[*slot] = value;
        },
        [&](int instance) {
            return colIndex.contains(CsvColumnDictionary::numberedName(kDisplayName, instance));
        });
    return rowData2Bytes(cells.data(), colCount);
}

QByteArray AbsTextExport::uninitialize()
{
    return QByteArray();
}
