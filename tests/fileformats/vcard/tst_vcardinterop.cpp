// SPDX-License-Identifier: GPL-3.0-or-later
// Our vCard files must read the same in an independent implementation: the
// test exports through the real thread, lets python3-vobject parse the file
// and compares every property it sees with what the contact holds.
#include "common/contactbuilders.h"
#include "fileformats/export/exporttofilethread.h"
#include "support/recordingreporter.h"
#include "support/timebounds.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using testkit::contactOf;
using Fields = QVariantMap;

class TestVCardInterop : public QObject {
    Q_OBJECT
private slots:
    void readsTheSameInVobject_data();
    void readsTheSameInVobject();
};

namespace {

// One property as vobject_check.py prints it: name, TYPE values, the label
// of its item, value (text, or a list of parts), the messaging service of
// its item.
QString prop(const char* name, const QStringList& types, const QString& label, const QJsonValue& value,
             const QString& service = QString())
{
    const QJsonArray p { QLatin1String(name), QJsonArray::fromStringList(types), label, value, service };
    return QString::fromUtf8(QJsonDocument(p).toJson(QJsonDocument::Compact));
}

QString prop(const char* name, const QStringList& types, const QJsonValue& value)
{
    return prop(name, types, QString(), value);
}

QJsonArray parts(const QStringList& list)
{
    return QJsonArray::fromStringList(list);
}

QStringList propsOf(const QJsonArray& card)
{
    QStringList out;
    for (const QJsonValue& p : card)
        out.append(QString::fromUtf8(QJsonDocument(p.toArray()).toJson(QJsonDocument::Compact)));
    return out;
}

pim::_Contact withName(const QString& fullName, const QString& given, const QString& family)
{
    return contactOf(fullName, { { pim::ENTITY_NAME, { Fields { { "data2", given }, { "data3", family } } } } });
}

} // namespace

void TestVCardInterop::readsTheSameInVobject_data()
{
    QTest::addColumn<pim::_Contact>("input");
    QTest::addColumn<QStringList>("expected");

    {
        pim::_Contact c = withName("Ana", "Ana", "");
        c.entities[pim::ENTITY_NOTES].append(
            testkit::entityOf({ { "data1", QStringLiteral("Segunda línea, con coma; y punto y coma") } }));
        QTest::newRow("a note with a comma and a semicolon")
            << c
            << QStringList { prop("fn", {}, "Ana"), prop("n", {}, parts({ "", "Ana", "", "", "" })),
                             prop("note", {}, QStringLiteral("Segunda línea, con coma; y punto y coma")) };
    }
    {
        const QByteArray photo = QByteArray::fromHex("ffd8ffe000104a46494600") + QByteArray(300, '\x7f');
        const QString note = QStringLiteral("Primera línea\r\nSegunda, con coma; y \\ barra\n王伟 — Ελένη");
        const pim::_Contact c = contactOf(QStringLiteral("Dr Zoë Q Müller Jr"),
            { { pim::ENTITY_NAME,
                  { Fields { { "data2", QStringLiteral("Zoë") }, { "data3", QStringLiteral("Müller") }, { "data4", "Q" },
                      { "data5", "Dr" }, { "data6", "Jr" } } } },
                { pim::ENTITY_PHOTO, { Fields { { "data15", photo } } } },
                { pim::ENTITY_PHONE,
                    { Fields { { "data1", "+49 30 1" }, { "data2", 1 } }, Fields { { "data1", "+49 170 2" }, { "data2", 2 } },
                        Fields { { "data1", "+49 30 3" }, { "data2", 4 } }, Fields { { "data1", "+49 30 4" }, { "data2", 12 } },
                        Fields { { "data1", "+34 91 555" }, { "data2", 0 }, { "data3", "Oficina central" } } } },
                { pim::ENTITY_EMAIL,
                    { Fields { { "data1", "zoe@work.example" }, { "data2", 2 } },
                        Fields { { "data1", "z@club.example" }, { "data2", 0 }, { "data3", "Club, Verein" } } } },
                { pim::ENTITY_NICKNAME, { Fields { { "data1", "Zo, \"Z\"" } } } },
                { pim::ENTITY_EVENT,
                    { Fields { { "data1", "1985-03-21T00:00:00" }, { "data2", 3 } },
                        Fields { { "data1", "2010-06-05T00:00:00" }, { "data2", 1 } },
                        Fields { { "data1", "2001-02-03T10:30:00" }, { "data2", 0 } } } },
                { pim::ENTITY_GROUP, { Fields { { "data2", "Family" } }, Fields { { "data2", "Work, Sales" } } } },
                { pim::ENTITY_IM, { Fields { { "data1", "live:zoe" }, { "data5", 4 } } } },
                { pim::ENTITY_NOTES, { Fields { { "data1", note } } } },
                { pim::ENTITY_ORG,
                    { Fields { { "data1", "Acme; Inc" }, { "data4", "Lead, QA" }, { "data5", QStringLiteral("研发部") } } } },
                { pim::ENTITY_REL, { Fields { { "data1", "Max" }, { "data2", 14 } } } },
                { pim::ENTITY_ADDR,
                    { Fields { { "data2", 1 }, { "data4", "1 Main St, Apt 2" }, { "data7", QStringLiteral("Köln") },
                        { "data8", "NRW" }, { "data9", "50667" }, { "data10", "DE" } },
                        Fields { { "data2", 0 }, { "data3", "Casa de verano" }, { "data4", "Calle Mayor 1\nBajo" },
                            { "data7", "Madrid" } } } },
                { pim::ENTITY_URL, { Fields { { "data1", "http://example.org/?a=b,c;d" }, { "data2", 1 } } } } });
        QTest::newRow("every field of one contact")
            << c
            << QStringList {
                   prop("fn", {}, QStringLiteral("Dr Zoë Q Müller Jr")),
                   prop("n", {}, parts({ QStringLiteral("Müller"), QStringLiteral("Zoë"), "Q", "Dr", "Jr" })),
                   prop("photo", { "jpeg" },
                       QStringLiteral("sha1:") + QCryptographicHash::hash(photo, QCryptographicHash::Sha1).toHex()),
                   prop("tel", { "home", "voice" }, "+49 30 1"),
                   prop("tel", { "cell" }, "+49 170 2"),
                   prop("tel", { "work", "fax" }, "+49 30 3"),
                   prop("tel", { "main" }, "+49 30 4"),
                   prop("tel", { "other" }, "Oficina central", "+34 91 555"),
                   prop("email", { "internet", "work" }, "zoe@work.example"),
                   prop("email", { "internet", "other" }, "Club, Verein", "z@club.example"),
                   prop("nickname", {}, "Zo, \"Z\""),
                   prop("bday", {}, "1985-03-21"),
                   prop("x-event", { "anniversary" }, "2010-06-05"),
                   prop("x-event", { "other" }, "2001-02-03T10:30:00"),
                   prop("categories", {}, parts({ "Family", "Work, Sales" })),
                   prop("x-im", { "skype", "other" }, "live:zoe"),
                   // 3.0 has one line break, "\n".
                   prop("note", {}, QStringLiteral("Primera línea\nSegunda, con coma; y \\ barra\n王伟 — Ελένη")),
                   prop("title", {}, "Lead, QA"),
                   prop("org", {}, parts({ "Acme; Inc", QStringLiteral("研发部") })),
                   prop("x-rel", { "spouse" }, "Max"),
                   prop("adr", { "home" },
                       parts({ "", "", "1 Main St, Apt 2", QStringLiteral("Köln"), "NRW", "50667", "DE" })),
                   prop("adr", { "other" }, "Casa de verano", parts({ "", "", "Calle Mayor 1\nBajo", "Madrid", "", "", "" })),
                   prop("url", { "homepage" }, "http://example.org/?a=b,c;d"),
               };
    }
    {
        // Each kind of the phone table, and messaging kinds, services and
        // labels, in the forms our reader maps back.
        pim::_Contact c = withName("Kai", "Kai", "");
        QStringList expected { prop("fn", {}, "Kai"), prop("n", {}, parts({ "", "Kai", "", "", "" })) };
        const QMap<int, QStringList> phoneTypes {
            { 0, { "other" } },       { 1, { "home", "voice" } }, { 2, { "cell" } },
            { 3, { "work", "voice" } }, { 4, { "work", "fax" } }, { 5, { "home", "fax" } },
            { 6, { "pager" } },       { 8, { "callback" } },      { 9, { "car" } },
            { 10, { "x-company-main" } }, { 11, { "isdn" } },     { 12, { "main" } },
            { 13, { "fax" } },        { 14, { "radio" } },        { 15, { "telex" } },
            { 16, { "textphone" } },  { 17, { "work", "cell" } }, { 18, { "work", "pager" } },
            { 19, { "assistant" } },  { 20, { "mms" } },
        };
        for (auto it = phoneTypes.cbegin(); it != phoneTypes.cend(); ++it) {
            const QString number = QStringLiteral("+1 555 02%1").arg(it.key());
            c.entities[pim::ENTITY_PHONE].append(testkit::entityOf({ { "data1", number }, { "data2", it.key() } }));
            expected << prop("tel", it.value(), number);
        }
        c.entities[pim::ENTITY_IM] = {
            testkit::entityOf({ { "data1", "kai.h" }, { "data2", 1 }, { "data5", 1 } }),
            testkit::entityOf({ { "data1", "kai.w" }, { "data2", 2 }, { "data5", 8 } }),
            testkit::entityOf({ { "data1", "kai.o" }, { "data2", 0 }, { "data5", 0 }, { "data6", "Chat Corp, Intern" } }),
            testkit::entityOf({ { "data1", "kai.c" }, { "data2", 0 }, { "data3", "Juegos" }, { "data5", 0 },
                                { "data6", QStringLiteral("微信") } }),
        };
        c.entities[pim::ENTITY_REL] = { testkit::entityOf({ { "data1", "Ana" }, { "data2", 0 }, { "data3", "Madrina" } }) };
        expected << prop("x-im", { "aim", "home" }, "kai.h") << prop("x-im", { "jabber", "work" }, "kai.w")
                 << prop("x-im", { "other" }, QString(), "kai.o", "Chat Corp, Intern")
                 << prop("x-im", { "other" }, "Juegos", "kai.c", QStringLiteral("微信"))
                 << prop("x-rel", {}, "Madrina", "Ana");
        QTest::newRow("every phone kind, messaging kinds and services, a relation's label") << c << expected;
    }
    {
        QString longGiven;
        for (int i = 0; i < 40; ++i)
            longGiven += QStringLiteral("王é");
        QTest::newRow("names folded across lines inside multibyte text")
            << withName(longGiven + " Kowalski", longGiven, "Kowalski")
            << QStringList { prop("fn", {}, longGiven + " Kowalski"),
                             prop("n", {}, parts({ "Kowalski", longGiven, "", "", "" })) };
    }
    QTest::newRow("comma, semicolon and backslash in names")
        << withName("Smith, Jr; J\\K", "J\\K;x", "Smith, Jr")
        << QStringList { prop("fn", {}, "Smith, Jr; J\\K"), prop("n", {}, parts({ "Smith, Jr", "J\\K;x", "", "", "" })) };
    {
        pim::_Contact c = withName("Pat", "Pat", "");
        for (const char* number : { "555,1234", "+44 20 7946 0958;ext=5", "(030) 12-34" })
            c.entities[pim::ENTITY_PHONE].append(testkit::entityOf({ { "data1", number }, { "data2", 2 } }));
        QTest::newRow("phones with pause commas and an extension")
            << c
            << QStringList { prop("fn", {}, "Pat"), prop("n", {}, parts({ "", "Pat", "", "", "" })),
                             prop("tel", { "cell" }, "555,1234"), prop("tel", { "cell" }, "+44 20 7946 0958;ext=5"),
                             prop("tel", { "cell" }, "(030) 12-34") };
    }
    {
        // How a phone's name is spoken, and an organisation of each kind:
        // the kind on ORG, on TITLE for a title alone, a label of its own
        // for both.
        pim::_Contact c = contactOf(QStringLiteral("Yui Nakamura"),
            { { pim::ENTITY_NAME,
                  { Fields { { "data2", "Yui" }, { "data3", "Nakamura" }, { "data7", QStringLiteral("ユイ") },
                      { "data8", QStringLiteral("ナカムラ") } } } },
                { pim::ENTITY_ORG,
                    { Fields { { "data1", "Acme" }, { "data2", 1 }, { "data4", "Lead" } },
                        Fields { { "data1", "Little League" }, { "data2", 0 }, { "data3", "Volunteer" }, { "data4", "Coach" } },
                        Fields { { "data2", 1 }, { "data4", "Consultant" } } } } });
        QTest::newRow("phonetic names and the kinds of organisations")
            << c
            << QStringList { prop("fn", {}, "Yui Nakamura"), prop("n", {}, parts({ "Nakamura", "Yui", "", "", "" })),
                             prop("x-phonetic-first-name", {}, QStringLiteral("ユイ")),
                             prop("x-phonetic-last-name", {}, QStringLiteral("ナカムラ")),
                             prop("title", {}, "Lead"), prop("org", { "work" }, parts({ "Acme" })),
                             prop("title", {}, "Volunteer", "Coach"),
                             prop("org", {}, "Volunteer", parts({ "Little League" })),
                             prop("title", { "work" }, "Consultant") };
    }
    QTest::newRow("full name with line breaks and a leading blank")
        << contactOf(" Ann\r\nLee\rX")
        << QStringList { prop("fn", {}, " Ann\nLee\nX") };
}

void TestVCardInterop::readsTheSameInVobject()
{
    QFETCH(pim::_Contact, input);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("interop.vcf");
    RecordingReporter reporter;
    ExportToFileThread thread(
        { input, contactOf("Second card") }, ExportToFileThread::TYPE_VCARD, path, &reporter);
    thread.start();
    QVERIFY(thread.wait(timebound::kWaitMs));
    QCOMPARE(reporter.successes().size(), 1);

    const QString script
        = qEnvironmentVariable("MARROWLINK_SOURCE_DIR") + "/tests/fileformats/vcard/vobject_check.py";
    QVERIFY2(QFileInfo::exists(script), qPrintable(script));
    // Debian's package installs vobject for the system interpreter, which a
    // python3 earlier on PATH may not see.
    QProcess reader;
    reader.start(QFileInfo::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3", { script, path });
    reader.waitForFinished(timebound::kWaitMs); // an unfinished reader is killed as the QProcess goes
    if (reader.error() == QProcess::FailedToStart || reader.exitCode() == 2)
        QSKIP("python3 with vobject (python3-vobject) is not installed");
    QVERIFY2(reader.exitCode() == 0, reader.readAllStandardError().constData());
    const QJsonArray cards = QJsonDocument::fromJson(reader.readAllStandardOutput()).array();
    QCOMPARE(cards.size(), 2);
    QCOMPARE(propsOf(cards.at(0).toArray()), expected);
    QCOMPARE(propsOf(cards.at(1).toArray()), QStringList { prop("fn", {}, "Second card") });
}

QTEST_GUILESS_MAIN(TestVCardInterop)
#include "tst_vcardinterop.moc"
