// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the three steps of the CSV reader share: the header's resolution
// (csvheader.cpp), the reading of one row (csvimport.cpp) and the cell
// readers (csvcells.cpp).

#include "fileformats/csv/csvcolumndictionary.h"
#include "model/contact.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVarLengthArray>

#include <functional>
#include <optional>
#include <vector>

namespace csvread {

// Web-mail exports put several values of one kind into one cell.
extern const QString kMultiValueSeparator;

// A web-mail export names its numbered values "Phone 1 - Value",
// "Address 1 - Street" and describes them in columns beside: the kind in
// "Phone 1 - Type", "Address 1 - Type", the messaging service in
// "IM 1 - Service". For each header column, the index of its type column
// and of its service column (-1: none), and whether it only describes
// others. The header's names come in the form lookups compare them
// (CsvColumnDictionary::comparedForm); typeOf gives the entity type a
// column name reads into.
// A phone's extension in a column of its own right after the phone's
// ("Business Phone", "Business Extension") describes that phone too, in
// `extension`.
struct DescribingColumns {
    QList<int> type;
    QList<int> service;
    QList<int> extension;
    QList<bool> describingOnly;
};
DescribingColumns describingColumns(const QStringList& header, const std::function<int(const QString&)>& typeOf);

// The columns of csvrepeats.cpp. For each header column, the index of the
// column right after it that holds its phone's extension, or -1; and the
// number that the cell of a phone and the cell of its extension make.
QList<int> extensionColumnsOf(const QStringList& header, const std::function<int(const QString&)>& typeOf);
QString phoneWithExtension(const QString& phone, const QString& extension);
// A table heads a field's columns again in the very same words for the
// field's next value: the address or organisation columns of a name that
// repeats one of the current block of its field begin the next block,
// which fills an entity of its own (a higher instance); a street column
// right after itself is the street's next line. header holds the names as
// written, infos their dictionary entries; returns the first column of
// each block that begins so.
QList<int> numberRepeatedBlocks(const QStringList& header, QList<CsvColumnDictionary::_ColInfo>& infos);

// The cells of a "Title" or "Salutation" column (csvtitlecolumns.cpp): a
// title before a name ("Mr.", "Prof. Dr."), a greeting or addressee ("Dear
// Amy", "Raj and Iris", or words that namesThePerson() finds in the row's
// own name, case-folded), a job title ("Head Teacher"), or none of them.
enum class TitleCell { Honorific, Greeting, JobTitle, Unknown };
TitleCell titleCellKind(QStringView cell, const std::function<bool(const QString&)>& namesThePerson);
// The runs of letters of a text, case-folded.
QStringList letterWords(QStringView text);
// What the cells of one such column tell of it: each kind decides where it
// holds three in four of the cells that tell anything.
enum class TitleVerdict { NameTitle, JobTitle, Greeting, CannotTell };
struct TitleTally {
    int honorific = 0;
    int greeting = 0;
    int jobTitle = 0;
    int unknown = 0;

    void add(TitleCell kind);
    TitleVerdict verdict() const;
};

// A date cell of two numbers and a year parted by "/" ("25/12/1975",
// "3/5/80"), blanks and line breaks around it aside: the numbers in the
// order written, and the year with how many digits it has (2 or 4).
struct SlashedDate {
    int first = 0;
    int second = 0;
    int year = 0;
    bool fullYear = false;

    // Which order of day and month the date alone proves: day first when
    // only its first number can be the day, month first when only the
    // second can; neither for a date that reads both ways or no way.
    enum Order { Unproven, DayFirst, MonthFirst };
    Order order() const;
    // Whether the date reads as two different dates, day first and month
    // first.
    bool readsEitherWay() const;
};
std::optional<SlashedDate> slashedDate(QStringView cell);

// The entities one row begins, in the order it begins them, each with its
// column group.
class RowEntities {
public:
    struct Begun {
        int group;
        pim::Entity entity;
    };

    explicit RowEntities(qsizetype groupCount);

    // Where the piece at position p of a cell of the group goes: a new
    // entity for every value of phones and the like (every column of such
    // a group fills "data1", so a group that holds an entity already has
    // its value) and for every further piece of a cell read as separate
    // values; the position's own entity of the group for a list by
    // position; else the group's entity of this row.
    pim::Entity& entityFor(int group, qsizetype p, bool listByPosition, bool multiValued, bool separate);

    QVarLengthArray<Begun, 32>& begun() { return m_begun; }

    // Whether a group of the row is one the web-mail export keeps itself
    // (a "* " mark): the user's own groups then go after it.
    void noteMarkedGroup() { m_markedGroup = true; }
    bool hasMarkedGroup() const { return m_markedGroup; }

private:
    QVarLengthArray<Begun, 32> m_begun;
    // For each group the index of its latest entity (-1: none yet).
    QVarLengthArray<int, 64> m_latest;
    // For each group, the entities begun by the later positions of its
    // address lists, by position (from 1; -1: none yet): a row may hold many
    // thousands of them, and its positions come in order. Empty, and so
    // without a table, for most rows.
    std::vector<std::vector<int>> m_positioned;
    bool m_markedGroup = false;
};

} // namespace csvread
