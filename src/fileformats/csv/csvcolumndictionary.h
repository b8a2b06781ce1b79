// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMap>
#include <QString>

// What the CSV reader does with the cells of a column, by header name: the
// system's own column names (built from the sub-type labels, so that a file
// the CSV writer made reads back into the same sub-types) and those of other
// address books' exports. Names compare without regard to letter case and
// to blanks around them ("e-mail ", "HOME PHONE"); no two names of the
// table read alike so. A name the table does not hold as written is looked
// up once more with its underscores read as blanks ("phone_number"), then
// in its loose form ("firstName", "zip-code").
class CsvColumnDictionary {
public:
    struct _ColInfo {
        _ColInfo() = default;
        _ColInfo(int entityType, int subType, QString typeKey, QString valueKey)
            : entityType(entityType), subType(subType), typeKey(std::move(typeKey)), valueKey(std::move(valueKey)) {}

        // 0: the column is not imported.
        int entityType = 0;
        // Together with entityType it names the entity a row's cells fill.
        int subType = 0;
        // Field that receives subType as a number; empty for none.
        QString typeKey;
        // Field that receives the cell's text.
        QString valueKey;
        // Which entity of that type and sub-type: 0 for the first, 1 for a
        // second one ("Addr:Home 2:Street"), and so on.
        int instance = 0;
        // False for a name that says nothing of its value's kind ("Email",
        // "E-mail 1 - Value"): subType is then only what a new entry gets,
        // not a kind to give a stored one.
        bool typeNamed = true;
        // One of the names this program's CSV writer gives its columns.
        bool own = false;
        // A messaging column's service, which its addresses keep as their
        // own service's name ("sip") and may be written with as a scheme
        // ("sip:ann@voip.example"); empty for none.
        QString service;
        // A messaging column's kind ("data2"), which the system's own
        // names give after the prefix ("IM:Work:Skype"); -1 for a name
        // that gives none.
        int kind = -1;
        // "Title" and "Salutation" head honorifics in one table, job titles
        // or greetings in another: what such a column is, its cells tell
        // (CSVImport). Where they cannot tell, "Title" is the name's title,
        // as the entry gives it, and "Salutation" is left out.
        enum class ToldByCells : unsigned char { No, ElseAsGiven, ElseLeftOut };
        ToldByCells toldByCells = ToldByCells::No;
    };

    // Value keys of columns that hold a piece of a field rather than a
    // field: the reader puts the pieces of one entity together once the
    // row is read and keeps none of them under these keys.
    static constexpr const char* kExtendedAddressPiece = "extendedAddress";
    static constexpr const char* kPoBoxPiece = "poBox";
    static constexpr const char* kFormattedAddressPiece = "formattedAddress";
    static constexpr const char* kYearPiece = "year";
    static constexpr const char* kMonthPiece = "month";
    static constexpr const char* kDayPiece = "day";
    // The whole name's reading, which stands in for the readings of its
    // parts where the file gives none.
    static constexpr const char* kNameReadingPiece = "nameReading";
    static bool isPieceKey(const QString& valueKey);

    // The entry for a header name; the all-zero entry for a name the
    // dictionary does not hold. Read-only after the first call, so any
    // thread may ask, and unknown names in a file do not grow the table.
    static _ColInfo lookup(const QString& headerName);
    // The form in which lookup() compares a header name: without the blanks
    // around it, in case-folded letters. Two header names of one form read
    // alike.
    static QString comparedForm(const QString& headerName);
    // The form in which lookup() compares a name it finds no other way:
    // without blanks, "_" and "-", in case-folded letters, so that the
    // words of a name joined in camel case read as the name ("firstName",
    // "First_Name" and "first-name" are "firstname"). Columns of one
    // field whose names differ but read alike so are spellings of one
    // column (CSVImport).
    static QString looseForm(const QString& headerName);

    // The whole table, its names as written, built once on first use.
    // Besides these names, lookup() knows the numbered forms of the
    // system's own names and their forms with a sub-type code in place of a
    // label (numberedName()), and a web-mail export's numbered columns
    // ("Phone 7 - Value", "Address 2 - City") by the first of their kind.
    static const QMap<QString, _ColInfo>& entries();

    // The system's own column name for the instance-th (0-based) value of
    // one kind in a contact: the name itself for the first, the number after
    // the label for later ones ("Tel:Home 2", "Addr:Home 2:Street", "Notes 3").
    static QString numberedName(const QString& name, int instance);
};
