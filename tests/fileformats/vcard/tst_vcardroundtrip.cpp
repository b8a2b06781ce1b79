// SPDX-License-Identifier: GPL-3.0-or-later
// Contacts written by the export thread as vCard and read back by our own
// reader: what comes back must be exactly what the reader's rules say
// survives the trip (codes outside the label tables fall back, a later
// photo takes the place of an earlier one), and nothing else changes.
#include "common/contactbuilders.h"
#include "common/imagebytes.h"
#include "fileformats/export/exporttofilethread.h"
#include "fileformats/vcard/syntax/vcardparser.h"
#include "fileformats/export/vcardencoders.h"
#include "fileformats/vcard/vcardimport.h"
#include "model/pimlabels.h"
#include "support/recordingreporter.h"
#include "support/timebounds.h"

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

    QTest::newRow("name parts, how they are spoken and a display name of its own")
        << contactOf("Dr John Q Smith Jr",
               { { pim::ENTITY_NAME,
                   { Fields { { "data1", "Johnny" }, { "data2", "John" }, { "data3", "Smith" },
                       { "data4", "Q" }, { "data5", "Dr" }, { "data6", "Jr" }, { "data7", "jon" },
                       { "data8", "smis" } } } } })
        << contactOf("Dr John Q Smith Jr",
               { { pim::ENTITY_NAME,
                   { Fields { { "data1", "Johnny" }, { "data2", "John" }, { "data3", "Smith" },
                       { "data4", "Q" }, { "data5", "Dr" }, { "data6", "Jr" }, { "data7", "jon" },
                       { "data8", "smis" } } } } });
    // Written as FN, such a display name would swap the parts on reading.
    QTest::newRow("display name that reads family first comes back built from the parts")
        << contactOf("John Smith",
               { { pim::ENTITY_NAME, { Fields { { "data1", "Smith John" }, { "data2", "John" }, { "data3", "Smith" } } } } })
        << contactOf("John Smith",
               { { pim::ENTITY_NAME, { Fields { { "data1", "John Smith" }, { "data2", "John" }, { "data3", "Smith" } } } } });
    QTest::newRow("name without a name entity comes from FN")
        << contactOf("Just FN") << contactOf("Just FN", { { pim::ENTITY_NAME, { Fields { { "data1", "Just FN" }, { "data2", "Just FN" } } } } });

    // A contact as written, a given name and the entities of one type; and
    // as read back, where the reader adds the display name to the name.
    const auto written = [](const QString& name, int type, const QList<QVariantMap>& list) {
        return contactOf(name, { { pim::ENTITY_NAME, { Fields { { "data2", name } } } }, { type, list } });
    };
    const auto readBack = [](const QString& name, int type, const QList<QVariantMap>& list) {
        return contactOf(name, { { pim::ENTITY_NAME, { Fields { { "data1", name }, { "data2", name } } } }, { type, list } });
    };
    {
        QList<QVariantMap> in, out;
        for (int subType = 0; subType <= 20; ++subType) {
            const QString number = QStringLiteral("+1 555 %1").arg(subType);
            in.append(Fields { { "data1", number }, { "data2", subType } });
            // 7 is no kind of the table: it goes out as a bare TEL.
            const bool carried = pim::phoneTypeMap().contains(subType);
            Fields back { { "data1", number }, { "data2", carried ? subType : 2 } };
            if (!carried)
                back.insert(pim::typeNotGivenKey(), true);
            out.append(back);
        }
        QTest::newRow("every phone sub-type") << written("p", pim::ENTITY_PHONE, in) << readBack("p", pim::ENTITY_PHONE, out);
    }
    {
        QList<QVariantMap> in, out;
        for (int subType : { 0, 1, 2, 3, 4 }) {
            const QString address = QStringLiteral("m%1@example.org").arg(subType);
            in.append(Fields { { "data1", address }, { "data2", subType } });
            out.append(Fields { { "data1", address }, { "data2", subType == 3 ? 0 : subType } });
        }
        QTest::newRow("every e-mail sub-type comes back, one without a word as Other")
            << written("e", pim::ENTITY_EMAIL, in) << readBack("e", pim::ENTITY_EMAIL, out);
    }
    QTest::newRow("dates by sub-type")
        << written("d", pim::ENTITY_EVENT,
               { Fields { { "data1", "2001-02-03T00:00:00" }, { "data2", 0 } },
                   Fields { { "data1", "1999-12-31T00:00:00" }, { "data2", 1 } },
                   Fields { { "data1", "1980-01-15T10:30:00" }, { "data2", 3 } },
                   Fields { { "data1", "1970-06-01T00:00:00" }, { "data2", 7 } } })
        << readBack("d", pim::ENTITY_EVENT,
               { Fields { { "data1", "2001-02-03T00:00:00" }, { "data2", 0 } },
                   Fields { { "data1", "1999-12-31T00:00:00" }, { "data2", 1 } },
                   Fields { { "data1", "1980-01-15T10:30:00" }, { "data2", 3 } },
                   Fields { { "data1", "1970-06-01T00:00:00" }, { "data2", 0 } } });
    // vCard 3.0 has one line break, "\n": a CR LF comes back as LF. A
    // nickname comes back without the blank it starts with, a note with its
    // own.
    QTest::newRow("every nickname, group and note; the merge keeps one nickname")
        << contactOf("s", { { pim::ENTITY_NAME, { Fields { { "data2", "s" } } } },
                              { pim::ENTITY_NICKNAME, { Fields { { "data1", "first" } }, Fields { { "data1", " Bobby, \\the; one" } } } },
                              { pim::ENTITY_GROUP, { Fields { { "data1", 3 }, { "data2", "Friends" } }, Fields { { "data2", "Work, Sales; \\EU" } } } },
                              { pim::ENTITY_NOTES, { Fields { { "data1", "old" } }, Fields { { "data1", QStringLiteral("  two\nlines, ü;\\n\r\nend ") } } } } })
        << contactOf("s", { { pim::ENTITY_NAME, { Fields { { "data1", "s" }, { "data2", "s" } } } },
                              { pim::ENTITY_NICKNAME, { Fields { { "data1", "first" } }, Fields { { "data1", "Bobby, \\the; one" } } } },
                              { pim::ENTITY_GROUP, { Fields { { "data2", "Friends" } }, Fields { { "data2", "Work, Sales; \\EU" } } } },
                              { pim::ENTITY_NOTES, { Fields { { "data1", "old" } }, Fields { { "data1", QStringLiteral("  two\nlines, ü;\\n\nend ") } } } } });
    // A family name comes back without the blank it starts with, and the
    // contact under the name its parts make; FN, which says otherwise, is
    // the display name.
    QTest::newRow("family name that starts with a blank")
        << contactOf(
               "Ann  Lead", { { pim::ENTITY_NAME, { Fields { { "data2", "Ann" }, { "data3", " Lead" } } } } })
        << contactOf("Ann Lead",
               { { pim::ENTITY_NAME,
                   { Fields { { "data1", "Ann  Lead" }, { "data2", "Ann" }, { "data3", "Lead" } } } } });
    // Values stored with blanks and tabs at their ends, as earlier builds
    // read them from tables and phones' exports, come back without them,
    // each part of the name and of the address on its own, and nothing
    // inside a value changes; a note keeps its own. The contact is listed
    // under the name its parts make; the full name written, which the blank
    // parts made and which says otherwise, is the display name, trimmed at
    // its ends only.
    QTest::newRow("values stored with blanks at their ends come back without them, a note with its own")
        << contactOf("Ida   Lindqvist",
               { { pim::ENTITY_NAME, { Fields { { "data2", "Ida " }, { "data3", " Lindqvist" } } } },
                   { pim::ENTITY_PHONE, { Fields { { "data1", " 555 0100 " }, { "data2", 2 } } } },
                   { pim::ENTITY_EMAIL, { Fields { { "data1", " ida@example.org" }, { "data2", 1 } } } },
                   { pim::ENTITY_NICKNAME, { Fields { { "data1", "Iddy\t" } } } },
                   { pim::ENTITY_GROUP, { Fields { { "data2", " Friends " } } } },
                   { pim::ENTITY_IM, { Fields { { "data1", " ida.l " }, { "data2", 1 }, { "data5", 4 } } } },
                   { pim::ENTITY_NOTES, { Fields { { "data1", "  call after six \t" } } } },
                   { pim::ENTITY_ORG,
                       { Fields { { "data1", "Acme " }, { "data4", " Buyer" }, { "data5", " Sales " } } } },
                   { pim::ENTITY_REL, { Fields { { "data1", " Per Lindqvist " }, { "data2", 14 } } } },
                   { pim::ENTITY_ADDR,
                       { Fields { { "data2", 1 }, { "data4", " Storgatan  1 " }, { "data7", "Uppsala " },
                           { "data9", " 123 45 " }, { "data10", " Sweden" } } } },
                   { pim::ENTITY_URL, { Fields { { "data1", "https://ida.example " }, { "data2", 1 } } } } })
        << contactOf("Ida Lindqvist",
               { { pim::ENTITY_NAME,
                     { Fields {
                         { "data1", "Ida   Lindqvist" }, { "data2", "Ida" }, { "data3", "Lindqvist" } } } },
                   { pim::ENTITY_PHONE, { Fields { { "data1", "555 0100" }, { "data2", 2 } } } },
                   { pim::ENTITY_EMAIL, { Fields { { "data1", "ida@example.org" }, { "data2", 1 } } } },
                   { pim::ENTITY_NICKNAME, { Fields { { "data1", "Iddy" } } } },
                   { pim::ENTITY_GROUP, { Fields { { "data2", "Friends" } } } },
                   { pim::ENTITY_IM, { Fields { { "data1", "ida.l" }, { "data2", 1 }, { "data5", 4 } } } },
                   { pim::ENTITY_NOTES, { Fields { { "data1", "  call after six \t" } } } },
                   { pim::ENTITY_ORG,
                       { Fields { { "data1", "Acme" }, { "data4", "Buyer" }, { "data5", "Sales" } } } },
                   { pim::ENTITY_REL, { Fields { { "data1", "Per Lindqvist" }, { "data2", 14 } } } },
                   { pim::ENTITY_ADDR,
                       { Fields { { "data1", "Storgatan  1\nUppsala, 123 45\nSweden" }, { "data2", 1 },
                           { "data4", "Storgatan  1" }, { "data7", "Uppsala" }, { "data9", "123 45" },
                           { "data10", "Sweden" } } } },
                   { pim::ENTITY_URL, { Fields { { "data1", "https://ida.example" }, { "data2", 1 } } } } });
    {
        QList<QVariantMap> in, out;
        for (int protocol = 0; protocol <= 12; ++protocol) {
            const QString handle = QStringLiteral("user%1").arg(protocol);
            in.append(Fields { { "data1", handle }, { "data2", 2 }, { "data5", protocol }, { "data6", "custom" } });
            out.append(Fields { { "data1", handle }, { "data2", 2 }, { "data5", protocol <= 11 ? protocol : 0 },
                { "data6", "custom" } });
        }
        QTest::newRow("every IM protocol") << written("i", pim::ENTITY_IM, in) << readBack("i", pim::ENTITY_IM, out);
    }
    {
        // Every kind whose label the reader keeps, each an item of its own;
        // an unlabelled phone between them keeps its sub-type.
        const QMap<int, QList<QVariantMap>> labelled {
            { pim::ENTITY_PHONE,
                { Fields { { "data1", "+34 91 555 01" }, { "data2", 0 }, { "data3", "Oficina central" } },
                    Fields { { "data1", "+34 600 1" }, { "data2", 2 } },
                    Fields { { "data1", "+34 91 555 02" }, { "data2", 0 }, { "data3", "Casa, de; \\verano" } } } },
            { pim::ENTITY_EMAIL,
                { Fields { { "data1", "f@example.es" }, { "data2", 0 }, { "data3", "Facturas" } },
                    Fields { { "data1", "red@example.es" }, { "data2", 0 }, { "data3", "Internet" } } } },
            { pim::ENTITY_EVENT, { Fields { { "data1", "2010-06-05T00:00:00" }, { "data2", 0 }, { "data3", "Boda" } } } },
            { pim::ENTITY_IM, { Fields { { "data1", "jugador" }, { "data2", 0 }, { "data3", "Juegos" }, { "data5", 4 } } } },
            { pim::ENTITY_URL, { Fields { { "data1", "http://tienda.example" }, { "data2", 0 }, { "data3", "Tienda" } } } },
        };
        pim::_Contact in = contactOf("l", { { pim::ENTITY_NAME, { Fields { { "data2", "l" } } } } });
        pim::_Contact out = contactOf("l", { { pim::ENTITY_NAME, { Fields { { "data1", "l" }, { "data2", "l" } } } } });
        for (auto it = labelled.cbegin(); it != labelled.cend(); ++it) {
            for (const QVariantMap& fields : it.value()) {
                in.entities[it.key()].append(testkit::entityOf(fields));
                out.entities[it.key()].append(testkit::entityOf(fields));
            }
        }
        const Fields address { { "data2", 0 }, { "data3", "Casa de verano" }, { "data4", "Calle Mayor 1" } };
        in.entities[pim::ENTITY_ADDR].append(testkit::entityOf(address));
        Fields addressBack = address;
        addressBack.insert("data1", "Calle Mayor 1");
        out.entities[pim::ENTITY_ADDR].append(testkit::entityOf(addressBack));
        QTest::newRow("labels of their own come back on phones, e-mail, dates, IM, sites and addresses") << in << out;
    }
    {
        // Every escape at every place a fold may fall.
        QList<QVariantMap> notes;
        for (int lead = 60; lead <= 80; ++lead)
            notes.append(Fields { { "data1", QString(lead, u'a') + QStringLiteral("\\,;\né\\n Segunda línea, con coma; y punto y coma") } });
        QTest::newRow("notes with escapes wherever a line folds") << written("n", pim::ENTITY_NOTES, notes)
                                                                 << readBack("n", pim::ENTITY_NOTES, notes);
    }
    // A label of its own comes back as Other with the label, as on every
    // labelled kind; a title alone keeps its kind too.
    QTest::newRow("organisations: each comes back with its own title and kind")
        << written("o", pim::ENTITY_ORG,
               { Fields { { "data1", "Old Co" }, { "data4", "Intern" }, { "data5", "Ops; Lab 3" } },
                   Fields { { "data1", "Acme; Inc, \\Ltd" }, { "data2", 1 }, { "data3", "x" }, { "data4", "Lead; QA, \\ops" },
                       { "data5", QStringLiteral("研发部") } },
                   Fields { { "data1", "Globex" }, { "data2", 1 }, { "data4", "Adviser" } },
                   Fields { { "data2", 1 }, { "data4", "Consultant" } } })
        << readBack("o", pim::ENTITY_ORG,
               { Fields { { "data1", "Old Co" }, { "data4", "Intern" }, { "data5", "Ops; Lab 3" } },
                   Fields { { "data1", "Acme; Inc, \\Ltd" }, { "data2", 0 }, { "data3", "x" }, { "data4", "Lead; QA, \\ops" },
                       { "data5", QStringLiteral("研发部") } },
                   Fields { { "data1", "Globex" }, { "data2", 1 }, { "data4", "Adviser" } },
                   Fields { { "data2", 1 }, { "data4", "Consultant" } } });
    {
        const QList<QVariantMap> orgs { Fields { { "data1", "Acme" } }, Fields { { "data1", "Beta" }, { "data4", "CEO" } },
                                        Fields { { "data4", "Coach" } }, Fields { { "data1", "Globex" }, { "data5", "Ops" } } };
        QTest::newRow("organisations: a company without a title and a title without a company stay apart")
            << written("o", pim::ENTITY_ORG, orgs) << readBack("o", pim::ENTITY_ORG, orgs);
    }
    {
        QList<QVariantMap> in, out;
        for (int subType = 0; subType <= 15; ++subType) {
            const QString name = QStringLiteral("Rel %1").arg(subType);
            // Other with a label of its own.
            const QString label = subType == 0 ? QStringLiteral("Madrina") : QString();
            in.append(Fields { { "data1", name }, { "data2", subType }, { "data3", label } });
            Fields back { { "data1", name }, { "data2", subType <= 14 ? subType : 0 }, { "data3", label } };
            if (subType > 14)
                back.insert(pim::typeNotGivenKey(), true); // an X-REL without TYPE
            out.append(back);
        }
        QTest::newRow("every relation sub-type") << written("r", pim::ENTITY_REL, in) << readBack("r", pim::ENTITY_REL, out);
    }
    {
        QList<QVariantMap> in, out;
        for (int subType = 0; subType <= 7; ++subType) {
            const QString url = QStringLiteral("http://example.org/%1?a=b,c;d\\e").arg(subType);
            in.append(Fields { { "data1", url }, { "data2", subType } });
            out.append(Fields { { "data1", url }, { "data2", subType <= 6 ? subType : 0 } });
        }
        QTest::newRow("every website sub-type") << written("u", pim::ENTITY_URL, in) << readBack("u", pim::ENTITY_URL, out);
    }
    {
        const QByteArray image = testkit::imageBytes(QSize(40, 30), "JPEG");
        QTest::newRow("photo bytes") << written("ph", pim::ENTITY_PHOTO, { Fields { { "data4", "hash" }, { "data15", image } } })
                                     << readBack("ph", pim::ENTITY_PHOTO, { Fields { { "data15", image } } });
    }
    // The reader adds the display name to the name.
    QTest::newRow("addresses by sub-type, formatted text recomputed")
        << contactOf("a",
               { { pim::ENTITY_NAME, { Fields { { "data2", "a" } } } },
                   { pim::ENTITY_ADDR,
                       { Fields { { "data1", "stale" }, { "data2", 1 },
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
                           Fields { { "data1", QStringLiteral("12345\n中国") }, { "data2", 0 }, { "data9", "12345" },
                               { "data10", QStringLiteral("中国") } },
                           Fields { { "data1", "lead" }, { "data2", 0 }, { "data4", "lead" } } } } });
    QString longText;
    for (int i = 0; i < 50; ++i)
        longText += QStringLiteral("Grüße 王伟 =; ");
    const pim::_Contact hard = contactOf(" Zoë\n王, \\x",
        { { pim::ENTITY_NAME,
              { Fields { { "data2", " Zoë;\nA" }, { "data3", "O'Brien, \\Jr" }, { "data4", longText } } } },
            { pim::ENTITY_PHONE, { Fields { { "data1", " 555,12\\34" }, { "data2", 2 } } } },
            { pim::ENTITY_EMAIL, { Fields { { "data1", "a,b\\c@d.e" } } } },
            { pim::ENTITY_IM, { Fields { { "data1", "\tim;, \\user\n2" }, { "data5", 4 } } } },
            { pim::ENTITY_REL, { Fields { { "data1", "\t" + longText }, { "data2", 14 } } } },
            { pim::ENTITY_URL, { Fields { { "data1", "http://x/\\\n" }, { "data2", 1 } } } } });
    // Read back, the full name is made from the name parts, and the full
    // name written, which differs, is kept as the display name without the
    // blank it starts with; the e-mail and IM keep their sub-type (Other);
    // the name parts, the number, the messaging address and the related
    // person lose the blanks and tabs at their ends. Everything else is as
    // written.
    const QString longTextBack = longText.chopped(1);
    pim::_Contact hardBack = hard;
    hardBack.entities[pim::ENTITY_NAME][0].fields.insert("data2", QStringLiteral("Zoë;\nA"));
    hardBack.entities[pim::ENTITY_NAME][0].fields.insert("data4", longTextBack);
    hardBack.entities[pim::ENTITY_PHONE][0].fields.insert("data1", "555,12\\34");
    hardBack.entities[pim::ENTITY_IM][0].fields.insert("data1", "im;, \\user\n2");
    hardBack.entities[pim::ENTITY_REL][0].fields.insert("data1", longTextBack);
    hardBack.fullName = QStringLiteral("Zoë;\nA ") + longTextBack + QStringLiteral(" O'Brien, \\Jr");
    hardBack.entities[pim::ENTITY_NAME][0].fields.insert("data1", hard.fullName.trimmed());
    hardBack.entities[pim::ENTITY_EMAIL][0].fields.insert("data2", 0);
    hardBack.entities[pim::ENTITY_IM][0].fields.insert("data2", 0);
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
    QVERIFY(thread.wait(timebound::kWaitMs));
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
    QTest::newRow("quoted-printable soft breaks at 8, 3.0") << false << 8 << QByteArray("3.0");
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
