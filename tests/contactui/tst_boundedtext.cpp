// SPDX-License-Identifier: GPL-3.0-or-later
// Where a long value is cut for a view, and what the card says about the rest.
#include <QLocale>
#include <QtTest>

#include "contactui/boundedtext.h"

class TestBoundedText : public QObject {
    Q_OBJECT
private slots:
    void cutsAtASensiblePlace_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maxChars");
        QTest::addColumn<int>("maxLines");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<int>("more");

        const QString a19(19, QLatin1Char('a'));
        QTest::newRow("within both bounds: whole, blanks kept") << " short note \n" << 20 << 3 << " short note \n" << 0;
        QTest::newRow("run without a blank: at the room") << QString(50, 'a') << 20 << 3 << QString(20, 'a') << 30;
        QTest::newRow("words: after the last word that fits")
            << "alpha beta gamma delta epsilon" << 20 << 3 << "alpha beta gamma" << 14;
        QTest::newRow("a blank right after the room ends the word") << "0123456789 abc" << 10 << 3 << "0123456789" << 4;
        QTest::newRow("no blank in the last fifth: inside the word")
            << "a " + QString(40, 'b') << 20 << 3 << "a " + QString(18, 'b') << 22;
        QTest::newRow("a no-break space holds its word together")
            << QString(16, 'a') + QChar(0x00A0) + QString(10, 'b') << 20 << 3
            << QString(16, 'a') + QChar(0x00A0) + "bbb" << 7;
        QTest::newRow("lines run out: at the end of the last line") << "one\ntwo\nthree\nfour" << 100 << 2 << "one\ntwo" << 11;
        QTest::newRow("CR LF line ends") << "one\r\ntwo\r\nthree" << 100 << 2 << "one\r\ntwo" << 7;
        QTest::newRow("paragraph separators count as line ends")
            << QString("one%1two%1three").arg(QChar(0x2029)) << 100 << 2 << QString("one%1two").arg(QChar(0x2029)) << 6;
        QTest::newRow("a line end in the last quarter wins over a blank")
            << QString(15, 'a') + "\nbb cc dd" << 20 << 3 << QString(15, 'a') << 9;
        QTest::newRow("surrogate pair at the cut stays whole")
            << a19 + QString::fromUtf8("😀bbb") << 20 << 3 << a19 << 4;
        QTest::newRow("combining accent at the cut stays with its letter")
            << a19 + QString::fromUtf8("e\u0301xyz") << 20 << 3 << a19 << 5;
        QTest::newRow("emoji with skin tone at the cut stays whole")
            << QString(18, 'a') + QString::fromUtf8("👍🏽b") << 20 << 3 << QString(18, 'a') << 3;
        QTest::newRow("flag of two regional indicators stays whole")
            << QString(18, 'a') + QString::fromUtf8("🇩🇪b") << 20 << 3 << QString(18, 'a') << 3;
        QTest::newRow("only blanks left out: trimmed, nothing to tell") << "abc" + QString(30, ' ') << 10 << 3 << "abc" << 0;
        QTest::newRow("only blank lines left out") << "a\nb\n\n\n\n" << 100 << 2 << "a\nb" << 0;
        QTest::newRow("a letter under a pile of accents longer than the room: nothing kept")
            << "x" + QString(30, QChar(0x0301)) << 10 << 3 << "" << 31;
    }

    void cutsAtASensiblePlace()
    {
        QFETCH(QString, text);
        QFETCH(int, maxChars);
        QFETCH(int, maxLines);
        QFETCH(QString, kept);
        QFETCH(int, more);

        const boundedtext::Cut cut = boundedtext::cut(text, maxChars, maxLines);
        QCOMPARE(cut.kept, kept);
        QCOMPARE(int(cut.more), more);
    }

    // Every cut is a beginning of the value within both bounds, whatever
    // the value holds.
    void keepsABeginningWithinTheBounds()
    {
        const QString pieces[] = { "word ", "\n", QString::fromUtf8("😀"), QString::fromUtf8("e\u0301"), "\r\n",
                                   QString(QChar(0x00A0)), QString::fromUtf8("👍🏽"), "x" };
        QString text;
        for (int i = 0; text.size() < 20000; ++i)
            text += pieces[(i * 7 + i / 3) % 8];
        for (int maxChars : { 1, 7, 64, 999, 3000 }) {
            for (int maxLines : { 1, 5, 60 }) {
                const boundedtext::Cut cut = boundedtext::cut(text, maxChars, maxLines);
                QVERIFY(text.startsWith(cut.kept));
                QVERIFY(cut.kept.size() <= maxChars);
                QVERIFY(cut.kept.count(QLatin1Char('\n')) < maxLines);
                QVERIFY(cut.more > 0);
                QVERIFY(cut.kept.isEmpty() || !cut.kept.back().isHighSurrogate());
                QVERIFY(!text.at(cut.kept.size()).isLowSurrogate());
                QVERIFY(text.at(cut.kept.size()).category() != QChar::Mark_NonSpacing);
            }
        }
    }

    // The card marks a cut in words, with the number of characters left out.
    void marksTheCutInWords_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");

        QTest::newRow("whole value: as stored") << "555-0101" << "555-0101";
        QTest::newRow("one character more")
            << QString(21, 'a') << QString(20, 'a') + "… (1 more character; open Edit Contact to see all)";
        QTest::newRow("cut at a line end: the note on a line of its own")
            << "one\ntwo\nthree\nfour" << "one\ntwo\nthree\n… (5 more characters; open Edit Contact to see all)";
        QTest::newRow("many more, in the user's number format")
            << QString(12345 + 20, 'a')
            << QString(20, 'a') + QString("… (%1 more characters; open Edit Contact to see all)")
                                      .arg(QLocale().toString(12345));
    }

    void marksTheCutInWords()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(boundedtext::forCard(text, 20, 3), shown);
    }

    void elidesATitle()
    {
        QCOMPARE(boundedtext::elided("Ann Lee", 60), QString("Ann Lee"));
        QCOMPARE(boundedtext::elided("Ann Lee\nsecond line", 60), QString("Ann Lee…"));
        QCOMPARE(boundedtext::elided(QString(10000, 'n'), 60), QString(60, 'n') + "…");
    }

    void findsTheLongestRunWithoutABlank()
    {
        QCOMPARE(boundedtext::longestUnbrokenRun(u""), 0);
        QCOMPARE(boundedtext::longestUnbrokenRun(u"ab cd\nefg\thi"), 3);
        QCOMPARE(boundedtext::longestUnbrokenRun(QString("ab%1cd ef").arg(QChar(0x00A0))), 5);
    }
};

QTEST_MAIN(TestBoundedText)
#include "tst_boundedtext.moc"
