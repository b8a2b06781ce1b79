// SPDX-License-Identifier: GPL-3.0-or-later
#include "../scratchfiles.h"
#include "fileformats/csv/csvimport.h"

#include <QDate>
#include <QRandomGenerator>
#include <QTest>

namespace {

// How a generated date column writes its dates: day first or month first,
// each proven by a date somewhere (the last row's too), only dates that
// read either way, or both orders, each proven.
enum Writer { DayFirst, MonthFirst, Unproven, Mixed };

struct Column {
    Writer writer;
    QStringList cells;
    // What each cell stores, piece by piece.
    QList<QStringList> stored;
    bool readEitherWay = false;
};

QString iso(const QDate& date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd'T'00:00:00"));
}

// A piece of a date cell, and what it stores: the date its writer meant
// where the column proves the order, the date as it reads alone (month
// first where either would do) where not; a two-digit year, an ISO date and
// other text as they read alone. A proving piece's day is over 12, an
// unproven column's never.
QString piece(QRandomGenerator& random, Column& column, bool dayFirst, bool proving, QStringList& stored)
{
    const int kind = proving ? 9 : random.bounded(10);
    static const QStringList junk { "n/a", "31/02/1999", "13/13/1990", "1990", "3.5.1980", "12-25-1975" };
    if (kind == 0) {
        stored.append(junk.at(random.bounded(junk.size())));
        return stored.last();
    }
    const int day
        = proving ? random.bounded(13, 29) : 1 + random.bounded(column.writer == Unproven ? 12 : 28);
    const QDate date(1930 + random.bounded(80), 1 + random.bounded(12), day);
    if (kind == 1) {
        stored.append(iso(date));
        return date.toString(Qt::ISODate);
    }
    const int width = 1 + random.bounded(2);
    const auto number = [width](int n) { return QStringLiteral("%1").arg(n, width, 10, QLatin1Char('0')); };
    const bool fullYear = proving || random.bounded(5) != 0;
    const QString year
        = fullYear ? QString::number(date.year()) : number(date.year() % 100).rightJustified(2, u'0');
    const QString written = dayFirst ? number(date.day()) + u'/' + number(date.month()) + u'/' + year
                                     : number(date.month()) + u'/' + number(date.day()) + u'/' + year;
    const bool eitherWay = date.day() <= 12 && date.day() != date.month();
    column.readEitherWay = column.readEitherWay || (eitherWay && fullYear);
    const bool asMeant = !eitherWay || column.writer == DayFirst || column.writer == MonthFirst || !dayFirst;
    stored.append(!fullYear ? written
            : asMeant       ? iso(date)
                            : iso(QDate(date.year(), date.day(), date.month())));
    return written;
}

Column generate(QRandomGenerator& random, int rows)
{
    Column column { Writer(random.bounded(4)), {}, {}, false };
    const int dayProof = random.bounded(rows);
    const int monthProof = (dayProof + 1 + random.bounded(rows - 1)) % rows;
    for (int r = 0; r < rows; ++r) {
        const bool ofDay = r == dayProof && (column.writer == DayFirst || column.writer == Mixed);
        const bool ofMonth = r == monthProof && (column.writer == MonthFirst || column.writer == Mixed);
        QStringList written;
        column.stored.append(QStringList());
        // A web-mail export writes several dates of a kind in one cell.
        for (int p = ofDay || ofMonth || random.bounded(5) ? 1 + (random.bounded(12) == 0) : 0; p > 0; --p) {
            const bool dayFirst = column.writer == DayFirst || ofDay
                || (column.writer != MonthFirst && !ofMonth && random.bounded(2) == 0);
            written.append(piece(random, column, dayFirst, ofDay || ofMonth, column.stored.last()));
        }
        column.cells.append(written.join(QLatin1String(" ::: ")));
    }
    return column;
}

} // namespace

class TestCsvDateOrder : public QObject {
    Q_OBJECT
private slots:
    // Many tables of two date columns written each its own way, among ISO
    // dates, two-digit years and other text, beside notes that hold dates
    // of the other order in quoted lines.
    void readsEachDateAsItsColumnWritesIt()
    {
        QRandomGenerator random(1975);
        for (int t = 0; t < 300; ++t) {
            const int rows = 2 + random.bounded(30);
            const Column columns[2] = { generate(random, rows), generate(random, rows) };
            QString text = QStringLiteral("Name,Birthday,Notes,Anniversary\r\n");
            for (int r = 0; r < rows; ++r) {
                const char* note = random.bounded(3) == 0 ? "\"met, on 25/12/2001\nor 12/25/2001\"" : "";
                text += QStringLiteral("P%1,%2,%3,%4\r\n")
                            .arg(QString::number(r), columns[0].cells.at(r), QLatin1String(note),
                                columns[1].cells.at(r));
            }
            CSVImport reader;
            reader.initialize(writeScratch(m_dir, text.toUtf8(), QStringLiteral("csv")));
            for (int r = 0; r < rows; ++r) {
                QStringList stored;
                for (const pim::Entity& event : reader.nextContact().entities.value(pim::ENTITY_EVENT))
                    stored.append(event.fields.value(QStringLiteral("data1")).toString());
                QCOMPARE(stored, columns[0].stored.at(r) + columns[1].stored.at(r));
            }
            // A column is named where a date that reads either way was read
            // day first, and where its dates prove both orders.
            const QString ending = reader.problems().listed().join(u'\n');
            for (const int c : { 0, 1 }) {
                const bool named = columns[c].writer == Mixed
                    || (columns[c].writer == DayFirst && columns[c].readEitherWay);
                const QString name
                    = c == 0 ? QStringLiteral("\"Birthday\"") : QStringLiteral("\"Anniversary\"");
                QVERIFY2(ending.contains(QLatin1String("Column ") + name) == named, qPrintable(text));
            }
        }
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestCsvDateOrder)
#include "tst_csvdateorder.moc"
