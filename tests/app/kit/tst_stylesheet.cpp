// SPDX-License-Identifier: GPL-3.0-or-later
#include "stylesheet.h"

#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestStyleSheet : public QObject {
    Q_OBJECT
private slots:
    void init() { resetStyleSheetCacheForTests(); }
    void cleanup() { resetStyleSheetCacheForTests(); }

    void shouldLoadOnceAndKeep_data();
    void shouldLoadOnceAndKeep();
    void shouldNameResourcesThatExist();
    void shouldShipThePicturesAtTheirSizes_data();
    void shouldShipThePicturesAtTheirSizes();
};

void TestStyleSheet::shouldLoadOnceAndKeep_data()
{
    // Each call is "path" where path is one of: good, other, missing,
    // resource, resource-short; the expected results are the texts returned.
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QByteArray>("goodBytes");

    const QByteArray good("QPushButton { color: #000000; }");
    QTest::newRow("missing file first gives empty, then loads")
        << QStringList { "missing", "good", "other", "missing" }
        << QStringList { "", QString::fromLatin1(good), QString::fromLatin1(good), QString::fromLatin1(good) }
        << good;
    QTest::newRow("file changed after the first read is not read again")
        << QStringList { "good", "rewrite", "good" }
        << QStringList { QString::fromLatin1(good), "", QString::fromLatin1(good) } << good;
    QTest::newRow("NUL byte ends the sheet") << QStringList { "good" } << QStringList { "* { font-size: 12px; }" }
                                             << QByteArray("* { font-size: 12px; }\0QMenu { }", 32);
    QTest::newRow("8-bit bytes read as Latin-1") << QStringList { "good" } << QStringList { "/* caf\u00e9 */" }
                                                 << QByteArray("/* caf\xe9 */");
    QTest::newRow("both resource spellings name one sheet") << QStringList { "resource", "resource-short" }
                                                            << QStringList { "*resource", "*resource" } << good;
}

void TestStyleSheet::shouldLoadOnceAndKeep()
{
    QFETCH(QStringList, calls);
    QFETCH(QStringList, expected);
    QFETCH(QByteArray, goodBytes);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString goodPath = dir.filePath(QStringLiteral("style.css"));
    const QString otherPath = dir.filePath(QStringLiteral("other.css"));
    auto write = [](const QString& path, const QByteArray& bytes) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(bytes), bytes.size());
    };
    write(goodPath, goodBytes);
    write(otherPath, "QMenu { border: none; }");

    QFile resource(QStringLiteral(":/res/style.css"));
    QVERIFY(resource.open(QIODevice::ReadOnly));
    const QString resourceText = QString::fromLatin1(resource.readAll());

    for (int i = 0; i < calls.size(); ++i) {
        const QString& call = calls.at(i);
        if (call == QLatin1String("rewrite")) {
            write(goodPath, "QLabel { color: red; }");
            continue;
        }
        const QString path = call == QLatin1String("good") ? goodPath
            : call == QLatin1String("other")                ? otherPath
            : call == QLatin1String("resource")             ? QStringLiteral(":/res/style.css")
            : call == QLatin1String("resource-short")       ? QStringLiteral(":res/style.css")
                                                            : dir.filePath(QStringLiteral("missing.css"));
        const QString want = expected.at(i) == QLatin1String("*resource") ? resourceText : expected.at(i);
        QCOMPARE(getStyleSheet(path), want);
    }
}

void TestStyleSheet::shouldNameResourcesThatExist()
{
    const QString sheet = getStyleSheet(QStringLiteral(":/res/style.css"));
    QVERIFY(sheet.contains(QLatin1String("QMessageBox")));
    QVERIFY(sheet.contains(QLatin1String("#ProgressForm")));
    // A misspelt picture would silently fall back to no picture at all.
    const QRegularExpression url(QStringLiteral("url\\(([^)]+)\\)"));
    int urls = 0;
    for (auto it = url.globalMatch(sheet); it.hasNext();) {
        const QString path = it.next().captured(1).trimmed();
        QVERIFY2(QFile::exists(path), qPrintable(path));
        ++urls;
    }
    QCOMPARE(urls, 2);
}

void TestStyleSheet::shouldShipThePicturesAtTheirSizes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::newRow("dialog background") << ":/res/subwin-bg.png" << QSize(421, 152);
    QTest::newRow("drop-down arrow") << ":/res/drop-arrow.png" << QSize(16, 16);
}

void TestStyleSheet::shouldShipThePicturesAtTheirSizes()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), size);
}

QTEST_MAIN(TestStyleSheet)
#include "tst_stylesheet.moc"
