// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/csvexport.h"
#include "fileformats/txtexport.h"
#include "fileformats/vcardexport.h"
#include "golden.h"

#include <memory>

// Every data/export/<format>-<case>.contacts written by the <format> writer
// (csv, txt or vcf), byte for byte against <format>-<case>.expected.
class TestExportGolden : public QObject {
    Q_OBJECT
private slots:
    void writesAsTheReferenceSays_data() { golden::addRows("export", QStringLiteral(".contacts")); }
    void writesAsTheReferenceSays()
    {
        QFETCH(QString, input);
        QFile file(input);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<pim::_Contact> contacts = golden::parseContacts(QString::fromUtf8(file.readAll()));
        const QString format = QFileInfo(input).fileName().section(QLatin1Char('-'), 0, 0);
        std::unique_ptr<AbsExport> writer;
        if (format == QLatin1String("csv"))
            writer = std::make_unique<CSVExport>();
        else if (format == QLatin1String("txt"))
            writer = std::make_unique<TxtExport>();
        else if (format == QLatin1String("vcf"))
            writer = std::make_unique<VCardExport>();
        QVERIFY2(writer, "the file name starts with csv-, txt- or vcf-");
        QByteArray out = writer->initialize(contacts);
        for (const pim::_Contact& c : contacts)
            out += writer->ct2Bytes(c);
        out += writer->uninitialize();
        const QString fault = golden::compareWithFile(out, golden::expectedPathFor(input));
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
    }
};

QTEST_GUILESS_MAIN(TestExportGolden)
#include "tst_exportgolden.moc"
