// SPDX-License-Identifier: GPL-3.0-or-later
// The generator of the translation table refuses a malformed table and
// keeps the last good output.
#include "support/timebounds.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestTranslation : public QObject {
    Q_OBJECT

private slots:
    void rejectsAMalformedTable_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("expectedInOutput"); // in the .ts when accepted, in stderr otherwise

        QTest::newRow("good table with escapes") << QByteArray("# c\n\nK1\tline\\none\nK2\ta\\\\b\n") << true
                                                 << "line\none";
        QTest::newRow("XML characters escaped") << QByteArray("<a & b>\t\"x\" & <y>\n") << true
                                                << "&lt;a &amp; b&gt;";
        QTest::newRow("missing tab") << QByteArray("K1\tok\nK2 no tab\n") << false << ":2:";
        QTest::newRow("unknown escape") << QByteArray("K1\tbad \\x escape\n") << false << "escape";
        QTest::newRow("source given twice") << QByteArray("K1\ta\n\nK1\tb\n") << false << ":3:";
        QTest::newRow("empty text") << QByteArray("K1\t\n") << false << "empty";
        QTest::newRow("not UTF-8") << QByteArray("K1\t\xff\xfe\n") << false << "UTF-8";
    }

    void rejectsAMalformedTable()
    {
        QFETCH(QByteArray, table);
        QFETCH(bool, accepted);
        QFETCH(QString, expectedInOutput);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString in = dir.filePath(QStringLiteral("t.tsv"));
        const QString out = dir.filePath(QStringLiteral("t.ts"));
        {
            QFile f(in);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(table);
            QFile o(out);
            QVERIFY(o.open(QIODevice::WriteOnly));
            o.write("previous build");
        }

        QProcess gen;
        gen.start(QStringLiteral(MARROWLINK_PYTHON), { QStringLiteral(MARROWLINK_MAKE_TS), in, out });
        QVERIFY(gen.waitForFinished(timebound::kWaitMs));
        const QString err = QString::fromUtf8(gen.readAllStandardError());

        QFile o(out);
        QVERIFY(o.open(QIODevice::ReadOnly));
        const QString written = QString::fromUtf8(o.readAll());
        if (accepted) {
            QCOMPARE(gen.exitCode(), 0);
            QVERIFY2(written.contains(expectedInOutput), qPrintable(written));
        } else {
            QVERIFY(gen.exitCode() != 0);
            QVERIFY2(err.contains(expectedInOutput), qPrintable(err));
            QCOMPARE(written, QStringLiteral("previous build")); // the last good output stays
        }
    }
};

QTEST_GUILESS_MAIN(TestTranslation)
#include "tst_translation.moc"
