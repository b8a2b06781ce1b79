// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/csv/csvhelper.h"

#include <QBuffer>
#include <QTest>

using Rows = QList<QStringList>;

class TestCsvHelper : public QObject {
    Q_OBJECT
private slots:
    void readsRows_data();
    void readsRows();

    void guardsFormulas_data();
    void guardsFormulas();

    void skipsByteOrderMarkAndShortRows();
    void looksUpCellsByHeader_data();
    void looksUpCellsByHeader();
};

void TestCsvHelper::readsRows_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<Rows>("expected");
    QTest::addColumn<bool>("lastEnded");

    QTest::newRow("quote inside unquoted cell opens quoting")
        << QByteArray("ab\"c,d\"e\n") << Rows { { "abc,de" } } << true;
    QTest::newRow("quote after a closed section is content")
        << QByteArray("\"a\"b\"c\n") << Rows { { "ab\"c" } } << true;
    QTest::newRow("CR CR LF leaves a blank row")
        << QByteArray("a\r\r\nb\n") << Rows { { "a" }, { "" }, { "b" } } << true;
    QTest::newRow("unclosed quote runs to the end")
        << QByteArray("a,\"b,c\nd") << Rows { { "a", "b,c\nd" } } << false;
    QTest::newRow("zero byte kept inside a cell")
        << QByteArray("a\0b,c\n", 6) << Rows { { QString::fromUtf8("a\0b", 3), "c" } } << true;
}

void TestCsvHelper::readsRows()
{
    QFETCH(QByteArray, data);
    QFETCH(Rows, expected);
    QFETCH(bool, lastEnded);

    Rows rows;
    bool ended = true;
    for (qsizetype pos = 0; pos < data.size();) {
        QStringList row;
        ended = csvhelper::readRow(data, pos, row);
        rows.append(row);
    }
    QCOMPARE(rows, expected);
    QCOMPARE(ended, lastEnded);

    // The device reader splits the same bytes the same way.
    QBuffer device(&data);
    QVERIFY(device.open(QIODevice::ReadOnly));
    rows.clear();
    ended = true;
    while (!device.atEnd()) {
        QStringList row;
        ended = csvhelper::utf8CSVRow(row, &device, false);
        rows.append(row);
    }
    QCOMPARE(rows, expected);
    QCOMPARE(ended, lastEnded);
}

void TestCsvHelper::guardsFormulas_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("guarded");

    QTest::newRow("formula") << QStringLiteral("=SUM(A1:A9)") << QStringLiteral("'=SUM(A1:A9)");
    QTest::newRow("leading tab") << QStringLiteral("\tx") << QStringLiteral("'\tx");
    QTest::newRow("leading CR") << QStringLiteral("\rx") << QStringLiteral("'\rx");
    QTest::newRow("phone number with plus") << QStringLiteral("+49 30 1234") << QStringLiteral("+49 30 1234");
    QTest::newRow("phone number with blanks and brackets") << QStringLiteral("+44 (0)20 7946-0000")
                                                           << QStringLiteral("+44 (0)20 7946-0000");
    QTest::newRow("negative number") << QStringLiteral("-12.5") << QStringLiteral("-12.5");
    QTest::newRow("text with minus") << QStringLiteral("-lead") << QStringLiteral("'-lead");
    QTest::newRow("formula behind a plus") << QStringLiteral("+HYPERLINK(\"http://x\")")
                                           << QStringLiteral("'+HYPERLINK(\"http://x\")");
    QTest::newRow("command behind a minus") << QStringLiteral("-2+3+cmd|' /C calc'!A0")
                                            << QStringLiteral("'-2+3+cmd|' /C calc'!A0");
    QTest::newRow("apostrophe before formula") << QStringLiteral("'=x") << QStringLiteral("''=x");
    QTest::newRow("apostrophes only") << QStringLiteral("''") << QStringLiteral("''");
}

void TestCsvHelper::guardsFormulas()
{
    QFETCH(QString, cell);
    QFETCH(QString, guarded);
    QCOMPARE(csvhelper::guardFormula(cell), guarded);
    QCOMPARE(csvhelper::unguardFormula(guarded), cell);
}

// A byte-order mark is passed over only when asked; rows with too few cells
// are passed over until one has enough.
void TestCsvHelper::skipsByteOrderMarkAndShortRows()
{
    QByteArray data("\xEF\xBB\xBFName,b\n");
    QBuffer marked(&data);
    QVERIFY(marked.open(QIODevice::ReadOnly));
    QStringList row;
    QVERIFY(csvhelper::utf8CSVRow(row, &marked, true));
    QCOMPARE(row, (QStringList { "Name", "b" }));
    marked.seek(0);
    row.clear();
    csvhelper::utf8CSVRow(row, &marked, false);
    QCOMPARE(row.first(), QString::fromUtf8("\xEF\xBB\xBFName"));

    QByteArray rows("a\n\nb,c\nd\n");
    QBuffer device(&rows);
    QVERIFY(device.open(QIODevice::ReadOnly));
    row.clear();
    QVERIFY(csvhelper::utf8CSVRowSkip(row, &device, 2));
    QCOMPARE(row, (QStringList { "b", "c" }));
    row.clear();
    QVERIFY(!csvhelper::utf8CSVRowSkip(row, &device, 2));
}

void TestCsvHelper::looksUpCellsByHeader_data()
{
    QTest::addColumn<QStringList>("header");
    QTest::addColumn<QStringList>("row");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("cell");

    const QStringList header { "A", "B", "A", "" };
    QTest::newRow("found") << header << QStringList { "1", "2", "3", "4" } << "B" << "2";
    QTest::newRow("repeated name maps to its last column") << header << QStringList { "1", "2", "3" } << "A" << "3";
    QTest::newRow("row too short") << header << QStringList { "1" } << "B" << "dflt";
    QTest::newRow("unknown name") << header << QStringList { "1", "2" } << "C" << "dflt";
    QTest::newRow("empty cell is a cell") << header << QStringList { "1", "" } << "B" << "";
    QTest::newRow("empty name is a name") << header << QStringList { "1", "2", "3", "4" } << "" << "4";
}

void TestCsvHelper::looksUpCellsByHeader()
{
    QFETCH(QStringList, header);
    QFETCH(QStringList, row);
    QFETCH(QString, name);
    QFETCH(QString, cell);
    QCOMPARE(csvhelper::getCell(csvhelper::toHeader(header), row, name, QStringLiteral("dflt")), cell);
}

QTEST_GUILESS_MAIN(TestCsvHelper)
#include "tst_csvhelper.moc"
