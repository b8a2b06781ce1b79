// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcard/vcardimport.h"
#include "../golden.h"
#include "vcardfuzzinput.h"

// Every data/vcard/<case>.vcf, which the import takes for cards, read as
// the import reads it, against <case>.expected, and read in small chunks as
// in one go.
class TestVCardGolden : public QObject {
    Q_OBJECT
private slots:
    void readsAsTheReferenceSays_data() { golden::addRows("vcard", QStringLiteral(".vcf")); }
    void readsAsTheReferenceSays()
    {
        QFETCH(QString, input);
        QFile head(input);
        QVERIFY(head.open(QIODevice::ReadOnly));
        using Import = ImportContactsToLocalThread;
        if (head.size() > 0)
            QCOMPARE(int(Import::typeOfContent(head.read(Import::kTypeProbeBytes), true).value_or(Import::TYPE(0))),
                     int(Import::TYPE_VCARD));
        VCardImport reader;
        golden::compareWithReference(golden::dumpImport(reader, input), input);
        // Read in small chunks, the file gives the same cards as in one go.
        QFile file(input);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        for (const qsizetype chunk : { 1, 7, 64 })
            QCOMPARE(vcardfuzz::parseAndMap(bytes, chunk), vcardfuzz::parseAndMap(bytes, bytes.size()));
    }
};

QTEST_GUILESS_MAIN(TestVCardGolden)
#include "tst_vcardgolden.moc"
