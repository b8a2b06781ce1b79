// SPDX-License-Identifier: GPL-3.0-or-later
// Duplicate merge under the local rule, driven through combineContact on
// real database files and checked with plain SQL.
#include "localdb.h"
#include "localdbcombinerule.h"
#include "contactbuilders.h"
#include "failingcombinerule.h"
#include "sqlprobe.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

using testkit::contactOf;
using testkit::entityOf;

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
    // "data1|data2|data3" of every row of the type, by row id.
    QStringList rowsOf(int type, const QString& columns = QStringLiteral("data1||'|'||data2||'|'||data3"))
    {
        SqlProbe probe(m_db->path());
        return probe.column(QStringLiteral("select %1 from data where type=%2 order by _id").arg(columns).arg(type));
    }

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

    // --- the rule table -----------------------------------------------------

    void ruleTable_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("empty");
        QTest::addColumn<QStringList>("minimal");
        QTest::addColumn<QStringList>("full");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<bool>("single");
        const QStringList d1{"data1"};
        const QStringList d123{"data1", "data2", "data3"};
        QTest::newRow("name: never merged") << 1 << QStringList() << QStringList() << QStringList() << QStringList() << false;
        QTest::newRow("photo") << 2 << QStringList{"data4"} << QStringList{"data4"} << QStringList{"data4"}
                               << QStringList{"data4", "data15"} << true;
        QTest::newRow("phone") << 3 << d1 << d1 << d123 << d123 << false;
        QTest::newRow("email") << 4 << d1 << d1 << d123 << d123 << false;
        QTest::newRow("nickname") << 5 << d1 << d1 << d1 << d1 << true;
        QTest::newRow("event") << 6 << d1 << d1 << d123 << d123 << false;
        QTest::newRow("group") << 7 << d1 << d1 << d1 << QStringList{"data1", "data2"} << true;
        QTest::newRow("im") << 8 << d1 << QStringList{"data1", "data5", "data6"}
                            << QStringList{"data1", "data5", "data6", "data2", "data3"}
                            << QStringList{"data1", "data5", "data6", "data2", "data3"} << false;
        QTest::newRow("notes") << 9 << d1 << d1 << d1 << d1 << false;
        const QStringList org{"data1", "data5", "data4"};
        QTest::newRow("org") << 10 << org << org << org << org << true;
        QTest::newRow("relation") << 11 << d1 << d1 << d123 << d123 << false;
        const QStringList addrFull{"data10", "data11", "data8", "data7", "data4", "data9", "data2", "data3"};
        QTest::newRow("address: full match skips formatted text")
            << 12 << d1 << d1 << addrFull << (QStringList{"data1"} + addrFull) << false;
        QTest::newRow("url") << 13 << d1 << d1 << d123 << d123 << false;
        QTest::newRow("zero") << 0 << QStringList() << QStringList() << QStringList() << QStringList() << false;
        QTest::newRow("fourteen") << 14 << QStringList() << QStringList() << QStringList() << QStringList() << false;
        QTest::newRow("negative") << -1 << QStringList() << QStringList() << QStringList() << QStringList() << false;
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
        for (bool before : {true, false}) {
            bool flag = before;
            QCOMPARE(rule.validFields(type, flag), kept);
            QCOMPARE(flag, single);
        }
        // A caller changing its copy does not change the next answer.
        QStringList mine = rule.validFields(type, single);
        mine << "dataX";
        QCOMPARE(rule.validFields(type, single), kept);
    }

    void entityComparisons_data()
    {
        QTest::addColumn<QVariantMap>("left");
        QTest::addColumn<QVariantMap>("right");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<bool>("equal");
        QTest::addColumn<bool>("leftEmpty");
        QTest::newRow("no keys") << QVariantMap{{"data1", "a"}} << QVariantMap{} << QStringList() << true << true;
        QTest::newRow("both absent") << QVariantMap{} << QVariantMap{} << QStringList{"data1"} << true << true;
        QTest::newRow("absent vs empty text") << QVariantMap{} << QVariantMap{{"data1", ""}} << QStringList{"data1"} << false << true;
        QTest::newRow("case matters") << QVariantMap{{"data1", "Ann"}} << QVariantMap{{"data1", "ann"}} << QStringList{"data1"}
                                      << false << false;
        QTest::newRow("text 2 equals int 2") << QVariantMap{{"data2", "2"}} << QVariantMap{{"data2", 2}} << QStringList{"data2"}
                                             << true << false;
        QTest::newRow("blanks are not empty") << QVariantMap{{"data1", "  "}} << QVariantMap{{"data1", "  "}}
                                              << QStringList{"data1"} << true << false;
        QTest::newRow("bytes by content") << QVariantMap{{"data15", QByteArray("ab")}} << QVariantMap{{"data15", QByteArray("ac")}}
                                          << QStringList{"data15"} << false << false;
        QTest::newRow("first key differs") << QVariantMap{{"data1", "x"}, {"data2", "1"}}
                                           << QVariantMap{{"data1", "y"}, {"data2", "1"}} << QStringList{"data2", "data1"}
                                           << false << false;
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

    // --- the decision table, through combineContact ---------------------------

    void decisionTable_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QList<QVariantMap>>("storedEntities");
        QTest::addColumn<QVariantMap>("incoming");
        QTest::addColumn<QStringList>("rowsAfter");
        QTest::addColumn<int>("written");
        using L = QList<QVariantMap>;
        const QVariantMap phone{{"data1", "555"}, {"data2", "1"}, {"data3", "desk"}};
        QTest::newRow("empty kept list: name never written")
            << 1 << L{{{"data1", "Ann"}, {"data2", "Ann"}, {"data3", ""}}} << QVariantMap{{"data1", "Ann B"}, {"data2", "Anne"}}
            << QStringList{"Ann|Ann|"} << 0;
        QTest::newRow("unknown type never written") << 14 << L{} << QVariantMap{{"data1", "x"}} << QStringList{} << 0;
        QTest::newRow("multi: equal on all kept keys") << 3 << L{phone} << phone << QStringList{"555|1|desk"} << 0;
        QTest::newRow("multi: sub-type change keeps stored label")
            << 3 << L{phone} << QVariantMap{{"data1", "555"}, {"data2", 2}} << QStringList{"555|2|desk"} << 1;
        QTest::newRow("multi: first of two matching stored entities is updated")
            << 3 << L{phone, {{"data1", "555"}, {"data2", "3"}, {"data3", ""}}} << QVariantMap{{"data1", "555"}, {"data3", "x"}}
            << QStringList{"555|1|x", "555|3|"} << 1;
        QTest::newRow("multi: no match, lacks every kept key")
            << 3 << L{phone} << QVariantMap{{"data9", "x"}} << QStringList{"555|1|desk"} << 0;
        QTest::newRow("multi: no match, kept keys empty: empty row")
            << 4 << L{} << QVariantMap{{"data1", ""}, {"data2", ""}, {"data3", ""}} << QStringList{"||"} << 1;
        QTest::newRow("multi: no match is added")
            << 3 << L{phone} << QVariantMap{{"data1", "777"}, {"data2", 2}} << QStringList{"555|1|desk", "777|2|"} << 1;
        QTest::newRow("im: other protocol is another account")
            << 8 << L{{{"data1", "ann"}, {"data5", "1"}, {"data6", ""}}} << QVariantMap{{"data1", "ann"}, {"data5", 2}, {"data6", ""}}
            << QStringList{"ann|1|", "ann|2|"} << 1;
        QTest::newRow("notes: other text is added") << 9 << L{{{"data1", "a"}}} << QVariantMap{{"data1", "b"}}
                                                    << QStringList{"a", "b"} << 1;
        QTest::newRow("single: equal writes nothing") << 5 << L{{{"data1", "Annie"}}} << QVariantMap{{"data1", "Annie"}}
                                                      << QStringList{"Annie||"} << 0;
        QTest::newRow("single: differing value replaces first")
            << 5 << L{{{"data1", "Annie"}}, {{"data1", "Nan"}}} << QVariantMap{{"data1", "Bee"}} << QStringList{"Bee||", "Nan||"} << 1;
        QTest::newRow("single: empty incoming value keeps stored")
            << 10 << L{{{"data1", "Acme"}, {"data4", "CEO"}, {"data5", "IT"}}}
            << QVariantMap{{"data1", "Acme"}, {"data4", ""}, {"data5", "Sales"}} << QStringList{"Acme|CEO|Sales"} << 1;
        QTest::newRow("single: none stored is added") << 5 << L{} << QVariantMap{{"data1", "Bee"}} << QStringList{"Bee||"} << 1;
    }
    void decisionTable()
    {
        QFETCH(int, type);
        QFETCH(QList<QVariantMap>, storedEntities);
        QFETCH(QVariantMap, incoming);
        QFETCH(QStringList, rowsAfter);
        QFETCH(int, written);
        pim::_Contact seed = contactOf("Ann", {{1, {QVariantMap{{"data1", "Ann"}, {"data2", "Ann"}}}}});
        merge(seed);
        const auto cid = m_db->isContactBaseExist("Ann");
        for (const QVariantMap& f : storedEntities) {
            if (type == pim::ENTITY_NAME)
                break;
            pim::Entity e = entityOf(f);
            m_db->insertEntity(cid, type, e);
        }

        bool existed = false;
        pim::_Contact stored;
        const auto result = merge(contactOf("ANN", {{type, {incoming}}}), &existed, &stored);
        QVERIFY(existed);
        QCOMPARE(stored.id, cid);
        QCOMPARE(stored.fullName, QStringLiteral("Ann"));
        QCOMPARE(result.value(type).size(), written);
        const QString columns = type == pim::ENTITY_ORG ? "data1||'|'||data4||'|'||data5"
                              : type == pim::ENTITY_IM  ? "data1||'|'||data5||'|'||data6"
                              : type == pim::ENTITY_NOTES ? "data1"
                                                          : "data1||'|'||data2||'|'||data3";
        QCOMPARE(rowsOf(type, columns), rowsAfter);
        SqlProbe probe(m_db->path());
        QCOMPARE(probe.value("select count(*) from contact").toInt(), 1);
    }

    // --- merge edge cases ------------------------------------------------------

    void existingContactAllEqualWritesNothing()
    {
        // Equal means the same kept keys present with equal values.
        const pim::_Contact in = contactOf("Ann", {{1, {QVariantMap{{"data1", "Ann"}}}},
                                                   {3, {QVariantMap{{"data1", "555"}, {"data2", 2}, {"data3", ""}}}},
                                                   {5, {QVariantMap{{"data1", "Annie"}}}},
                                                   {9, {QVariantMap{{"data1", "note"}}}}});
        merge(in);
        SqlProbe probe(m_db->path());
        const QVariant maxBefore = probe.value("select max(_id) from data");
        bool existed = false;
        QVERIFY(merge(in, &existed).isEmpty());
        QVERIFY(existed);
        QCOMPARE(probe.value("select max(_id) from data"), maxBefore);
    }

    void newContactNames_data()
    {
        QTest::addColumn<QList<QVariantMap>>("names");
        QTest::addColumn<int>("nameRows");
        QTest::newRow("no name entity: contact row only") << QList<QVariantMap>{} << 0;
        QTest::newRow("several names: first only")
            << QList<QVariantMap>{{{"data1", "Ann"}, {"data2", "first"}}, {{"data1", "Ann"}, {"data2", "second"}}} << 1;
    }
    void newContactNames()
    {
        QFETCH(QList<QVariantMap>, names);
        QFETCH(int, nameRows);
        pim::_Contact in = contactOf("Ann", {{1, names}, {3, {QVariantMap{{"data1", "555"}}}}});
        in.srcId = "phone-1";
        for (auto& list : in.entities)
            for (auto& e : list)
                e.srcId = "phone-e";
        bool existed = true;
        pim::_Contact stored;
        const auto result = merge(in, &existed, &stored);
        QVERIFY(!existed);
        QCOMPARE(result.value(1).size(), nameRows);
        SqlProbe probe(m_db->path());
        QCOMPARE(probe.rows("select full_name,src_id from contact"), (QList<QVariantList>{{"Ann", ""}}));
        QCOMPARE(probe.column("select data2 from data where type=1"), nameRows ? QStringList{"first"} : QStringList{});
        // An incoming source id is never taken over.
        QCOMPARE(probe.value("select count(*) from data where src_id<>''").toInt(), 0);
        QCOMPARE(rowsOf(3, "data1"), QStringList{"555"});
        QCOMPARE(stored.entities.value(3).value(0).id, result.value(3).value(0).id);
    }

    void identicalIncomingEntitiesGiveOneRow()
    {
        const QVariantMap mail{{"data1", "a@x.org"}, {"data2", 1}, {"data3", "w"}};
        merge(contactOf("Ann", {{4, {mail, mail}}}));
        QCOMPARE(rowsOf(4), QStringList{"a@x.org|1|w"});
    }

    void differingSingleValuesForNewContactGiveOneRow_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QList<QVariantMap>>("incoming");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("two organisations") << 10
                                           << QList<QVariantMap>{{{"data1", "Acme"}, {"data4", "CEO"}},
                                                                 {{"data1", "Globex"}, {"data5", "IT"}}}
                                           << QStringList{"Globex|CEO|IT"};
        QTest::newRow("two nicknames") << 5 << QList<QVariantMap>{{{"data1", "Al"}}, {{"data1", "Bo"}}} << QStringList{"Bo"};
        QTest::newRow("two photos") << 2
                                    << QList<QVariantMap>{{{"data15", QByteArray("one")}}, {{"data15", QByteArray("two")}}}
                                    << QStringList{"two"};
    }
    void differingSingleValuesForNewContactGiveOneRow()
    {
        QFETCH(int, type);
        QFETCH(QList<QVariantMap>, incoming);
        QFETCH(QStringList, rows);
        const auto result = merge(contactOf("Ann", {{type, incoming}}));
        const QString columns = type == pim::ENTITY_ORG ? "data1||'|'||data4||'|'||data5"
                              : type == pim::ENTITY_PHOTO ? "cast(data15 as text)"
                                                          : "data1";
        QCOMPARE(rowsOf(type, columns), rows);
        // The second write updated the row of the first.
        QCOMPARE(result.value(type).size(), 2);
        QCOMPARE(result.value(type).at(0).id, result.value(type).at(1).id);
    }

    void groupNameBecomesLocalGroupId()
    {
        merge(contactOf("Ann", {{7, {QVariantMap{{"data1", "999"}, {"data2", "Friends"}}}}}));
        merge(contactOf("Bob", {{7, {QVariantMap{{"data1", "5"}, {"data2", "FRIENDS"}}}}}));
        SqlProbe probe(m_db->path());
        QCOMPARE(probe.column("select name from contact_group"), QStringList{"Friends"});
        const QString gid = probe.value("select _id from contact_group").toString();
        QCOMPARE(rowsOf(7, "data1||'|'||data2"), (QStringList{gid + "|Friends", gid + "|FRIENDS"}));
    }

    void emptyGroupNameIsSkipped()
    {
        const auto result = merge(contactOf("Ann", {{7, {QVariantMap{{"data1", "3"}, {"data2", ""}}, QVariantMap{{"data1", "4"}}}},
                                                    {9, {QVariantMap{{"data1", "note"}}}}}));
        QVERIFY(!result.contains(7));
        SqlProbe probe(m_db->path());
        QCOMPARE(probe.value("select count(*) from contact_group").toInt(), 0);
        QCOMPARE(probe.value("select count(*) from data where type=7").toInt(), 0);
        QCOMPARE(rowsOf(9, "data1"), QStringList{"note"});
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
        merge(contactOf(first, {{3, {QVariantMap{{"data1", "111"}}}}}));
        bool existed = true;
        merge(contactOf(second, {{3, {QVariantMap{{"data1", "222"}}}}}), &existed);
        QCOMPARE(existed, contacts == 1);
        SqlProbe probe(m_db->path());
        QCOMPARE(probe.value("select count(*) from contact").toInt(), contacts);
        QCOMPARE(probe.column("select full_name from contact order by _id").first(), first);
    }

    void addressWithCountryCodeIsRewrittenEveryMerge()
    {
        const pim::_Contact in = contactOf("Ann", {{12, {QVariantMap{{"data1", "Main St"}, {"data11", "US"}}}}});
        merge(in);
        QCOMPARE(merge(in).value(12).size(), 1);
        QCOMPARE(rowsOf(12, "data1||'|'||data11"), QStringList{"Main St|US"});
    }

    // --- result map and transactions ---------------------------------------------

    void resultHoldsWrittenEntitiesInOrder()
    {
        const pim::_Contact in = contactOf("Ann", {{1, {QVariantMap{{"data1", "Ann"}}}},
                                                   {3, {QVariantMap{{"data1", "1"}, {"data2", "1"}, {"data3", ""}},
                                                        QVariantMap{{"data1", "2"}, {"data2", "1"}, {"data3", ""}}}},
                                                   {4, {QVariantMap{{"data1", "a@x"}, {"data2", "0"}, {"data3", ""}}}}});
        const auto result = merge(in);
        QCOMPARE(result.keys(), (QList<int>{1, 3, 4}));
        QList<unsigned long long> ids;
        for (const auto& list : result)
            for (const auto& e : list)
                ids << e.id;
        SqlProbe probe(m_db->path());
        QStringList fromDb = probe.column("select _id from data order by _id");
        QStringList fromResult;
        for (auto id : ids)
            fromResult << QString::number(id);
        QCOMPARE(fromResult, fromDb);
        QCOMPARE(result.value(3).at(1).fields.value("data1").toString(), QStringLiteral("2"));

        // Merging again with one changed phone reports only that row, by its id.
        pim::_Contact again = in;
        again.entities[3][1].fields["data2"] = 2;
        const auto second = merge(again);
        QCOMPARE(second.keys(), QList<int>{3});
        QCOMPARE(second.value(3).size(), 1);
        QCOMPARE(second.value(3).at(0).id, result.value(3).at(1).id);
    }

    void failureRollsBackOnlyThatContact_data()
    {
        QTest::addColumn<bool>("throwNonStd");
        QTest::newRow("std exception becomes runtime_error") << false;
        QTest::newRow("non-std exception passes after rollback") << true;
    }
    void failureRollsBackOnlyThatContact()
    {
        QFETCH(bool, throwNonStd);
        auto rule = QSharedPointer<FailingCombineRule>::create();
        rule->throwNonStd = throwNonStd;
        m_db = makeDb(rule);
        m_db->beginEdit();
        merge(contactOf("Ann", {{3, {QVariantMap{{"data1", "1"}}}}}));
        const pim::_Contact bad = contactOf("Bob", {{3, {QVariantMap{{"data1", "2"}}}}, {4, {QVariantMap{{"data1", "b@x"}}}}});
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
        QCOMPARE(m_db->contacts().size(), 1);

        m_db->endEdit(false);
        m_db->close();
        SqlProbe probe(m_db->path());
        QCOMPARE(probe.value("select count(*) from contact").toInt(), 0);
        QCOMPARE(probe.value("select count(*) from data").toInt(), 0);
    }

    void commitAfterFailedContactPersistsTheOthers()
    {
        auto rule = QSharedPointer<FailingCombineRule>::create();
        rule->throwNonStd = true;
        m_db = makeDb(rule);
        m_db->beginEdit();
        merge(contactOf("Ann", {{3, {QVariantMap{{"data1", "1"}}}}}));
        try {
            merge(contactOf("Bob", {{4, {QVariantMap{{"data1", "b@x"}}}}}));
        } catch (int) {
        }
        // One commit must end the edit: the failed merge left no level open,
        // so another connection can read the data and write at once.
        m_db->endEdit(true);
        SqlProbe probe(m_db->path());
        QCOMPARE(probe.column("select full_name from contact"), QStringList{"Ann"});
        probe.exec("insert into contact(full_name) values('writer')");
    }

    void endEditTruePersistsAcrossReopen()
    {
        m_db->beginEdit();
        for (int i = 0; i < 50; ++i)
            merge(contactOf(QStringLiteral("C%1").arg(i), {{3, {QVariantMap{{"data1", QString::number(i)}}}}}));
        m_db->endEdit(true);
        m_db.reset();
        LocalDb reopened(m_dir->filePath(QStringLiteral("m.db")), QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
        QCOMPARE(reopened.contacts().size(), 50);
    }
};

QTEST_GUILESS_MAIN(TestLocalDbMerge)
#include "test_localdbmerge.moc"
