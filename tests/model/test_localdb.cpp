// SPDX-License-Identifier: GPL-3.0-or-later
// The contact database file: template, life cycle, entity rows, reading
// back and the small edits, each checked against the file with plain SQL.
#include "data_path_util.h"
#include "localdb.h"
#include "localdbcombinerule.h"
#include "sqlprobe.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <functional>
#include <memory>

using Op = std::function<void(LocalDb&)>;
Q_DECLARE_METATYPE(Op)

class TestLocalDb : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;

    QString pathOf(const QString& name) const { return m_dir->filePath(name); }
    std::unique_ptr<LocalDb> makeDb(const QString& name = QStringLiteral("c.db"))
    {
        auto db = std::make_unique<LocalDb>(pathOf(name), QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
        db->create();
        return db;
    }
    static unsigned long long addContact(LocalDb& db, const QString& name)
    {
        pim::_Contact c(0, QString(), name);
        db.insertContactBase(c);
        return c.id;
    }
    static QString md5Base64(const QByteArray& bytes)
    {
        return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toBase64());
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup() { m_dir.reset(); }

    // --- the template ------------------------------------------------------

    void createGivesTemplate_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");
        QTest::newRow("page size 1024") << "PRAGMA page_size" << "1024";
        QTest::newRow("twelve pages") << "PRAGMA page_count" << "12";
        QTest::newRow("UTF-8") << "PRAGMA encoding" << "UTF-8";
        QTest::newRow("user_version 0") << "PRAGMA user_version" << "0";
        QTest::newRow("rollback journal") << "PRAGMA journal_mode" << "delete";
        QTest::newRow("no auto-vacuum") << "PRAGMA auto_vacuum" << "0";
        QTest::newRow("tables")
            << "select group_concat(name) from (select name from sqlite_master where type='table' order by name)"
            << "contact,contact_group,data,sqlite_sequence";
        QTest::newRow("five named indexes")
            << "select group_concat(name) from (select name from sqlite_master where type='index' order by name)"
            << "index_contacts_full_name,index_contacts_src_id,index_data_contact,index_data_data,index_data_src_id";
        QTest::newRow("data index columns")
            << "select group_concat(name) from pragma_index_info('index_data_contact')" << "contact_id,type";
        QTest::newRow("data1 index columns")
            << "select group_concat(name) from pragma_index_info('index_data_data')" << "type,data1";
        QTest::newRow("all keys autoincrement")
            << "select count(*) from sqlite_master where type='table' and sql like '%AUTOINCREMENT%'" << "3";
        QTest::newRow("data text defaults empty")
            << "select count(*) from pragma_table_info('data') where dflt_value=''''''" << "14";
        QTest::newRow("data15 blob")
            << "select type || ',' || ifnull(dflt_value,'none') from pragma_table_info('data') where name='data15'"
            << "BLOB,none";
        QTest::newRow("all empty")
            << "select (select count(*) from contact)+(select count(*) from data)+(select count(*) from contact_group)"
               "+(select count(*) from sqlite_sequence)"
            << "0";
        QTest::newRow("integrity") << "PRAGMA integrity_check" << "ok";
    }
    void createGivesTemplate()
    {
        QFETCH(QString, sql);
        QFETCH(QString, expected);
        auto db = makeDb();
        SqlProbe probe(db->path());
        QCOMPARE(probe.value(sql).toString(), expected);
    }

    void createSetsOwnerOnlyModeAndRollbackFormat()
    {
        auto db = makeDb();
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(db->path()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
        QFile f(db->path());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray head = f.read(20);
        QCOMPARE(f.size(), 12288);
        // File format write and read versions 1: legacy rollback journal, not WAL.
        QCOMPARE(int(head.at(18)), 1);
        QCOMPARE(int(head.at(19)), 1);
    }

    void recreateOverPopulatedFileRestartsIds()
    {
        auto db = makeDb();
        db->beginEdit();
        addContact(*db, QStringLiteral("Ann"));
        addContact(*db, QStringLiteral("Bob"));
        db->getGroupIdOrAdd(QStringLiteral("Work"));
        db->endEdit(true);
        db->close();

        db->create();
        QVERIFY(!db->isOpen());
        QCOMPARE(db->contacts().size(), 0);
        QCOMPARE(db->groups().size(), 0);
        QCOMPARE(addContact(*db, QStringLiteral("Cid")), 1ull);
        QCOMPARE(db->getGroupIdOrAdd(QStringLiteral("Home")), 1ull);
    }

    void createWhileOpenDoesNotWriteIntoTheOldFile()
    {
        auto db = makeDb();
        addContact(*db, QStringLiteral("Ann"));
        QVERIFY(db->isOpen());
        db->create();
        addContact(*db, QStringLiteral("Bob"));
        SqlProbe probe(db->path());
        QCOMPARE(probe.column("select full_name from contact"), QStringList{"Bob"});
    }

    void staleJournalDoesNotComeBack()
    {
        const QString path = pathOf(QStringLiteral("c.db"));
        makeDb();
        const QString saved = pathOf(QStringLiteral("saved-journal"));
        {
            // Leave a real hot journal: snapshot it in the middle of a
            // transaction that rewrites many pages.
            SqlProbe probe(path);
            probe.exec("PRAGMA synchronous=OFF");
            probe.exec("begin");
            for (int i = 0; i < 200; ++i)
                probe.exec(QStringLiteral("insert into contact(full_name) values('Old %1 %2')").arg(i).arg(QString(200, 'x')));
            probe.exec("commit");
            probe.exec("begin");
            probe.exec("delete from contact");
            probe.exec("insert into data(type,contact_id) values(9,1)");
            QVERIFY(QFile::copy(path + "-journal", saved));
            probe.exec("rollback");
        }
        QVERIFY(QFile::copy(saved, path + "-journal"));

        LocalDb db(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
        db.create();
        QVERIFY(!QFile::exists(path + "-journal"));
        SqlProbe probe(path);
        QCOMPARE(probe.value("PRAGMA integrity_check").toString(), QStringLiteral("ok"));
        QCOMPARE(probe.value("select count(*) from contact").toInt(), 0);
        QCOMPARE(db.contacts().size(), 0);
    }

    void createInMissingFolderThrowsAndLeavesNoFile()
    {
        const QString path = pathOf(QStringLiteral("no/such/folder/c.db"));
        LocalDb db(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db.create());
        QVERIFY(!QFile::exists(path));
        QVERIFY(!QFile::exists(pathOf(QStringLiteral("no"))));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    }

    void dbDirIsMadeInsideTheDataFolder()
    {
        // The data folder is worked out once per run: this is the only test
        // of the executable that asks for it.
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir->path()));
        const QDir dir = LocalDb::dbDir();
        QVERIFY(dir.exists());
        QCOMPARE(dir.dirName(), QStringLiteral("data"));
        QVERIFY2(dir.absolutePath().startsWith(m_dir->path() + "/"), qPrintable(dir.absolutePath()));
        QCOMPARE(dir.absolutePath(), QDir(g_dataSaveDir().filePath("data")).absolutePath());
        QVERIFY(QDir(dir.absolutePath()).removeRecursively());
        QVERIFY(LocalDb::dbDir().exists());
    }

    // --- life cycle ---------------------------------------------------------

    void firstOperationOnMissingFileThrows_data()
    {
        QTest::addColumn<Op>("op");
        QTest::newRow("contact") << Op([](LocalDb& db) { db.contact(1); });
        QTest::newRow("contacts") << Op([](LocalDb& db) { db.contacts(); });
        QTest::newRow("groups") << Op([](LocalDb& db) { db.groups(); });
        QTest::newRow("beginEdit") << Op([](LocalDb& db) { db.beginEdit(); });
        QTest::newRow("endEdit false") << Op([](LocalDb& db) { db.endEdit(false); });
        QTest::newRow("name lookup") << Op([](LocalDb& db) { db.isContactBaseExist("Ann"); });
        QTest::newRow("insert entity") << Op([](LocalDb& db) {
            pim::Entity e;
            db.insertEntity(1, pim::ENTITY_NOTES, e);
        });
        QTest::newRow("merge") << Op([](LocalDb& db) {
            pim::_Contact stored;
            bool existed = false;
            db.combineContact(pim::_Contact(0, QString(), "Ann"), stored, existed);
        });
    }
    void firstOperationOnMissingFileThrows()
    {
        QFETCH(Op, op);
        const QString path = pathOf(QStringLiteral("missing.db"));
        LocalDb db(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
        QVERIFY_THROWS_EXCEPTION(std::exception, op(db));
        QVERIFY(!QFile::exists(path));
        QVERIFY(!db.isOpen());
    }

    void reopensAfterClose()
    {
        auto db = makeDb();
        const auto id = addContact(*db, QStringLiteral("Ann"));
        db->close();
        QVERIFY(!db->isOpen());
        QCOMPARE(db->contact(id).fullName, QStringLiteral("Ann"));
        QVERIFY(db->isOpen());
        db->close();
        db->endEdit(false); // opens the file, nothing to roll back
        QVERIFY(db->isOpen());
    }

    void endEditTrueSurvivesReopenFalseDiscards()
    {
        auto db = makeDb();
        db->beginEdit();
        addContact(*db, QStringLiteral("Kept"));
        db->endEdit(true);
        db->beginEdit();
        addContact(*db, QStringLiteral("Dropped"));
        db->endEdit(false);
        db->close();
        SqlProbe probe(db->path());
        QCOMPARE(probe.column("select full_name from contact"), QStringList{"Kept"});
    }

    void removeDB()
    {
        auto neverOpened = makeDb(QStringLiteral("a.db"));
        QVERIFY(neverOpened->removeDB());
        QVERIFY(!QFile::exists(neverOpened->path()));
        QVERIFY(!neverOpened->removeDB());

        auto open = makeDb(QStringLiteral("b.db"));
        addContact(*open, QStringLiteral("Ann"));
        QVERIFY(open->removeDB());
        QVERIFY(!open->isOpen());
        QVERIFY(!QFile::exists(open->path()));
        QVERIFY_THROWS_EXCEPTION(std::exception, open->contacts());
        QVERIFY(!QFile::exists(open->path()));
    }

    // --- entity rows --------------------------------------------------------

    void rowRoundTrip_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("keysBack");
        QTest::addColumn<QStringList>("storedColumns");
        const auto keys = [](std::initializer_list<int> n) {
            QStringList out;
            for (int i : n)
                out << QStringLiteral("data%1").arg(i);
            return out;
        };
        const QStringList valueLabel = keys({1, 2, 3});
        QTest::newRow("name") << 1 << keys({1, 2, 3, 4, 5, 6, 7, 8}) << keys({1, 2, 3, 4, 5, 6, 7, 8});
        QTest::newRow("photo") << 2 << keys({4, 15}) << keys({4, 15});
        QTest::newRow("phone") << 3 << valueLabel << valueLabel;
        QTest::newRow("email") << 4 << valueLabel << valueLabel;
        QTest::newRow("nickname") << 5 << valueLabel << valueLabel;
        QTest::newRow("event") << 6 << valueLabel << valueLabel;
        QTest::newRow("group") << 7 << keys({1, 2}) << keys({1, 2});
        QTest::newRow("im skips data4") << 8 << keys({1, 2, 3, 5, 6}) << keys({1, 2, 3, 5, 6});
        QTest::newRow("notes") << 9 << keys({1}) << keys({1});
        QTest::newRow("org skips data8") << 10 << keys({1, 2, 3, 4, 5, 6, 7, 9}) << keys({1, 2, 3, 4, 5, 6, 7, 9});
        QTest::newRow("relation") << 11 << valueLabel << valueLabel;
        QTest::newRow("address stores data11, never reads it")
            << 12 << keys({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}) << keys({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
        QTest::newRow("url") << 13 << valueLabel << valueLabel;
    }
    void rowRoundTrip()
    {
        QFETCH(int, type);
        QFETCH(QStringList, keysBack);
        QFETCH(QStringList, storedColumns);
        auto db = makeDb();
        const auto cid = addContact(*db, QStringLiteral("Ann"));
        pim::Entity e(0, QStringLiteral("src-7"));
        for (int i = 1; i <= 14; ++i)
            e.fields.insert(QStringLiteral("data%1").arg(i), QStringLiteral(" v%1 ").arg(i));
        e.fields.insert(QStringLiteral("data15"), QByteArray("\x89PNG\0bytes", 10));
        db->insertEntity(cid, type, e);
        QVERIFY(e.id > 0);

        SqlProbe probe(db->path());
        const QVariantList raw = probe.rows(QStringLiteral("select * from data where _id=%1").arg(e.id)).value(0);
        QCOMPARE(raw.size(), 19);
        QCOMPARE(raw.at(1).toInt(), type);
        QCOMPARE(raw.at(2).toULongLong(), cid);
        QCOMPARE(raw.at(3).toString(), QStringLiteral("src-7"));
        for (int i = 1; i <= 15; ++i) {
            const QString key = QStringLiteral("data%1").arg(i);
            const QVariant cell = raw.at(3 + i);
            if (!storedColumns.contains(key))
                QVERIFY2(i == 15 ? !cell.isValid() : cell.toString().isEmpty(), qPrintable(key));
            else if (i == 15)
                QCOMPARE(cell.toByteArray(), QByteArray("\x89PNG\0bytes", 10));
            else if (type == pim::ENTITY_PHOTO && i == 4)
                QCOMPARE(cell.toString(), md5Base64(QByteArray("\x89PNG\0bytes", 10)));
            else
                QCOMPARE(cell.toString(), QStringLiteral(" v%1 ").arg(i));
        }

        const pim::_Contact back = db->contact(cid);
        QCOMPARE(back.entities.value(type).size(), 1);
        const pim::Entity got = back.entities.value(type).first();
        QCOMPARE(got.id, e.id);
        QCOMPARE(got.srcId, QStringLiteral("src-7"));
        QCOMPARE(QStringList(got.fields.keys()), [&] {
            QStringList sorted = keysBack;
            sorted.sort();
            return sorted;
        }());
        for (const QString& key : keysBack) {
            const QVariant v = got.fields.value(key);
            if (key == QLatin1String("data15"))
                QCOMPARE(v.typeId(), int(QMetaType::QByteArray));
            else
                QCOMPARE(v.typeId(), int(QMetaType::QString));
        }
    }

    void storedText_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("int sub-type") << QVariant(2) << "2";
        QTest::newRow("date-time without milliseconds")
            << QVariant(QDateTime(QDate(1980, 5, 17), QTime(0, 0, 0, 123))) << "1980-05-17T00:00:00";
        QTest::newRow("ISO text kept") << QVariant("1980-05-17T00:00:00") << "1980-05-17T00:00:00";
        QTest::newRow("blanks kept") << QVariant("  555 1234 ") << "  555 1234 ";
        QTest::newRow("absent key is empty text") << QVariant() << "";
        QTest::newRow("non-ASCII") << QVariant(QStringLiteral("王伟 Zoë")) << QStringLiteral("王伟 Zoë");
        QTest::newRow("quote cannot break out") << QVariant("a'); drop table data;--") << "a'); drop table data;--";
    }
    void storedText()
    {
        QFETCH(QVariant, value);
        QFETCH(QString, expected);
        auto db = makeDb();
        const auto cid = addContact(*db, QStringLiteral("Ann"));
        pim::Entity e;
        if (value.isValid())
            e.fields.insert(QStringLiteral("data1"), value);
        db->insertEntity(cid, pim::ENTITY_EVENT, e);
        SqlProbe probe(db->path());
        const QVariant cell = probe.value(QStringLiteral("select data1 from data where _id=%1").arg(e.id));
        QVERIFY(cell.isValid());
        QCOMPARE(cell.toString(), expected);
        QCOMPARE(db->contact(cid).entities.value(pim::ENTITY_EVENT).value(0).fields.value("data1").toString(), expected);
    }

    void photoHashIsComputedFromBytes_data()
    {
        QTest::addColumn<QVariant>("bytes");
        QTest::addColumn<QString>("claimedHash");
        QTest::newRow("wrong claimed hash") << QVariant(QByteArray("JFIF")) << "bogus";
        QTest::newRow("no claimed hash") << QVariant(QByteArray("JFIF")) << "";
        QTest::newRow("no image: hash of zero bytes") << QVariant() << "x";
    }
    void photoHashIsComputedFromBytes()
    {
        QFETCH(QVariant, bytes);
        QFETCH(QString, claimedHash);
        auto db = makeDb();
        const auto cid = addContact(*db, QStringLiteral("Ann"));
        pim::Entity e;
        if (bytes.isValid())
            e.fields.insert("data15", bytes);
        e.fields.insert("data4", claimedHash);
        db->insertEntity(cid, pim::ENTITY_PHOTO, e);
        QCOMPARE(e.fields.value("data4").toString(), claimedHash);
        SqlProbe probe(db->path());
        const QVariantList row = probe.rows(QStringLiteral("select data4,length(data15) from data where _id=%1").arg(e.id)).value(0);
        QCOMPARE(row.at(0).toString(), md5Base64(bytes.toByteArray()));
        QCOMPARE(row.at(1).toInt(), bytes.toByteArray().size());
    }

    void updateRewritesOnlyItsColumns_data()
    {
        QTest::addColumn<int>("updateType");
        QTest::addColumn<QString>("newSrcId");
        QTest::addColumn<QStringList>("expected"); // src_id, data1..data5 after the update
        QTest::newRow("phone as phone") << 3 << "p9" << QStringList{"p9", "new1", "7", "new3", "x4", "x5"};
        QTest::newRow("phone as notes keeps label") << 9 << "p9" << QStringList{"p9", "new1", "2", "lbl", "x4", "x5"};
        QTest::newRow("empty source id clears it") << 3 << "" << QStringList{"", "new1", "7", "new3", "x4", "x5"};
    }
    void updateRewritesOnlyItsColumns()
    {
        QFETCH(int, updateType);
        QFETCH(QString, newSrcId);
        QFETCH(QStringList, expected);
        auto db = makeDb();
        const auto cid = addContact(*db, QStringLiteral("Ann"));
        pim::Entity phone(0, QStringLiteral("p1"));
        phone.fields = {{"data1", "555"}, {"data2", 2}, {"data3", "lbl"}};
        db->insertEntity(cid, pim::ENTITY_PHONE, phone);
        {
            SqlProbe probe(db->path());
            probe.exec(QStringLiteral("update data set data4='x4',data5='x5' where _id=%1").arg(phone.id));
        }
        pim::Entity changed(phone.id, newSrcId);
        changed.fields = {{"data1", "new1"}, {"data2", 7}, {"data3", "new3"}};
        db->updateEntity(updateType, changed);

        SqlProbe probe(db->path());
        const QVariantList row = probe.rows(
            QStringLiteral("select type,contact_id,src_id,data1,data2,data3,data4,data5 from data where _id=%1").arg(phone.id)).value(0);
        QCOMPARE(row.at(0).toInt(), 3);
        QCOMPARE(row.at(1).toULongLong(), cid);
        QStringList got;
        for (int i = 2; i < row.size(); ++i)
            got << row.at(i).toString();
        QCOMPARE(got, expected);
    }

    void invalidTypesThrowAndChangeNothing_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("zero") << 0;
        QTest::newRow("fourteen") << 14;
        QTest::newRow("negative") << -1;
    }
    void invalidTypesThrowAndChangeNothing()
    {
        QFETCH(int, type);
        auto db = makeDb();
        const auto cid = addContact(*db, QStringLiteral("Ann"));
        pim::Entity note;
        note.fields.insert("data1", "keep");
        db->insertEntity(cid, pim::ENTITY_NOTES, note);

        pim::Entity e(77, QString());
        e.fields.insert("data1", "changed");
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db->insertEntity(cid, type, e));
        QCOMPARE(e.id, 77ull);
        pim::Entity update(note.id, QStringLiteral("s"));
        update.fields.insert("data1", "changed");
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db->updateEntity(type, update));

        SqlProbe probe(db->path());
        QCOMPARE(probe.rows("select _id,data1,ifnull(src_id,'null') from data"),
                 (QList<QVariantList>{{qlonglong(note.id), "keep", ""}}));
    }

    void rowsOfUnknownTypeComeBackEmpty()
    {
        auto db = makeDb();
        const auto cid = addContact(*db, QStringLiteral("Ann"));
        {
            SqlProbe probe(db->path());
            probe.exec(QStringLiteral("insert into data(type,contact_id,src_id,data1) values(0,%1,'s0','a'),(14,%1,NULL,'b')").arg(cid));
        }
        const pim::_Contact c = db->contact(cid);
        QCOMPARE(c.entities.keys(), (QList<int>{0, 14}));
        QVERIFY(c.entities.value(0).value(0).fields.isEmpty());
        QCOMPARE(c.entities.value(0).value(0).srcId, QStringLiteral("s0"));
        QVERIFY(c.entities.value(14).value(0).srcId.isEmpty());
        QCOMPARE(db->contact(cid + 100).id, 0ull);
        QCOMPARE(db->contact(0).id, 0ull);
    }

    // --- contact, group and source-id edits ----------------------------------

    void nameLookup_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("expectedIndex"); // into the stored names; -1 none
        QTest::newRow("same") << "John" << 0;
        QTest::newRow("ASCII upper case") << "JOHN" << 0;
        QTest::newRow("ASCII lower case") << "john" << 0;
        QTest::newRow("underscore is no wildcard") << "J_hn" << -1;
        QTest::newRow("percent is no wildcard") << "%" << -1;
        QTest::newRow("percent inside") << "100% Pure" << -1;
        QTest::newRow("literal percent name") << "50% off" << 3;
        QTest::newRow("non-ASCII case differs") << QStringLiteral("émile") << -1;
        QTest::newRow("non-ASCII exact") << QStringLiteral("Émile") << 2;
        QTest::newRow("trailing blank") << "John " << -1;
        QTest::newRow("empty never matches") << "" << -1;
        QTest::newRow("duplicates give lowest id") << "dup" << 5;
    }
    void nameLookup()
    {
        QFETCH(QString, query);
        QFETCH(int, expectedIndex);
        auto db = makeDb();
        QCOMPARE(db->isContactBaseExist(query), 0ull);
        const QStringList names{"John", "100 Pure", QStringLiteral("Émile"), "50% off", "", "Dup", "DUP"};
        QList<unsigned long long> ids;
        for (const QString& n : names)
            ids << addContact(*db, n);
        QCOMPARE(db->isContactBaseExist(query), expectedIndex < 0 ? 0ull : ids.at(expectedIndex));
    }

    void groupLookup_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("expectedIndex"); // -1: a new group is added
        QTest::newRow("same") << "Work" << 0;
        QTest::newRow("ASCII case") << "wORK" << 0;
        QTest::newRow("underscore adds a group") << "W_rk" << -1;
        QTest::newRow("percent adds a group") << "%" << -1;
        QTest::newRow("non-ASCII case adds a group") << QStringLiteral("élan") << -1;
    }
    void groupLookup()
    {
        QFETCH(QString, query);
        QFETCH(int, expectedIndex);
        auto db = makeDb();
        const QList<unsigned long long> ids{db->getGroupIdOrAdd("Work"), db->getGroupIdOrAdd(QStringLiteral("Élan")),
                                            db->getGroupIdOrAdd("Gone")};
        db->removeGroupOnly(ids.at(2));
        const auto got = db->getGroupIdOrAdd(query);
        SqlProbe probe(db->path());
        if (expectedIndex >= 0) {
            QCOMPARE(got, ids.at(expectedIndex));
            QCOMPARE(probe.value("select count(*) from contact_group").toInt(), 2);
        } else {
            QVERIFY(got > ids.at(2)); // never reuses the removed group's id
            QCOMPARE(probe.value(QStringLiteral("select name from contact_group where _id=%1").arg(got)).toString(), query);
        }
    }

    void setGroupLeavesExactlyOneMembership()
    {
        auto db = makeDb();
        const auto cid = addContact(*db, QStringLiteral("Ann"));
        const auto other = addContact(*db, QStringLiteral("Bob"));
        const auto g1 = db->getGroupIdOrAdd("A");
        const auto g2 = db->getGroupIdOrAdd("B");
        db->setGroup(cid, g1, "A");
        db->setGroup(other, g1, "A");
        {
            SqlProbe probe(db->path());
            probe.exec(QStringLiteral("insert into data(type,contact_id,data1,data2) values(7,%1,'%2','B')").arg(cid).arg(g2));
        }
        const pim::Entity m = db->setGroup(cid, g2, "B");
        SqlProbe probe(db->path());
        const QList<QVariantList> rows =
            probe.rows(QStringLiteral("select _id,data1,data2,src_id from data where type=7 and contact_id=%1").arg(cid));
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.at(0).at(0).toULongLong(), m.id);
        QCOMPARE(rows.at(0).at(1).toString(), QString::number(g2));
        QCOMPARE(rows.at(0).at(2).toString(), QStringLiteral("B"));
        QVERIFY(!rows.at(0).at(3).isValid());
        QVERIFY(m.srcId.isEmpty());
        QCOMPARE(m.fields.value("data1").toString(), QString::number(g2));
        QCOMPARE(m.fields.value("data2").toString(), QStringLiteral("B"));
        QCOMPARE(probe.value(QStringLiteral("select count(*) from data where contact_id=%1").arg(other)).toInt(), 1);

        db->ungroup(cid);
        db->ungroup(cid);
        QCOMPARE(probe.value(QStringLiteral("select count(*) from data where contact_id=%1").arg(cid)).toInt(), 0);
    }

    void removeContactAndGroup()
    {
        auto db = makeDb();
        const auto cid = addContact(*db, QStringLiteral("Ann"));
        const auto keep = addContact(*db, QStringLiteral("Bob"));
        const auto g = db->getGroupIdOrAdd("A");
        db->setGroup(cid, g, "A");
        pim::Entity note;
        note.fields.insert("data1", "n");
        db->insertEntity(keep, pim::ENTITY_NOTES, note);
        db->removeGroupOnly(g);
        SqlProbe probe(db->path());
        QCOMPARE(probe.value("select count(*) from data where type=7").toInt(), 1);
        db->removeContact(cid);
        db->removeEntity(999);
        QCOMPARE(probe.column("select full_name from contact"), QStringList{"Bob"});
        QCOMPARE(probe.column("select contact_id from data"), QStringList{QString::number(keep)});
    }

    void sourceIdWriteBack_data()
    {
        QTest::addColumn<Op>("op");
        QTest::addColumn<QStringList>("contactSrcIds"); // by _id order
        QTest::addColumn<QStringList>("dataSrcIds");
        // Planted: contacts with src_id 'A','a',NULL,''; data rows the same.
        QTest::newRow("contact by id") << Op([](LocalDb& db) { db.updateContactBaseSrcId(3ull, "n"); })
                                       << QStringList{"A", "a", "n", ""} << QStringList{"A", "a", "<NULL>", ""};
        QTest::newRow("contact by unknown id") << Op([](LocalDb& db) { db.updateContactBaseSrcId(99ull, "n"); })
                                               << QStringList{"A", "a", "<NULL>", ""} << QStringList{"A", "a", "<NULL>", ""};
        QTest::newRow("contact by old value, case matters")
            << Op([](LocalDb& db) { db.updateContactBaseSrcId(QStringLiteral("A"), "n"); })
            << QStringList{"n", "a", "<NULL>", ""} << QStringList{"A", "a", "<NULL>", ""};
        QTest::newRow("entity by id") << Op([](LocalDb& db) { db.updateEntitySrcId(2ull, "n"); })
                                      << QStringList{"A", "a", "<NULL>", ""} << QStringList{"A", "n", "<NULL>", ""};
        QTest::newRow("entity by old value, case matters")
            << Op([](LocalDb& db) { db.updateEntitySrcId(QStringLiteral("a"), "n"); })
            << QStringList{"A", "a", "<NULL>", ""} << QStringList{"A", "n", "<NULL>", ""};
        QTest::newRow("empty old value never matches NULL")
            << Op([](LocalDb& db) { db.updateEntitySrcId(QString(""), "n"); })
            << QStringList{"A", "a", "<NULL>", ""} << QStringList{"A", "a", "<NULL>", "n"};
    }
    void sourceIdWriteBack()
    {
        QFETCH(Op, op);
        QFETCH(QStringList, contactSrcIds);
        QFETCH(QStringList, dataSrcIds);
        auto db = makeDb();
        {
            SqlProbe probe(db->path());
            probe.exec("insert into contact(src_id,full_name) values('A','1'),('a','2'),(NULL,'3'),('','4')");
            probe.exec("insert into data(type,contact_id,src_id) values(9,1,'A'),(9,1,'a'),(9,1,NULL),(9,1,'')");
        }
        db->beginEdit();
        op(*db);
        db->endEdit(true);
        SqlProbe probe(db->path());
        QCOMPARE(probe.column("select src_id from contact order by _id"), contactSrcIds);
        QCOMPARE(probe.column("select src_id from data order by _id"), dataSrcIds);
    }

    // --- failure paths --------------------------------------------------------

    void commitBlockedByReaderIsNotClaimedStored()
    {
        auto db = makeDb();
        addContact(*db, QStringLiteral("Before"));
        SqlProbe reader(db->path());
        db->beginEdit();
        addContact(*db, QStringLiteral("Blocked"));
        reader.holdRead("select full_name from contact");
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db->endEdit(true));
        reader.releaseRead();
        QCOMPARE(reader.column("select full_name from contact"), QStringList{"Before"});
        // The connection is usable again, at depth zero.
        db->beginEdit();
        addContact(*db, QStringLiteral("After"));
        db->endEdit(true);
        QCOMPARE(reader.column("select full_name from contact order by _id"), (QStringList{"Before", "After"}));
    }

    void textFileRenamedDbFailsWithSqliteText()
    {
        const QString path = pathOf(QStringLiteral("notes.db"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            for (int i = 0; i < 200; ++i)
                f.write("just some text, not a database at all\n");
        }
        const QByteArray before = [&] {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        LocalDb db(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
        try {
            db.contacts();
            QFAIL("no exception");
        } catch (const std::exception& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains("not a database"), e.what());
        }
        pim::_Contact stored;
        bool existed = false;
        QVERIFY_THROWS_EXCEPTION(std::exception, db.combineContact(pim::_Contact(0, QString(), "Ann"), stored, existed));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }
};

QTEST_GUILESS_MAIN(TestLocalDb)
#include "test_localdb.moc"
