// SPDX-License-Identifier: GPL-3.0-or-later
// Our vCard files must read the same in an independent implementation: the
// test exports through the real thread and lets python3-vobject parse the file.
#include "contactfixture.h"
#include "fileformats/exporttofilethread.h"
#include "support/recordingreporter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using fixture::contact;
using fixture::entity;

class TestVCardInterop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void readsTheSameInVobject_data();
    void readsTheSameInVobject();

private:
    QJsonArray readWithVobject(const QString& vcfPath);

    QString m_python;
    QString m_script;
};

void TestVCardInterop::initTestCase()
{
    m_script = qEnvironmentVariable("MARROWLINK_SOURCE_DIR") + "/tests/fileformats/vobject_check.py";
    QVERIFY2(QFileInfo::exists(m_script), qPrintable(m_script));
    // Debian's package installs vobject for the system interpreter, which a
    // python3 earlier on PATH may not see.
    for (const QString& candidate : { QStringLiteral("/usr/bin/python3"), QStringLiteral("python3") }) {
        QProcess probe;
        probe.start(candidate, { "-c", "import vobject" });
        if (probe.waitForFinished(30000) && probe.exitStatus() == QProcess::NormalExit
            && probe.exitCode() == 0) {
            m_python = candidate;
            break;
        }
    }
    if (m_python.isEmpty())
        QSKIP("python3 with vobject (python3-vobject) is not installed");
}

QJsonArray TestVCardInterop::readWithVobject(const QString& vcfPath)
{
    QProcess reader;
    reader.start(m_python, { m_script, vcfPath });
    // An unfinished reader is killed as the QProcess goes.
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0) {
        qWarning("vobject failed: %s", reader.readAllStandardError().constData());
        return {};
    }
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).array();
}

namespace {

pim::_Contact person(const QString& fullName, const QString& given, const QString& family,
                     const QStringList& phones, const QStringList& emails)
{
    pim::_Contact c = contact(fullName, { { pim::ENTITY_NAME,
                                            entity({ { "data1", fullName }, { "data2", given },
                                                     { "data3", family } }) } });
    int subType = 1;
    for (const QString& phone : phones)
        c.entities[pim::ENTITY_PHONE].append(entity({ { "data1", phone }, { "data2", subType++ } }));
    for (const QString& email : emails)
        c.entities[pim::ENTITY_EMAIL].append(entity({ { "data1", email }, { "data2", 2 } }));
    // Neighbours the names and numbers must not be confused with.
    c.entities[pim::ENTITY_NOTES].append(entity({ { "data1", "a note\nover two lines" } }));
    c.entities[pim::ENTITY_ADDR].append(entity({ { "data2", 1 }, { "data4", "1 Main St" } }));
    return c;
}

} // namespace

void TestVCardInterop::readsTheSameInVobject_data()
{
    QTest::addColumn<pim::_Contact>("input");

    QString longGiven;
    for (int i = 0; i < 40; ++i)
        longGiven += QStringLiteral("王é");
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
    ExportToFileThread thread({ input, contact("Second card") }, ExportToFileThread::TYPE_VCARD, path,
                              &reporter);
    thread.start();
    QVERIFY(thread.wait(60000));
    QCOMPARE(reporter.successes().size(), 1);

    const QJsonArray cards = readWithVobject(path);
    QCOMPARE(cards.size(), 2);
    const QJsonObject card = cards.at(0).toObject();
    const pim::Entity name = input.entities.value(pim::ENTITY_NAME).first();
    QCOMPARE(card.value("fn").toString(), input.fullName);
    QCOMPARE(card.value("given").toString(), name.fields.value("data2").toString());
    QCOMPARE(card.value("family").toString(), name.fields.value("data3").toString());
    const auto texts = [](const QJsonValue& list) {
        QStringList out;
        for (const auto& v : list.toArray())
            out.append(v.toString());
        return out;
    };
    const auto values = [&input](int type) {
        QStringList out;
        for (const pim::Entity& e : input.entities.value(type))
            out.append(e.fields.value("data1").toString());
        return out;
    };
    QCOMPARE(texts(card.value("tel")), values(pim::ENTITY_PHONE));
    QCOMPARE(texts(card.value("email")), values(pim::ENTITY_EMAIL));
    QCOMPARE(cards.at(1).toObject().value("fn").toString(), QStringLiteral("Second card"));
}

QTEST_GUILESS_MAIN(TestVCardInterop)
#include "tst_vcardinterop.moc"
