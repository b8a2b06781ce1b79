// SPDX-License-Identifier: GPL-3.0-or-later
// The order of day and month in a table's date columns: one program wrote
// every cell of a column, so a date that only one order reads
// ("25/12/1975") tells how the column's dates that read either way
// ("03/05/1980") were meant.
#include "fileformats/csv/csvimport.h"

#include "fileformats/csv/csvhelper.h"
#include "fileformats/csv/csvimport_p.h"
#include "fileformats/csv/csvscanner_p.h"

#include <QCoreApplication>
#include <QDate>

#include <utility>

namespace {

// The blanks a date cell may have around it: an ASCII blank, tab or line
// break.
bool isAsciiBlank(QChar c)
{
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

// Whether the day and month make a date in the year; a year of two digits
// is read by no one here, so only a day that no year has fails.
bool isDate(int year, bool fullYear, int month, int day)
{
    return QDate::isValid(fullYear ? year : 2000, month, day);
}

} // namespace

namespace csvread {

std::optional<SlashedDate> slashedDate(QStringView cell)
{
    qsizetype at = 0;
    qsizetype end = cell.size();
    while (at < end && isAsciiBlank(cell[at]))
        ++at;
    while (end > at && isAsciiBlank(cell[end - 1]))
        --end;
    int numbers[3] = {};
    int digits[3] = {};
    for (int n = 0; n < 3; ++n) {
        if (n > 0) {
            if (at == end || cell[at] != u'/')
                return std::nullopt;
            ++at;
        }
        // No part has more than four digits: a fifth ends the reading.
        for (; at < end && digits[n] <= 4 && cell[at] >= u'0' && cell[at] <= u'9'; ++at, ++digits[n])
            numbers[n] = numbers[n] * 10 + (cell[at].unicode() - u'0');
    }
    if (at != end || digits[0] < 1 || digits[0] > 2 || digits[1] < 1 || digits[1] > 2
        || (digits[2] != 2 && digits[2] != 4))
        return std::nullopt;
    SlashedDate date;
    date.first = numbers[0];
    date.second = numbers[1];
    date.year = numbers[2];
    date.fullYear = digits[2] == 4;
    return date;
}

SlashedDate::Order SlashedDate::order() const
{
    if (first > 12 && second >= 1 && second <= 12 && isDate(year, fullYear, second, first))
        return DayFirst;
    if (second > 12 && first >= 1 && first <= 12 && isDate(year, fullYear, first, second))
        return MonthFirst;
    return Unproven;
}

bool SlashedDate::readsEitherWay() const
{
    return first != second && first >= 1 && first <= 12 && second >= 1 && second <= 12;
}

} // namespace csvread

void CSVImport::DateOrder::note(const QString& cell, int rowNumber)
{
    if (cell.isEmpty() || (dayFirstRow > 0 && monthFirstRow > 0))
        return;
    for (const QStringView piece : QStringView(cell).tokenize(csvread::kMultiValueSeparator)) {
        const std::optional<csvread::SlashedDate> date = csvread::slashedDate(piece);
        if (!date)
            continue;
        const csvread::SlashedDate::Order order = date->order();
        if (order == csvread::SlashedDate::DayFirst && dayFirstRow == 0) {
            dayFirstRow = rowNumber;
            dayFirstCell = piece.trimmed().toString();
        } else if (order == csvread::SlashedDate::MonthFirst && monthFirstRow == 0) {
            monthFirstRow = rowNumber;
            monthFirstCell = piece.trimmed().toString();
        }
    }
}

void CSVImport::noteDateOrders(const Cells& values, int rowNumber)
{
    for (DateOrder& order : m_dateOrders)
        order.note(values[order.column], rowNumber);
}

bool CSVImport::readsDayFirst(int dateOrder)
{
    if (dateOrder < 0)
        return false;
    DateOrder& order = m_dateOrders[dateOrder];
    // The rows read so far were noted as they were read; the later ones
    // are looked at once, and only until a date proves month first, which
    // settles that no date of the column is read day first but by itself.
    if (order.monthFirstRow == 0 && !order.lookedAhead) {
        const int index = m_columns.at(order.column).index;
        for (qsizetype row = m_cursor; row < m_rowStarts.size() && order.monthFirstRow == 0; ++row)
            order.note(cellAt(m_rowStarts.at(row), index), m_rowNumbers.at(row));
        order.lookedAhead = true;
    }
    const bool dayFirst = order.dayFirstRow > 0 && order.monthFirstRow == 0;
    order.readDayFirst = order.readDayFirst || dayFirst;
    return dayFirst;
}

QString CSVImport::cellAt(qsizetype pos, int index) const
{
    // Most rows hold no double quote before the cell: their cells are the
    // pieces between separators up to the line end.
    const char* const end = m_text.constData() + m_text.size();
    const char* cell = m_text.constData() + pos;
    int at = 0;
    for (const char* p = cell;; ++p) {
        if (p != end && !csvhelper::isStopByte(uchar(*p), m_delimiter))
            continue;
        if (p != end && *p == '"')
            break;
        if (at == index)
            return QString::fromUtf8(cell, p - cell);
        if (p == end || *p != m_delimiter)
            return QString();
        ++at;
        cell = p + 1;
    }
    QString text;
    qsizetype from = pos;
    csvhelper::MemorySource src(m_text, from, m_delimiter);
    auto sink = csvhelper::decodingSink([index](int i) { return i == index; },
                                        [&text](int, QString&& cell) { text = std::move(cell); });
    csvhelper::scanRow(src, sink);
    return text;
}

void CSVImport::reportDateOrders()
{
    for (const DateOrder& order : std::as_const(m_dateOrders)) {
        const QString& name = m_header.at(m_columns.at(order.column).index);
        if (order.dayFirstRow > 0 && order.monthFirstRow > 0) {
            m_problems.add(QCoreApplication::translate("CSVImport",
                "Column \"%1\": row %2 writes \"%3\" day first but row %4 "
                "writes \"%5\" month first; its dates that read either way "
                "were read month first, so check them.")
                               .arg(name, QString::number(order.dayFirstRow), order.dayFirstCell,
                                   QString::number(order.monthFirstRow), order.monthFirstCell));
        } else if (order.readDayFirst) {
            m_problems.add(QCoreApplication::translate("CSVImport",
                "Column \"%1\": row %2 writes \"%3\" day first, so its "
                "dates that read either way were read day first too.")
                               .arg(name, QString::number(order.dayFirstRow), order.dayFirstCell));
        }
    }
}
