// SPDX-License-Identifier: GPL-3.0-or-later
// A database holding every kind of entry is written out as vCard, CSV and
// text through the export thread; the vCard and CSV files are imported
// again through the import thread into new databases, and each stored row
// is compared with the row it came from, over a second connection.
#include "common/contactbuilders.h"
#include "common/imagebytes.h"
#include "common/sqlprobe.h"
#include "fileformats/export/exporttofilethread.h"
#include "fileformats/importcontactstolocalthread.h"
#include "model/localdb.h"
#include "model/localdbcombinerule.h"
#include "model/pimlabels.h"
#include "support/recordingreporter.h"
#include "support/timebounds.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using testkit::contactOf;
using Fields = QVariantMap;

namespace {

// The columns each kind of row carries in a file, and the one that holds
// its sub-type (empty reads as 0).
struct Carried {
    QStringList values;
    QString subType;
};

Carried carried(int type)
{
    switch (type) {
    case pim::ENTITY_NAME: return { { "data2", "data3", "data4", "data5", "data6" }, {} };
    case pim::ENTITY_PHOTO: return { { "hex(data15)" }, {} };
    case pim::ENTITY_PHONE:
    case pim::ENTITY_EMAIL:
    case pim::ENTITY_EVENT:
    case pim::ENTITY_REL:
    case pim::ENTITY_URL: return { { "data1" }, "data2" };
    case pim::ENTITY_NICKNAME:
    case pim::ENTITY_NOTES: return { { "data1" }, {} };
    case pim::ENTITY_GROUP: return { { "data2" }, {} };
    case pim::ENTITY_IM: return { { "data1", "data2" }, "data5" };
    case pim::ENTITY_ORG: return { { "data1", "data4", "data5" }, {} };
    case pim::ENTITY_ADDR: return { { "data4", "data7", "data8", "data9", "data10" }, "data2" };
    default: return {};
    }
}

// Every stored row of the contact as "type sub-type: values", sorted;
// photos only where the format holds them.
QStringList storedRows(const QString& db, const QString& fullName, bool withPhoto)
{
    SqlProbe probe(db);
    QStringList out;
    const QString id = probe.value(QStringLiteral("SELECT _id FROM contact WHERE full_name = '%1'").arg(fullName))
                           .toString();
    if (id.isEmpty())
        return { QStringLiteral("no contact ") + fullName };
    for (int type = pim::ENTITY_NAME; type <= pim::ENTITY_URL; ++type) {
        if (type == pim::ENTITY_PHOTO && !withPhoto)
            continue;
        const Carried c = carried(type);
        const QString columns = (c.subType.isEmpty() ? QStringLiteral("''") : c.subType) + ", "
            + c.values.join(QStringLiteral(", "));
        const auto rows = probe.rows(QStringLiteral("SELECT %1 FROM data WHERE contact_id = %2 AND type = %3")
                                         .arg(columns, id)
                                         .arg(type));
        for (const QVariantList& row : rows) {
            QStringList values;
            for (qsizetype i = 1; i < row.size(); ++i)
                values << row.at(i).toString();
            const int subType = row.at(0).toInt(); // empty text: 0
            out << QStringLiteral("%1 %2: %3").arg(type).arg(subType).arg(values.join(QLatin1Char('|')));
        }
    }
    out.sort();
    return out;
}

// The display name and the phonetic first and last names of the contact's
// name row, which the name's parts do not give.
QString nameOfItsOwn(const QString& db, const QString& fullName)
{
    return SqlProbe(db)
        .value(QStringLiteral("SELECT ifnull(data1, '') || '|' || ifnull(data7, '') || '|' || ifnull(data8, '') "
                              "FROM data WHERE type = %1 AND contact_id = (SELECT _id FROM contact WHERE full_name = '%2')")
                   .arg(pim::ENTITY_NAME)
                   .arg(fullName))
        .toString();
}

// Every row of the database's tables, each as one text, so a mismatch
// names the row.
QStringList everyRow(const QString& db)
{
    SqlProbe probe(db);
    QStringList out;
    for (const char* table : { "contact", "data", "contact_group" }) {
        for (const QVariantList& row : probe.rows(QStringLiteral("SELECT * FROM %1 ORDER BY _id").arg(QLatin1String(table)))) {
            QStringList values { QLatin1String(table) };
            for (const QVariant& value : row)
                values << (value.isNull() ? QStringLiteral("NULL") : value.toString());
            out << values.join(QLatin1Char('|'));
        }
    }
    return out;
}

// A card-shaped contact: every kind once or more, with the sub-types a
// vCard holds, two notes, a second home address and a name in Chinese.
pim::_Contact cardContact()
{
    QList<QVariantMap> phones;
    for (const int code : { 1, 2, 3, 4, 5, 6, 9, 11, 13 })
        phones << Fields { { "data1", QStringLiteral("+1 555 01%1").arg(code) }, { "data2", code } };
    phones << Fields { { "data1", "+1 555 0999" }, { "data2", 1 } }; // a second home phone
    QList<QVariantMap> emails;
    for (const int code : { 0, 1, 2, 4 })
        emails << Fields { { "data1", QStringLiteral("song%1@example.org").arg(code) }, { "data2", code } };
    QList<QVariantMap> ims;
    for (const int protocol : pim::imProtocolMap().keys())
        ims << Fields { { "data1", QStringLiteral("im%1").arg(protocol) }, { "data2", 1 }, { "data5", protocol } };
    QList<QVariantMap> rels;
    for (const int code : pim::relTypeMap().keys())
        rels << Fields { { "data1", QStringLiteral("Rel %1").arg(code) }, { "data2", code } };
    QList<QVariantMap> urls;
    for (const int code : pim::urlTypeMap().keys())
        urls << Fields { { "data1", QStringLiteral("https://example.org/%1").arg(code) }, { "data2", code } };
    // Shown family name first, as a phone shows it: not the name the parts
    // build.
    return contactOf(QStringLiteral("宋军"),
        { { pim::ENTITY_NAME, { Fields { { "data1", QStringLiteral("宋军") }, { "data2", QStringLiteral("军") },
                                  { "data3", QStringLiteral("宋") } } } },
            { pim::ENTITY_PHOTO, { Fields { { "data15", testkit::imageBytes(QSize(6, 4), "PNG") } } } },
            { pim::ENTITY_PHONE, phones },
            { pim::ENTITY_EMAIL, emails },
            { pim::ENTITY_NICKNAME, { Fields { { "data1", "Jun" } } } },
            { pim::ENTITY_EVENT,
                { Fields { { "data1", "1966-03-12T00:00:00" }, { "data2", 3 } },
                    Fields { { "data1", "1990-06-01T00:00:00" }, { "data2", 1 } },
                    Fields { { "data1", "2001-01-02T00:00:00" }, { "data2", 0 } } } },
            { pim::ENTITY_GROUP, { Fields { { "data2", "Work, Sales" } } } },
            { pim::ENTITY_IM, ims },
            { pim::ENTITY_NOTES, { Fields { { "data1", "first note\nsecond line" } }, Fields { { "data1", "another" } } } },
            { pim::ENTITY_ORG, { Fields { { "data1", "Acme; Inc" }, { "data4", "Lead" }, { "data5", "R&D" } } } },
            { pim::ENTITY_REL, rels },
            { pim::ENTITY_ADDR,
                { testkit::addressOf({ { "data2", 1 }, { "data4", "1 Main St" }, { "data7", "Springfield" }, { "data8", "IL" },
                      { "data9", "62701" }, { "data10", "USA" } }),
                    testkit::addressOf({ { "data2", 1 }, { "data4", "2 Side St" }, { "data7", "Shelbyville" } }),
                    testkit::addressOf({ { "data2", 2 }, { "data4", "9 Work Rd" }, { "data10", "USA" } }),
                    testkit::addressOf({ { "data2", 0 }, { "data7", "Elsewhere" } }) } },
            { pim::ENTITY_URL, urls } });
}

// Every sub-type code of every labelled kind, a code without a label of
// each, second values and several notes, a display name of its own,
// phonetic names and two organisations with a title each: all of it fits a
// table.
pim::_Contact tableContact()
{
    const auto each = [](const QMap<int, QString>& labels, int unlabelled, const QString& key, const char* text) {
        QList<QVariantMap> list;
        QList<int> codes = labels.keys();
        codes << unlabelled;
        for (const int code : codes)
            list << Fields { { "data1", QStringLiteral("%1 %2").arg(QLatin1String(text)).arg(code) }, { key, code } };
        list << Fields { { "data1", QStringLiteral("%1 again").arg(QLatin1String(text)) }, { key, codes.first() } };
        return list;
    };
    QList<QVariantMap> ims;
    for (const int protocol : pim::imProtocolMap().keys())
        ims << Fields { { "data1", QStringLiteral("im%1").arg(protocol) }, { "data2", 1 }, { "data5", protocol } };
    QList<QVariantMap> events;
    for (const int code : { 0, 1, 2, 3 })
        events << Fields { { "data1", QStringLiteral("19%1-02-03T00:00:00").arg(70 + code) }, { "data2", code } };
    events << Fields { { "data1", "1999-12-31T23:59:58" }, { "data2", 0 } }; // with a time of day
    events << Fields { { "data1", "--0415" }, { "data2", 3 } }; // no year: kept as written
    QList<QVariantMap> addrs;
    for (const int code : { 0, 1, 2, 7 }) {
        addrs << testkit::addressOf({ { "data2", code }, { "data4", QStringLiteral("%1 Road").arg(code) }, { "data7", "Town" },
            { "data8", "State" }, { "data9", "12345" }, { "data10", "Land" } });
    }
    addrs << testkit::addressOf({ { "data2", 2 }, { "data9", "99999" } });
    return contactOf(QStringLiteral("Dr. Ann B. Every Jr."),
        { { pim::ENTITY_NAME, { Fields { { "data1", "Annie Every (chess club)" }, { "data2", "Ann" }, { "data3", "Every" },
                                  { "data4", "B." }, { "data5", "Dr." }, { "data6", "Jr." }, { "data7", "アン" },
                                  { "data8", "エヴリ" } } } },
            { pim::ENTITY_PHONE, each(pim::phoneTypeMap(), 7, "data2", "555") },
            { pim::ENTITY_EMAIL, each(pim::emailTypeMap(), 3, "data2", "ann") },
            { pim::ENTITY_NICKNAME, { Fields { { "data1", "Annie" } } } },
            { pim::ENTITY_EVENT, events },
            { pim::ENTITY_GROUP, { Fields { { "data2", "A" } } } },
            { pim::ENTITY_IM, ims },
            { pim::ENTITY_NOTES,
                { Fields { { "data1", "one, \"quoted\"" } }, Fields { { "data1", "two\nlines" } },
                    Fields { { "data1", "=three" } } } },
            { pim::ENTITY_ORG, { Fields { { "data1", "Acme" }, { "data4", "Boss" }, { "data5", "Sales" } },
                                   Fields { { "data1", "Coding Club" }, { "data4", "Mentor" } } } },
            { pim::ENTITY_REL, each(pim::relTypeMap(), 15, "data2", "Rel") },
            { pim::ENTITY_ADDR, addrs },
            { pim::ENTITY_URL, each(pim::urlTypeMap(), 9, "data2", "https://a.example") } });
}

// Every sub-type of every label table, and of each table a label of the
// user's own and one that reads like a table label: the vCard names each.
// A display name of its own, how the name is spoken, and organisations of
// each kind, each with its title, one a title alone.
pim::_Contact everyKindContact()
{
    // One entry per code of the table, then the labels of the user's own.
    const auto each = [](const QMap<int, QString>& table, const char* value, const QStringList& labels) {
        QList<QVariantMap> list;
        for (const int code : table.keys())
            list << Fields { { "data1", QStringLiteral("%1 %2").arg(QLatin1String(value)).arg(code) }, { "data2", code } };
        for (const QString& label : labels) {
            list << Fields { { "data1", QStringLiteral("%1 %2").arg(QLatin1String(value), label) }, { "data2", 0 },
                             { "data3", label } };
        }
        return list;
    };
    QList<QVariantMap> ims;
    for (const int protocol : pim::imProtocolMap().keys()) {
        for (const int kind : pim::imTypeMap().keys()) {
            ims << Fields { { "data1", QStringLiteral("im%1-%2").arg(protocol).arg(kind) }, { "data2", kind },
                            { "data5", protocol } };
        }
    }
    ims << Fields { { "data1", "im-own-kind" }, { "data2", 0 }, { "data3", "Juegos" }, { "data5", 4 } }
        << Fields { { "data1", "im-own-service" }, { "data2", 2 }, { "data5", 0 }, { "data6", "Chat Corp, Intern" } }
        << Fields { { "data1", "im-own-both" }, { "data2", 0 }, { "data3", "Work" }, { "data5", 0 }, { "data6", "Skype" } };
    QList<QVariantMap> events;
    for (const int code : pim::eventTypeMap().keys())
        events << Fields { { "data1", QStringLiteral("19%1-02-03T00:00:00").arg(70 + code) }, { "data2", code } };
    events << Fields { { "data1", "2015-06-20T00:00:00" }, { "data2", 0 }, { "data3", "Boda" } }
           << Fields { { "data1", "2016-06-20T00:00:00" }, { "data2", 0 }, { "data3", "Anniversary" } };
    QList<QVariantMap> addrs;
    for (const int code : pim::addrTypeMap().keys())
        addrs << testkit::addressOf({ { "data2", code }, { "data4", QStringLiteral("%1 Road").arg(code) }, { "data7", "Town" } });
    addrs << testkit::addressOf({ { "data2", 0 }, { "data3", "Casa de verano" }, { "data4", "Calle Mayor 1\nBajo" },
                       { "data7", "Madrid" }, { "data9", "28013" }, { "data10", QStringLiteral("España") } })
          << testkit::addressOf({ { "data2", 0 }, { "data3", "Home" }, { "data7", "Elsewhere" } })
          << testkit::addressOf({ { "data2", 1 }, { "data3", "Home" }, { "data7", "Merged" } });
    // A kind beside a label that names it again, as earlier builds merged a
    // labelled value with a copy that named its kind.
    QList<QVariantMap> phones = each(pim::phoneTypeMap(), "+1 555", { "Oficina central", "Main" });
    phones << Fields { { "data1", "+1 555 merged" }, { "data2", 1 }, { "data3", "Home" } };
    QList<QVariantMap> emails = each(pim::emailTypeMap(), "eve@kind.example", { "Facturas", "Work" });
    emails << Fields { { "data1", "eve@kind.example merged" }, { "data2", 1 }, { "data3", "Home" } };
    pim::Entity name = testkit::entityOf({ { "data1", "Dr. Eve Kind" }, { "data2", "Eve" }, { "data3", "Kind" },
                                           { "data4", "M." }, { "data5", "Dr." }, { "data6", "Jr." }, { "data7", "Iv" },
                                           { "data8", "Kaind" } });
    pim::_Contact contact = contactOf(name.fullName(),
        { { pim::ENTITY_PHOTO, { Fields { { "data15", testkit::imageBytes(QSize(6, 4), "PNG") } } } },
            { pim::ENTITY_PHONE, phones },
            { pim::ENTITY_EMAIL, emails },
            { pim::ENTITY_NICKNAME, { Fields { { "data1", "Evie" } } } },
            { pim::ENTITY_EVENT, events },
            { pim::ENTITY_GROUP, { Fields { { "data2", "Work, Sales" } } } },
            { pim::ENTITY_IM, ims },
            { pim::ENTITY_NOTES, { Fields { { "data1", "first note\nsecond line" } }, Fields { { "data1", "another" } } } },
            { pim::ENTITY_ORG,
                { Fields { { "data1", "Acme; Inc" }, { "data4", "Lead" }, { "data5", "R&D" } },
                    Fields { { "data1", "Globex" }, { "data2", 1 }, { "data4", "Adviser" } },
                    Fields { { "data1", "Little League" }, { "data2", 0 }, { "data3", "Volunteer" }, { "data4", "Coach" } },
                    Fields { { "data2", 1 }, { "data4", "Consultant" } } } },
            { pim::ENTITY_REL, each(pim::relTypeMap(), "Rel", { "Madrina", "Spouse" }) },
            { pim::ENTITY_ADDR, addrs },
            { pim::ENTITY_URL, each(pim::urlTypeMap(), "https://kind.example/", { "Tienda", "Blog" }) } });
    contact.entities[pim::ENTITY_NAME] = { name };
    return contact;
}

// Every data row of the contact, each as one text of its type and all its
// columns; a group membership without the group's number, which each
// database gives its groups itself.
QStringList everyDataRow(const QString& db, const QString& fullName)
{
    QStringList columns { QStringLiteral("type") };
    for (int n = 1; n <= 14; ++n)
        columns << QStringLiteral("data%1").arg(n);
    columns << QStringLiteral("hex(data15)");
    SqlProbe probe(db);
    QStringList out;
    for (const QVariantList& row : probe.rows(
             QStringLiteral("SELECT %1 FROM data WHERE contact_id = (SELECT _id FROM contact WHERE full_name = '%2')")
                 .arg(columns.join(QStringLiteral(", ")), fullName))) {
        QStringList values;
        for (const QVariant& value : row)
            values << (value.isNull() ? QStringLiteral("NULL") : value.toString());
        if (row.at(0).toInt() == pim::ENTITY_GROUP)
            values[1] = QStringLiteral("(group)");
        out << values.join(QLatin1Char('|'));
    }
    out.sort();
    return out;
}

// Whether the line holds the value with a blank (or the line's start)
// before it and a blank after it.
bool standsAlone(const QString& line, const QString& value)
{
    for (qsizetype at = line.indexOf(value); at >= 0; at = line.indexOf(value, at + 1)) {
        const bool before = at == 0 || line.at(at - 1) == QLatin1Char(' ');
        if (before && line.mid(at + value.size(), 1) == QLatin1String(" "))
            return true;
    }
    return false;
}

} // namespace

class TestFileRoundTrip : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_source;

    QString newDb(const QString& name)
    {
        const QString path = m_dir.filePath(name);
        LocalDb db(path, QSharedPointer<LocalDbCombineRule>::create());
        db.create();
        return path;
    }

    static QString import(const QString& file, const QString& db)
    {
        LocalDb target(db, QSharedPointer<LocalDbCombineRule>::create());
        target.open_check();
        RecordingReporter reporter;
        ImportContactsToLocalThread thread(file, ImportContactsToLocalThread::TYPE_VCARD, &target, &reporter);
        thread.start();
        if (!thread.wait(timebound::kWaitMs))
            return QStringLiteral("the import did not end");
        target.close();
        // A value the import left out is as much a loss as an error.
        QStringList said = reporter.errors();
        for (const QString& ending : reporter.successes()) {
            if (ending.contains(QLatin1String("left out")))
                said << ending;
        }
        return said.join(QLatin1Char('\n'));
    }

    // The stored contacts of these names (all when empty) written to a file;
    // from the shared source database unless another is named.
    QString exported(ExportToFileThread::TYPE type, const QString& name, const QStringList& names = {},
                     const QString& db = QString())
    {
        LocalDb source(db.isEmpty() ? m_source : db, QSharedPointer<LocalDbCombineRule>::create());
        source.open_check();
        QList<pim::_Contact> contacts;
        for (const pim::_Contact& listed : source.contacts()) {
            if (names.isEmpty() || names.contains(listed.fullName))
                contacts << source.contact(listed.id);
        }
        source.close();
        const QString path = m_dir.filePath(name);
        RecordingReporter reporter;
        ExportToFileThread thread(contacts, type, path, &reporter);
        thread.start();
        if (!thread.wait(timebound::kWaitMs) || !reporter.errors().isEmpty())
            return QString();
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_source = newDb(QStringLiteral("source.db"));
        LocalDb db(m_source, QSharedPointer<LocalDbCombineRule>::create());
        db.open_check();
        db.beginEdit();
        for (const pim::_Contact& contact : { cardContact(), tableContact() }) {
            pim::_Contact stored;
            bool existed = false;
            db.combineContact(contact, stored, existed);
        }
        db.endEdit(true);
        db.close();
        // Every entry was stored as it is: none merged into another.
        for (const pim::_Contact& contact : { cardContact(), tableContact() }) {
            int entries = 0;
            for (const QList<pim::Entity>& list : contact.entities)
                entries += int(list.size());
            QCOMPARE(storedRows(m_source, contact.fullName, true).size(), entries);
        }
    }

    void readsBackEveryStoredValue_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QStringList>("contacts");
        QTest::addColumn<bool>("photos");
        QTest::newRow("vCard") << int(ExportToFileThread::TYPE_VCARD) << QStringList { QStringLiteral("宋军") } << true;
        QTest::newRow("CSV") << int(ExportToFileThread::TYPE_CSV)
                             << QStringList { QStringLiteral("宋军"), QStringLiteral("Dr. Ann B. Every Jr.") } << false;
    }
    void readsBackEveryStoredValue()
    {
        QFETCH(int, format);
        QFETCH(QStringList, contacts);
        QFETCH(bool, photos);
        const QString file
            = exported(ExportToFileThread::TYPE(format), QStringLiteral("out-%1").arg(format), contacts);
        QVERIFY(!file.isEmpty());
        const QString back = newDb(QStringLiteral("back-%1.db").arg(format));
        QCOMPARE(import(file, back), QString());
        for (const QString& name : contacts) {
            const QStringList got = storedRows(back, name, photos);
            const QStringList want = storedRows(m_source, name, photos);
            for (const QString& row : want)
                QVERIFY2(got.contains(row), qPrintable(QStringLiteral("missing: ") + row));
            QCOMPARE(got, want);
            QCOMPARE(nameOfItsOwn(back, name), nameOfItsOwn(m_source, name));
        }

        // Merged into the database it came from, the file adds nothing.
        SqlProbe before(m_source);
        const QVariant rows = before.value(QStringLiteral("SELECT count(*) FROM data"));
        QCOMPARE(import(file, m_source), QString());
        QCOMPARE(before.value(QStringLiteral("SELECT count(*) FROM data")), rows);
    }

    // The same people from a phone's cards and from a web-mail table: the
    // table merged into the cards' database adds no row. Countries come in
    // the table's "Country/Region" columns, a street with CRLF, birthdays
    // month first, no birthday as the zero date, names in Chinese with a
    // title and a middle initial.
    void webMailTableMergesIntoTheCardsOfTheSamePeople()
    {
        const QByteArray cards = QByteArrayLiteral(
            "BEGIN:VCARD\r\nVERSION:3.0\r\nN:\xE8\xB0\xA2;\xE5\xBB\xBA\xE5\x9B\xBD;K.;Ms.;\r\n"
            "FN:\xE8\xB0\xA2\xE5\xBB\xBA\xE5\x9B\xBD\r\n"
            "ADR;TYPE=WORK:;;1 Long Rd\\nUnit 4;Beijing;BJ;100000;China\r\n"
            "BDAY:1966-03-12\r\nEMAIL;TYPE=INTERNET:xie@example.cn\r\nEND:VCARD\r\n"
            "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Ramirez;Abigail;;;\r\nFN:Abigail Ramirez\r\n"
            "ADR;TYPE=HOME:;;5 Elm St;Austin;TX;73301;USA\r\nEND:VCARD\r\n");
        const QByteArray table = QByteArrayLiteral(
            "First Name,Middle Name,Last Name,Title,E-mail Address,Business Street,Business City,Business State,"
            "Business Postal Code,Business Country/Region,Home Street,Home City,Home State,Home Postal Code,"
            "Home Country/Region,Birthday,Anniversary\r\n"
            "\xE5\xBB\xBA\xE5\x9B\xBD,K.,\xE8\xB0\xA2,Ms.,xie@example.cn,\"1 Long Rd\r\nUnit 4\",Beijing,BJ,"
            "100000,China,,,,,,3/12/1966,0/0/00\r\n"
            "Abigail,,Ramirez,,,,,,,,5 Elm St,Austin,TX,73301,USA,,\r\n");
        const QString db = newDb(QStringLiteral("web-mail.db"));
        QFile cardFile(m_dir.filePath(QStringLiteral("phone.vcf")));
        QVERIFY(cardFile.open(QIODevice::WriteOnly));
        cardFile.write(cards);
        cardFile.close();
        QFile tableFile(m_dir.filePath(QStringLiteral("web-mail.csv")));
        QVERIFY(tableFile.open(QIODevice::WriteOnly));
        tableFile.write(table);
        tableFile.close();

        QCOMPARE(import(cardFile.fileName(), db), QString());
        SqlProbe probe(db);
        QCOMPARE(probe.column(QStringLiteral("SELECT full_name FROM contact ORDER BY _id")),
                 (QStringList { QStringLiteral("谢建国"), QStringLiteral("Abigail Ramirez") }));
        const QVariant rows = probe.value(QStringLiteral("SELECT count(*) FROM data"));
        QCOMPARE(import(tableFile.fileName(), db), QString());
        QCOMPARE(probe.value(QStringLiteral("SELECT count(*) FROM contact")).toInt(), 2);
        QCOMPARE(probe.value(QStringLiteral("SELECT count(*) FROM data")), rows);
    }

    // A database holding custom labels and kinds a file cannot name, and
    // values that start or end with blanks or break lines with CR LF: the
    // program's own exports of it, and a card that keeps the labels, merged
    // back into it change no stored row.
    void reimportingOwnExportsChangesNoRow_data()
    {
        QTest::addColumn<QString>("reimported");
        QTest::newRow("vCard export") << QStringLiteral("vcf");
        QTest::newRow("CSV export") << QStringLiteral("csv");
        QTest::newRow("card that keeps the labels") << QStringLiteral("labelled");
    }
    void reimportingOwnExportsChangesNoRow()
    {
        QFETCH(QString, reimported);
        // As a phone writes custom and standard labels of grouped items.
        const QByteArray labelled = QByteArrayLiteral(
            "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Ortega;Luc\xC3\xAD" "a;;;\r\nFN:Luc\xC3\xAD" "a Ortega\r\n"
            "item1.TEL:+34 910 000 001\r\nitem1.X-ABLabel:Oficina central\r\n"
            "item2.TEL:+34 910 000 002\r\nitem2.X-ABLabel:_$!<Main>!$_\r\n"
            "TEL;TYPE=CELL:+34 600 000 003\r\n"
            "item3.EMAIL;TYPE=INTERNET:lucia@oficina.example\r\nitem3.X-ABLabel:Facturas\r\n"
            "EMAIL;TYPE=INTERNET,WORK:lucia@work.example\r\n"
            "item4.URL:https://lucia.example\r\nitem4.X-ABLabel:Portfolio\r\n"
            "item5.ADR:Apartado 12;Piso 3;Calle Mayor 1;Madrid;;28013;Espa\xC3\xB1" "a\r\nitem5.X-ABLabel:Estudio\r\n"
            "item6.X-ABDATE:2015-06-20\r\nitem6.X-ABLabel:Boda\r\n"
            "X-IM;TYPE=skype,work:lucia.o\r\nEND:VCARD\r\n");
        const QString db = newDb(QStringLiteral("labels-%1.db").arg(reimported));
        const QString cardPath = m_dir.filePath(QStringLiteral("labels-%1.vcf").arg(reimported));
        QFile card(cardPath);
        QVERIFY(card.open(QIODevice::WriteOnly));
        card.write(labelled);
        card.close();
        QCOMPARE(import(cardPath, db), QString());
        {
            // Kinds no file names, as an edit or a phone leaves them.
            LocalDb target(db, QSharedPointer<LocalDbCombineRule>::create());
            target.open_check();
            QList<QVariantMap> phones;
            for (const int code : { 8, 10, 12, 14, 15, 16, 17, 18, 19, 20 })
                phones << Fields { { "data1", QStringLiteral("+1 555 02%1").arg(code) }, { "data2", code } };
            pim::_Contact stored;
            bool existed = false;
            target.combineContact(
                contactOf(QStringLiteral("Kim Codes"),
                    { { pim::ENTITY_NAME, { Fields { { "data2", "Kim" }, { "data3", "Codes" } } } },
                        { pim::ENTITY_PHONE, phones },
                        { pim::ENTITY_IM, { Fields { { "data1", "kim.c" }, { "data2", 2 }, { "data5", 4 } },
                                              Fields { { "data1", "kim.o" }, { "data2", 0 }, { "data3", "Club" },
                                                  { "data5", 1 } } } },
                        { pim::ENTITY_REL, { Fields { { "data1", "Ana" }, { "data2", 0 }, { "data3", "Madrina" } } } } }),
                stored, existed);
            // Text whose blanks at either end and CR LF line breaks are the
            // user's own, as a phone or a pasted text leaves them.
            target.combineContact(
                contactOf(QStringLiteral("Ann  Lead"),
                    { { pim::ENTITY_NAME, { Fields { { "data2", "Ann" }, { "data3", " Lead" } } } },
                        { pim::ENTITY_PHONE, { Fields { { "data1", " +1 555 0300 " }, { "data2", 1 } } } },
                        { pim::ENTITY_EMAIL, { Fields { { "data1", "\tann@lead.example" }, { "data2", 2 } } } },
                        { pim::ENTITY_NICKNAME, { Fields { { "data1", "  Annie" } } } },
                        { pim::ENTITY_NOTES,
                            { Fields { { "data1", "  indented\r\nsecond line\r\n" } }, Fields { { "data1", "\tTabbed " } },
                                Fields { { "data1", "a\r\n\r\n  b  " } } } },
                        { pim::ENTITY_ORG, { Fields { { "data1", " Acme" }, { "data4", " Lead " }, { "data5", "  R&D" } } } },
                        { pim::ENTITY_REL, { Fields { { "data1", " Ana" }, { "data2", 8 } } } },
                        { pim::ENTITY_URL, { Fields { { "data1", " https://lead.example " }, { "data2", 1 } } } },
                        { pim::ENTITY_ADDR,
                            { testkit::addressOf({ { "data2", 1 }, { "data4", "  12 Leading St\r\nFlat 3 " }, { "data7", " Bath" },
                                  { "data8", " Somerset " }, { "data9", " BA1 " }, { "data10", " UK" } }) } } }),
                stored, existed);
            target.close();
        }
        const QStringList before = everyRow(db);
        QCOMPARE(SqlProbe(db).value(QStringLiteral("SELECT data1 FROM data WHERE data1 LIKE '%indented%'")),
                 QVariant(QStringLiteral("  indented\r\nsecond line\r\n")));
        QCOMPARE(SqlProbe(db).value(QStringLiteral("SELECT data3 FROM data WHERE data1 = '+34 910 000 001'")),
                 QVariant(QStringLiteral("Oficina central")));
        QCOMPARE(SqlProbe(db).value(QStringLiteral("SELECT data4 FROM data WHERE data7 = 'Madrid'")),
                 QVariant(QStringLiteral("Calle Mayor 1\nPiso 3\nApartado 12")));

        QString file = cardPath;
        if (reimported != QLatin1String("labelled")) {
            const bool csv = reimported == QLatin1String("csv");
            file = exported(csv ? ExportToFileThread::TYPE_CSV : ExportToFileThread::TYPE_VCARD,
                            QStringLiteral("labels-out.") + reimported, {}, db);
            QVERIFY(!file.isEmpty());
        }
        QCOMPARE(import(file, db), QString());
        const QStringList after = everyRow(db);
        for (const QString& row : after)
            QVERIFY2(before.contains(row), qPrintable(QStringLiteral("new or changed: ") + row));
        QCOMPARE(after, before);
    }

    // A database backed up to vCard and restored into a new one: every
    // stored row comes back as it was, whatever its sub-type or label.
    void vCardBackupRestoresEveryRow()
    {
        const pim::_Contact contact = everyKindContact();
        const QString source = newDb(QStringLiteral("every-kind.db"));
        {
            LocalDb db(source, QSharedPointer<LocalDbCombineRule>::create());
            db.open_check();
            pim::_Contact stored;
            bool existed = false;
            db.combineContact(contact, stored, existed);
            db.close();
        }
        const QStringList want = everyDataRow(source, contact.fullName);
        int entries = 0;
        for (const QList<pim::Entity>& list : contact.entities)
            entries += int(list.size());
        QCOMPARE(want.size(), entries); // none merged into another

        const QString file = exported(ExportToFileThread::TYPE_VCARD, QStringLiteral("every-kind.vcf"), {}, source);
        QVERIFY(!file.isEmpty());
        const QString back = newDb(QStringLiteral("every-kind-back.db"));
        QCOMPARE(import(file, back), QString());
        const QStringList got = everyDataRow(back, contact.fullName);
        for (const QString& row : want)
            QVERIFY2(got.contains(row), qPrintable(QStringLiteral("missing: ") + row));
        QCOMPARE(got, want);
        QCOMPARE(SqlProbe(back).column(QStringLiteral("SELECT name FROM contact_group ORDER BY name")),
                 SqlProbe(source).column(QStringLiteral("SELECT name FROM contact_group ORDER BY name")));
        // Restored once more over itself, the backup changes no row.
        const QStringList restored = everyRow(back);
        QCOMPARE(import(file, back), QString());
        QCOMPARE(everyRow(back), restored);
    }

    // A card in the forms of other programs (a display name of its own,
    // messaging addresses, related people, an anniversary, a department) is
    // stored whole, under the name its parts build; the program's own export
    // of it, in its own forms, stores the same rows in a new database, and it
    // and the card itself merged back change no row.
    void foreignFormsStoredWholeAndMergedBackChangeNoRow_data()
    {
        QTest::addColumn<QByteArray>("card");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("a phone's card") << QByteArrayLiteral(
            "BEGIN:VCARD\r\nVERSION:3.0\r\nPRODID:-//Apple Inc.//iPhone OS 16.5//EN\r\n"
            "N:Ray;Ann;;;\r\nFN:Dr. Ann Ray\r\nORG:Test Inc.;Testing;Lab 3\r\nTITLE:Chemist\r\n"
            "ORG:Coding Club\r\nTITLE:Mentor\r\n"
            "item1.IMPP;X-SERVICE-TYPE=Skype;type=pref:skype:ann.ray\r\nitem1.X-ABLabel:_$!<Work>!$_\r\n"
            "IMPP;X-SERVICE-TYPE=Facebook;type=HOME:xmpp:ann.ray.fb\r\nX-JABBER;type=HOME:ann@jabber.example\r\n"
            "item2.X-ABRELATEDNAMES;type=pref:Hal Ray\r\nitem2.X-ABLabel:_$!<Spouse>!$_\r\n"
            "item3.X-ABRELATEDNAMES:Kay Lee\r\nitem3.X-ABLabel:Godmother\r\n"
            "X-ANNIVERSARY:2009-05-16\r\nEND:VCARD\r\n")
                                        << "Ann Ray"
                                        << QStringList { "1 0: Ann|Ray|||", "10 0: Coding Club|Mentor|",
                                                         "10 0: Test Inc.|Chemist|Testing; Lab 3", "11 0: Kay Lee",
                                                         "11 14: Hal Ray", "6 1: 2009-05-16T00:00:00", "8 11: ann.ray.fb|1",
                                                         "8 4: ann.ray|2", "8 8: ann@jabber.example|1" };
        // Its own spellings, in any letter case, properties sorted by name.
        QTest::newRow("a desktop address book's card")
            << QByteArrayLiteral("BEGIN:VCARD\r\nFN:Anna Schmidt\r\nN:Schmidt;Anna;;;\r\nORG:Beispiel GmbH\r\n"
                                 "ORG:Kammerchor Nord\r\nTITLE:Ingenieurin\r\nTITLE:Kassenwartin\r\nVERSION:3.0\r\n"
                                 "X-KADDRESSBOOK-X-Anniversary:2005-06-18\r\n"
                                 "X-KADDRESSBOOK-X-AssistantsName:Petra Klein\r\n"
                                 "X-KADDRESSBOOK-X-Department:Forschung\r\n"
                                 "X-KADDRESSBOOK-X-IMAddress:anna.s@chat.example\r\n"
                                 "X-KADDRESSBOOK-X-ManagersName:Dieter Wolf\r\n"
                                 "X-KADDRESSBOOK-X-SPOUSESNAME:Jonas Schmidt\r\n"
                                 "X-messaging/gadu-All:4711\r\nX-messaging/irc-All:anna_s\r\n"
                                 "X-messaging/xmpp-All:anna@jabber.example\xEE\x80\x80" "anna@work.example\r\n"
                                 "END:VCARD\r\n")
            << "Anna Schmidt"
            << QStringList { "1 0: Anna|Schmidt|||", "10 0: Beispiel GmbH|Ingenieurin|Forschung",
                             "10 0: Kammerchor Nord|Kassenwartin|", "11 14: Jonas Schmidt", "11 1: Petra Klein",
                             "11 7: Dieter Wolf", "6 1: 2005-06-18T00:00:00", "8 0: anna.s@chat.example|1",
                             "8 0: anna_s|1", "8 10: 4711|1", "8 8: anna@jabber.example|1",
                             "8 8: anna@work.example|1" };
        // A phone's own 2.1 export: a nickname, the dates other than the
        // birthday and the relations as the phone's data rows.
        QTest::newRow("a phone's own export")
            << QByteArrayLiteral(
                   "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Novak;Leonard;;;\r\nFN:Leonard Novak\r\n"
                   "TEL;CELL:+420 601 234 567\r\n"
                   "X-ANDROID-CUSTOM:vnd.android.cursor.item/nickname;Lenny;1;;;;;;;;;;;;;\r\n"
                   "BDAY:1984-03-02\r\n"
                   "X-ANDROID-CUSTOM:vnd.android.cursor.item/contact_event;2011-06-18;1;;;;;;;;;;;;;\r\n"
                   "X-ANDROID-CUSTOM:vnd.android.cursor.item/relation;Pavel Varga;14;;;;;;;;;;;;;\r\n"
                   "END:VCARD\r\n")
            << "Leonard Novak"
            << QStringList { "1 0: Leonard|Novak|||", "11 14: Pavel Varga", "3 2: +420 601 234 567", "5 0: Lenny",
                             "6 1: 2011-06-18T00:00:00", "6 3: 1984-03-02T00:00:00" };
        // A cloud's item labels that name kinds, and a web mail's copy of
        // the same person that names them by TYPE: one value each, of its
        // kind, with no label beside it; a label of the user's stays one.
        QTest::newRow("item labels that name kinds, and a copy that names them by TYPE")
            << QByteArrayLiteral(
                   "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Orr;Nell;;;\r\nFN:Nell Orr\r\n"
                   "item1.EMAIL;TYPE=INTERNET:nell.orr@example.org\r\nitem1.X-ABLabel:Home\r\n"
                   "item2.EMAIL;TYPE=INTERNET:nell.o@club.example\r\nitem2.X-ABLabel:Book club\r\n"
                   "item3.ADR:;;12 Quay Rd;Portree;;IV51 9DE;UK\r\nitem3.X-ABLabel:Home\r\n"
                   "item4.IMPP;X-SERVICE-TYPE=Skype:skype:nell.orr\r\nitem4.X-ABLabel:Work\r\n"
                   "item5.X-ABDATE:2012-08-04\r\nitem5.X-ABLabel:Anniversary\r\nEND:VCARD\r\n"
                   "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Nell Orr\r\nN:Orr;Nell;;;\r\n"
                   "EMAIL;TYPE=INTERNET;TYPE=HOME:nell.orr@example.org\r\n"
                   "ADR;TYPE=HOME:;;12 Quay Rd;Portree;;IV51 9DE;UK\r\n"
                   "IMPP;X-SERVICE-TYPE=Skype;TYPE=WORK:skype:nell.orr\r\nEND:VCARD\r\n")
            << "Nell Orr"
            << QStringList { "1 0: Nell|Orr|||", "12 1: 12 Quay Rd|Portree||IV51 9DE|UK", "4 0: nell.o@club.example",
                             "4 1: nell.orr@example.org", "6 1: 2012-08-04T00:00:00", "8 4: nell.orr|2" };
        // A staff directory's job as ROLE, where the card has no TITLE; an
        // old phone's printed address alone; a phone suite's assistant's
        // phone, children and nickname; a cloud's date labelled Birthday
        // beside the card's birthday.
        QTest::newRow("a staff directory's card")
            << QByteArrayLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Bakker;Sem;;;\r\nFN:Sem Bakker\r\n"
                                 "ORG:Northwind University;Library\r\nROLE:Systems Librarian\r\nEND:VCARD\r\n")
            << "Sem Bakker"
            << QStringList { "1 0: Sem|Bakker|||", "10 0: Northwind University|Systems Librarian|Library" };
        QTest::newRow("an old phone's printed address")
            << QByteArrayLiteral("BEGIN:VCARD\r\nVERSION:2.1\r\nN:Fenwick;Harriet\r\nLABEL;HOME;ENCODING=QUOTED-"
                                 "PRINTABLE:14 Orchard Close=0D=0ANorthampton NN6 2QT\r\nEND:VCARD\r\n")
            << "Harriet Fenwick"
            << QStringList { "1 0: Harriet|Fenwick|||", "12 1: 14 Orchard Close\nNorthampton NN6 2QT||||" };
        QTest::newRow("a phone suite's card")
            << QByteArrayLiteral("BEGIN:VCARD\r\nVERSION:2.1\r\nN:Wagner;Jonas;;;\r\n"
                                 "X-ASSISTANT-TEL:+49 30 5550 8812\r\nX-CHILDREN:Lena\r\nX-NICKNAME:Joni\r\nEND:VCARD\r\n")
            << "Jonas Wagner"
            << QStringList { "1 0: Jonas|Wagner|||", "11 3: Lena", "3 19: +49 30 5550 8812", "5 0: Joni" };
        QTest::newRow("a date labelled Birthday beside the birthday")
            << QByteArrayLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Moreau;Claire;;;\r\nFN:Claire Moreau\r\n"
                                 "BDAY:1986-04-19\r\nitem1.X-ABDATE:1986-04-21\r\nitem1.X-ABLabel:Birthday\r\n"
                                 "END:VCARD\r\n")
            << "Claire Moreau"
            << QStringList { "1 0: Claire|Moreau|||", "6 0: 1986-04-21T00:00:00", "6 3: 1986-04-19T00:00:00" };
        // A handset's own kinds and labels of numbers, web addresses named
        // by their TYPE words, an address of eleven parts: the labels and
        // the parts after the country come back whole.
        QTest::newRow("a handset's phone kinds, a web address of a kind, an address of eleven parts")
            << QByteArrayLiteral("BEGIN:VCARD\r\nVERSION:2.1\r\nN:Sharma;Priya;;;\r\nTEL;X-Work:+91 80 4555 0190\r\n"
                                 "TEL;X-Gate Code:204\r\nURL;TYPE=Facebook:https://fb.example/priya\r\n"
                                 "ADR;HOME:;;2-8-1 Nishi-Shinjuku;Shinjuku-ku;Tokyo;163-8001;Japan;Tower B;Floor 12;;\r\n"
                                 "END:VCARD\r\n")
            << "Priya Sharma"
            << QStringList { "1 0: Priya|Sharma|||",
                             "12 1: 2-8-1 Nishi-Shinjuku\nTower B\nFloor 12|Shinjuku-ku|Tokyo|163-8001|Japan",
                             "13 0: https://fb.example/priya", "3 0: 204", "3 3: +91 80 4555 0190" };
        // A contact without a name is stored under its number or address;
        // the export writes that as FN, which is no name either.
        QTest::newRow("a number alone, as a phone writes it")
            << QByteArrayLiteral("BEGIN:VCARD\r\nVERSION:2.1\r\nN:;;;;\r\nTEL;CELL:+44 7700 900001\r\nEND:VCARD\r\n")
            << "+44 7700 900001" << QStringList { "3 2: +44 7700 900001" };
        QTest::newRow("an e-mail alone")
            << QByteArrayLiteral("BEGIN:VCARD\r\nVERSION:4.0\r\nN:;;;;\r\nEMAIL;TYPE=work:desk@firm.example\r\nEND:VCARD\r\n")
            << "desk@firm.example" << QStringList { "4 2: desk@firm.example" };
    }
    void foreignFormsStoredWholeAndMergedBackChangeNoRow()
    {
        QFETCH(QByteArray, card);
        QFETCH(QString, name);
        QFETCH(QStringList, rows);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).left(12).replace(u' ', u'-');
        const QString db = newDb(QStringLiteral("foreign-%1.db").arg(tag));
        const QString cardPath = m_dir.filePath(QStringLiteral("foreign-%1.vcf").arg(tag));
        QFile cardFile(cardPath);
        QVERIFY(cardFile.open(QIODevice::WriteOnly));
        cardFile.write(card);
        cardFile.close();
        QCOMPARE(import(cardPath, db), QString());

        SqlProbe probe(db);
        QCOMPARE(probe.column(QStringLiteral("SELECT full_name FROM contact")), QStringList { name });
        if (name == QLatin1String("Ann Ray")) {
            QCOMPARE(probe.value(QStringLiteral("SELECT data1 FROM data WHERE type = 1")), QVariant("Dr. Ann Ray"));
            QCOMPARE(probe.value(QStringLiteral("SELECT data3 FROM data WHERE data1 = 'Kay Lee'")), QVariant("Godmother"));
        } else if (name == QLatin1String("Anna Schmidt")) {
            // A protocol the table lacks keeps its name.
            QCOMPARE(probe.value(QStringLiteral("SELECT data6 FROM data WHERE data1 = 'anna_s'")), QVariant("irc"));
        }
        QCOMPARE(storedRows(db, name, false), rows);

        const QStringList before = everyRow(db);
        const QString exportedPath
            = exported(ExportToFileThread::TYPE_VCARD, QStringLiteral("foreign-out-%1.vcf").arg(tag), {}, db);
        QVERIFY(!exportedPath.isEmpty());
        const QString fresh = newDb(QStringLiteral("foreign-back-%1.db").arg(tag));
        QCOMPARE(import(exportedPath, fresh), QString());
        QCOMPARE(storedRows(fresh, name, false), rows);
        QCOMPARE(everyDataRow(fresh, name), everyDataRow(db, name));
        QCOMPARE(SqlProbe(fresh).value(QStringLiteral("SELECT data6 FROM data WHERE data1 = 'anna_s'")),
                 probe.value(QStringLiteral("SELECT data6 FROM data WHERE data1 = 'anna_s'")));
        for (const QString& file : { exportedPath, cardPath }) {
            QCOMPARE(import(file, db), QString());
            QCOMPARE(everyRow(db), before);
        }
    }

    // Each value of a row stands apart: a value never runs into the next.
    void textTableSeparatesEveryValue()
    {
        const QString file = exported(ExportToFileThread::TYPE_TXT, QStringLiteral("out.txt"));
        QVERIFY(!file.isEmpty());
        QFile in(file);
        QVERIFY(in.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 4); // header, two contacts, the final line end
        for (const pim::_Contact& contact : { cardContact(), tableContact() }) {
            const QString line = lines.value(lines.value(1).contains(QLatin1String("Every")) == (contact.fullName == QStringLiteral("宋军")) ? 2 : 1);
            for (auto it = contact.entities.cbegin(); it != contact.entities.cend(); ++it) {
                const Carried c = carried(it.key());
                if (it.key() == pim::ENTITY_PHOTO)
                    continue;
                for (const pim::Entity& e : it.value()) {
                    for (const QString& key : c.values) {
                        QString value = e.fields.value(key).toString();
                        if (value.isEmpty() || (it.key() == pim::ENTITY_IM && key == QLatin1String("data2")))
                            continue;
                        if (value.endsWith(QLatin1String("T00:00:00")))
                            value.chop(9); // a date goes out as a date
                        value.replace(QLatin1Char('\n'), QLatin1Char(' '));
                        QVERIFY2(standsAlone(line, value), qPrintable(value));
                    }
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestFileRoundTrip)
#include "tst_fileroundtrip.moc"
