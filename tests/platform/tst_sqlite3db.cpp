// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sqlite/sqlite3db.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <functional>
#include <limits>
#include <memory>

namespace {

// A value built fresh, so nothing but the wrapper can keep its bytes alive
// once the statement that carries it is gone.
QString freshCopy(const QString& text)
{
    return QString(text.constData(), text.size());
}

// The text of the exception a call throws, or empty when it throws none.
QString errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

// The first column of every row of a query, as 64-bit integers.
QList<long long> column0(Sqlite3DB& db, const QString& sql)
{
    QList<long long> out;
    Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(sql));
    while (c.moveNext())
        out.append(c.getInt64(0));
    return out;
}

} // namespace

class TestSqlite3DB : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // A fresh database with table t(id, n UNIQUE, s, b).
    void makeDb(Sqlite3DB& db, const QString& file)
    {
        QFile::remove(path(file));
        db.openThrow(path(file), 6);
        db.executeThrow("CREATE TABLE t(id INTEGER PRIMARY KEY AUTOINCREMENT, n INTEGER UNIQUE, s TEXT, b BLOB)");
    }

private slots:
    void init() { QVERIFY(m_dir.isValid()); }

    void refusesEmptyPathAndSecondOpen()
    {
        Sqlite3DB db;
        QVERIFY(!errorOf([&] { db.openThrow(QString(), 6); }).isEmpty());
        QVERIFY(!db.isOpen());
        db.openThrow(path("twice.db"), 6);
        QVERIFY(errorOf([&] { db.openThrow(path("twice.db"), 6); }).contains("already open"));
        QVERIFY(db.isOpen());
    }

    void roundTripsValues_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("blob");
        QTest::addColumn<long long>("number");

        QTest::newRow("non-ASCII text") << QStringLiteral("Zoë 张伟 😀 Ångström") << QByteArray("x") << 1LL;
        QTest::newRow("null text binds empty") << QString() << QByteArray() << -1LL;
        QTest::newRow("largest int64")
            << QStringLiteral("max") << QByteArray("m") << std::numeric_limits<long long>::max();
        QTest::newRow("blob with NUL bytes") << QStringLiteral("nul") << QByteArray("\0a\0\0b\xff", 6) << 7LL;
        QTest::newRow("text with NUL inside") << QString::fromUtf16(u"a\u0000b", 3) << QByteArray("t") << 2LL;
    }
    void roundTripsValues()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, blob);
        QFETCH(long long, number);

        const QString file = path("roundtrip.db");
        {
            Sqlite3DB db;
            makeDb(db, "roundtrip.db");
            db.executeThrow(Sqlite3Sql("INSERT INTO t(n, s, b) VALUES(?, ?, ?)")
                                .addInt64Param(number)
                                .addTextParam(freshCopy(text))
                                .addBlobParam(QByteArray(blob.constData(), blob.size())));
        }
        Sqlite3DB db;
        db.openThrow(file, 2);
        const char* const find = "SELECT n, s, b, s IS NULL AS sNull, b IS NULL AS bNull FROM t WHERE s = ? AND b = ?";
        Sqlite3Cursor c = db.queryThrow(
            Sqlite3Sql(find).addTextParam(freshCopy(text)).addBlobParam(QByteArray(blob.constData(), blob.size())));
        // The bound values must outlive freed and reused memory.
        QList<QByteArray> noise;
        for (int i = 0; i < 64; ++i)
            noise.append(QByteArray(qMax<qsizetype>(16, text.size() * 3), char('A' + i % 26)));
        QVERIFY(c.moveNext());
        QCOMPARE(c.getInt64("n"), number);
        QCOMPARE(c.getText("s"), text.isNull() ? QString(QLatin1String("")) : text);
        QCOMPARE(c.getBlob("b"), blob);
        QCOMPARE(c.getInt("sNull"), 0);
        QCOMPARE(c.getInt("bNull"), 0);
        QVERIFY(!c.moveNext());
    }

    void nestsTransactions_data()
    {
        // B begin, C commit, R rollback, I<n> insert n (a second insert of
        // the same n fails on the UNIQUE key and is ignored), O close and
        // open again, E<n> expect depth n.
        QTest::addColumn<QString>("script");
        QTest::addColumn<QList<long long>>("kept");

        QTest::newRow("inner commit then outer rollback keeps nothing") << "B I1 B I2 C R E0 I9" << QList<long long> { 9 };
        QTest::newRow("inner rollback then outer commit keeps outer rows") << "B I1 B I2 R I3 C" << QList<long long> { 1, 3 };
        QTest::newRow("rollback at depth 0 is a no-op") << "I1 R C" << QList<long long> { 1 };
        QTest::newRow("close discards an open transaction") << "B I1 B I2 C O E0 B I5 C" << QList<long long> { 5 };
        QTest::newRow("failed insert inside a savepoint is undone alone") << "B I1 B I7 I7 R B I8 C C" << QList<long long> { 1, 8 };
    }
    void nestsTransactions()
    {
        QFETCH(QString, script);
        QFETCH(QList<long long>, kept);

        const QString file = path("nest.db");
        {
            Sqlite3DB db;
            makeDb(db, "nest.db");
            for (const QString& op : script.split(' ')) {
                if (op == "B") {
                    db.beginTran();
                } else if (op == "C") {
                    db.commitTran();
                } else if (op == "R") {
                    db.rollbackTran();
                } else if (op == "O") {
                    db.close();
                    db.openThrow(file, 2);
                } else if (op.startsWith('E')) {
                    QCOMPARE(db.tranDepth(), op.mid(1).toInt());
                } else {
                    const QString err = errorOf([&] {
                        db.executeThrow(Sqlite3Sql("INSERT INTO t(n) VALUES(?)").addInt64Param(op.mid(1).toLongLong()));
                    });
                    QVERIFY2(err.isEmpty() || err.contains("UNIQUE"), qPrintable(err));
                }
            }
            QCOMPARE(db.tranDepth(), 0);
        }
        Sqlite3DB db;
        db.openThrow(file, 1);
        QCOMPARE(column0(db, "SELECT n FROM t ORDER BY n"), kept);
    }

    void namesAFailedBeginAndStaysOutside()
    {
        Sqlite3DB db;
        makeDb(db, "busy.db");
        // A transaction opened behind the wrapper's back makes its BEGIN fail.
        db.executeThrow("BEGIN");
        const QString err = errorOf([&] { db.beginTran(); });
        QVERIFY2(err.contains("begin transaction \"BEGIN\" failed"), qPrintable(err));
        QCOMPARE(db.tranDepth(), 0);
        db.executeThrow("ROLLBACK");
        // The prepared BEGIN is still good after its failure.
        db.beginTran();
        db.executeThrow(Sqlite3Sql("INSERT INTO t(n) VALUES(?)").addIntParam(1));
        db.commitTran();
        QCOMPARE(column0(db, "SELECT n FROM t"), QList<long long> { 1 });
    }

    void reportsAndUndoesAFailedCommit()
    {
        const QString file = path("locked.db");
        Sqlite3DB writer;
        makeDb(writer, "locked.db");
        for (int i = 0; i < 3; ++i)
            writer.executeThrow(Sqlite3Sql("INSERT INTO t(n) VALUES(?)").addIntParam(i));

        Sqlite3DB reader;
        reader.openThrow(file, 1);
        {
            // A read in progress holds a shared lock; the writer's COMMIT
            // cannot get its exclusive lock within its short timeout.
            Sqlite3Cursor held = reader.queryThrow("SELECT n FROM t");
            QVERIFY(held.moveNext());

            writer.setBusyTimeout(50);
            writer.beginTran();
            writer.executeThrow(Sqlite3Sql("INSERT INTO t(n) VALUES(?)").addIntParam(99));
            const QString err = errorOf([&] { writer.commitTran(); });
            QVERIFY2(err.contains("locked") || err.contains("busy"), qPrintable(err));
            QVERIFY2(err.contains("code 5"), qPrintable(err));
            QCOMPARE(writer.tranDepth(), 0);
            QVERIFY(sqlite3_get_autocommit(writer.handle()) != 0);
        }
        // The connection is usable again and the failed row is not there.
        QCOMPARE(column0(writer, "SELECT n FROM t ORDER BY n"), (QList<long long> { 0, 1, 2 }));
        writer.beginTran();
        writer.executeThrow(Sqlite3Sql("INSERT INTO t(n) VALUES(?)").addIntParam(3));
        writer.commitTran();
        QCOMPARE(column0(reader, "SELECT n FROM t ORDER BY n"), (QList<long long> { 0, 1, 2, 3 }));
    }

    void survivesCursorAcrossClose_data()
    {
        QTest::addColumn<bool>("destroyDb");
        QTest::newRow("close() while a cursor is mid-way") << false;
        QTest::newRow("database object destroyed first") << true;
    }
    void survivesCursorAcrossClose()
    {
        QFETCH(bool, destroyDb);
        const QString file = path("close.db");
        auto db = std::make_unique<Sqlite3DB>();
        makeDb(*db, "close.db");
        for (int i = 0; i < 3; ++i)
            db->executeThrow(Sqlite3Sql("INSERT INTO t(s) VALUES(?)").addTextParam(QString::number(i)));

        Sqlite3Cursor live = db->queryThrow("SELECT s FROM t");
        QVERIFY(live.moveNext());
        Sqlite3Cursor copy = live;
        if (destroyDb)
            db.reset();
        else
            db->close();

        QVERIFY(errorOf([&] { live.moveNext(); }).contains("not open"));
        QVERIFY(errorOf([&] { copy.getText("s"); }).contains("not open"));
        QVERIFY(errorOf([&] { copy.count(); }).contains("not open"));

        // The file is released: another connection writes to it at once.
        Sqlite3DB other;
        other.setBusyTimeout(0);
        other.openThrow(file, 2);
        other.executeThrow("DELETE FROM t");
    }

    void throwsOnClosedHandle()
    {
        Sqlite3DB db;
        for (const std::function<void()>& call : { std::function<void()>([&] { db.executeThrow("SELECT 1"); }),
                                                   std::function<void()>([&] { db.queryThrow("SELECT 1"); }),
                                                   std::function<void()>([&] { db.lastInsertId(); }),
                                                   std::function<void()>([&] { db.beginTran(); }) }) {
            const QString err = errorOf(call);
            QVERIFY2(err.contains("database not open"), qPrintable(err));
        }
        db.commitTran();
        db.rollbackTran();
        db.close();
    }

    void namesTheFailure_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("params");
        QTest::addColumn<QString>("expected");

        QTest::newRow("too few values")
            << "INSERT INTO t(n, s) VALUES(?, ?)" << 1 << "2 parameters, 1 values";
        QTest::newRow("parameters with several statements")
            << "INSERT INTO t(n) VALUES(?); INSERT INTO t(n) VALUES(2)" << 1 << "several statements";
    }
    void namesTheFailure()
    {
        QFETCH(QString, sql);
        QFETCH(int, params);
        QFETCH(QString, expected);
        Sqlite3DB db;
        makeDb(db, QStringLiteral("fail-%1.db").arg(QTest::currentDataTag()).replace(' ', '_'));
        db.executeThrow("INSERT INTO t(id) VALUES(1)");
        Sqlite3Sql stmt(sql);
        for (int i = 0; i < params; ++i)
            stmt.addIntParam(i);
        const QString err = errorOf([&] { db.executeThrow(stmt); });
        QVERIFY2(err.contains(expected), qPrintable(err));
        QCOMPARE(column0(db, "SELECT id FROM t"), QList<long long> { 1 });
    }

    void countsWithoutConsuming_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("readFirst");
        QTest::addColumn<int>("expected");

        QTest::newRow("trailing comment") << "SELECT n FROM t WHERE n >= ? -- all" << 1 << 5;
        QTest::newRow("pragma") << "PRAGMA table_info(t) -- ?" << 0 << 4;
    }
    void countsWithoutConsuming()
    {
        QFETCH(QString, sql);
        QFETCH(int, readFirst);
        QFETCH(int, expected);
        Sqlite3DB db;
        makeDb(db, QStringLiteral("count-%1.db").arg(QTest::currentDataTag()).replace(' ', '_'));
        for (int i = 0; i < 5; ++i)
            db.executeThrow(Sqlite3Sql("INSERT INTO t(n) VALUES(?)").addIntParam(i));

        Sqlite3Sql stmt(sql);
        if (!sql.startsWith("PRAGMA"))
            stmt.addIntParam(0);
        Sqlite3Cursor c = db.queryThrow(stmt);
        int seen = 0;
        for (; seen < readFirst; ++seen)
            QVERIFY(c.moveNext());
        QCOMPARE(c.count(), expected);
        while (c.moveNext())
            ++seen;
        QCOMPARE(seen, expected);
        QCOMPARE(c.count(), expected);
    }

    // Counting a statement that writes would have to run its writes again.
    void refusesToCountWrites()
    {
        Sqlite3DB db;
        makeDb(db, "count-write.db");
        db.executeThrow("INSERT INTO t(n) VALUES(1)");
        Sqlite3Cursor c = db.queryThrow("INSERT INTO t(n) VALUES(7) RETURNING id");
        QVERIFY(c.moveNext());
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, c.count());
        QVERIFY(!c.moveNext());
        // Exactly one run of the statement reached the table.
        QCOMPARE(column0(db, "SELECT n FROM t ORDER BY id"), (QList<long long> { 1, 7 }));
    }

    void keepsInterleavedCursorsOfOneStatementApart()
    {
        Sqlite3DB db;
        makeDb(db, "interleave.db");
        for (int i = 1; i <= 3; ++i)
            db.executeThrow(Sqlite3Sql("INSERT INTO t(n) VALUES(?)").addIntParam(i));
        const QString sql = "SELECT n FROM t WHERE n >= ? ORDER BY n";
        Sqlite3Cursor a = db.queryThrow(Sqlite3Sql(sql).addIntParam(1));
        QVERIFY(a.moveNext());
        // Same text while the first run is mid-way: must not reset it.
        Sqlite3Cursor b = db.queryThrow(Sqlite3Sql(sql).addIntParam(3));
        QVERIFY(b.moveNext());
        QCOMPARE(b.getInt("n"), 3);
        QVERIFY(a.moveNext());
        QCOMPARE(a.getInt("n"), 2);
        QVERIFY(!b.moveNext());
        QVERIFY(a.moveNext());
        QCOMPARE(a.getInt("N"), 3);
        QVERIFY(errorOf([&] { a.getInt("missing"); }).contains("no column named"));
        QVERIFY(!a.moveNext());
        QVERIFY(errorOf([&] { a.getInt("n"); }).contains("no current row"));
    }

    void readsColumnsByPosition_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::newRow("text column") << 0 << "Åsa" << QByteArray("Åsa") << "";
        QTest::newRow("NULL reads empty") << 1 << "" << QByteArray() << "";
        QTest::newRow("blob column") << 2 << "b" << QByteArray("b\0c", 3) << "";
        QTest::newRow("integer as text") << 3 << "42" << QByteArray("42") << "";
        QTest::newRow("negative index") << -1 << "" << QByteArray() << "column index -1 out of range";
        QTest::newRow("one past the end") << 4 << "" << QByteArray() << "column index 4 out of range";
    }
    void readsColumnsByPosition()
    {
        QFETCH(int, index);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        Sqlite3DB db;
        makeDb(db, "pos.db");
        db.executeThrow(Sqlite3Sql("INSERT INTO t(n,s,b) VALUES(42,?,?)").addTextParam("Åsa").addBlobParam(QByteArray("b\0c", 3)));
        Sqlite3Cursor c = db.queryThrow("SELECT s, NULL AS z, b, n FROM t");
        QVERIFY(errorOf([&] { c.getText(0); }).contains("no current row"));
        QVERIFY(c.moveNext());
        if (!error.isEmpty()) {
            QVERIFY(errorOf([&] { c.getText(index); }).contains(error));
            QVERIFY(errorOf([&] { c.getBlob(index); }).contains(error));
            return;
        }
        const QString gotText = c.getText(index);
        QVERIFY(!gotText.isNull());
        if (index != 2)
            QCOMPARE(gotText, text);
        QCOMPARE(c.getBlob(index), bytes);
        QCOMPARE(c.getInt64(index), index == 3 ? 42LL : 0LL);
        QCOMPARE(c.isNull("z"), true);
        QCOMPARE(c.getInt("z"), 0);
    }
};

QTEST_GUILESS_MAIN(TestSqlite3DB)
#include "tst_sqlite3db.moc"
