// SPDX-License-Identifier: GPL-3.0-or-later
// The contact database file: template, life cycle, entity rows, reading
// back and the small edits, each checked against the file with plain SQL.
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

    void storesValuesAsText_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariantMap>("fields");
        QTest::addColumn<QString>("expected"); // stored data1, or data4 of a photo
        const QDateTime withMs(QDate(1980, 5, 17), QTime(0, 0, 0, 123));
        QTest::newRow("date-time without milliseconds") << 6 << QVariantMap { { "data1", withMs } } << "1980-05-17T00:00:00";
        QTest::newRow("64-bit beyond 2^53") << 9 << QVariantMap { { "data1", qlonglong(9007199254740993LL) } } << "9007199254740993";
        QTest::newRow("photo hash from the bytes, not the claimed one")
            << 2 << QVariantMap { { "data15", QByteArray("JFIF") }, { "data4", "bogus" } } << md5Base64("JFIF");
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
        QCOMPARE(cell.toString(), expected);
    }

    void refusesInvalidTypesUnchanged()
    {
        const int type = 14;
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
        QTest::newRow("underscore is no wildcard") << "J_hn" << -1;
        QTest::newRow("literal percent name") << "50% off" << 3;
    }
    void findsNamesLiterally()
    {
        QFETCH(QString, query);
        QFETCH(int, expectedIndex);
        QList<unsigned long long> ids;
        for (const char* n : { "John", "100 Pure", "Émile", "50% off", "", "Dup", "DUP" })
            ids << addContact(*m_db, QString::fromUtf8(n));
        QCOMPARE(m_db->isContactBaseExist(query), expectedIndex < 0 ? 0ull : ids.at(expectedIndex));
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
