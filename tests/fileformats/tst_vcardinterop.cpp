// SPDX-License-Identifier: GPL-3.0-or-later
// Our vCard files must read the same in an independent implementation: the
// test exports through the real thread and lets python3-vobject parse the file.
#include "common/contactbuilders.h"
#include "fileformats/exporttofilethread.h"
#include "support/recordingreporter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using testkit::contactOf;
using testkit::entityOf;

class TestVCardInterop : public QObject {
    Q_OBJECT
private slots:
    void readsTheSameInVobject_data();
    void readsTheSameInVobject();
};

namespace {

pim::_Contact person(const QString& fullName, const QString& given, const QString& family,
                     const QStringList& phones, const QStringList& emails)
{
    // Neighbours the names and numbers must not be confused with.
    pim::_Contact c = contactOf(fullName,
        { { pim::ENTITY_NAME,
              { QVariantMap { { "data1", fullName }, { "data2", given }, { "data3", family } } } },
            { pim::ENTITY_NOTES, { QVariantMap { { "data1", "a note\nover two lines" } } } },
            { pim::ENTITY_ADDR, { QVariantMap { { "data2", 1 }, { "data4", "1 Main St" } } } } });
    int subType = 1;
    for (const QString& phone : phones)
        c.entities[pim::ENTITY_PHONE].append(entityOf({ { "data1", phone }, { "data2", subType++ } }));
    for (const QString& email : emails)
        c.entities[pim::ENTITY_EMAIL].append(entityOf({ { "data1", email }, { "data2", 2 } }));
    return c;
}

} // namespace

void TestVCardInterop::readsTheSameInVobject_data()
{
    QTest::addColumn<pim::_Contact>("input");

    QString longGiven;
    for (int i = 0; i < 40; ++i)
        longGiven += QStringLiteral("王é");
    QTest::newRow("accents and Chinese")
        << person(QStringLiteral("Zoë Müller 王伟"), QStringLiteral("Zoë 王"), QStringLiteral("Müller"),
                  { "030 1234" }, { QStringLiteral("zoë@exämple.de") });
    QTest::newRow("names folded across lines inside multibyte text")
        << person(longGiven + " Kowalski", longGiven, "Kowalski", { "1" }, { "a@b.c" });
    QTest::newRow("comma, semicolon and backslash in names")
        << person("Smith, Jr; J\\K", "J\\K;x", "Smith, Jr", { "2" }, { "c@d.e" });
    QTest::newRow("phone with pause commas and several numbers")
        << person("Pat", "Pat", "", { "555,1234", "+44 20 7946 0958", "(030) 12-34" },
                  { "pat@a.b", "pat.work@c.d" });
    QTest::newRow("full name with a line break and leading blank")
        << person(" Ann\nLee", "Ann", "Lee", { "3" }, {});
}

void TestVCardInterop::readsTheSameInVobject()
{
    QFETCH(pim::_Contact, input);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("interop.vcf");
    RecordingReporter reporter;
    ExportToFileThread thread(
        { input, contactOf("Second card") }, ExportToFileThread::TYPE_VCARD, path, &reporter);
    thread.start();
    QVERIFY(thread.wait(60000));
    QCOMPARE(reporter.successes().size(), 1);

    const QString script
        = qEnvironmentVariable("MARROWLINK_SOURCE_DIR") + "/tests/fileformats/vobject_check.py";
    QVERIFY2(QFileInfo::exists(script), qPrintable(script));
    // Debian's package installs vobject for the system interpreter, which a
    // python3 earlier on PATH may not see.
    QProcess reader;
    reader.start(QFileInfo::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3", { script, path });
    reader.waitForFinished(60000); // an unfinished reader is killed as the QProcess goes
    if (reader.error() == QProcess::FailedToStart || reader.exitCode() == 2)
        QSKIP("python3 with vobject (python3-vobject) is not installed");
    QVERIFY2(reader.exitCode() == 0, reader.readAllStandardError().constData());
    const QJsonArray cards = QJsonDocument::fromJson(reader.readAllStandardOutput()).array();
    QCOMPARE(cards.size(), 2);
    const QJsonObject card = cards.at(0).toObject();
    const pim::Entity name = input.entities.value(pim::ENTITY_NAME).first();
    QCOMPARE(card.value("fn").toString(), input.fullName);
    QCOMPARE(card.value("given").toString(), name.fields.value("data2").toString());
    QCOMPARE(card.value("family").toString(), name.fields.value("data3").toString());
    const auto values = [&input](int type) {
        QStringList out;
        for (const pim::Entity& e : input.entities.value(type))
            out.append(e.fields.value("data1").toString());
        return out;
    };
    QCOMPARE(card.value("tel").toVariant().toStringList(), values(pim::ENTITY_PHONE));
    QCOMPARE(card.value("email").toVariant().toStringList(), values(pim::ENTITY_EMAIL));
    QCOMPARE(cards.at(1).toObject().value("fn").toString(), QStringLiteral("Second card"));
}

QTEST_GUILESS_MAIN(TestVCardInterop)
#include "tst_vcardinterop.moc"
