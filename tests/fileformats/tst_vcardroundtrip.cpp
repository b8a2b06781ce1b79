// SPDX-License-Identifier: GPL-3.0-or-later
// Contacts written by the export thread as vCard and read back by our own
// reader: what comes back must be exactly what the reader's rules say
// survives the trip (sub-types the format cannot carry fall back, labels and
// extra entities of single-valued types are lost), and nothing else changes.
#include "common/contactbuilders.h"
#include "fileformats/exporttofilethread.h"
#include "fileformats/qvcardparser.h"
#include "fileformats/vcardencoders.h"
#include "fileformats/vcardimport.h"
#include "support/recordingreporter.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using testkit::contactOf;
using Fields = QVariantMap;

namespace {

// A contact as comparable text: one line per entity with its non-empty
// fields. An absent key and an empty one mean the same to the user.
QStringList flatten(const pim::_Contact& c)
{
    QStringList out;
    for (auto it = c.entities.cbegin(); it != c.entities.cend(); ++it) {
        for (const pim::Entity& e : it.value()) {
            QStringList kv;
            for (auto f = e.fields.cbegin(); f != e.fields.cend(); ++f) {
                const QString value = pim::fieldText(f.value());
                if (!value.isEmpty())
                    kv.append(f.key() + "=" + value);
            }
            out.append(QString::number(it.key()) + "{" + kv.join(", ") + "}");
        }
    }
    return out;
}

} // namespace

class TestVCardRoundTrip : public QObject {
    Q_OBJECT
private slots:
    void readsBackWhatSurvives_data();
    void readsBackWhatSurvives();
    void readsBackEncodedValues_data();
    void readsBackEncodedValues();
};

void TestVCardRoundTrip::readsBackWhatSurvives_data()
{
    QTest::addColumn<pim::_Contact>("input");
    QTest::addColumn<pim::_Contact>("expected");

    QTest::newRow("name parts; display name and phonetic names are not written")
        << contactOf("Dr John Q Smith Jr",
               { { pim::ENTITY_NAME,
                   { Fields { { "data1", "stale" }, { "data2", "John" }, { "data3", "Smith" },
                       { "data4", "Q" }, { "data5", "Dr" }, { "data6", "Jr" }, { "data7", "jon" },
                       { "data8", "smis" } } } } })
        << contactOf("Dr John Q Smith Jr",
               { { pim::ENTITY_NAME,
                   { Fields { { "data1", "Dr John Q Smith Jr" }, { "data2", "John" }, { "data3", "Smith" },
                       { "data4", "Q" }, { "data5", "Dr" }, { "data6", "Jr" } } } } });
    // The reader adds the display name to the name.
    QTest::newRow("addresses by sub-type, formatted text recomputed")
        << contactOf("a",
               { { pim::ENTITY_NAME, { Fields { { "data2", "a" } } } },
                   { pim::ENTITY_ADDR,
                       { Fields { { "data1", "stale" }, { "data2", 1 }, { "data3", "l" },
                             { "data4", "1 Main St" }, { "data7", QStringLiteral("Köln") },
                             { "data8", "NRW" }, { "data9", "50667" }, { "data10", "DE" },
                             { "data11", "de" } },
                           Fields { { "data2", 2 }, { "data4", "Line 1\nLine 2; Unit \\3, rear" },
                               { "data7", "Town" } },
                           Fields {
                               { "data2", 0 }, { "data9", "12345" }, { "data10", QStringLiteral("中国") } },
                           Fields { { "data2", 3 }, { "data4", " lead" } } } } })
        << contactOf("a",
               { { pim::ENTITY_NAME, { Fields { { "data1", "a" }, { "data2", "a" } } } },
                   { pim::ENTITY_ADDR,
                       { Fields { { "data1", QStringLiteral("1 Main St\nKöln, NRW 50667\nDE") },
                             { "data2", 1 }, { "data4", "1 Main St" }, { "data7", QStringLiteral("Köln") },
                             { "data8", "NRW" }, { "data9", "50667" }, { "data10", "DE" } },
                           Fields { { "data1", "Line 1\nLine 2; Unit \\3, rear\nTown" }, { "data2", 2 },
                               { "data4", "Line 1\nLine 2; Unit \\3, rear" }, { "data7", "Town" } },
                           Fields { { "data1", QStringLiteral("中国") }, { "data2", 0 }, { "data9", "12345" },
                               { "data10", QStringLiteral("中国") } },
                           Fields { { "data1", "lead" }, { "data2", 0 }, { "data4", " lead" } } } } });
    QString longText;
    for (int i = 0; i < 50; ++i)
        longText += QStringLiteral("Grüße 王伟 =; ");
    const pim::_Contact hard = contactOf(" Zoë\n王, \\x",
        { { pim::ENTITY_NAME,
              { Fields { { "data2", " Zoë;\nA" }, { "data3", "O'Brien, \\Jr" }, { "data4", longText } } } },
            { pim::ENTITY_PHONE, { Fields { { "data1", " 555,12\\34" }, { "data2", 2 } } } },
            { pim::ENTITY_EMAIL, { Fields { { "data1", "a,b\\c@d.e" } } } },
            { pim::ENTITY_IM, { Fields { { "data1", "\tim;, \\user\n2" }, { "data5", 4 } } } },
            { pim::ENTITY_REL, { Fields { { "data1", longText }, { "data2", 14 } } } },
            { pim::ENTITY_URL, { Fields { { "data1", "http://x/\\\n" }, { "data2", 1 } } } } });
    // Read back, the full name is made from the name parts, which also keep
    // it; the e-mail keeps its sub-type (Other), IM gets the default one.
    // Everything else is as written.
    pim::_Contact hardBack = hard;
    hardBack.fullName = QStringLiteral("Zoë;\nA ") + longText + QStringLiteral(" O'Brien, \\Jr");
    hardBack.entities[pim::ENTITY_NAME][0].fields.insert("data1", hardBack.fullName);
    hardBack.entities[pim::ENTITY_EMAIL][0].fields.insert("data2", 0);
    hardBack.entities[pim::ENTITY_IM][0].fields.insert("data2", 1);
    QTest::newRow("hard text in names, numbers and links") << hard << hardBack;
}

void TestVCardRoundTrip::readsBackWhatSurvives()
{
    QFETCH(pim::_Contact, input);
    QFETCH(pim::_Contact, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("roundtrip.vcf");
    // A neighbour on each side proves no value leaks into the next card.
    const pim::_Contact before
        = contactOf("Before", { { pim::ENTITY_NAME, { Fields { { "data2", "Before" } } } } });
    const pim::_Contact after
        = contactOf("After", { { pim::ENTITY_NAME, { Fields { { "data2", "After" } } } } });
    RecordingReporter reporter;
    ExportToFileThread thread({ before, input, after }, ExportToFileThread::TYPE_VCARD, path, &reporter);
    thread.start();
    QVERIFY(thread.wait(60000));
    QCOMPARE(reporter.errors(), QStringList());

    VCardImport reader;
    reader.initialize(path);
    QCOMPARE(reader.total(), 3);
    QCOMPARE(reader.nextContact().fullName, QStringLiteral("Before"));
    const pim::_Contact back = reader.nextContact();
    QCOMPARE(reader.nextContact().fullName, QStringLiteral("After"));
    QVERIFY(!reader.hasNext());
    QCOMPARE(reader.skippedCount(), 0);

    QCOMPARE(back.fullName, expected.fullName);
    QCOMPARE(flatten(back), flatten(expected));
}

void TestVCardRoundTrip::readsBackEncodedValues_data()
{
    QTest::addColumn<bool>("base64");
    QTest::addColumn<int>("lineLength");
    QTest::addColumn<QByteArray>("version");
    QTest::newRow("quoted-printable on one line, 2.1") << false << 0 << QByteArray("2.1");
    QTest::newRow("quoted-printable soft breaks at 8, 2.1") << false << 8 << QByteArray("2.1");
    QTest::newRow("base64 folded at 75, 2.1") << true << 75 << QByteArray("2.1");
    QTest::newRow("base64 folded at 75, 3.0") << true << 75 << QByteArray("3.0");
}

// Random bytes through our own encoder and back through the parser, fed in
// random chunks; the property after the value must survive too.
void TestVCardRoundTrip::readsBackEncodedValues()
{
    QFETCH(bool, base64);
    QFETCH(int, lineLength);
    QFETCH(QByteArray, version);
    QRandomGenerator rng(4711u + quint32(lineLength) + quint32(version.at(0)));
    for (int round = 0; round < 200; ++round) {
        QByteArray data(int(rng.bounded(1, 600)), Qt::Uninitialized);
        for (char& c : data)
            c = char(rng.bounded(256));
        const QByteArray property = base64
            ? "PHOTO;ENCODING=b;TYPE=JPEG:" + VCardEncoders::encodeBase64(data, lineLength)
            : "NOTE;ENCODING=QUOTED-PRINTABLE:" + VCardEncoders::encodeQuoted(data, lineLength);
        const QByteArray file
            = "BEGIN:VCARD\r\nVERSION:" + version + "\r\n" + property + "\r\nFN:after\r\nEND:VCARD\r\n";
        const auto cards = QVCardParser::parseChunked(file, 1 + qsizetype(rng.bounded(100)));
        QCOMPARE(cards.size(), 1);
        QCOMPARE(cards.first().size(), 3);
        QCOMPARE(cards.first().at(1).value, data);
        QCOMPARE(cards.first().at(2).value, QByteArray("after"));
    }
}

QTEST_GUILESS_MAIN(TestVCardRoundTrip)
#include "tst_vcardroundtrip.moc"
