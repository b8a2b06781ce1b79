// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/stylesheet.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

class TestStyleSheet : public QObject {
    Q_OBJECT
private slots:
    void namesOnlyPicturesThatExist()
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
