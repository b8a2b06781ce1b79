// SPDX-License-Identifier: GPL-3.0-or-later
// Statements the wrapper keeps between calls: transaction statements
// prepared once per connection, values SQLite reads in place from buffers
// the wrapper holds, and reading columns by position.
#include "sqlite3db.h"
#include "sqlitetestutil.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

// A value that is built fresh and dies with the statement text that
// carries it, so nothing but the wrapper can keep its bytes alive.
QString freshCopy(const QString& text)
{
    return QString(text.constData(), text.size());
}

} // namespace

class TestSqlite3DBReuse : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    void makeDb(Sqlite3DB& db, const QString& name)
    {
        QFile::remove(m_dir.filePath(name));
        db.openThrow(m_dir.filePath(name), 6);
        db.executeThrow("CREATE TABLE t(id INTEGER PRIMARY KEY, n INTEGER UNIQUE, s TEXT, b BLOB)");
    }

private slots:
    void init() { QVERIFY(m_dir.isValid()); }

    void shouldNestTransactionsAcrossReopen_data()
    {
        // B begin, C commit, R rollback, I<n> insert n (a second insert of
        // the same n fails on the UNIQUE key and is ignored), O close and
        // open again, E expect the depth given after it.
        QTest::addColumn<QString>("script");
        QTest::addColumn<QList<long long>>("kept");

        QTest::newRow("savepoints after reopen")
            << "B I1 B I2 R C O B I3 B I4 C C" << QList<long long> { 1, 3, 4 };
        QTest::newRow("reopen inside a transaction discards it")
            << "B I1 B I2 O E0 B I5 C" << QList<long long> { 5 };
        QTest::newRow("three levels, inner released, middle rolled back")
            << "B I1 B I2 B I3 C R E1 C E0" << QList<long long> { 1 };
        QTest::newRow("failed insert inside a savepoint is undone alone")
            << "B I1 B I7 I7 R B I8 C C" << QList<long long> { 1, 8 };
        QTest::newRow("same level reused many times") << "B B I1 C B I2 R B I3 C B I4 R B I5 C C"
                                                      << QList<long long> { 1, 3, 5 };
        QTest::newRow("outer rollback after inner commits")
            << "B B I1 C B I2 C R E0 I9" << QList<long long> { 9 };
    }
    void shouldNestTransactionsAcrossReopen()
    {
        QFETCH(QString, script);
        QFETCH(QList<long long>, kept);

        const QString file = m_dir.filePath(QStringLiteral("nest.db"));
        Sqlite3DB db;
        makeDb(db, QStringLiteral("nest.db"));
        for (const QString& op : script.split(QLatin1Char(' '))) {
            if (op == QLatin1String("B")) {
                db.beginTran();
            } else if (op == QLatin1String("C")) {
                db.commitTran();
            } else if (op == QLatin1String("R")) {
                db.rollbackTran();
            } else if (op == QLatin1String("O")) {
                db.close();
                db.openThrow(file, 2);
            } else if (op.startsWith(QLatin1Char('E'))) {
                QCOMPARE(db.tranDepth(), op.mid(1).toInt());
            } else {
                try {
                    db.executeThrow(Sqlite3Sql("INSERT INTO t(n) VALUES(?)").addInt64Param(op.mid(1).toLongLong()));
                } catch (const std::exception& e) {
                    QVERIFY2(QString::fromUtf8(e.what()).contains(QLatin1String("UNIQUE")), e.what());
                }
            }
        }
        QCOMPARE(db.tranDepth(), 0);
        db.close();

        Sqlite3DB check;
        check.openThrow(file, 1);
        QCOMPARE(column0(check, "SELECT n FROM t ORDER BY n"), kept);
    }

    void shouldKeepSavepointsApartOverManyRounds()
    {
        // One savepoint per item inside one edit, as a large import does:
        // every other item is rolled back.
        Sqlite3DB db;
        makeDb(db, QStringLiteral("rounds.db"));
        db.beginTran();
        for (int i = 0; i < 2000; ++i) {
            db.beginTran();
            db.executeThrow(Sqlite3Sql("INSERT INTO t(n) VALUES(?)").addIntParam(i));
            if (i % 2)
                db.rollbackTran();
            else
                db.commitTran();
        }
        QCOMPARE(db.tranDepth(), 1);
        db.commitTran();
        QCOMPARE(column0(db, "SELECT count(*) FROM t"), QList<long long> { 1000 });
        QCOMPARE(column0(db, "SELECT count(*) FROM t WHERE n % 2 = 1"), QList<long long> { 0 });
    }

    void shouldNameAFailedBeginAndStayOutside()
    {
        Sqlite3DB db;
        makeDb(db, QStringLiteral("busy.db"));
        // A transaction opened behind the wrapper's back makes its BEGIN fail.
        db.executeThrow("BEGIN");
        const QString err = errorOf([&] { db.beginTran(); });
        QVERIFY2(err.contains(QLatin1String("begin transaction \"BEGIN\" failed")), qPrintable(err));
        QCOMPARE(db.tranDepth(), 0);
        db.executeThrow("ROLLBACK");
        // The prepared BEGIN is still good after its failure.
        db.beginTran();
        db.executeThrow(Sqlite3Sql("INSERT INTO t(n) VALUES(?)").addIntParam(1));
        db.commitTran();
        QCOMPARE(column0(db, "SELECT n FROM t"), QList<long long> { 1 });
    }

    void shouldReadBoundValuesAfterTheirSqlIsGone_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("blob");
        QTest::newRow("ASCII") << QStringLiteral("Ann Lee") << QByteArray("a");
        QTest::newRow("non-ASCII") << QStringLiteral("Zoë 张伟 😀") << QByteArray("\xff\x00\x01", 3);
        QTest::newRow("empty text") << QString(QLatin1String("")) << QByteArray();
        QTest::newRow("long text") << QString(70000, QLatin1Char('x')) << QByteArray(70000, 'y');
        QTest::newRow("NUL inside") << QString::fromUtf16(u"a\u0000b", 3) << QByteArray("\0\0", 2);
    }
    void shouldReadBoundValuesAfterTheirSqlIsGone()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, blob);
        Sqlite3DB db;
        makeDb(db, QStringLiteral("bound.db"));
        for (int i = 0; i < 3; ++i) {
            db.executeThrow(Sqlite3Sql("INSERT INTO t(n,s,b) VALUES(?,?,?)")
                                .addIntParam(i)
                                .addTextParam(i == 1 ? freshCopy(text) : QStringLiteral("other%1").arg(i))
                                .addBlobParam(i == 1 ? QByteArray(blob.constData(), blob.size()) : QByteArray("z")));
        }

        const char* const find = "SELECT n, s, b FROM t WHERE s = ? AND b = ? ORDER BY n";
        Sqlite3Cursor first = db.queryThrow(
            Sqlite3Sql(find).addTextParam(freshCopy(text)).addBlobParam(QByteArray(blob.constData(), blob.size())));
        // The same text again while the first run is open gets a statement
        // of its own; both must still see their own values.
        Sqlite3Cursor second
            = db.queryThrow(Sqlite3Sql(find).addTextParam(QStringLiteral("other2")).addBlobParam(QByteArray("z")));
        // Scribble over freed memory before stepping.
        QList<QByteArray> noise;
        for (int i = 0; i < 64; ++i)
            noise.append(QByteArray(qMax<qsizetype>(16, text.size() * 3), char('A' + i % 26)));

        QCOMPARE(first.count(), 1);
        QVERIFY(first.moveNext());
        QCOMPARE(first.getInt64(0), 1LL);
        QCOMPARE(first.getText(1), text);
        QCOMPARE(first.getBlob(2), blob);
        QVERIFY(!first.moveNext());

        QVERIFY(second.moveNext());
        QCOMPARE(second.getInt64(0), 2LL);
        QVERIFY(!second.moveNext());
    }

    void shouldKeepSeveralTextsOfOneRunApart_data()
    {
        // Two rows written with one statement, the second after the first.
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("second");
        QTest::newRow("all ASCII") << QStringList { "a", "bb", "ccc", "dddd" } << QStringList { "w", "x", "y", "z" };
        QTest::newRow("non-ASCII between ASCII")
            << QStringList { "Ann", "Zoë", "Lee", "张伟" } << QStringList { "ä", "b", "ö", "c" };
        QTest::newRow("empty texts between")
            << QStringList { "", "x", "", "yy" } << QStringList { "p", "", "q", "" };
        QTest::newRow("long run, then a short one")
            << QStringList { QString(5000, 'L'), QString(3000, 'M'), "s", QString(100000, 'N') }
            << QStringList { "1", "22", "333", "4444" };
        QTest::newRow("NUL and controls") << QStringList { QString::fromUtf16(u"a\u0000", 2), "\t", "\n\r", "\x7f" }
                                          << QStringList { "e", "f", "g", "h" };
    }
    void shouldKeepSeveralTextsOfOneRunApart()
    {
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        Sqlite3DB db;
        makeDb(db, QStringLiteral("texts.db"));
        db.executeThrow("CREATE TABLE four(k INTEGER, a TEXT, b TEXT, c TEXT, d TEXT)");
        const QList<QStringList> rows { first, second };
        for (int k = 0; k < rows.size(); ++k) {
            Sqlite3Sql sql("INSERT INTO four VALUES(?,?,?,?,?)");
            sql.addIntParam(k);
            for (const QString& text : rows.at(k))
                sql.addTextParam(freshCopy(text));
            db.executeThrow(sql);
        }
        Sqlite3Cursor c = db.queryThrow("SELECT a, b, c, d FROM four ORDER BY k");
        for (const QStringList& expected : rows) {
            QVERIFY(c.moveNext());
            QCOMPARE((QStringList { c.getText(0), c.getText(1), c.getText(2), c.getText(3) }), expected);
        }
        QVERIFY(!c.moveNext());
    }

    void shouldReadColumnsByPosition_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::newRow("text column") << 0 << "Åsa" << QByteArray("Åsa") << "";
        QTest::newRow("empty text") << 1 << "" << QByteArray() << "";
        QTest::newRow("NULL reads empty") << 2 << "" << QByteArray() << "";
        QTest::newRow("blob column") << 3 << "b" << QByteArray("b\0c", 3) << "";
        QTest::newRow("integer as text") << 4 << "42" << QByteArray("42") << "";
        QTest::newRow("negative index") << -1 << "" << QByteArray() << "column index -1 out of range";
        QTest::newRow("one past the end") << 5 << "" << QByteArray() << "column index 5 out of range";
    }
    void shouldReadColumnsByPosition()
    {
        QFETCH(int, index);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        Sqlite3DB db;
        makeDb(db, QStringLiteral("pos.db"));
        db.executeThrow(Sqlite3Sql("INSERT INTO t(n,s,b) VALUES(42,?,?)")
                            .addTextParam(QStringLiteral("Åsa"))
                            .addBlobParam(QByteArray("b\0c", 3)));
        Sqlite3Cursor c = db.queryThrow("SELECT s, '', NULL, b, n FROM t");
        QVERIFY(errorOf([&] { c.getText(0); }).contains(QLatin1String("no current row")));
        QVERIFY(c.moveNext());
        if (!error.isEmpty()) {
            QVERIFY(errorOf([&] { c.getText(index); }).contains(error));
            QVERIFY(errorOf([&] { c.getBlob(index); }).contains(error));
            return;
        }
        const QString gotText = c.getText(index);
        QVERIFY(!gotText.isNull());
        if (index != 3)
            QCOMPARE(gotText, text);
        QCOMPARE(c.getBlob(index), bytes);
    }
};

QTEST_GUILESS_MAIN(TestSqlite3DBReuse)
#include "test_sqlite3dbreuse.moc"
