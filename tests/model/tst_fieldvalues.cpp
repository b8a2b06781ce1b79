// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/contact.h"

#include <QDateTime>
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
};

QTEST_GUILESS_MAIN(TestFieldValues)
#include "tst_fieldvalues.moc"
