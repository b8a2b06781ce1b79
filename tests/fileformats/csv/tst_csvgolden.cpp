// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/csv/csvimport.h"
#include "../golden.h"

// Every data/csv/<case>.csv read as the import reads it, against
// <case>.expected.
class TestCsvGolden : public QObject {
    Q_OBJECT
private slots:
    void readsAsTheReferenceSays_data() { golden::addRows("csv", QStringLiteral(".csv")); }
    void readsAsTheReferenceSays()
    {
        QFETCH(QString, input);
        CSVImport reader;
        golden::compareWithReference(golden::dumpImport(reader, input), input);
    }
};

QTEST_GUILESS_MAIN(TestCsvGolden)
#include "tst_csvgolden.moc"
