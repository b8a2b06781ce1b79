// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/vcardencoders.h"
#include "scratchfiles.h"
#include "fileformats/vcardimport.h"

#include <QFile>
#include <QTest>

#include <stdexcept>

namespace {

QByteArray card(const QByteArray& version, const QByteArray& body)
{
    return "BEGIN:VCARD\r\nVERSION:" + version + "\r\n" + body + "END:VCARD\r\n";
}

} // namespace

class TestVCardImport : public QObject {
    Q_OBJECT

private:
    ScratchFiles m_dir;

    QString writeFile(const QByteArray& bytes) { return m_dir.write(bytes, QStringLiteral("vcf")); }
    QList<pim::_Contact> readAll(const QByteArray& bytes)
    {
        VCardImport reader;
        reader.initialize(writeFile(bytes));
        QList<pim::_Contact> contacts;
        while (reader.hasNext())
            contacts.append(reader.nextContact());
        return contacts;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void keepsEarlierLoadWhenFileIsMissing();
    void readsCardsAcrossReadWindows();
};

void TestVCardImport::keepsEarlierLoadWhenFileIsMissing()
{
    VCardImport reader;
    reader.initialize(writeFile(card("3.0", "N:Doe;Jane\r\n")));
    const QString missing = m_dir.filePath(QStringLiteral("no-such.vcf"));
    QFile probe(missing);
    QVERIFY(!probe.open(QIODevice::ReadOnly));
    try {
        reader.initialize(missing);
        QFAIL("no exception for a missing file");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QString::fromUtf8(e.what()), probe.errorString());
    }
    QCOMPARE(reader.total(), 1);
    QCOMPARE(reader.nextContact().fullName, QStringLiteral("Jane Doe"));
}

// Cards are read through a window of the file and very large cards past
// it; both must give every card whole, in order.
void TestVCardImport::readsCardsAcrossReadWindows()
{
    QByteArray photo(1536 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < photo.size(); ++i)
        photo[i] = char((i * 131) >> 3);
    QByteArray file;
    for (int i = 0; i < 3000; ++i) {
        QByteArray body = "N:Family" + QByteArray::number(i) + ";Given\r\nNOTE:" + QByteArray(500, 'x') + "\r\n";
        if (i == 1500)
            body += "PHOTO;ENCODING=b:" + VCardEncoders::encodeBase64(photo, 75) + "\r\n";
        file += card(i % 2 ? "2.1" : "3.0", body);
    }
    QVERIFY(file.size() > 3 * 1024 * 1024);
    const QList<pim::_Contact> contacts = readAll(file);
    QCOMPARE(contacts.size(), 3000);
    for (int i = 0; i < 3000; ++i)
        QCOMPARE(contacts.at(i).fullName, QStringLiteral("Given Family%1").arg(i));
    QCOMPARE(contacts.at(1500).entities.value(pim::ENTITY_PHOTO).first().fields.value(QStringLiteral("data15")).toByteArray(),
             photo);
    QVERIFY(!contacts.at(1501).entities.contains(pim::ENTITY_PHOTO));
}

QTEST_GUILESS_MAIN(TestVCardImport)
#include "tst_vcardimport.moc"
