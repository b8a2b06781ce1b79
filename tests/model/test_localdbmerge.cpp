// SPDX-License-Identifier: GPL-3.0-or-later
// Duplicate merge under the local rule, driven through combineContact on
// real database files and checked with plain SQL.
#include "contactbuilders.h"
#include "failingcombinerule.h"
#include "localdb.h"
#include "localdbcombinerule.h"
#include "sqlprobe.h"

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
    case pim::ENTITY_NOTES:
    case pim::ENTITY_NICKNAME:
        return QStringLiteral("data1");
    case pim::ENTITY_GROUP:
        return QStringLiteral("data1||'|'||data2");
    case pim::ENTITY_ADDR:
        return QStringLiteral("data1||'|'||data11");
    default:
        return QStringLiteral("data1||'|'||data2||'|'||data3");
    }
}

} // namespace

class TestLocalDbMerge : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<LocalDb> m_db;

    std::unique_ptr<LocalDb> makeDb(QSharedPointer<AbsContactCombineRule> rule)
    {
        auto db = std::make_unique<LocalDb>(m_dir->filePath(QStringLiteral("m.db")), rule);
        db->create();
        return db;
    }
    QMap<int, QList<pim::Entity>> merge(const pim::_Contact& in, bool* existedOut = nullptr, pim::_Contact* storedOut = nullptr)
    {
        pim::_Contact stored;
        bool existed = false;
        const auto result = m_db->combineContact(in, stored, existed);
        if (existedOut)
            *existedOut = existed;
        if (storedOut)
            *storedOut = stored;
        return result;
    }
    QStringList rowsOf(int type)
    {
        SqlProbe probe(m_db->path());
        return probe.column(QStringLiteral("select %1 from data where type=%2 order by _id").arg(shownColumns(type)).arg(type));
    }
    int count(const QString& sql) { return SqlProbe(m_db->path()).value(sql).toInt(); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_db = makeDb(QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
    }
    void cleanup()
    {
        m_db.reset();
        m_dir.reset();
    }

    void ruleTable_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("empty");
        QTest::addColumn<QStringList>("minimal");
        QTest::addColumn<QStringList>("full");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<bool>("single");
        const QStringList none;
        const QStringList d1 { "data1" };
        const QStringList d123 { "data1", "data2", "data3" };
        const QStringList im { "data1", "data5", "data6", "data2", "data3" };
        const QStringList org { "data1", "data5", "data4" };
        const QStringList addr { "data10", "data11", "data8", "data7", "data4", "data9", "data2", "data3" };
        QTest::newRow("name: never merged") << 1 << none << none << none << none << false;
        QTest::newRow("photo") << 2 << QStringList { "data4" } << QStringList { "data4" } << QStringList { "data4" }
                               << QStringList { "data4", "data15" } << true;
        QTest::newRow("phone") << 3 << d1 << d1 << d123 << d123 << false;
        QTest::newRow("email") << 4 << d1 << d1 << d123 << d123 << false;
        QTest::newRow("nickname") << 5 << d1 << d1 << d1 << d1 << true;
        QTest::newRow("event") << 6 << d1 << d1 << d123 << d123 << false;
        QTest::newRow("group") << 7 << d1 << d1 << d1 << QStringList { "data1", "data2" } << true;
        QTest::newRow("im") << 8 << d1 << im.mid(0, 3) << im << im << false;
        QTest::newRow("notes") << 9 << d1 << d1 << d1 << d1 << false;
        QTest::newRow("org") << 10 << org << org << org << org << true;
        QTest::newRow("relation") << 11 << d1 << d1 << d123 << d123 << false;
        QTest::newRow("address: full match skips formatted text") << 12 << d1 << d1 << addr << (d1 + addr) << false;
        QTest::newRow("url") << 13 << d1 << d1 << d123 << d123 << false;
        QTest::newRow("fourteen") << 14 << none << none << none << none << false;
    }
    void ruleTable()
    {
        QFETCH(int, type);
        QFETCH(QStringList, empty);
        QFETCH(QStringList, minimal);
        QFETCH(QStringList, full);
        QFETCH(QStringList, kept);
        QFETCH(bool, single);
        LocalDbCombineRule rule;
        QCOMPARE(rule.checkEmptyFields(type), empty);
        QCOMPARE(rule.checkEqualFieldsMin(type), minimal);
        QCOMPARE(rule.checkEqualFieldsFull(type), full);
        bool flag = !single; // always set, whatever it held
        QCOMPARE(rule.validFields(type, flag), kept);
        QCOMPARE(flag, single);
    }

    void entityComparisons_data()
    {
        QTest::addColumn<QVariantMap>("left");
        QTest::addColumn<QVariantMap>("right");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<bool>("equal");
        QTest::addColumn<bool>("leftEmpty");
        const QStringList d1 { "data1" };
        QTest::newRow("absent vs empty text") << QVariantMap {} << QVariantMap { { "data1", "" } } << d1 << false << true;
        QTest::newRow("text 2 equals int 2") << QVariantMap { { "data1", "2" } } << QVariantMap { { "data1", 2 } } << d1
                                             << true << false;
        QTest::newRow("blanks are not empty") << QVariantMap { { "data1", "  " } } << QVariantMap { { "data1", "  " } } << d1
                                              << true << false;
    }
    void entityComparisons()
    {
        QFETCH(QVariantMap, left);
        QFETCH(QVariantMap, right);
        QFETCH(QStringList, keys);
        QFETCH(bool, equal);
        QFETCH(bool, leftEmpty);
        QCOMPARE(AbsContactCombineRule::isEntityEqual(entityOf(left), entityOf(right), keys), equal);
        QCOMPARE(AbsContactCombineRule::isEntityEmpty(entityOf(left), keys), leftEmpty);
    }

    void decisionTable_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<Maps>("storedEntities");
        QTest::addColumn<QVariantMap>("incoming");
        QTest::addColumn<QStringList>("rowsAfter");
        QTest::addColumn<int>("written");
        const QVariantMap phone { { "data1", "555" }, { "data2", "1" }, { "data3", "desk" } };
        QTest::newRow("empty kept list: name never written")
            << 1 << Maps {} << QVariantMap { { "data1", "Ann B" }, { "data2", "Anne" } } << QStringList { "Ann|Ann|" } << 0;
        QTest::newRow("unknown type never written") << 14 << Maps {} << QVariantMap { { "data1", "x" } } << QStringList {} << 0;
        QTest::newRow("multi: equal on all kept keys") << 3 << Maps { phone } << phone << QStringList { "555|1|desk" } << 0;
        QTest::newRow("multi: sub-type change keeps stored label")
            << 3 << Maps { phone } << QVariantMap { { "data1", "555" }, { "data2", 2 } } << QStringList { "555|2|desk" } << 1;
        QTest::newRow("multi: first of two matching stored entities is updated")
            << 3 << Maps { phone, { { "data1", "555" }, { "data2", "3" }, { "data3", "" } } }
            << QVariantMap { { "data1", "555" }, { "data3", "x" } } << QStringList { "555|1|x", "555|3|" } << 1;
        QTest::newRow("multi: no match, lacks every kept key")
            << 3 << Maps { phone } << QVariantMap { { "data9", "x" } } << QStringList { "555|1|desk" } << 0;
        QTest::newRow("multi: no match, kept keys empty: empty row")
            << 4 << Maps {} << QVariantMap { { "data1", "" }, { "data2", "" }, { "data3", "" } } << QStringList { "||" } << 1;
        QTest::newRow("multi: no match is added") << 3 << Maps { phone } << QVariantMap { { "data1", "777" }, { "data2", 2 } }
                                                  << QStringList { "555|1|desk", "777|2|" } << 1;
        QTest::newRow("im: other protocol is another account")
            << 8 << Maps { { { "data1", "ann" }, { "data5", "1" }, { "data6", "" } } }
            << QVariantMap { { "data1", "ann" }, { "data5", 2 }, { "data6", "" } } << QStringList { "ann|1|", "ann|2|" } << 1;
        QTest::newRow("notes: other text is added")
            << 9 << Maps { { { "data1", "a" } } } << QVariantMap { { "data1", "b" } } << QStringList { "a", "b" } << 1;
        QTest::newRow("single: equal writes nothing")
            << 5 << Maps { { { "data1", "Annie" } } } << QVariantMap { { "data1", "Annie" } } << QStringList { "Annie" } << 0;
        QTest::newRow("single: differing value replaces first")
            << 5 << Maps { { { "data1", "Annie" } }, { { "data1", "Nan" } } } << QVariantMap { { "data1", "Bee" } }
            << QStringList { "Bee", "Nan" } << 1;
        QTest::newRow("single: empty incoming value keeps stored")
            << 10 << Maps { { { "data1", "Acme" }, { "data4", "CEO" }, { "data5", "IT" } } }
            << QVariantMap { { "data1", "Acme" }, { "data4", "" }, { "data5", "Sales" } } << QStringList { "Acme|CEO|Sales" } << 1;
        QTest::newRow("single: none stored is added")
            << 5 << Maps {} << QVariantMap { { "data1", "Bee" } } << QStringList { "Bee" } << 1;
    }
    void decisionTable()
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

        bool existed = false;
        pim::_Contact stored;
        const auto result = merge(contactOf("ANN", { { type, { incoming } } }), &existed, &stored);
        QVERIFY(existed);
        QCOMPARE(stored.id, cid);
        QCOMPARE(stored.fullName, QStringLiteral("Ann"));
        QCOMPARE(result.value(type).size(), written);
        QCOMPARE(rowsOf(type), rowsAfter);
        QCOMPARE(count("select count(*) from contact"), 1);
    }

    void newContactTakesFirstNameAndNoSourceIds_data()
    {
        QTest::addColumn<Maps>("names");
        QTest::newRow("no name entity: contact row only") << Maps {};
        QTest::newRow("several names: first only")
            << Maps { { { "data1", "Ann" }, { "data2", "first" } }, { { "data1", "Ann" }, { "data2", "second" } } };
    }
    void newContactTakesFirstNameAndNoSourceIds()
    {
        QFETCH(Maps, names);
        pim::_Contact in = contactOf("Ann", { { 1, names }, { 3, { QVariantMap { { "data1", "555" } } } } });
        in.srcId = "phone-1";
        for (auto& list : in.entities)
            for (auto& e : list)
                e.srcId = "phone-e";
        bool existed = true;
        pim::_Contact stored;
        const auto result = merge(in, &existed, &stored);
        QVERIFY(!existed);
        SqlProbe probe(m_db->path());
        QCOMPARE(probe.rows("select full_name,src_id from contact"), (QList<QVariantList> { { "Ann", "" } }));
        QCOMPARE(probe.column("select data2 from data where type=1"), names.isEmpty() ? QStringList {} : QStringList { "first" });
        QCOMPARE(probe.value("select count(*) from data where src_id<>''").toInt(), 0);
        QCOMPARE(stored.entities.value(3).value(0).id, result.value(3).value(0).id);
    }

    void identicalIncomingEntitiesGiveOneRow()
    {
        const QVariantMap mail { { "data1", "a@x.org" }, { "data2", 1 }, { "data3", "w" } };
        merge(contactOf("Ann", { { 4, { mail, mail } } }));
        QCOMPARE(rowsOf(4), QStringList { "a@x.org|1|w" });
    }

    void differingSingleValuesForNewContactGiveOneRow_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<Maps>("incoming");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("two organisations")
            << 10 << Maps { { { "data1", "Acme" }, { "data4", "CEO" } }, { { "data1", "Globex" }, { "data5", "IT" } } }
            << QStringList { "Globex|CEO|IT" };
        QTest::newRow("two photos") << 2 << Maps { { { "data15", QByteArray("one") } }, { { "data15", QByteArray("two") } } }
                                    << QStringList { "two" };
    }
    void differingSingleValuesForNewContactGiveOneRow()
    {
        QFETCH(int, type);
        QFETCH(Maps, incoming);
        QFETCH(QStringList, rows);
        const auto result = merge(contactOf("Ann", { { type, incoming } }));
        QCOMPARE(rowsOf(type), rows);
        // The second write updated the row of the first.
        QCOMPARE(result.value(type).size(), 2);
        QCOMPARE(result.value(type).at(0).id, result.value(type).at(1).id);
    }

    void groupNameBecomesLocalGroupId()
    {
        merge(contactOf("Ann", { { 7, { QVariantMap { { "data1", "999" }, { "data2", "Friends" } } } } }));
        merge(contactOf("Bob", { { 7, { QVariantMap { { "data1", "5" }, { "data2", "FRIENDS" } } } } }));
        SqlProbe probe(m_db->path());
        QCOMPARE(probe.column("select name from contact_group"), QStringList { "Friends" });
        const QString gid = probe.value("select _id from contact_group").toString();
        QCOMPARE(rowsOf(7), (QStringList { gid + "|Friends", gid + "|FRIENDS" }));
    }

    void emptyGroupNameIsSkipped()
    {
        const auto result = merge(contactOf("Ann", { { 7, { QVariantMap { { "data1", "3" }, { "data2", "" } }, QVariantMap { { "data1", "4" } } } },
                                                       { 9, { QVariantMap { { "data1", "note" } } } } }));
        QVERIFY(!result.contains(7));
        QCOMPARE(count("select count(*) from contact_group"), 0);
        QCOMPARE(count("select count(*) from data where type=7"), 0);
        QCOMPARE(rowsOf(9), QStringList { "note" });
    }

    void namesThatMustNotMerge_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<int>("contacts");
        QTest::newRow("two nameless contacts stay two") << "" << "" << 2;
        QTest::newRow("percent is literal") << "100 Pure" << "100% Pure" << 2;
        QTest::newRow("underscore is literal") << "John" << "J_hn" << 2;
        QTest::newRow("non-ASCII case differs") << QStringLiteral("Émile") << QStringLiteral("émile") << 2;
        QTest::newRow("ASCII case merges") << "John Smith" << "JOHN smith" << 1;
    }
    void namesThatMustNotMerge()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, contacts);
        merge(contactOf(first, { { 3, { QVariantMap { { "data1", "111" } } } } }));
        bool existed = true;
        merge(contactOf(second, { { 3, { QVariantMap { { "data1", "222" } } } } }), &existed);
        QCOMPARE(existed, contacts == 1);
        QCOMPARE(count("select count(*) from contact"), contacts);
    }

    void addressWithCountryCodeIsRewrittenEveryMerge()
    {
        const pim::_Contact in = contactOf("Ann", { { 12, { QVariantMap { { "data1", "Main St" }, { "data11", "US" } } } } });
        merge(in);
        QCOMPARE(merge(in).value(12).size(), 1);
        QCOMPARE(rowsOf(12), QStringList { "Main St|US" });
    }

    void resultHoldsWrittenEntitiesInOrder()
    {
        const QVariantMap phone1 { { "data1", "1" }, { "data2", "1" }, { "data3", "" } };
        const QVariantMap phone2 { { "data1", "2" }, { "data2", "1" }, { "data3", "" } };
        const pim::_Contact in = contactOf("Ann", { { 1, { QVariantMap { { "data1", "Ann" } } } }, { 3, { phone1, phone2 } },
                                                      { 4, { QVariantMap { { "data1", "a@x" }, { "data2", "0" }, { "data3", "" } } } } });
        const auto result = merge(in);
        QCOMPARE(result.keys(), (QList<int> { 1, 3, 4 }));
        QStringList fromResult;
        for (const auto& list : result)
            for (const auto& e : list)
                fromResult << QString::number(e.id);
        QCOMPARE(fromResult, SqlProbe(m_db->path()).column("select _id from data order by _id"));
        QCOMPARE(result.value(3).at(1).fields.value("data1").toString(), QStringLiteral("2"));

        // Merging again with one changed phone reports only that row, by its id.
        pim::_Contact again = in;
        again.entities[3][1].fields["data2"] = 2;
        const auto second = merge(again);
        QCOMPARE(second.keys(), QList<int> { 3 });
        QCOMPARE(second.value(3).size(), 1);
        QCOMPARE(second.value(3).at(0).id, result.value(3).at(1).id);
    }

    void failureRollsBackOnlyThatContact_data()
    {
        QTest::addColumn<bool>("throwNonStd");
        QTest::addColumn<bool>("commit");
        QTest::newRow("std exception, edit rolled back") << false << false;
        QTest::newRow("non-std exception, edit rolled back") << true << false;
        QTest::newRow("non-std exception, edit committed") << true << true;
    }
    void failureRollsBackOnlyThatContact()
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
        if (throwNonStd) {
            QVERIFY_THROWS_EXCEPTION(int, m_db->combineContact(bad, stored, existed));
        } else {
            try {
                m_db->combineContact(bad, stored, existed);
                QFAIL("no exception");
            } catch (const std::runtime_error& e) {
                QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("rule refused the e-mail"));
            }
        }
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

    void endEditTruePersistsAcrossReopen()
    {
        m_db->beginEdit();
        for (int i = 0; i < 50; ++i)
            merge(contactOf(QStringLiteral("C%1").arg(i), { { 3, { QVariantMap { { "data1", QString::number(i) } } } } }));
        m_db->endEdit(true);
        m_db.reset();
        LocalDb reopened(m_dir->filePath(QStringLiteral("m.db")), QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
        QCOMPARE(reopened.contacts().size(), 50);
    }
};

QTEST_GUILESS_MAIN(TestLocalDbMerge)
#include "test_localdbmerge.moc"
