// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/absimport.h"
#include "fileformats/csv/csvcolumndictionary.h"
#include "fileformats/legacytext.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QVarLengthArray>
#include <QVector>

#include <bitset>
#include <utility>

namespace csvread {
class RowEntities;
}

// Reads a CSV contact file: the first row names the columns, or the first
// below a title or a note an export put above (csvtableshape.h), every
// further row is one contact. The whole file is read and its rows located in
// initialize(), so total() is exact and the file is closed before anything
// is stored; a row's cells are made only when its contact is asked for.
class CSVImport : public AbsImport {
public:
    using _ColInfo = CsvColumnDictionary::_ColInfo;

    // The dictionary entry of a header name (see CsvColumnDictionary).
    static _ColInfo colInfo(const QString& headerName);

    // Throws Error when the file cannot be opened or read or is
    // larger than csvhelper::kMaxFileBytes; an earlier load then stays.
    void initialize(QString path) override;
    int total() override;
    bool hasNext() override;
    pim::_Contact nextContact() override;
    void uninitialize() override;

    // Which text encoding the last initialize() found ("UTF-8", ...; see
    // csvhelper::toUtf8Text()).
    QString encoding() const { return m_encoding; }
    // The cell separator the last initialize() found.
    char delimiter() const { return m_delimiter; }
    // Columns no contact field takes that some row fills (named once the
    // last row is read), rows without a name or number, cells beyond the
    // header, each with its row number; the rows whose cells held control
    // characters or letters encoded twice, named once the last row is read.
    const ImportProblems& problems() const override { return m_problems; }

private:
    // A header column whose name the dictionary knows, resolved once per file.
    struct Column {
        int index = 0;
        _ColInfo info;
        // Index of the column's entity group in m_groupTypes.
        int group = 0;
        // Phones, e-mails, dates, messaging, relations and web sites: a
        // second cell for a filled field is another value, not more text.
        bool multiValued = false;
        // The cell is a piece of a field (a birthday's year, an address's
        // post-office box), put together with the others of its entity.
        bool piece = false;
        // Another program's address columns: the n-th value of a list in
        // the cell (a web-mail export's "1 Main St ::: 2 Side St") is a
        // part of the n-th address of the group, as the n-th of the list
        // beside it in "- City" is.
        bool listByPosition = false;
        // A web-mail export's "Phone 1 - Type" beside "Phone 1 - Value": a
        // column whose cell names the kind (or, "IM 1 - Service", the
        // messaging service) of the values of its partners.
        bool describingOnly = false;
        // For a value column, the index in m_columns of its type column and
        // of its service column, -1 for none.
        int typeColumn = -1;
        int serviceColumn = -1;
        // For a date column, its index in m_dateOrders, -1 for none.
        int dateOrder = -1;
        // For a column of a field that holds one value, the index in
        // m_spellings of the columns whose names are spellings of its own
        // (CsvColumnDictionary::looseForm), -1 for a name the header
        // spells once.
        int spelling = -1;
    };

    // The columns of one field whose names are spellings of one name
    // ("First Name", "first_name"): the header's names, and the rows in
    // which a later one held another value than the first filled one.
    struct Spelling {
        QStringList names;
        NamedPlaces differingRows;
    };

    // What the cells of a date column prove of the order its writer put
    // day and month in: the first row that proves each, and its cell.
    struct DateOrder {
        // The column's index in m_columns.
        int column = 0;
        int dayFirstRow = 0;
        QString dayFirstCell;
        int monthFirstRow = 0;
        QString monthFirstCell;
        // Whether the cells of the rows not read yet were looked at, up to
        // one that proves month first or to the end.
        bool lookedAhead = false;
        // Whether a date that reads either way was read day first.
        bool readDayFirst = false;

        // Notes what the cell's dates prove, each piece of a cell of
        // several values on its own.
        void note(const QString& cell, int rowNumber);
    };

    using Cells = QVarLengthArray<QString, 64>;

    // The header: which field each column fills, and which columns read
    // alike only once letter case and blanks are set aside (csvheader.cpp).
    void resolveColumns();
    // Which columns of one-value fields are spellings of one name.
    void resolveSpellings();
    // What each "Title" or "Salutation" column of the header holds, told
    // by its cells (csvtitlecolumns.cpp): infos, the dictionary entries by
    // header index, take the name's title, the job title, or no field,
    // which is named. Returns the columns that now fill a job title.
    QList<int> decideTitleColumns(QList<_ColInfo>& infos);
    // The reading of one row: the cells of its known columns, by their
    // index in m_columns; the cells beyond the header are named in the
    // problems.
    void readCells(qsizetype pos, int rowNumber, Cells& values);
    // The cell readers (csvcells.cpp): what the cell of m_columns[c] gives
    // the entities of its row; and those entities, completed, as the
    // row's contact.
    void readCell(int c, const Cells& values, csvread::RowEntities& row);
    pim::_Contact contactOf(csvread::RowEntities& row) const;
    // Puts the cell of each phone's extension column into its phone's
    // cell (csvread::phoneWithExtension).
    void joinExtensions(Cells& values) const;
    // The cells of the row at pos when it holds no double quote, so that
    // its cells are just the pieces between commas up to the line end, and
    // which unread columns it fills; false (nothing read) for a row the full
    // scanner must read.
    bool readPlainRow(qsizetype pos, Cells& values, bool& extraCells);
    // A cell of a column no field takes: the column holds something once a
    // cell of it is more than blanks.
    void noteUnreadCell(int index, QStringView text);
    // Names the columns left out that some row filled, before the problems
    // of the rows.
    void reportUnreadColumns();
    // Names the code page the file's text that is not UTF-8 was read in,
    // and the rows of UTF-8 whose stray bytes were read in it.
    void reportGuessedCharset();
    // The order of day and month in the date columns (csvdates.cpp): a
    // column whose cells prove day first and none month first reads its
    // dates that read either way day first; any other as each date alone
    // reads. noteDateOrders() notes what a row's cells prove before they
    // are read; readsDayFirst() decides for the column, looking at the
    // cells of the rows not read yet only when a date asks and its own
    // rows have not settled it.
    void noteDateOrders(const Cells& values, int rowNumber);
    bool readsDayFirst(int dateOrder);
    // The text of the cell at the header's index in the row at pos.
    QString cellAt(qsizetype pos, int index) const;
    // Names the date columns that were read day first, and those whose
    // cells prove both orders.
    void reportDateOrders();
    // Names the rows whose cells held control characters that no text
    // keeps (pim::dropControlCharacters()), which were left out or
    // replaced, and those whose letters encoded twice were read as meant.
    void reportControlRows();
    // A field that holds one value takes the cell of the first of its
    // spellings that the row fills: the cells of the others are cleared,
    // and the row noted where they say something else.
    void keepFirstSpelling(Cells& values, int rowNumber);
    void reportSpellings();

    QStringList m_header;
    // The header's row number: 1 but below the rows of its own an export
    // put above it.
    int m_headerRow = 1;
    // The header's names in the form lookups compare them
    // (CsvColumnDictionary::comparedForm).
    QStringList m_headerKeys;
    // The file as UTF-8, and where each data row starts in it.
    QByteArray m_text;
    QList<qsizetype> m_rowStarts;
    // The row number of each, as a spreadsheet shows it.
    QList<int> m_rowNumbers;
    char m_delimiter = ',';
    ImportProblems m_problems;
    NamedPlaces m_controlRows;
    NamedPlaces m_twiceEncodedRows;
    // The file's text may hold control characters: its cells are looked at.
    bool m_mayHoldControls = false;
    pim::ReadFrom m_textFrom = pim::ReadFrom::Unicode;
    // How the file's text, taken whole, was written, where it may hold
    // control characters.
    pim::Writing m_fileWriting = pim::Writing::Untold;
    qsizetype m_cursor = 0;
    QVector<Column> m_columns;
    // Header index to its entry in m_columns, -1 for an unknown name.
    QVector<int> m_columnOfIndex;
    // The columns no field takes, by header index; and by header index,
    // whether it is one of them that no row has filled yet. A mail
    // program writes columns ("Custom 1") that most files leave empty:
    // nothing of them is lost.
    QList<int> m_unreadColumns;
    QVector<bool> m_unreadEmpty;
    // Entity type of each group, groups sorted by their "type-subtype" text.
    QVector<int> m_groupTypes;
    // By entity type: whether its entities keep the order of the file's
    // columns (another program's columns) rather than of their groups.
    std::bitset<pim::ENTITY_TYPE_LAST + 1> m_inFileOrder;
    QVector<DateOrder> m_dateOrders;
    QVector<Spelling> m_spellings;
    // Each phone column with the column of its extension, by their index
    // in m_columns.
    QList<std::pair<int, int>> m_extensions;
    QString m_encoding;
    // The rows read as UTF-8 but for a few stray bytes, and the code page
    // those were read in.
    NamedPlaces m_strayRows;
    legacytext::WesternSet m_straySet = legacytext::WesternSet::Windows1252;
};
