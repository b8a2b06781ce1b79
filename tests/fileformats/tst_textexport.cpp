// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactfixture.h"
#include "fileformats/csvexport.h"
#include "fileformats/csvimport.h"
#include "model/pimlabels.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

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

using fixture::entity;

// A contact whose full name is built from its name entity, as the reader does.
pim::_Contact person(std::initializer_list<QPair<int, pim::Entity>> entities)
{
    pim::_Contact c = fixture::contact(QString(), entities);
    if (c.entities.contains(pim::ENTITY_NAME))
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

// What a table can carry of a contact, one sorted line per value, so two
// contacts compare equal when the file kept everything it should.
QStringList tableContent(const pim::_Contact& c)
{
    const auto t = [](const pim::Entity& e, const char* key) { return pim::fieldText(e.fields.value(QLatin1String(key))); };
    const auto n = [](const pim::Entity& e, const char* key) { return e.fields.value(QLatin1String(key)).toInt(); };
    QStringList out { QStringLiteral("full name: ") + c.fullName };
    for (auto it = c.entities.cbegin(); it != c.entities.cend(); ++it) {
        for (const pim::Entity& e : it.value()) {
            QString line;
            switch (it.key()) {
            case pim::ENTITY_NAME:
                line = QStringList { t(e, "data5"), t(e, "data2"), t(e, "data4"), t(e, "data3"), t(e, "data6") }.join('|');
                break;
            case pim::ENTITY_PHONE:
            case pim::ENTITY_EMAIL:
            case pim::ENTITY_EVENT:
            case pim::ENTITY_REL:
            case pim::ENTITY_URL:
                line = QStringLiteral("%1|%2").arg(n(e, "data2")).arg(t(e, "data1"));
                break;
            case pim::ENTITY_IM:
                line = QStringLiteral("%1|%2").arg(n(e, "data5")).arg(t(e, "data1"));
                break;
            case pim::ENTITY_GROUP:
                line = t(e, "data2");
                break;
            case pim::ENTITY_ORG:
                line = QStringList { t(e, "data1"), t(e, "data5"), t(e, "data4") }.join('|');
                break;
            case pim::ENTITY_ADDR:
                line = QStringList { QString::number(n(e, "data2")), t(e, "data4"), t(e, "data7"), t(e, "data8"),
                                     t(e, "data9"), t(e, "data10") }
                           .join('|');
                break;
            default:
                line = t(e, "data1");
                break;
            }
            out << QString::number(it.key()) + QLatin1String(": ") + line;
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

// A contact with every labelled sub-type of every kind, and a second value
// of each multi-valued kind.
pim::_Contact everyLabel()
{
    pim::_Contact c = person({ { pim::ENTITY_NAME,
                                 entity({ { "data5", "Dr." }, { "data2", "Zoë" }, { "data4", "Q" }, { "data3", "Ångström" },
                                       { "data6", "III" } }) } });
    const auto addAll = [&](int type, const QMap<int, QString>& labels, const char* codeKey, const QString& stem) {
        for (auto it = labels.cbegin(); it != labels.cend(); ++it)
            c.entities[type].append(entity({ { codeKey, it.key() }, { "data1", stem + it.value() } }));
        c.entities[type].append(entity({ { codeKey, labels.lastKey() }, { "data1", stem + "second" } }));
    };
    addAll(pim::ENTITY_PHONE, pim::phoneTypeMap(), "data2", QStringLiteral("+1 555 "));
    addAll(pim::ENTITY_EMAIL, pim::emailTypeMap(), "data2", QStringLiteral("mail-"));
    addAll(pim::ENTITY_EVENT, pim::eventTypeMap(), "data2", QStringLiteral("2000-01-"));
    addAll(pim::ENTITY_IM, pim::imProtocolMap(), "data5", QStringLiteral("im-"));
    addAll(pim::ENTITY_REL, pim::relTypeMap(), "data2", QStringLiteral("rel "));
    addAll(pim::ENTITY_URL, pim::urlTypeMap(), "data2", QStringLiteral("http://x/"));
    const QMap<int, QString> addr = pim::addrTypeMap();
    for (auto it = addr.cbegin(); it != addr.cend(); ++it) {
        c.entities[pim::ENTITY_ADDR].append(entity({ { "data2", it.key() }, { "data4", "1 " + it.value() + " St, Apt 2" },
                                                  { "data7", "City" }, { "data8", "ST" }, { "data9", "12345" },
                                                  { "data10", "Land" } }));
    }
    c.entities[pim::ENTITY_ORG].append(entity({ { "data1", "Acme, Inc." }, { "data5", "R&D" }, { "data4", "Boss" } }));
    c.entities[pim::ENTITY_NICKNAME].append(entity({ { "data1", "Zo" } }));
    c.entities[pim::ENTITY_GROUP].append(entity({ { "data2", "Friends" } }));
    c.entities[pim::ENTITY_NOTES].append(entity({ { "data1", "He said \"hi\",\nthen left\r\n" } }));
    return c;
}

} // namespace

void TestTextExport::initTestCase() { QVERIFY(m_dir.isValid()); }

void TestTextExport::readsBackWhatItWrote_data()
{
    QTest::addColumn<ContactList>("contacts");

    QTest::newRow("every labelled sub-type and second values") << ContactList { everyLabel() };
    QTest::newRow("uneven counts across contacts")
        << ContactList { everyLabel(),
                         person({ { pim::ENTITY_NAME, entity({ { "data2", "Solo" } }) },
                                  { pim::ENTITY_PHONE, entity({ { "data1", "1" }, { "data2", 2 } }) } }),
                         person({ { pim::ENTITY_NAME, entity({ { "data3", "Other" } }) },
                                  { pim::ENTITY_PHONE, entity({ { "data1", "2" }, { "data2", 2 } }) },
                                  { pim::ENTITY_PHONE, entity({ { "data1", "3" }, { "data2", 2 } }) },
                                  { pim::ENTITY_PHONE, entity({ { "data1", "4" }, { "data2", 2 } }) } }) };
    QTest::newRow("texts a spreadsheet would evaluate")
        << ContactList { person({ { pim::ENTITY_NAME, entity({ { "data2", "=cmd|' /C calc'!A0" }, { "data3", "'=x" } }) },
                                  { pim::ENTITY_NICKNAME, entity({ { "data1", "-dash" } }) },
                                  { pim::ENTITY_PHONE, entity({ { "data1", "+44 20 7946 0000" }, { "data2", 1 } }) },
                                  { pim::ENTITY_NOTES, entity({ { "data1", "\t@tab" } }) } }) };
}

void TestTextExport::readsBackWhatItWrote()
{
    QFETCH(ContactList, contacts);

    const QString path = m_dir.filePath(QStringLiteral("round%1.csv").arg(++m_files));
    {
        CSVExport writer;
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        const QByteArray bytes = writeAll(writer, contacts);
        QCOMPARE(out.write(bytes), bytes.size());
    }

    CSVImport reader;
    reader.initialize(path);
    QCOMPARE(reader.total(), int(contacts.size()));
    for (const pim::_Contact& original : std::as_const(contacts)) {
        QVERIFY(reader.hasNext());
        QCOMPARE(tableContent(reader.nextContact()), tableContent(original));
    }
}

QTEST_GUILESS_MAIN(TestTextExport)
#include "tst_textexport.moc"
