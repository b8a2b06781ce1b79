// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/csvhelper.h"
#include "scratchfiles.h"

#include <QFile>
#include <QTest>

#include <stdexcept>

using Rows = QList<QStringList>;

class TestCsvHelper : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void readsRows_data();
    void readsRows();
    void skipsByteOrderMarkWhenAsked_data();
    void skipsByteOrderMarkWhenAsked();
    void skipsShortRows();
    void throwsOnReadError();

    void countsRecords_data();
    void countsRecords();


    void guardsFormulas_data();
    void guardsFormulas();

    void detectsEncoding_data();
    void detectsEncoding();

    void looksUpCellsByHeader_data();
    void looksUpCellsByHeader();

private:
    QString writeFile(const QByteArray& bytes) { return m_dir.write(bytes, QStringLiteral("csv")); }

    ScratchFiles m_dir;
};

namespace {

Rows readAllFromMemory(const QByteArray& data, bool* lastEnded)
{
    Rows rows;
    qsizetype pos = 0;
    *lastEnded = true;
    while (pos < data.size()) {
        QStringList row;
        *lastEnded = csvhelper::readRow(data, pos, row);
        rows.append(row);
    }
    return rows;
}

Rows readAllFromDevice(QIODevice* device, bool* lastEnded)
{
    Rows rows;
    *lastEnded = true;
    while (!device->atEnd()) {
        QStringList row;
        *lastEnded = csvhelper::utf8CSVRow(row, device, false);
        rows.append(row);
    }
    return rows;
}

} // namespace

void TestCsvHelper::initTestCase() { QVERIFY(m_dir.isValid()); }

void TestCsvHelper::readsRows_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<Rows>("expected");
    QTest::addColumn<bool>("lastEnded");

    QTest::newRow("two plain cells ended by CR LF") << QByteArray("a,b\r\n") << Rows { { "a", "b" } } << true;
    QTest::newRow("quoted cell holding a comma") << QByteArray("\"a,b\",c\n") << Rows { { "a,b", "c" } } << true;
    QTest::newRow("doubled quotes") << QByteArray("\"say \"\"hi\"\"\"\n") << Rows { { "say \"hi\"" } } << true;
    QTest::newRow("line ending in a comma") << QByteArray("a,\n") << Rows { { "a", "" } } << true;
    QTest::newRow("quote inside unquoted cell opens quoting")
        << QByteArray("ab\"c,d\"e\n") << Rows { { "abc,de" } } << true;
    QTest::newRow("quote after a closed section is content")
        << QByteArray("\"a\"b\"c\n") << Rows { { "ab\"c" } } << true;
    QTest::newRow("CR LF inside quotes stays") << QByteArray("\"x\r\ny\",z\n") << Rows { { "x\r\ny", "z" } } << true;
    QTest::newRow("LF inside quotes spans lines")
        << QByteArray("\"line 1\nline 2\",b\nc,d\n") << Rows { { "line 1\nline 2", "b" }, { "c", "d" } } << true;
    QTest::newRow("lone CR ends a row") << QByteArray("a,b\rc,d\r") << Rows { { "a", "b" }, { "c", "d" } } << true;
    QTest::newRow("CR CR LF leaves a blank row")
        << QByteArray("a\r\r\nb\n") << Rows { { "a" }, { "" }, { "b" } } << true;
    QTest::newRow("last row without line end")
        << QByteArray("a,b\nc,d") << Rows { { "a", "b" }, { "c", "d" } } << false;
    QTest::newRow("unclosed quote runs to the end")
        << QByteArray("a,\"b,c\nd") << Rows { { "a", "b,c\nd" } } << false;
    QTest::newRow("multi-byte UTF-8")
        << QByteArray("Zo\xC3\xAB,\xE7\x8E\x8B\n") << Rows { { QString::fromUtf8("Zoë"), QString::fromUtf8("王") } }
        << true;
    QTest::newRow("zero byte kept inside a cell")
        << QByteArray("a\0b,c\n", 6) << Rows { { QString::fromUtf8("a\0b", 3), "c" } } << true;
    QTest::newRow("blanks are kept") << QByteArray(" a , b \n") << Rows { { " a ", " b " } } << true;
}

void TestCsvHelper::readsRows()
{
    QFETCH(QByteArray, data);
    QFETCH(Rows, expected);
    QFETCH(bool, lastEnded);

    bool ended = false;
    QCOMPARE(readAllFromMemory(data, &ended), expected);
    QCOMPARE(ended, lastEnded);

    // The device reader must split the same bytes the same way.
    QFile file(writeFile(data));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(readAllFromDevice(&file, &ended), expected);
    QCOMPARE(ended, lastEnded);
}

void TestCsvHelper::skipsByteOrderMarkWhenAsked_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("checkBom");
    QTest::addColumn<QStringList>("firstRow");

    QTest::newRow("mark skipped when asked") << QByteArray("\xEF\xBB\xBFName,b\n") << true << QStringList { "Name", "b" };
    QTest::newRow("mark kept when not asked")
        << QByteArray("\xEF\xBB\xBFName\n") << false << QStringList { QString::fromUtf8("\xEF\xBB\xBFName") };
    QTest::newRow("two bytes only") << QByteArray("ab") << true << QStringList { "ab" };
}

void TestCsvHelper::skipsByteOrderMarkWhenAsked()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, checkBom);
    QFETCH(QStringList, firstRow);

    QFile file(writeFile(data));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList row;
    csvhelper::utf8CSVRow(row, &file, checkBom);
    QCOMPARE(row, firstRow);
}

void TestCsvHelper::skipsShortRows()
{
    QFile file(writeFile("a\n\nb,c\nd\n"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList row;
    QVERIFY(csvhelper::utf8CSVRowSkip(row, &file, 2));
    QCOMPARE(row, (QStringList { "b", "c" }));
    row.clear();
    QVERIFY(!csvhelper::utf8CSVRowSkip(row, &file, 2));
}

void TestCsvHelper::throwsOnReadError()
{
    QFile file(writeFile("a,b\n"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append));
    QStringList row;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("device not open for reading|WriteOnly device"));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, csvhelper::utf8CSVRow(row, &file, false));
}

void TestCsvHelper::countsRecords_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("count");

    QTest::newRow("two LF rows") << QByteArray("a\nb\n") << 2;
    QTest::newRow("lone CR rows") << QByteArray("a\rb\r") << 2;
    QTest::newRow("last row without line end") << QByteArray("h\na") << 1;
    QTest::newRow("line end inside quotes") << QByteArray("\"x\ny\",z\nw\n") << 2;
}

void TestCsvHelper::countsRecords()
{
    QFETCH(QByteArray, data);
    QFETCH(int, count);
    QFile file(writeFile(data));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(csvhelper::totalRecords(&file), count);
    QVERIFY(file.atEnd());
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
    QTest::newRow("e-mail address") << QStringLiteral("me@example.org") << QStringLiteral("me@example.org");
    QTest::newRow("empty") << QString() << QString();
}

void TestCsvHelper::guardsFormulas()
{
    QFETCH(QString, cell);
    QFETCH(QString, guarded);
    QCOMPARE(csvhelper::guardFormula(cell), guarded);
    QCOMPARE(csvhelper::unguardFormula(guarded), cell);
}

void TestCsvHelper::detectsEncoding_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("encoding");

    QTest::newRow("plain UTF-8") << QByteArray("Caf\xC3\xA9") << QStringLiteral("Café") << "UTF-8";
    QTest::newRow("UTF-8 mark dropped") << QByteArray("\xEF\xBB\xBF" "a,b") << QStringLiteral("a,b") << "UTF-8";
    QTest::newRow("UTF-16LE mark")
        << QByteArray("\xFF\xFE" "a\0,\0\xE9\0\n\0", 10) << QStringLiteral("a,é\n") << "UTF-16LE";
    QTest::newRow("windows-1252 letters and euro")
        << QByteArray("Caf\xE9 \x80 \x93q\x94") << QStringLiteral("Café € “q”") << "windows-1252";
    QTest::newRow("one bad byte among good UTF-8 decides the whole file")
        << QByteArray("Zo\xC3\xAB \xFC") << QStringLiteral("ZoÃ« ü") << "windows-1252";
    QTest::newRow("truncated sequence at the end") << QByteArray("ab\xC3") << QStringLiteral("abÃ") << "windows-1252";
    QTest::newRow("four-byte UTF-8") << QByteArray("\xF0\x9F\x98\x80") << QStringLiteral("😀") << "UTF-8";
    QTest::newRow("empty file") << QByteArray() << QString() << "UTF-8";
}

void TestCsvHelper::detectsEncoding()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, text);
    QFETCH(QString, encoding);
    QString found;
    QCOMPARE(QString::fromUtf8(csvhelper::toUtf8Text(raw, &found)), text);
    QCOMPARE(found, encoding);
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
