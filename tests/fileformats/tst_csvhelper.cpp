// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/csvhelper.h"

#include <QTest>

using Rows = QList<QStringList>;

class TestCsvHelper : public QObject {
    Q_OBJECT
private slots:
    void readsRows_data();
    void readsRows();

    void guardsFormulas_data();
    void guardsFormulas();
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
}

void TestCsvHelper::guardsFormulas_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("guarded");

    QTest::newRow("formula") << QStringLiteral("=SUM(A1:A9)") << QStringLiteral("'=SUM(A1:A9)");
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

QTEST_GUILESS_MAIN(TestCsvHelper)
#include "tst_csvhelper.moc"
