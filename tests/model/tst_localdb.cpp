// SPDX-License-Identifier: GPL-3.0-or-later
// The contact database file: template, life cycle, entity rows, reading
// back and the small edits, each checked against the file with plain SQL.
#include "model/contactpages.h"
#include "model/localdb.h"
#include "model/localdbcombinerule.h"
#include "common/filesizelimit.h"
#include "common/sqlprobe.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <functional>
#include <memory>

using Op = std::function<void(LocalDb&)>;
Q_DECLARE_METATYPE(Op)

namespace {

QSharedPointer<AbsContactCombineRule> localRule()
{
    return QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule);
}

unsigned long long addContact(LocalDb& db, const QString& name)
{
    pim::_Contact c(0, QString(), name);
    db.insertContactBase(c);
    return c.id;
}

QString md5Base64(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toBase64());
}

QStringList dataKeys(std::initializer_list<int> numbers)
{
    QStringList out;
    for (int i : numbers)
        out << QStringLiteral("data%1").arg(i);
    return out;
}

// A crash image of the database at `path`, closed, into `image` and
// `image`-journal: copies of both taken in the middle of a write that
// replaces the 200 contacts "Old <n> xxx..." committed before it by "New <n>
// yyy...", the changed pages already spilled into the file itself.
void copyMidWrite(const QString& path, const QString& image)
{
    SqlProbe probe(path);
    probe.exec("begin");
    for (int i = 0; i < 200; ++i)
        probe.exec(QStringLiteral("insert into contact(full_name) values('Old %1 %2')").arg(i).arg(QString(200, 'x')));
    probe.exec("commit");
    probe.exec("PRAGMA cache_size=2");
    probe.exec("begin");
    probe.exec("delete from contact");
    for (int i = 0; i < 50; ++i)
        probe.exec(QStringLiteral("insert into contact(full_name) values('New %1 %2')").arg(i).arg(QString(300, 'y')));
    QVERIFY(QFile::copy(path, image) && QFile::copy(path + "-journal", image + "-journal"));
    probe.exec("rollback");
}

} // namespace

class TestLocalDb : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<LocalDb> m_db; // a fresh "c.db" holding contact m_ann
    unsigned long long m_ann = 0;

    QString pathOf(const QString& name) const { return m_dir->filePath(name); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_db = std::make_unique<LocalDb>(pathOf(QStringLiteral("c.db")), localRule());
        m_db->create();
        m_ann = addContact(*m_db, QStringLiteral("Ann"));
    }
    void cleanup()
    {
        m_db.reset();
        m_dir.reset();
    }

    void createsAnOwnerOnlyDatabase()
    {
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(m_db->path()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
    }

    // Saved phone databases: read, never changed, even by a failed attempt.
    void refusesWritesWhenReadOnly()
    {
        m_db->close();
        QVERIFY(QFile::setPermissions(m_db->path(), QFile::ReadOwner));
        const QByteArray before = SqlProbe(m_db->path()).value("select group_concat(full_name) from contact").toByteArray();
        const QSharedPointer<LocalDb> saved = LocalDb::openLocal(m_db->path(), LocalDb::ReadOnly);
        pim::_Contact bob(0, QString(), QStringLiteral("Bob"));
        for (const Op& write : { Op([&](LocalDb& db) { db.insertContactBase(bob); }), Op([](LocalDb& db) { db.beginEdit(); }),
                                 Op([](LocalDb& db) { db.removeContact(1); }), Op([](LocalDb& db) { db.create(); }) }) {
            try {
                write(*saved);
                QFAIL("a write went through");
            } catch (const Error& e) {
                QVERIFY2(e.text().contains(QLatin1String("read-only")), qPrintable(e.text()));
            }
        }
        QCOMPARE(SqlProbe(m_db->path()).value("select group_concat(full_name) from contact").toByteArray(), before);
        QVERIFY(QFile::setPermissions(m_db->path(), QFile::ReadOwner | QFile::WriteOwner));
    }

    // Also while the old file is still open: nothing may be written into
    // the replaced file through a stale handle.
    void restartsIdsWhenRecreated()
    {
        m_db->beginEdit();
        addContact(*m_db, QStringLiteral("Bob"));
        m_db->getGroupIdOrAdd(QStringLiteral("Work"));
        m_db->endEdit(true);
        QVERIFY(m_db->isOpen());

        m_db->create();
        QCOMPARE(m_db->groups().size(), 0);
        QCOMPARE(addContact(*m_db, QStringLiteral("Cid")), 1ull);
        QCOMPARE(m_db->getGroupIdOrAdd(QStringLiteral("Home")), 1ull);
        SqlProbe probe(m_db->path());
        QCOMPARE(probe.column("select full_name from contact"), QStringList { "Cid" });
    }

    void dropsAStaleJournalOnCreate()
    {
        const QString path = m_db->path();
        m_db->close();
        // A real hot journal, taken in the middle of a write.
        const QString image = pathOf(QStringLiteral("crashed.db"));
        copyMidWrite(path, image);
        QVERIFY(QFile::copy(image + "-journal", path + "-journal"));

        m_db->create();
        QVERIFY(!QFile::exists(path + "-journal"));
        SqlProbe probe(path);
        QCOMPARE(probe.value("PRAGMA integrity_check").toString(), QStringLiteral("ok"));
        QCOMPARE(probe.value("select count(*) from contact").toInt(), 0);
    }

    // A saved phone database copied while it was being written (a crash
    // image: the file part-way changed, its journal beside it) opens read-
    // only with what was last committed, and neither file is touched.
    void readsWhatWasLastSavedBeforeACrash()
    {
        const QString path = m_db->path();
        m_db->close();
        const QString image = pathOf(QStringLiteral("crashed.db"));
        copyMidWrite(path, image);
        QFile file(image);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        file.close();

        const QSharedPointer<LocalDb> saved = LocalDb::openLocal(image, LocalDb::ReadOnly);
        QCOMPARE(saved->isContactBaseExist(QStringLiteral("Old 7 ") + QString(200, 'x')) != 0, true);
        QCOMPARE(saved->isContactBaseExist(QStringLiteral("New 7 ") + QString(300, 'y')), 0ULL);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), bytes);
        QVERIFY(QFile::exists(image + "-journal"));
        // The roads that walk it page by page read the same copy.
        LocalDbContactPages pages(saved, 0);
        QList<pim::_Contact> page;
        qsizetype walked = 0;
        while (pages.nextPage(page))
            walked += page.size();
        QCOMPARE(pages.count(), saved->contacts().size());
        QCOMPARE(walked, pages.count());
        saved->close();
        QCOMPARE(LocalDb::openLocal(image, LocalDb::ReadOnly)->isContactBaseExist(QStringLiteral("Ann")) != 0, true);
    }

    // Only the template's last byte misses the disk: the old database stays.
    void keepsTheOldDatabaseWhenTheDiskFillsUp()
    {
        LocalDb sized(pathOf(QStringLiteral("size.db")), localRule());
        sized.create();
        FileSizeLimit limit(rlim_t(QFileInfo(sized.path()).size() - 1));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, m_db->create());
        QCOMPARE(SqlProbe(m_db->path()).value("select full_name from contact").toString(), QStringLiteral("Ann"));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList({ "c.db", "size.db" }));
    }

    void throwsOnAMissingFile()
    {
        const QString path = pathOf(QStringLiteral("missing.db"));
        LocalDb db(path, localRule());
        QVERIFY_THROWS_EXCEPTION(std::exception, db.contact(1));
        QVERIFY(!QFile::exists(path));
        QVERIFY(!db.isOpen());
    }

    // Opens a closed file; an open one, with its edit, is left as it is.
    void opensOnlyWhenClosed()
    {
        m_db->close();
        m_db->open_check();
        QVERIFY(m_db->isOpen());
        m_db->beginEdit();
        addContact(*m_db, QStringLiteral("Bob"));
        m_db->open_check();
        m_db->endEdit(true);
        QCOMPARE(SqlProbe(m_db->path()).column("select full_name from contact order by _id"), (QStringList { "Ann", "Bob" }));

        LocalDb missing(pathOf(QStringLiteral("missing.db")), localRule());
        QVERIFY_THROWS_EXCEPTION(std::exception, missing.open_check());
        QVERIFY(!missing.isOpen());
        QVERIFY(!QFile::exists(missing.path()));
    }

    void storesOnlyTheTypesColumns_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("keysBack");
        // The stored format's gaps and odd ones; the value-label types share
        // one layout, shown by the phone.
        QTest::newRow("name") << 1 << dataKeys({ 1, 2, 3, 4, 5, 6, 7, 8 });
        QTest::newRow("photo") << 2 << dataKeys({ 4, 15 });
        QTest::newRow("phone") << 3 << dataKeys({ 1, 2, 3 });
        QTest::newRow("im skips data4") << 8 << dataKeys({ 1, 2, 3, 5, 6 });
        QTest::newRow("org skips data8") << 10 << dataKeys({ 1, 2, 3, 4, 5, 6, 7, 9 });
        QTest::newRow("address stores data11") << 12 << dataKeys({ 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11 });
    }
    void storesOnlyTheTypesColumns()
    {
        QFETCH(int, type);
        QFETCH(QStringList, keysBack);
        const QByteArray image("\x89PNG\0bytes", 10);
        const auto cid = m_ann;
        pim::Entity e(0, QStringLiteral("src-7"));
        for (int i = 1; i <= 14; ++i)
            e.fields.insert(QStringLiteral("data%1").arg(i), QStringLiteral(" v%1 ").arg(i));
        e.fields.insert(QStringLiteral("data15"), image);
        m_db->insertEntity(cid, type, e);

        SqlProbe probe(m_db->path());
        const QVariantList raw = probe.rows(QStringLiteral("select * from data where _id=%1").arg(e.id)).value(0);
        QCOMPARE(raw.mid(1, 3), (QVariantList { type, qlonglong(cid), "src-7" }));
        for (int i = 1; i <= 15; ++i) {
            const QString key = QStringLiteral("data%1").arg(i);
            const QVariant cell = raw.at(3 + i);
            if (!keysBack.contains(key))
                QVERIFY2(i == 15 ? !cell.isValid() : cell.toString().isEmpty(), qPrintable(key));
            else if (i == 15)
                QCOMPARE(cell.toByteArray(), image);
            else if (type == pim::ENTITY_PHOTO && i == 4)
                QCOMPARE(cell.toString(), md5Base64(image));
            else
                QCOMPARE(cell.toString(), QStringLiteral(" v%1 ").arg(i));
        }

        const QList<pim::Entity> back = m_db->contact(cid).entities.value(type);
        QCOMPARE(back.size(), 1);
        QCOMPARE(back.first().id, e.id);
        QCOMPARE(back.first().srcId, QStringLiteral("src-7"));
        // Whether an address reads its country code back is the reader's
        // matter; here only that it is stored.
        QStringList keysRead = back.first().fields.keys();
        keysRead.removeOne(QStringLiteral("data11"));
        keysBack.removeOne(QStringLiteral("data11"));
        keysBack.sort();
        QCOMPARE(keysRead, keysBack);
    }

    void storesValuesAsText_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariantMap>("fields");
        QTest::addColumn<QString>("expected"); // stored data1, or data4 of a photo
        const QDateTime withMs(QDate(1980, 5, 17), QTime(0, 0, 0, 123));
        QTest::newRow("date-time without milliseconds") << 6 << QVariantMap { { "data1", withMs } } << "1980-05-17T00:00:00";
        QTest::newRow("64-bit beyond 2^53") << 9 << QVariantMap { { "data1", qlonglong(9007199254740993LL) } } << "9007199254740993";
        QTest::newRow("UTF-8 bytes") << 9 << QVariantMap { { "data1", QByteArray("caf\xc3\xa9") } } << "café";
        QTest::newRow("quote cannot break out") << 9 << QVariantMap { { "data1", "a'); drop table data;--" } }
                                                << "a'); drop table data;--";
        QTest::newRow("photo hash from the bytes, not the claimed one")
            << 2 << QVariantMap { { "data15", QByteArray("JFIF") }, { "data4", "bogus" } } << md5Base64("JFIF");
        QTest::newRow("no image: hash of zero bytes") << 2 << QVariantMap { { "data4", "x" } } << md5Base64({});
    }
    void storesValuesAsText()
    {
        QFETCH(int, type);
        QFETCH(QVariantMap, fields);
        QFETCH(QString, expected);
        pim::Entity e;
        e.fields = fields;
        m_db->insertEntity(m_ann, type, e);
        const QString column = type == pim::ENTITY_PHOTO ? "data4" : "data1";
        const QVariant cell = SqlProbe(m_db->path()).value(QStringLiteral("select %1 from data where _id=%2").arg(column).arg(e.id));
        QVERIFY(cell.isValid());
        QCOMPARE(cell.toString(), expected);
        QCOMPARE(SqlProbe(m_db->path()).value("select count(*) from data").toInt(), 1);
    }

    void rewritesOnlyTheTypesColumnsOnUpdate_data()
    {
        QTest::addColumn<int>("updateType");
        QTest::addColumn<QString>("newSrcId");
        QTest::addColumn<QStringList>("expected"); // src_id, data1..data5 after the update
        QTest::newRow("phone as phone") << 3 << "p9" << QStringList { "p9", "new1", "7", "new3", "x4", "x5" };
        QTest::newRow("phone as notes keeps label") << 9 << "p9" << QStringList { "p9", "new1", "2", "lbl", "x4", "x5" };
        QTest::newRow("empty source id clears it") << 3 << "" << QStringList { "", "new1", "7", "new3", "x4", "x5" };
    }
    void rewritesOnlyTheTypesColumnsOnUpdate()
    {
        QFETCH(int, updateType);
        QFETCH(QString, newSrcId);
        QFETCH(QStringList, expected);
        const auto cid = m_ann;
        pim::Entity phone(0, QStringLiteral("p1"));
        phone.fields = { { "data1", "555" }, { "data2", 2 }, { "data3", "lbl" } };
        m_db->insertEntity(cid, pim::ENTITY_PHONE, phone);
        SqlProbe probe(m_db->path());
        probe.exec(QStringLiteral("update data set data4='x4',data5='x5' where _id=%1").arg(phone.id));
        pim::Entity changed(phone.id, newSrcId);
        changed.fields = { { "data1", "new1" }, { "data2", 7 }, { "data3", "new3" } };
        m_db->updateEntity(updateType, changed);

        expected.prepend(QString::number(cid));
        expected.prepend(QStringLiteral("3"));
        const QVariantList row = probe.rows(QStringLiteral("select type,contact_id,src_id,data1,data2,data3,data4,data5"
                                                           " from data where _id=%1").arg(phone.id)).value(0);
        QStringList got;
        for (const QVariant& cell : row)
            got << cell.toString();
        QCOMPARE(got, expected);
    }

    void refusesInvalidTypesUnchanged_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("zero") << 0;
        QTest::newRow("fourteen") << 14;
    }
    void refusesInvalidTypesUnchanged()
    {
        QFETCH(int, type);
        pim::Entity note;
        note.fields.insert("data1", "keep");
        m_db->insertEntity(m_ann, pim::ENTITY_NOTES, note);

        pim::Entity e(77, QString());
        e.fields.insert("data1", "changed");
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, m_db->insertEntity(m_ann, type, e));
        QCOMPARE(e.id, 77ull);
        pim::Entity update(note.id, QStringLiteral("s"));
        update.fields.insert("data1", "changed");
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, m_db->updateEntity(type, update));

        QCOMPARE(SqlProbe(m_db->path()).rows("select _id,data1,ifnull(src_id,'null') from data"),
            (QList<QVariantList> { { qlonglong(note.id), "keep", "" } }));
    }

    void findsNamesLiterally_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("expectedIndex"); // into the stored names; -1 none
        // A large import looks names up in memory, the same way.
        QTest::addColumn<bool>("importing");
        for (const bool importing : { false, true }) {
            const auto row = [importing](const char* name) -> QTestData& {
                return QTest::newRow(qPrintable(QString::fromUtf8(name) + (importing ? " (import)" : "")));
            };
            row("underscore is no wildcard") << "J_hn" << -1 << importing;
            row("literal percent name") << "50% off" << 3 << importing;
            row("non-ASCII case differs") << QStringLiteral("émile") << -1 << importing;
            row("non-ASCII exact") << QStringLiteral("Émile") << 2 << importing;
            row("duplicates give lowest id") << "dup" << 5 << importing;
            row("ASCII case folded") << "jOHN" << 0 << importing;
        }
    }
    void findsNamesLiterally()
    {
        QFETCH(QString, query);
        QFETCH(int, expectedIndex);
        QFETCH(bool, importing);
        QList<unsigned long long> ids;
        for (const char* n : { "John", "100 Pure", "Émile", "50% off", "", "Dup", "DUP" })
            ids << addContact(*m_db, QString::fromUtf8(n));
        if (importing)
            m_db->beginImport(100);
        QCOMPARE(m_db->isContactBaseExist(query), expectedIndex < 0 ? 0ull : ids.at(expectedIndex));
        if (!importing)
            return;
        // A contact the import stores is found by its name too, after an
        // older one of the same name.
        pim::_Contact added(0, QString(), query);
        bool existed = false;
        m_db->mergeContact(added, existed);
        const unsigned long long found = m_db->isContactBaseExist(query.toUpper());
        if (expectedIndex >= 0 && query.toUpper().compare(query, Qt::CaseInsensitive) == 0)
            QCOMPARE(found, ids.at(expectedIndex));
        QVERIFY(found != 0);
        m_db->endEdit(false);
        QCOMPARE(m_db->isContactBaseExist(query), expectedIndex < 0 ? 0ull : ids.at(expectedIndex));
    }

    void keepsExactlyOneMembership()
    {
        const auto cid = m_ann;
        const auto other = addContact(*m_db, QStringLiteral("Bob"));
        const auto g1 = m_db->getGroupIdOrAdd("A");
        const auto g2 = m_db->getGroupIdOrAdd("B");
        m_db->setGroup(cid, g1, "A");
        m_db->setGroup(other, g1, "A");
        SqlProbe probe(m_db->path());
        probe.exec(QStringLiteral("insert into data(type,contact_id,data1,data2) values(7,%1,'%2','B')").arg(cid).arg(g2));
        const pim::Entity m = m_db->setGroup(cid, g2, "B");
        const QString memberships = QStringLiteral("select _id,data1,data2,ifnull(src_id,'null') from data"
                                                   " where type=7 and contact_id=%1").arg(cid);
        QCOMPARE(probe.rows(memberships), (QList<QVariantList> { { qlonglong(m.id), QString::number(g2), "B", "null" } }));
        QCOMPARE(probe.value(QStringLiteral("select count(*) from data where contact_id=%1").arg(other)).toInt(), 1);

        m_db->ungroup(cid);
        m_db->ungroup(cid);
        QCOMPARE(probe.value(QStringLiteral("select count(*) from data where contact_id=%1").arg(cid)).toInt(), 0);

        // Removing a group keeps its memberships; removing a contact takes its rows.
        m_db->removeGroupOnly(g1);
        QCOMPARE(probe.value("select count(*) from data where type=7").toInt(), 1);
        m_db->removeContact(other);
        m_db->removeEntity(999);
        QCOMPARE(probe.column("select full_name from contact"), QStringList { "Ann" });
        QCOMPARE(probe.value("select count(*) from data").toInt(), 0);
    }

    void writesSourceIdsBack_data()
    {
        QTest::addColumn<Op>("op");
        QTest::addColumn<QStringList>("contactSrcIds"); // by _id order
        QTest::addColumn<QStringList>("dataSrcIds");
        // Planted: contacts with src_id 'A','a',NULL,''; data rows the same.
        const QStringList planted { "A", "a", "<NULL>", "" };
        const auto row = [&](const char* name, Op op, QStringList contacts, QStringList data) {
            QTest::newRow(name) << op << (contacts.isEmpty() ? planted : contacts) << (data.isEmpty() ? planted : data);
        };
        row("contact by old value, case matters", [](LocalDb& db) { db.updateContactBaseSrcId(QStringLiteral("A"), "n"); },
            { "n", "a", "<NULL>", "" }, {});
        row("empty old value never matches NULL", [](LocalDb& db) { db.updateEntitySrcId(QString(""), "n"); }, {},
            { "A", "a", "<NULL>", "n" });
    }
    void writesSourceIdsBack()
    {
        QFETCH(Op, op);
        QFETCH(QStringList, contactSrcIds);
        QFETCH(QStringList, dataSrcIds);
        SqlProbe probe(m_db->path());
        probe.exec("delete from contact");
        probe.exec("insert into contact(_id,src_id,full_name) values(1,'A','1'),(2,'a','2'),(3,NULL,'3'),(4,'','4')");
        probe.exec("insert into data(type,contact_id,src_id) values(9,1,'A'),(9,1,'a'),(9,1,NULL),(9,1,'')");
        m_db->beginEdit();
        op(*m_db);
        m_db->endEdit(true);
        QCOMPARE(probe.column("select src_id from contact order by _id"), contactSrcIds);
        QCOMPARE(probe.column("select src_id from data order by _id"), dataSrcIds);
    }
};

QTEST_GUILESS_MAIN(TestLocalDb)
#include "tst_localdb.moc"
