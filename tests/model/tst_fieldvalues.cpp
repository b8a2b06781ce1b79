// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/contact.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QTest>

#include <limits>

class TestFieldValues : public QObject {
    Q_OBJECT

private slots:
    void comparesFieldsAsTheMergeRuleSays_data()
    {
        QTest::addColumn<QVariant>("left");
        QTest::addColumn<QVariant>("right");
        QTest::addColumn<bool>("equal");

        const QDateTime dt(QDate(1980, 5, 17), QTime(0, 0));
        const QString empty(QLatin1String(""));

        QTest::newRow("two absent values") << QVariant() << QVariant() << true;
        QTest::newRow("absent vs empty text") << QVariant() << QVariant(empty) << false;
        QTest::newRow("null text vs empty text") << QVariant(QString()) << QVariant(empty) << true;
        QTest::newRow("text differs in case") << QVariant("Anna") << QVariant("anna") << false;
        QTest::newRow("int vs its decimal text") << QVariant(2) << QVariant("2") << true;
        QTest::newRow("code 0 vs empty text") << QVariant(0) << QVariant(empty) << false;
        QTest::newRow("unsigned max vs -1")
            << QVariant(std::numeric_limits<qulonglong>::max()) << QVariant(qlonglong(-1)) << false;
        QTest::newRow("date-time vs its ISO text") << QVariant(dt) << QVariant("1980-05-17T00:00:00") << true;
        QTest::newRow("ISO text vs date-time") << QVariant("1980-05-17T00:00:00") << QVariant(dt) << true;
        QTest::newRow("date-time vs date-only text") << QVariant(dt) << QVariant("1980-05-17") << true;
        QTest::newRow("date-time vs garbage text") << QVariant(dt) << QVariant("17/05/1980") << false;
        QTest::newRow("date-times a few ms apart") << QVariant(dt) << QVariant(dt.addMSecs(250)) << true;
        QTest::newRow("identical bytes with NUL")
            << QVariant(QByteArray("a\0b", 3)) << QVariant(QByteArray("a\0b", 3)) << true;
        QTest::newRow("bytes vs same text")
            << QVariant(QByteArray("caf\xc3\xa9")) << QVariant(QStringLiteral("café")) << true;
    }
    void comparesFieldsAsTheMergeRuleSays()
    {
        QFETCH(QVariant, left);
        QFETCH(QVariant, right);
        QFETCH(bool, equal);
        QCOMPARE(pim::fieldEquals(left, right), equal);
    }

    // Every file reader's values pass here: the control characters no
    // stored text holds go, those that break a line become a line feed,
    // the other C1 controls the mark of a letter not read.
    void dropsControlCharactersNoTextHolds_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored");
        QTest::newRow("ordinary text") << QStringLiteral("Renée Côté, 12 rue d'Orléans") << QString();
        QTest::newRow("tab, line feed and CR stay") << QStringLiteral("a\tb\r\nc") << QString();
        QTest::newRow("NUL and 0x01 go") << QString::fromUtf16(u"Jules \0K\x01ONE", 12) << QStringLiteral("Jules KONE");
        QTest::newRow("VT, FF and NEL break the line") << QString::fromUtf16(u"a\vb\fc\x85" "d")
                                                       << QStringLiteral("a\nb\nc\nd");
        QTest::newRow("DEL goes, C1 marks a letter, U+00A0 stays") << QString::fromUtf16(u"x\x7Fy\x80\x90\x9F\xA0z")
                                                                   << QString::fromUtf16(u"xy\uFFFD\uFFFD\uFFFD\xA0z");
        QTest::newRow("at both ends of a long text")
            << QString::fromUtf16(u"\x1F") + QString(20, u'w') + QString::fromUtf16(u"\x1B") << QString(20, u'w');
    }
    void dropsControlCharactersNoTextHolds()
    {
        QFETCH(QString, text);
        QFETCH(QString, stored);
        QString read = text;
        QCOMPARE(pim::dropControlCharacters(read), !stored.isNull());
        QCOMPARE(read, stored.isNull() ? text : stored);
        QCOMPARE(pim::mayHoldControlCharacters(text.toUtf8()), !stored.isNull());
    }
    // Texts of every length around the blocks the scans take at once, one
    // such character anywhere or none: the scans of text and of UTF-8
    // bytes find it, wherever it stands, and only it.
    void findsAControlCharacterAnywhere()
    {
        const QString others = QString::fromUtf16(u"a\t\n\r\xA0\u00E9\u20AC\u7530~");
        const QString controls = QString::fromUtf16(u"\x01\x0B\x1F\x7F\x80\x85\x9F", 7) + QChar(0);
        QRandomGenerator random(17);
        for (int round = 0; round < 4000; ++round) {
            QString text;
            for (int n = random.bounded(40); n > 0; --n)
                text += others.at(random.bounded(int(others.size())));
            QString stored = text;
            const bool control = random.bounded(2) == 0;
            if (control) {
                const int at = random.bounded(int(text.size()) + 1);
                const QChar c = controls.at(random.bounded(int(controls.size())));
                text.insert(at, c);
                if (c == u'\x0B' || c == u'\x85')
                    stored.insert(at, u'\n');
                else if (c == u'\x80' || c == u'\x9F')
                    stored.insert(at, u'\uFFFD');
            }
            QString read = text;
            QCOMPARE(pim::dropControlCharacters(read), control);
            QCOMPARE(read, stored);
            QCOMPARE(pim::mayHoldControlCharacters(text.toUtf8()), control);
        }
    }
};

QTEST_GUILESS_MAIN(TestFieldValues)
#include "tst_fieldvalues.moc"
