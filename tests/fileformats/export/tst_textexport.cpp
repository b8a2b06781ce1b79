// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/contactbuilders.h"
#include "fileformats/export/csvexport.h"
#include "fileformats/csv/csvhelper.h"
#include "fileformats/csv/csvimport.h"
#include "model/pimlabels.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>


using ContactList = QList<pim::_Contact>;

class TestTextExport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void readsBackWhatItWrote_data();
    void readsBackWhatItWrote();

private:
    QTemporaryDir m_dir;
    int m_files = 0;
};

namespace {

using testkit::entityOf;
using Fields = QVariantMap;

// A contact whose full name is built from its name entity, as the reader does.
pim::_Contact person(const Fields& name, const QMap<int, QList<Fields>>& entities = {})
{
    pim::_Contact c = testkit::contactOf(QString(), entities);
    c.entities[pim::ENTITY_NAME] = { entityOf(name) };
    c.fullName = c.entities.value(pim::ENTITY_NAME).first().fullName();
    return c;
}

QByteArray writeAll(AbsExport& writer, const ContactList& contacts)
{
    QByteArray out = writer.initialize(contacts);
    for (const pim::_Contact& c : contacts)
        out += writer.ct2Bytes(c);
    out += writer.uninitialize();
    return out;
}

// A contact with every labelled sub-type of every kind, and a second value
// of each multi-valued kind.
pim::_Contact everyLabel()
{
    pim::_Contact c = person({ { "data5", "Dr." }, { "data2", "Zoë" }, { "data4", "Q" },
        { "data3", "Ångström" }, { "data6", "III" } });
    const auto addAll = [&](int type, const QMap<int, QString>& labels, const char* codeKey, const QString& stem) {
        for (auto it = labels.cbegin(); it != labels.cend(); ++it)
            c.entities[type].append(entityOf({ { codeKey, it.key() }, { "data1", stem + it.value() } }));
        c.entities[type].append(entityOf({ { codeKey, labels.lastKey() }, { "data1", stem + "second" } }));
    };
    addAll(pim::ENTITY_PHONE, pim::phoneTypeMap(), "data2", QStringLiteral("+1 555 "));
    addAll(pim::ENTITY_EMAIL, pim::emailTypeMap(), "data2", QStringLiteral("mail-"));
    addAll(pim::ENTITY_EVENT, pim::eventTypeMap(), "data2", QStringLiteral("2000-01-"));
    addAll(pim::ENTITY_IM, pim::imProtocolMap(), "data5", QStringLiteral("im-"));
    addAll(pim::ENTITY_REL, pim::relTypeMap(), "data2", QStringLiteral("rel "));
    addAll(pim::ENTITY_URL, pim::urlTypeMap(), "data2", QStringLiteral("http://x/"));
    const QMap<int, QString> addr = pim::addrTypeMap();
    for (auto it = addr.cbegin(); it != addr.cend(); ++it) {
        c.entities[pim::ENTITY_ADDR].append(
            entityOf({ { "data2", it.key() }, { "data4", "1 " + it.value() + " St, Apt 2" },
                { "data7", "City" }, { "data8", "ST" }, { "data9", "12345" }, { "data10", "Land" } }));
    }
    c.entities[pim::ENTITY_ORG].append(
        entityOf({ { "data1", "Acme, Inc." }, { "data5", "R&D" }, { "data4", "Boss" } }));
    c.entities[pim::ENTITY_NICKNAME].append(entityOf({ { "data1", "Zo" } }));
    c.entities[pim::ENTITY_GROUP].append(entityOf({ { "data2", "Friends" } }));
    c.entities[pim::ENTITY_NOTES].append(entityOf({ { "data1", "He said \"hi\",\nthen left\r\n" } }));
    return c;
}

} // namespace

void TestTextExport::initTestCase() { QVERIFY(m_dir.isValid()); }

void TestTextExport::readsBackWhatItWrote_data()
{
    QTest::addColumn<ContactList>("contacts");

    QTest::newRow("every labelled sub-type and second values, uneven counts across contacts") << ContactList {
        everyLabel(),
        person({ { "data2", "Solo" } },
            { { pim::ENTITY_PHONE, { Fields { { "data1", "1" }, { "data2", 2 } } } } }),
        person({ { "data3", "Other" } },
            { { pim::ENTITY_PHONE,
                { Fields { { "data1", "2" }, { "data2", 2 } }, Fields { { "data1", "3" }, { "data2", 2 } },
                    Fields { { "data1", "4" }, { "data2", 2 } } } } })
    };
    QTest::newRow("display name of its own, phonetic names, two organisations with their titles") << ContactList {
        person({ { "data1", "Dr. Ann Ray" }, { "data2", "Ann" }, { "data3", "Ray" }, { "data7", "アン" },
                   { "data8", "レイ" } },
            { { pim::ENTITY_ORG,
                { Fields { { "data1", "Test Inc." }, { "data4", "Chemist" }, { "data5", "Testing" } },
                    Fields { { "data1", "Coding Club" }, { "data4", "Mentor" } } } } }),
        person({ { "data1", "Bob Lee" }, { "data2", "Bob" }, { "data3", "Lee" } })
    };
    QTest::newRow("texts a spreadsheet would evaluate") << ContactList { person(
        { { "data2", "=cmd|' /C calc'!A0" }, { "data3", "'=x" } },
        { { pim::ENTITY_NICKNAME, { Fields { { "data1", "-dash" } } } },
            { pim::ENTITY_PHONE, { Fields { { "data1", "+44 20 7946 0000" }, { "data2", 1 } } } },
            { pim::ENTITY_NOTES, { Fields { { "data1", "\t@tab" } } } } }) };
}

// What the reader makes of the file, written again, gives the same file:
// every value came back in its own column.
void TestTextExport::readsBackWhatItWrote()
{
    QFETCH(ContactList, contacts);

    const QString path = m_dir.filePath(QStringLiteral("round%1.csv").arg(++m_files));
    CSVExport writer;
    const QByteArray written = writeAll(writer, contacts);
    {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(out.write(written), written.size());
    }

    // No cell starts as a spreadsheet formula would (a phone number's
    // leading "+" stays: a spreadsheet reads it as a number).
    qsizetype pos = 0;
    QStringList cells;
    while (csvhelper::readRow(written, pos, cells)) {
        for (const QString& cell : std::as_const(cells)) {
            const QChar lead = cell.isEmpty() ? QChar() : cell.front();
            const bool formula = lead == u'=' || lead == u'@' || lead == u'\t' || lead == u'\r'
                || ((lead == u'+' || lead == u'-') && cell.size() > 1 && cell.at(1).isLetter());
            QVERIFY2(!formula, qPrintable(cell));
        }
    }

    CSVImport reader;
    reader.initialize(path);
    ContactList back;
    while (reader.hasNext())
        back.append(reader.nextContact());
    CSVExport again;
    QCOMPARE(writeAll(again, back), written);
}

QTEST_GUILESS_MAIN(TestTextExport)
#include "tst_textexport.moc"
