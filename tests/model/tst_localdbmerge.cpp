// SPDX-License-Identifier: GPL-3.0-or-later
// Duplicate merge under the local rule, driven through combineContact on
// real database files and checked with plain SQL.
#include "common/contactbuilders.h"
#include "common/failingcombinerule.h"
#include "model/localdb.h"
#include "model/localdbcombinerule.h"
#include "common/sqlprobe.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using testkit::contactOf;
using testkit::entityOf;
using Maps = QList<QVariantMap>;

namespace {

// The columns that tell the rows of a type apart, joined by '|'.
QString shownColumns(int type)
{
    switch (type) {
    case pim::ENTITY_ORG:
        return QStringLiteral("data1||'|'||data4||'|'||data5");
    case pim::ENTITY_IM:
        return QStringLiteral("data1||'|'||data5||'|'||data6");
    case pim::ENTITY_PHOTO:
        return QStringLiteral("cast(data15 as text)");
    case pim::ENTITY_ADDR:
        return QStringLiteral("data1||'|'||data11");
    default:
        return QStringLiteral("data1||'|'||data2||'|'||data3");
    }
}

QSharedPointer<AbsContactCombineRule> localRule()
{
    return QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule);
}

} // namespace

class TestLocalDbMerge : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<LocalDb> m_db;
    // What the last merge() found stored.
    pim::_Contact m_stored;
    bool m_existed = false;

    std::unique_ptr<LocalDb> makeDb(QSharedPointer<AbsContactCombineRule> rule)
    {
        auto db = std::make_unique<LocalDb>(m_dir->filePath(QStringLiteral("m.db")), rule);
        db->create();
        return db;
    }
    QMap<int, QList<pim::Entity>> merge(const pim::_Contact& in)
    {
        m_stored = pim::_Contact();
        m_existed = false;
        return m_db->combineContact(in, m_stored, m_existed);
    }
    QStringList rowsOf(int type)
    {
        return SqlProbe(m_db->path()).column(QStringLiteral("select %1 from data where type=%2 order by _id").arg(shownColumns(type)).arg(type));
    }
    int count(const QString& sql) { return SqlProbe(m_db->path()).value(sql).toInt(); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_db = makeDb(localRule());
    }
    void cleanup()
    {
        m_db.reset();
        m_dir.reset();
    }

    // Incoming "ANN" meets the stored "Ann" holding storedEntities.
    void mergesIntoTheStoredContact_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<Maps>("storedEntities");
        QTest::addColumn<QVariantMap>("incoming");
        QTest::addColumn<QStringList>("rowsAfter");
        QTest::addColumn<int>("written");
        const QVariantMap phone { { "data1", "555" }, { "data2", "1" }, { "data3", "desk" } };
        const auto row = [](const char* name, int type, Maps stored, QVariantMap in, QStringList after, int written) {
            QTest::newRow(name) << type << stored << in << after << written;
        };
        row("name is never written", 1, {}, { { "data1", "Ann B" }, { "data2", "Anne" } }, { "Ann|Ann|" }, 0);
        row("unknown type is never written", 14, {}, { { "data1", "x" } }, {}, 0);
        // A label is the name of the kind it came with.
        row("phone of another kind leaves the stored kind's label behind", 3, { phone }, { { "data1", "555" }, { "data2", 2 } }, { "555|2|" }, 1);
        row("phone of the stored kind keeps its label", 3, { phone }, { { "data1", "555" }, { "data2", 1 } }, { "555|1|desk" }, 0);
        row("phone of the stored label keeps its kind", 3, { phone },
            { { "data1", "555" }, { "data2", 0 }, { "data3", "desk" } }, { "555|1|desk" }, 0);
        row("phone: first of two matching stored is updated", 3, { phone, { { "data1", "555" }, { "data2", "3" }, { "data3", "" } } },
            { { "data1", "555" }, { "data3", "x" } }, { "555|1|x", "555|3|" }, 1);
        row("phone lacking every kept key is dropped", 3, { phone }, { { "data9", "x" } }, { "555|1|desk" }, 0);
        row("email with empty kept keys adds an empty row", 4, {}, { { "data1", "" }, { "data2", "" }, { "data3", "" } }, { "||" }, 1);
        row("im: other protocol is another account", 8, { { { "data1", "ann" }, { "data5", "1" }, { "data6", "" } } },
            { { "data1", "ann" }, { "data5", 2 }, { "data6", "" } }, { "ann|1|", "ann|2|" }, 1);
        row("org: empty incoming value keeps the stored one", 10, { { { "data1", "Acme" }, { "data4", "CEO" }, { "data5", "IT" } } },
            { { "data1", "Acme" }, { "data4", "" }, { "data5", "Sales" } }, { "Acme|CEO|Sales" }, 1);
        row("org: another company is a second organisation", 10,
            { { { "data1", "Acme" }, { "data4", "CEO" }, { "data5", "IT" } } },
            { { "data1", "Globex" }, { "data4", "Adviser" } }, { "Acme|CEO|IT", "Globex|Adviser|" }, 1);
        // A title that comes without a company is of the organisation the
        // contact is known by.
        const Maps twoOrgs { { { "data1", "Acme" }, { "data4", "" }, { "data5", "IT" } },
            { { "data1", "Globex" }, { "data4", "Adviser" }, { "data5", "" } } };
        row("org: a title alone joins the first organisation", 10, twoOrgs, { { "data4", "CTO" } },
            { "Acme|CTO|IT", "Globex|Adviser|" }, 1);
        row("org: a title alone that an organisation holds changes nothing", 10, twoOrgs,
            { { "data1", "" }, { "data4", "Adviser" } }, { "Acme||IT", "Globex|Adviser|" }, 0);
        row("org: a title alone goes to a stored title alone", 10,
            { { { "data1", "Acme" }, { "data4", "CEO" }, { "data5", "" } }, { { "data1", "" }, { "data4", "Coach" }, { "data5", "" } } },
            { { "data4", "Chair" } }, { "Acme|CEO|", "|Chair|" }, 1);
        row("org: a title alone is the first organisation of a contact without one", 10, {}, { { "data4", "CTO" } },
            { "|CTO|" }, 1);
        row("address with another country code is rewritten", 12, { { { "data1", "Main St" }, { "data11", "US" } } },
            { { "data1", "Main St" }, { "data11", "CA" } }, { "Main St|CA" }, 1);
        // Files write line ends as CRLF or LF (a vCard LF only), and the
        // blanks a value starts or ends with not always: the same value
        // either way, one row, which keeps the stored form.
        row("address differing only in its line ends is the same", 12,
            { { { "data1", "1 Main St\nUnit 2" }, { "data2", "1" }, { "data4", "1 Main St\nUnit 2" } } },
            { { "data1", "1 Main St\r\nUnit 2" }, { "data2", 1 }, { "data4", "1 Main St\r\nUnit 2" } },
            { "1 Main St\nUnit 2|" }, 0);
        row("note with CR line ends is the same note", 9, { { { "data1", "a\r\nb" } } }, { { "data1", "a\rb" } },
            { "a\r\nb||" }, 0);
        row("phone without the blanks it was stored with is the same", 3,
            { { { "data1", " 555 " }, { "data2", "1" }, { "data3", "" } } }, { { "data1", "555" }, { "data2", 1 } },
            { " 555 |1|" }, 0);
        row("phone of a new kind without its blanks: the stored number stays", 3,
            { { { "data1", " 555 " }, { "data2", "1" }, { "data3", "" } } }, { { "data1", "555" }, { "data2", 2 } },
            { " 555 |2|" }, 1);
        // A file that names no kind for a value (a bare TEL, a column that
        // names none) gives only what a new entry would get.
        const QVariantMap labelled { { "data1", "555" }, { "data2", "0" }, { "data3", "Oficina central" } };
        const QString notGiven = pim::typeNotGivenKey();
        row("phone without a type keeps the stored label", 3, { labelled },
            { { "data1", "555" }, { "data2", 2 }, { notGiven, true } }, { "555|0|Oficina central" }, 0);
        row("phone without a type keeps the stored sub-type", 3, { phone },
            { { "data1", "555" }, { "data2", 2 }, { notGiven, true } }, { "555|1|desk" }, 0);
        row("phone with a type still replaces the stored sub-type and its label", 3, { labelled },
            { { "data1", "555" }, { "data2", 2 } }, { "555|2|" }, 1);
        row("new phone without a type gets the file's sub-type", 3, { labelled },
            { { "data1", "556" }, { "data2", 2 }, { notGiven, true } }, { "555|0|Oficina central", "556|2|" }, 1);
        row("e-mail without a type keeps Work", 4, { { { "data1", "a@x" }, { "data2", "2" } } },
            { { "data1", "a@x" }, { "data2", 1 }, { notGiven, true } }, { "a@x|2|" }, 0);
        row("relation without a type keeps its label", 11,
            { { { "data1", "Ana" }, { "data2", "0" }, { "data3", "Madrina" } } },
            { { "data1", "Ana" }, { "data2", 0 }, { notGiven, true } }, { "Ana|0|Madrina" }, 0);
    }
    void mergesIntoTheStoredContact()
    {
        QFETCH(int, type);
        QFETCH(Maps, storedEntities);
        QFETCH(QVariantMap, incoming);
        QFETCH(QStringList, rowsAfter);
        QFETCH(int, written);
        merge(contactOf("Ann", { { 1, { QVariantMap { { "data1", "Ann" }, { "data2", "Ann" } } } } }));
        const auto cid = m_db->isContactBaseExist("Ann");
        for (const QVariantMap& f : storedEntities) {
            pim::Entity e = entityOf(f);
            m_db->insertEntity(cid, type, e);
        }

        const auto result = merge(contactOf("ANN", { { type, { incoming } } }));
        QVERIFY(m_existed);
        QCOMPARE(m_stored.id, cid);
        QCOMPARE(result.value(type).size(), written);
        QCOMPARE(rowsOf(type), rowsAfter);
        // What a merge wrote goes to phones as it is: the reader's mark
        // stays behind.
        for (const pim::Entity& e : result.value(type))
            QVERIFY(pim::isTypeGiven(e));
    }

    // Dates meet on their value and their kind: a birthday and an
    // anniversary of one day are two dates. One of no particular kind (no
    // label, sub-type Other or none: what a reader stores when the file
    // named none) goes with a date of its day of any kind, so that a file
    // naming the kind adds none. Each row runs on a short list and on one
    // long enough for the merge to index it.
    void mergesADateByValueAndKind_data()
    {
        QTest::addColumn<int>("padding");
        QTest::addColumn<Maps>("storedDates");
        QTest::addColumn<Maps>("incoming");
        QTest::addColumn<QStringList>("rowsAfter");
        const QString day = QStringLiteral("2018-12-01T00:00:00");
        const auto date = [&day](const QVariant& kind, const QString& label = QString()) {
            QVariantMap fields { { "data1", day }, { "data2", kind } };
            if (!label.isNull())
                fields.insert("data3", label);
            return fields;
        };
        const QVariantMap bare { { "data1", day } };
        QVariantMap notGiven = date(0);
        notGiven.insert(pim::typeNotGivenKey(), true);
        const QString birthday = day + "|3|", anniversary = day + "|1|";
        for (const int padding : { 0, 40 }) {
            const auto row = [padding](const char* name, const Maps& stored, const Maps& in, const QStringList& after) {
                QTest::addRow("%s, %d other dates", name, padding) << padding << stored << in << after;
            };
            row("an anniversary on a birthday is a second date", { date("3", "") }, { date(1) }, { birthday, anniversary });
            row("a birthday met again changes nothing", { date("3", "") }, { date(3) }, { birthday });
            row("a labelled date is a kind of its own", { date("0", "Wedding") }, { date(1) },
                { day + "|0|Wedding", anniversary });
            row("a stored date of no kind takes the kind that comes", { date("0", "") }, { date(3) }, { birthday });
            row("a stored date without a sub-type takes the kind that comes", { date("", "") }, { date(1) },
                { anniversary });
            row("an incoming date of no kind leaves the stored kind", { date("3", "") }, { date(0) }, { birthday });
            row("an incoming date without a sub-type leaves the stored kind", { date("1", "") }, { bare },
                { anniversary });
            row("a date whose file named no kind leaves the stored kind", { date("1", "") }, { notGiven },
                { anniversary });
            row("a stored date of no kind takes one kind only", { date("0", "") }, { date(3), date(1) },
                { birthday, anniversary });
            row("a kind given to a stored date is found again", { date("0", "") }, { date(3), date(3) }, { birthday });
            row("a date of the same kind comes before one of no kind", { date("0", ""), date("1", "") }, { date(1) },
                { day + "|0|", anniversary });
            row("a date of no kind goes to the first date of its day", { date("3", ""), date("1", "") }, { date(0) },
                { birthday, anniversary });
            row("two kinds in one contact with none stored", {}, { date(3), date(1), date(3) }, { birthday, anniversary });
        }
    }
    void mergesADateByValueAndKind()
    {
        QFETCH(int, padding);
        QFETCH(Maps, storedDates);
        QFETCH(Maps, incoming);
        QFETCH(QStringList, rowsAfter);
        merge(contactOf("Ann", { { 1, { QVariantMap { { "data1", "Ann" } } } } }));
        const auto cid = m_db->isContactBaseExist("Ann");
        for (int i = 0; i < padding; ++i) {
            pim::Entity e = entityOf({ { "data1", QStringLiteral("1900-01-%1T00:00:00").arg(i + 1) }, { "data2", "3" } });
            m_db->insertEntity(cid, pim::ENTITY_EVENT, e);
        }
        for (const QVariantMap& f : storedDates) {
            pim::Entity e = entityOf(f);
            m_db->insertEntity(cid, pim::ENTITY_EVENT, e);
        }
        merge(contactOf("Ann", { { pim::ENTITY_EVENT, incoming } }));
        QCOMPARE(SqlProbe(m_db->path())
                     .column(QStringLiteral("select data1||'|'||data2||'|'||data3 from data where type=%1 and "
                                            "data1 not like '1900-%' order by _id")
                                 .arg(pim::ENTITY_EVENT)),
                 rowsAfter);
        QCOMPARE(count(QStringLiteral("select count(*) from data where data1 like '1900-%'")), padding);
    }

    // A contact merged into an empty database; incoming source ids are the
    // peer's and never stored. The result's ids are exactly the rows written.
    void storesANewContact_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<Maps>("incoming");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("several names: first only")
            << 1 << Maps { { { "data1", "Ann" }, { "data2", "first" } }, { { "data1", "Ann" }, { "data2", "second" } } }
            << QStringList { "Ann|first|" };
        // Folded into one, the second company took the first one's title.
        QTest::newRow("two organisations give two rows")
            << 10 << Maps { { { "data1", "Acme" }, { "data4", "CEO" } }, { { "data1", "Globex" }, { "data5", "IT" } } }
            << QStringList { "Acme|CEO|", "Globex||IT" };
        QTest::newRow("one company twice gives one row")
            << 10 << Maps { { { "data1", "Acme" }, { "data4", "CEO" } }, { { "data1", "Acme" }, { "data5", "IT" } } }
            << QStringList { "Acme|CEO|IT" };
        // A phone lists a second organisation of a title alone: it is one
        // of its own, not a new title of the first.
        QTest::newRow("a company and a title alone give two rows")
            << 10 << Maps { { { "data1", "Acme" }, { "data4", "CEO" } }, { { "data4", "Coach" } } }
            << QStringList { "Acme|CEO|", "|Coach|" };
        QTest::newRow("two photos give one row") << 2 << Maps { { { "data15", QByteArray("one") } }, { { "data15", QByteArray("two") } } }
                                                 << QStringList { "two" };
        QTest::newRow("group with empty name is skipped") << 7 << Maps { { { "data1", "3" }, { "data2", "" } }, { { "data1", "4" } } }
                                                          << QStringList {};
    }
    void storesANewContact()
    {
        QFETCH(int, type);
        QFETCH(Maps, incoming);
        QFETCH(QStringList, rows);
        pim::_Contact in = contactOf("Ann", { { type, incoming } });
        in.srcId = "phone-1";
        for (auto& e : in.entities[type])
            e.srcId = "phone-e";
        const auto result = merge(in);
        QVERIFY(!m_existed);
        QCOMPARE(rowsOf(type), rows);
        SqlProbe probe(m_db->path());
        QCOMPARE(probe.rows("select full_name,src_id from contact"), (QList<QVariantList> { { "Ann", "" } }));
        QCOMPARE(probe.value("select count(*) from data where src_id<>''").toInt(), 0);
        QStringList ids;
        for (const pim::Entity& e : result.value(type))
            if (!ids.contains(QString::number(e.id)))
                ids << QString::number(e.id);
        QCOMPARE(ids, probe.column(QStringLiteral("select _id from data where type=%1 order by _id").arg(type)));
    }

    // The same contact merged twice: the second merge writes a row only
    // where a value really changes, as counted by triggers on the file.
    void writesOnlyWhatChanges_data()
    {
        QTest::addColumn<bool>("lean");
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariantMap>("first");
        QTest::addColumn<QVariantMap>("second");
        QTest::addColumn<int>("updates");
        const QVariantMap bare { { "data1", "555" } };
        const QVariantMap photo { { "data15", QByteArray("jpeg") } };
        const QVariantMap group { { "data1", "77" }, { "data2", "Friends" } };
        // The whole merge, and the import's lean one that first looks
        // whether the stored rows already hold the card.
        for (const bool lean : { false, true }) {
            const auto row = [lean](const char* name, int type, const QVariantMap& first, const QVariantMap& second,
                                    int updates) {
                QTest::addRow("%s, %s", lean ? "lean" : "whole", name) << lean << type << first << second << updates;
            };
            row("phone without label", 3, bare, bare, 0);
            row("phone gains a label", 3, bare, { { "data1", "555" }, { "data3", "desk" } }, 1);
            row("nickname edited in letter case only", 5, { { "data1", "Annie" } }, { { "data1", "ANNIE" } }, 1);
            row("sub-type as a number", 3, { { "data1", "555" }, { "data2", "2" } }, { { "data1", "555" }, { "data2", 2 } }, 0);
            row("sub-type as another number", 3, { { "data1", "555" }, { "data2", "2" } },
                { { "data1", "555" }, { "data2", 12 } }, 1);
            row("address with country", 12, { { "data1", "Main St" }, { "data11", "US" } },
                { { "data1", "Main St" }, { "data11", "US" } }, 0);
            row("photo", 2, photo, photo, 0);
            row("date-time against its stored text", 6, { { "data1", "1980-05-17T00:00:00" } },
                { { "data1", QDateTime(QDate(1980, 5, 17), QTime(0, 0)) } }, 0);
            row("group under another id", 7, group, { { "data1", "3" }, { "data2", "Friends" } }, 0);
            row("non-ASCII nickname", 5, { { "data1", "Grüße, 東京" } }, { { "data1", "Grüße, 東京" } }, 0);
            row("non-ASCII nickname in another case", 5, { { "data1", "grüße" } }, { { "data1", "GRÜSSE" } }, 1);
            row("street with CRLF against its LF text", 12, { { "data1", "1 Main\nUnit 2" } },
                { { "data1", "1 Main\r\nUnit 2" } }, 0);
            row("note with blanks and CRLF against its bare LF text", 9, { { "data1", "  a\r\nb " } },
                { { "data1", "a\nb" } }, 0);
            row("labelled phone met again without a type", 3,
                { { "data1", "555" }, { "data2", 0 }, { "data3", "Oficina central" } },
                { { "data1", "555" }, { "data2", 2 }, { pim::typeNotGivenKey(), true } }, 0);
            row("labelled phone met again with a type", 3,
                { { "data1", "555" }, { "data2", 0 }, { "data3", "Oficina central" } },
                { { "data1", "555" }, { "data2", 2 } }, 1);
            row("messaging account met again without a kind", 8,
                { { "data1", "ann" }, { "data2", 2 }, { "data5", 4 } },
                { { "data1", "ann" }, { "data2", 1 }, { "data5", 4 }, { pim::typeNotGivenKey(), true } }, 0);
        }
    }
    void writesOnlyWhatChanges()
    {
        QFETCH(bool, lean);
        QFETCH(int, type);
        QFETCH(QVariantMap, first);
        QFETCH(QVariantMap, second);
        QFETCH(int, updates);
        merge(contactOf("Ann", { { 1, { QVariantMap { { "data1", "Ann" } } } }, { type, { first } } }));
        {
            SqlProbe probe(m_db->path());
            probe.exec("create table writes(n integer)");
            probe.exec("create trigger wu after update on data begin insert into writes values(1); end");
            probe.exec("create trigger wi after insert on data begin insert into writes values(2); end");
        }
        const pim::_Contact again = contactOf("ANN", { { 1, { QVariantMap { { "data1", "Ann" } } } }, { type, { second } } });
        if (lean) {
            m_db->mergeContact(again, m_existed);
        } else {
            // What the merge reports is what it wrote.
            QCOMPARE(merge(again).size(), updates);
        }
        QVERIFY(m_existed);
        QCOMPARE(SqlProbe(m_db->path()).column("select n from writes"), QStringList(updates, QStringLiteral("1")));
    }

    void turnsGroupNamesIntoLocalIds()
    {
        merge(contactOf("Ann", { { 7, { QVariantMap { { "data1", "999" }, { "data2", "Friends" } } } } }));
        merge(contactOf("Bob", { { 7, { QVariantMap { { "data1", "5" }, { "data2", "FRIENDS" } } } } }));
        SqlProbe probe(m_db->path());
        QCOMPARE(probe.column("select name from contact_group"), QStringList { "Friends" });
        const QString gid = probe.value("select _id from contact_group").toString();
        QCOMPARE(rowsOf(7), (QStringList { gid + "|Friends|", gid + "|FRIENDS|" }));
    }

    // An empty name matches nothing, not even another empty name.
    void keepsNamelessContactsApart()
    {
        merge(contactOf("", { { 3, { QVariantMap { { "data1", "111" } } } } }));
        merge(contactOf("", { { 3, { QVariantMap { { "data1", "222" } } } } }));
        QVERIFY(!m_existed);
        QCOMPARE(count("select count(*) from contact"), 2);
    }

    // Contacts listed under one home number, each by its name's title
    // alone ("" for none), merged one by one as a backup or a phone's
    // transfer merges them: one contact for each title.
    void keepsPeopleOfOneNumberApartUnlessOfOneTitle_data()
    {
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<int>("contacts");
        QTest::newRow("Mr. and Mrs.") << QStringList { "Mr.", "Mrs." } << 2;
        QTest::newRow("Mr. twice, letter case aside") << QStringList { "Mr.", "MR." } << 1;
        QTest::newRow("a title and none, none again") << QStringList { "Mr.", "", "" } << 2;
        QTest::newRow("the later of two titles again") << QStringList { "Mr.", "Mrs.", "Mrs." } << 2;
    }
    void keepsPeopleOfOneNumberApartUnlessOfOneTitle()
    {
        QFETCH(QStringList, titles);
        QFETCH(int, contacts);
        for (const QString& title : titles) {
            QMap<int, QList<QVariantMap>> entities { { 3, { QVariantMap { { "data1", "+1 555 0100" } } } } };
            if (!title.isEmpty())
                entities.insert(1, { QVariantMap { { "data1", title }, { "data5", title } } });
            merge(contactOf("+1 555 0100", entities));
        }
        QCOMPARE(count("select count(*) from contact"), contacts);
    }

    void rollsBackOnlyTheFailedContact_data()
    {
        QTest::addColumn<bool>("throwNonStd");
        QTest::addColumn<bool>("commit");
        QTest::newRow("std exception, edit rolled back") << false << false;
        QTest::newRow("non-std exception, edit committed") << true << true;
    }
    void rollsBackOnlyTheFailedContact()
    {
        QFETCH(bool, throwNonStd);
        QFETCH(bool, commit);
        auto rule = QSharedPointer<FailingCombineRule>::create();
        rule->throwNonStd = throwNonStd;
        m_db = makeDb(rule);
        m_db->beginEdit();
        merge(contactOf("Ann", { { 3, { QVariantMap { { "data1", "1" } } } } }));
        const pim::_Contact bad = contactOf("Bob", { { 3, { QVariantMap { { "data1", "2" } } } }, { 4, { QVariantMap { { "data1", "b@x" } } } } });
        pim::_Contact stored(5, "keep", "Keep");
        bool existed = true;
        if (throwNonStd)
            QVERIFY_THROWS_EXCEPTION(int, m_db->combineContact(bad, stored, existed));
        else
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, m_db->combineContact(bad, stored, existed));
        QCOMPARE(stored.fullName, QStringLiteral("Keep"));
        QVERIFY(existed);
        // Inside the edit: the earlier contact is there, the failed one not.
        QVERIFY(m_db->isContactBaseExist("Ann") != 0);
        QCOMPARE(m_db->isContactBaseExist("Bob"), 0ull);

        // One endEdit must end the edit: the failed merge left no level open,
        // so another connection can read the outcome and write at once.
        m_db->endEdit(commit);
        SqlProbe probe(m_db->path());
        QCOMPARE(probe.column("select full_name from contact"), commit ? QStringList { "Ann" } : QStringList {});
        QCOMPARE(probe.value("select count(*) from data").toInt(), commit ? 1 : 0);
        probe.exec("insert into contact(full_name) values('writer')");
    }

    // However many contacts merge into one, it never holds more rows than
    // the limit; what would pass it is counted, while changes to rows it
    // holds still apply. Within one import (cached target) and edit by edit.
    void keepsAGrowingContactWithinTheLimit_data()
    {
        QTest::addColumn<bool>("oneImport");
        QTest::addColumn<bool>("lean");
        QTest::newRow("one import") << true << false;
        QTest::newRow("an edit per contact") << false << false;
        // Reads only the merged types back: the name row counts all the same.
        QTest::newRow("one import, lean merge") << true << true;
        QTest::newRow("an edit per contact, lean merge") << false << true;
    }
    void keepsAGrowingContactWithinTheLimit()
    {
        QFETCH(bool, oneImport);
        QFETCH(bool, lean);
        const auto phones = [](int from, int n, int subType) {
            QList<QVariantMap> list;
            for (int i = from; i < from + n; ++i)
                list.append({ { "data1", QString::number(5550000 + i) }, { "data2", subType } });
            return list;
        };
        const qsizetype limit = LocalDb::kMaxEntitiesPerContact;
        // The name row and limit - 5 phones.
        const int first = int(limit) - 5;
        if (oneImport)
            m_db->beginImport(4);
        QList<qsizetype> leftOut;
        for (const auto& in : { phones(0, first, 1), phones(first, 3, 1), phones(first + 3, 3, 1),
                 phones(first + 6, 2, 1) + phones(0, 1, 2) }) {
            if (!oneImport)
                m_db->beginEdit();
            const pim::_Contact ann = contactOf("Ann", { { 1, { QVariantMap { { "data1", "Ann" } } } }, { 3, in } });
            if (lean)
                m_db->mergeContact(ann, m_existed);
            else
                merge(ann);
            if (!oneImport)
                m_db->endEdit(true);
            leftOut.append(m_db->lastMergeLeftOut());
        }
        if (oneImport)
            m_db->endEdit(true);

        QCOMPARE(leftOut, (QList<qsizetype> { 0, 0, 2, 2 }));
        QCOMPARE(count("select count(*) from data"), limit);
        QCOMPARE(count("select count(*) from data where type=3 and data2='2'"), 1);
        if (!lean)
            QCOMPARE(m_stored.entities.value(3).size(), limit - 1);
    }

    // Without a level per contact a failed contact leaves partial writes:
    // the import may only be rolled back, never committed.
    void importEditRefusesToCommitAFailure()
    {
        m_db = makeDb(QSharedPointer<FailingCombineRule>::create());
        m_db->beginImport(10);
        QVERIFY_THROWS_EXCEPTION(Error, m_db->beginImport(10));
        merge(contactOf("Ann"));
        QVERIFY_THROWS_EXCEPTION(Error, merge(contactOf("Bob", { { 4, { QVariantMap { { "data1", "b@x" } } } } })));
        QVERIFY_THROWS_EXCEPTION(Error, merge(contactOf("Cy")));
        QVERIFY_THROWS_EXCEPTION(Error, m_db->endEdit(true));
        QCOMPARE(count("select count(*) from contact"), 0);
        m_db->beginEdit();
        merge(contactOf("Dee"));
        m_db->endEdit(true);
        QCOMPARE(count("select count(*) from contact"), 1);
    }

    // The lean merge of imports reads and rewrites fewer columns: replayed
    // over one sequence that updates, adds and regroups every type, in an
    // import edit (its cache of large contacts included) and outside one,
    // it must leave every row exactly as the whole merge does.
    void leanMergeLeavesTheRowsOfTheWholeMerge_data()
    {
        QTest::addColumn<bool>("inImport");
        QTest::newRow("one import edit") << true;
        QTest::newRow("a level per contact") << false;
    }
    void leanMergeLeavesTheRowsOfTheWholeMerge()
    {
        QFETCH(bool, inImport);
        QList<pim::_Contact> sequence;
        const auto ann = [](const QMap<int, QList<QVariantMap>>& entities) { return contactOf("Ann Lee", entities); };
        sequence << ann({ { 1, { { { "data1", "Ann Lee" }, { "data2", "Ann" }, { "data3", "Lee" } } } },
                          { 2, { { { "data15", QByteArray("jpeg-one") } } } },
                          { 3, { { { "data1", "555" }, { "data2", 2 }, { "data3", "" } } } },
                          { 5, { { { "data1", "Annie" }, { "data2", 1 } } } },
                          { 7, { { { "data2", "Friends" } } } },
                          { 8, { { { "data1", "ann" }, { "data5", 1 }, { "data6", "" } } } },
                          { 10, { { { "data1", "Acme" }, { "data2", 1 }, { "data4", "CEO" }, { "data6", "spare" } } } },
                          { 12, { { { "data1", "Main St" }, { "data4", "Main St" }, { "data10", "USA" }, { "data11", "us" } } } } })
                 << ann({ { 2, { { { "data15", QByteArray("jpeg-two") } } } },
                          { 3, { { { "data1", "555" }, { "data2", 3 }, { "data3", "desk" } } } },
                          { 7, { { { "data2", "Work" } } } },
                          { 10, { { { "data1", "Acme" }, { "data5", "Sales" } } } },
                          { 12, { { { "data1", "Main St" }, { "data11", "ca" } } } },
                          { 13, { { { "data1", "https://example.org" } } } } })
                 << contactOf("ANN LEE", { { 5, { { { "data1", "Nan" } } } }, { 9, { { { "data1", "note" } } } } })
                 << contactOf("Bob", { { 4, { { { "data1", "b@x" }, { "data2", 1 } } } } })
                 << contactOf("Ann Lee", { { 9, { { { "data1", "a\r\nb" } } } } })
                 // A title without a company, new, then held already.
                 << contactOf("ann lee", { { 10, { { { "data4", "CTO" } } } } })
                 << contactOf("Ann Lee", { { 10, { { { "data1", "" }, { "data4", "CTO" } } } } })
                 // Cards met again: unchanged, or changed where a look at the
                 // stored rows alone could be misled (the first of two rows
                 // that match, line ends, numbers for text, empty values, a
                 // second entity of a type with one row).
                 << contactOf("bob", { { 4, { { { "data1", "b@x" }, { "data2", "1" } } } } })
                 << contactOf("Cy", { { 3, { { { "data1", "7" }, { "data2", 1 } }, { { "data1", "7" }, { "data2", 2 } } } },
                                      { 9, { { { "data1", "line\r\nend" } } } },
                                      { 12, { { { "data1", "Elm\nSt" }, { "data2", 1 } } } } })
                 << contactOf("Cy", { { 3, { { { "data1", "7" }, { "data2", 2 } } } } })
                 << contactOf("CY", { { 3, { { { "data1", "7" }, { "data2", 2 } }, { { "data1", "8" }, { "data3", "" } } } },
                                      { 9, { { { "data1", "line\nend" } } } } })
                 << contactOf("cy", { { 12, { { { "data1", "Elm\r\nSt" }, { "data2", 1 } } } },
                                      { 5, { { { "data1", "Cyd" } }, { { "data1", "Cyd" } } } } })
                 << contactOf("cy", { { 5, { { { "data1", "Cyd" } }, { { "data1", "Cy" } } } } })
                 // Rows planted below: the first of two that match only up
                 // to white space at their ends is the one merged into.
                 << contactOf("ann lee", { { 3, { { { "data1", "777" }, { "data2", 2 } } } } })
                 << contactOf("ann lee", { { 9, { { { "data1", "\u00e9t\u00e9" } } } } })
                 << contactOf("Cy", { { 4, { { { "data1", "" }, { "data2", "" } } } },
                                      { 6, { { { "data1", QDateTime(QDate(1980, 5, 17), QTime(0, 0)) } } } } })
                 << contactOf("Cy", { { 4, { { { "data1", "" } } } },
                                      { 6, { { { "data1", "1980-05-17T00:00:00" } } } } })
                 << contactOf(QString(), { { 3, { { { "data1", "999" } } } } })
                 // Dates of two kinds on one day, then of no kind and of a
                 // kind given to a date of none.
                 << contactOf("Dee", { { 6, { { { "data1", "2018-12-01" }, { "data2", 3 } },
                                              { { "data1", "2018-12-01" }, { "data2", 1 } } } } })
                 << contactOf("Dee", { { 6, { { { "data1", "2018-12-01" }, { "data2", 0 } },
                                              { { "data1", "2019-01-02" } } } } })
                 << contactOf("DEE", { { 6, { { { "data1", "2019-01-02" }, { "data2", 3 } },
                                              { { "data1", "2019-01-02" }, { "data2", 3 } },
                                              { { "data1", "2018-12-01" }, { "data2", 0 }, { "data3", "Met" } } } } });
        // One contact grown past the sizes at which the merge keeps it and
        // indexes its lists.
        for (int i = 0; i < 80; ++i)
            sequence << contactOf("Bob", { { 3, { { { "data1", QString::number(1000 + i % 50) }, { "data2", i % 3 } } } },
                                           { 4, { { { "data1", "b@x" }, { "data3", QString::number(i % 4) } } } },
                                           { 6, { { { "data1", QString::number(1900 + i % 50) }, { "data2", i < 50 ? 0 : 3 } } } } });

        const auto replay = [&](const QString& name, bool lean) {
            LocalDb db(m_dir->filePath(name), localRule());
            db.create();
            // Stored columns no merge takes over, as an edit or a phone
            // leaves them: every merge must keep them.
            pim::_Contact planted(0, QString(), QStringLiteral("Ann Lee"));
            db.insertContactBase(planted);
            for (const auto& [type, fields] : QList<std::pair<int, QVariantMap>> {
                     { 10, { { "data1", "Acme" }, { "data2", "1" }, { "data4", "CEO" }, { "data6", "spare" } } },
                     { 12, { { "data1", "Main St" }, { "data5", "PO Box 1" }, { "data11", "us" } } },
                     { 5, { { "data1", "Annie" }, { "data2", "1" }, { "data3", "pet name" } } },
                     // Two notes one merge would hold the same: the first is
                     // the one a note like them goes into.
                     { 9, { { "data1", "a\nb" } } },
                     { 9, { { "data1", "a\r\nb" } } },
                     { 3, { { "data1", " 777" }, { "data2", "1" } } },
                     { 3, { { "data1", "777" }, { "data2", "2" } } },
                     { 9, { { "data1", "\u00e9t\u00e9\u3000" } } },
                     { 9, { { "data1", "\u00e9t\u00e9" } } } }) {
                pim::Entity e = entityOf(fields);
                db.insertEntity(planted.id, type, e);
            }
            if (inImport)
                db.beginImport(sequence.size());
            for (const pim::_Contact& c : sequence) {
                bool existed = false;
                pim::_Contact stored;
                if (lean)
                    db.mergeContact(c, existed);
                else
                    db.combineContact(c, stored, existed);
            }
            if (inImport)
                db.endEdit(true);
            SqlProbe probe(db.path());
            return probe.rows("select * from contact order by _id") + probe.rows("select * from data order by _id")
                + probe.rows("select * from contact_group order by _id");
        };
        const QList<QVariantList> whole = replay(QStringLiteral("whole.db"), false);
        QVERIFY(whole.size() > 60);
        QCOMPARE(replay(QStringLiteral("lean.db"), true), whole);
    }

};

QTEST_GUILESS_MAIN(TestLocalDbMerge)
#include "tst_localdbmerge.moc"
