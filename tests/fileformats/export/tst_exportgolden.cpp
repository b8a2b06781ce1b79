// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/export/exportwriterfactory.h"
#include "../golden.h"

#include <QTemporaryDir>

#include <memory>

// Every data/export/<format>-<case>.contacts written by the <format> writer
// (csv, txt, vcf or html), byte for byte against <format>-<case>.expected.
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
        // The file name starts with the format; its place in this list is the
        // export thread's type number.
        const QString format = QFileInfo(input).fileName().section(QLatin1Char('-'), 0, 0);
        const int type = int(QStringList { "", "vcf", "csv", "txt", "html" }.indexOf(format));
        // The page's pictures go into a folder beside it; the page itself is
        // the reference.
        QTemporaryDir pageFolder;
        const std::unique_ptr<AbsExport> writer = createExportWriter(type, type == 4 ? pageFolder.path() : input);
        QVERIFY2(type > 0 && writer, "the file name starts with vcf-, csv-, txt- or html-");
        QByteArray out = writer->initialize(contacts);
        for (const pim::_Contact& c : contacts)
            out += writer->ct2Bytes(c);
        out += writer->uninitialize();
        golden::compareWithReference(out, input);
    }
};

QTEST_GUILESS_MAIN(TestExportGolden)
#include "tst_exportgolden.moc"
