// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/stylesheet.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestStyleSheet : public QObject {
    Q_OBJECT
private slots:
    void init() { resetStyleSheetCacheForTests(); }
    void cleanup() { resetStyleSheetCacheForTests(); }

    void shouldLoadOnceAndKeep_data()
    {
        // Each call names a file in the folder ("rewrite" changes good.css
        // instead); each expected entry is what that call returns.
        QTest::addColumn<QByteArray>("goodBytes");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QStringList>("expected");

        const QByteArray good("QPushButton { color: #000000; }");
        QTest::newRow("missing file first gives empty, then loads")
            << good << QStringList { "missing.css", "good.css", "other.css" } << QStringList { "", good, good };
        QTest::newRow("file changed after the first read is not read again")
            << good << QStringList { "good.css", "rewrite", "good.css" } << QStringList { good, "", good };
        QTest::newRow("NUL byte ends the sheet") << QByteArray("* { font-size: 12px; }\0QMenu { }", 32)
                                                 << QStringList { "good.css" } << QStringList { "* { font-size: 12px; }" };
        QTest::newRow("8-bit bytes read as Latin-1")
            << QByteArray("/* caf\xe9 */") << QStringList { "good.css" } << QStringList { "/* caf\u00e9 */" };
    }

    void shouldLoadOnceAndKeep()
    {
        QFETCH(QByteArray, goodBytes);
        QFETCH(QStringList, calls);
        QFETCH(QStringList, expected);

        QTemporaryDir dir;
        auto write = [&dir](const char* name, const QByteArray& bytes) {
            QFile f(dir.filePath(QLatin1String(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(bytes), bytes.size());
        };
        write("good.css", goodBytes);
        write("other.css", "QMenu { border: none; }");

        for (int i = 0; i < calls.size(); ++i) {
            if (calls.at(i) == QLatin1String("rewrite"))
                write("good.css", "QLabel { color: red; }");
            else
                QCOMPARE(getStyleSheet(dir.filePath(calls.at(i))), expected.at(i));
        }
    }

    void shouldNameResourcesThatExist()
    {
        const QString sheet = getStyleSheet(QStringLiteral(":/res/style.css"));
        QVERIFY(sheet.contains(QLatin1String("#ProgressForm")));
        // Both spellings of the resource name one cached sheet.
        QCOMPARE(getStyleSheet(QStringLiteral(":res/style.css")), sheet);
        // A misspelt picture would silently fall back to no picture at all.
        const QRegularExpression url(QStringLiteral("url\\(([^)]+)\\)"));
        int urls = 0;
        for (auto it = url.globalMatch(sheet); it.hasNext(); ++urls) {
            const QString path = it.next().captured(1).trimmed();
            QVERIFY2(QFile::exists(path), qPrintable(path));
        }
        QCOMPARE(urls, 2);
    }
};

QTEST_MAIN(TestStyleSheet)
#include "tst_stylesheet.moc"
