// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcardimport.h"
#include "golden.h"

// Every data/vcard/<case>.vcf read as the import reads it, against
// <case>.expected.
class TestVCardGolden : public QObject {
    Q_OBJECT
private slots:
    void readsAsTheReferenceSays_data() { golden::addRows("vcard", QStringLiteral(".vcf")); }
    void readsAsTheReferenceSays()
    {
        QFETCH(QString, input);
        VCardImport reader;
        const QString fault = golden::compareWithFile(golden::dumpImport(reader, input), golden::expectedPathFor(input));
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }
};

QTEST_GUILESS_MAIN(TestVCardGolden)
#include "tst_vcardgolden.moc"
