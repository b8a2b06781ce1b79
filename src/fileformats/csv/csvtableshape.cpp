// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/csv/csvtableshape.h"

#include "fileformats/csv/csvcolumndictionary.h"
#include "fileformats/csv/csvhelper.h"
#include "model/contact.h"
#include "model/pimlabels.h"

#include <QDate>

#include <algorithm>

namespace csvshape {

namespace {

bool namesKnownColumn(const QString& cell)
{
    return CsvColumnDictionary::lookup(cell).entityType != 0;
}

bool isFilled(const QString& cell)
{
    return !QStringView(cell).trimmed().isEmpty();
}

// A word that names the kind of a phone or an e-mail address ("Work",
// "Mobile", "Fax", "E-mail").
bool namesValueKind(const QString& cell)
{
    const QStringView word = QStringView(cell).trimmed();
    if (pim::codeNamed(word, pim::phoneTypeMap()) || pim::codeNamed(word, pim::emailTypeMap()))
        return true;
    const int type = CsvColumnDictionary::lookup(cell).entityType;
    return type == pim::ENTITY_PHONE || type == pim::ENTITY_EMAIL;
}

// An address as a cell holds it: something before one "@", a domain with
// a dot inside after it, no blank anywhere.
bool isEmailAddress(QStringView cell)
{
    const qsizetype at = cell.indexOf(QLatin1Char('@'));
    if (at <= 0 || cell.lastIndexOf(QLatin1Char('@')) != at)
        return false;
    const QStringView domain = cell.mid(at + 1);
    const qsizetype dot = domain.indexOf(QLatin1Char('.'));
    return dot > 0 && !domain.endsWith(QLatin1Char('.'))
        && std::none_of(cell.cbegin(), cell.cend(), [](QChar c) { return c.isSpace(); });
}

// Three runs of digits parted by "-", "/" or ".", a year's four or two
// digits at one end and two at most elsewhere: "2024-03-01", "1/3/24". A
// header may name its columns by dates; a phone number is no date.
bool isDate(QStringView cell)
{
    QList<qsizetype> runs { 0 };
    for (const QChar c : cell) {
        if (c.isDigit())
            ++runs.last();
        else if (c == QLatin1Char('-') || c == QLatin1Char('/') || c == QLatin1Char('.'))
            runs.append(0);
        else
            return false;
    }
    if (runs.size() != 3 || runs.contains(0))
        return false;
    const bool yearFirst = runs.at(0) == 4 && runs.at(1) <= 2 && runs.at(2) <= 2;
    const bool yearLast = runs.at(0) <= 2 && runs.at(1) <= 2 && (runs.at(2) == 4 || runs.at(2) == 2);
    return yearFirst || yearLast;
}

// A date written as digits alone ("20240115"), or a season or school year
// of two years running ("2023/2024", "2024 - 2025"): a header may name a
// column so, and no phone number reads so.
bool isDateOfDigitsOrSeason(QStringView cell)
{
    QList<int> years;
    for (qsizetype i = 0; i < cell.size();) {
        if (!cell.at(i).isDigit()) {
            if (!QStringView(u" -/").contains(cell.at(i)))
                return false;
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < cell.size() && cell.at(end).isDigit())
            ++end;
        if (end - i == 8 && years.isEmpty() && end == cell.size()) {
            const QDate date = QDate::fromString(cell.toString(), QStringLiteral("yyyyMMdd"));
            return date.isValid() && date.year() >= 1900 && date.year() < 2100;
        }
        if (end - i != 4)
            return false;
        years.append(cell.mid(i, 4).toInt());
        i = end;
    }
    return years.size() == 2 && years.at(1) == years.at(0) + 1;
}

// A number as a cell holds it: a "+" may lead, then seven digits or more
// among blanks, dashes, dots, slashes and brackets.
bool isPhoneNumber(QStringView cell)
{
    const QStringView digits = cell.startsWith(QLatin1Char('+')) ? cell.mid(1) : cell;
    int count = 0;
    for (const QChar c : digits) {
        if (c.isDigit() && c.unicode() < 0x80)
            ++count;
        else if (!QStringView(u" -./()").contains(c))
            return false;
    }
    return count >= 7 && count <= 15 && !isDate(cell) && !isDateOfDigitsOrSeason(cell);
}

} // namespace

std::optional<HeaderRow> headerBelowOwnRows(const QByteArray& text)
{
    HeaderRow header;
    qsizetype pos = 0;
    for (int number = 1; number <= kMaxRowsAbove + 1 && pos < text.size(); ++number) {
        const qsizetype start = pos;
        // Each row is read with the separator it holds most: a title row
        // of a semicolon table may hold none.
        const char delimiter
            = csvhelper::detectDelimiter(QByteArray::fromRawData(text.constData() + start, text.size() - start));
        QStringList cells;
        csvhelper::readRow(text, pos, cells, delimiter);
        const qsizetype filled = std::count_if(cells.cbegin(), cells.cend(), isFilled);
        if (filled >= 2) {
            if (number == 1 || std::count_if(cells.cbegin(), cells.cend(), namesKnownColumn) < 2
                || holdsContactValues(cells))
                return std::nullopt;
            header.pos = start;
            header.number = number;
            header.delimiter = delimiter;
            return header;
        }
        if (std::any_of(cells.cbegin(), cells.cend(), namesKnownColumn))
            return std::nullopt;
        header.textAbove = header.textAbove || filled > 0;
    }
    return std::nullopt;
}

bool holdsContactValues(const QStringList& cells)
{
    const auto isValue = [](const QString& cell) {
        const QStringView value = QStringView(cell).trimmed();
        return isEmailAddress(value) || isPhoneNumber(value);
    };
    if (std::none_of(cells.cbegin(), cells.cend(), isValue))
        return false;
    // A header may name a column by a season, a school year, a date or a
    // list's address ("2023/2024", "20240115", "news@club.example"): one
    // that names two known columns is a header, unless it writes the kind
    // of its values before each, as an organizer's rows do ("Work",
    // "+1 206 555 0142", "Fax", "", "E-mail", "mira@harbor.example").
    if (std::count_if(cells.cbegin(), cells.cend(), namesKnownColumn) < 2)
        return true;
    int kindsBeforeValues = 0;
    for (qsizetype i = 0; i + 1 < cells.size(); ++i) {
        if (namesValueKind(cells.at(i)) && (!isFilled(cells.at(i + 1)) || isValue(cells.at(i + 1))))
            ++kindsBeforeValues;
    }
    return kindsBeforeValues >= 2;
}

} // namespace csvshape
