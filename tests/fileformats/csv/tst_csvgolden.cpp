// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/csv/csvimport.h"
#include "../golden.h"

// Every data/csv/<case>.csv read as the import reads it, against
// <case>.expected, after the import took it for a table by its content.
class TestCsvGolden : public QObject {
    Q_OBJECT
private slots:
    void readsAsTheReferenceSays_data() { golden::addRows("csv", QStringLiteral(".csv")); }
    void readsAsTheReferenceSays()
    {
        QFETCH(QString, input);
        QFile file(input);
        QVERIFY(file.open(QIODevice::ReadOnly));
        using Import = ImportContactsToLocalThread;
        const auto kind = Import::typeOfContent(file.read(Import::kTypeProbeBytes), false);
        QCOMPARE(int(kind.value_or(Import::TYPE(0))), int(Import::TYPE_CSV));
        CSVImport reader;
        golden::compareWithReference(golden::dumpImport(reader, input), input);
    }
};

QTEST_GUILESS_MAIN(TestCsvGolden)
#include "tst_csvgolden.moc"
