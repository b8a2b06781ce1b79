// SPDX-License-Identifier: GPL-3.0-or-later
// Which file, and which type, a save dialog's answer writes: the typed name
// wins over the selected type when it ends in an offered extension.
#include "app/filechooser.h"

#include <QTest>

class TestSaveTarget : public QObject {
    Q_OBJECT
private slots:
    void typedExtensionDecides_data();
    void typedExtensionDecides();
};

namespace {

// The export dialog's offer, in its order.
const QStringList kSuffixes { ".vcf", ".csv", ".txt", ".html", ".doc", ".pdf" };
enum { VCF, CSV, TXT, HTML, DOC, PDF };

} // namespace

void TestSaveTarget::typedExtensionDecides_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("type");

    QTest::newRow("no extension: the selected type's is added") << "/h/contacts" << int(VCF) << "/h/contacts.vcf" << int(VCF);
    QTest::newRow("the selected type's own extension") << "/h/contacts.vcf" << int(VCF) << "/h/contacts.vcf" << int(VCF);
    QTest::newRow("another offered extension decides") << "/h/contacts.csv" << int(VCF) << "/h/contacts.csv" << int(CSV);
    QTest::newRow("upper case extension decides, name kept") << "/h/LIST.CSV" << int(VCF) << "/h/LIST.CSV" << int(CSV);
    QTest::newRow("mixed case extension") << "/h/list.Vcf" << int(PDF) << "/h/list.Vcf" << int(VCF);
    QTest::newRow("only the last extension counts") << "/h/archive.tar.vcf" << int(CSV) << "/h/archive.tar.vcf" << int(VCF);
    QTest::newRow("an extension not offered gets the selected one") << "/h/archive.tar" << int(VCF) << "/h/archive.tar.vcf" << int(VCF);
    QTest::newRow("a dot inside the name is no extension") << "/h/J. Smith" << int(CSV) << "/h/J. Smith.csv" << int(CSV);
    QTest::newRow("a name ending in a dot") << "/h/contacts." << int(TXT) << "/h/contacts.txt" << int(TXT);
    QTest::newRow("a dotted folder, a plain name") << "/h/a.csv/list" << int(VCF) << "/h/a.csv/list.vcf" << int(VCF);
    QTest::newRow(".doc is the Word entry, not HTML") << "/h/page.doc" << int(HTML) << "/h/page.doc" << int(DOC);
    QTest::newRow(".html typed with Word selected") << "/h/page.html" << int(DOC) << "/h/page.html" << int(HTML);
    QTest::newRow("an extension that only starts like one") << "/h/list.csvx" << int(PDF) << "/h/list.csvx.pdf" << int(PDF);
    QTest::newRow("a typed extension with no type selected") << "/h/list.txt" << -1 << "/h/list.txt" << int(TXT);
    QTest::newRow("no extension, no type selected: nothing") << "/h/list" << -1 << "/h/list" << -1;
}

void TestSaveTarget::typedExtensionDecides()
{
    QFETCH(QString, typed);
    QFETCH(int, selected);
    QFETCH(QString, path);
    QFETCH(int, type);
    const SaveTarget target = saveTargetOf(typed, kSuffixes, selected);
    QCOMPARE(target.path, path);
    QCOMPARE(target.type, type);
}

QTEST_GUILESS_MAIN(TestSaveTarget)
#include "tst_savetarget.moc"
