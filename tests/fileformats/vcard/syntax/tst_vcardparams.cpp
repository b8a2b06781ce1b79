// SPDX-License-Identifier: GPL-3.0-or-later
#include "../onecard.h"

#include <QTest>

namespace {

// The parameters as "name=value" in the order they are iterated.
QString written(const VCardParams& params)
{
    QStringList pairs;
    for (auto it = params.constBegin(); it != params.constEnd(); ++it)
        pairs.append(it.key() + QLatin1Char('=') + it.value());
    return pairs.join(QLatin1Char('|'));
}

} // namespace

class TestVCardParams : public QObject {
    Q_OBJECT

private slots:
    void keepsOneValuePerNameInNameOrder_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none") << QByteArray("NOTE:x") << QString();
        QTest::newRow("by name as text, capitals first")
            << QByteArray("TEL;work;X-A=1;Type=home;CELL:1") << QStringLiteral("CELL=|Type=home|X-A=1|work=");
        QTest::newRow("repeated name keeps the last")
            << QByteArray("EMAIL;X-N=1;X-N=2:a@example.org") << QStringLiteral("X-N=2");
        QTest::newRow("repeated TYPE is one list")
            << QByteArray("TEL;TYPE=WORK;X-B;TYPE=VOICE:1") << QStringLiteral("TYPE=WORK,VOICE|X-B=");
        QTest::newRow("repeated type in lower case too")
            << QByteArray("TEL;type=work;type=fax:1") << QStringLiteral("type=work,fax");
        QTest::newRow("bare TYPE then a value")
            << QByteArray("TEL;TYPE;TYPE=CELL:1") << QStringLiteral("TYPE=CELL");
        QTest::newRow("more than a block holds, out of order") << QByteArray(
            "X-T;G=7;E=5;A=1;F=6;C=3;B=2;D=4;A=0:x") << QStringLiteral("A=0|B=2|C=3|D=4|E=5|F=6|G=7");
    }
    void keepsOneValuePerNameInNameOrder()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, expected);
        const QList<VCardProperty> card = readOneCard(line + "\r\n");
        QCOMPARE(card.size(), 1);
        QCOMPARE(written(card.first().params), expected);
        // A copy stands apart from what it was copied from.
        VCardParams copy = card.first().params;
        copy[QStringLiteral("X-NEW")] = QStringLiteral("1");
        QCOMPARE(written(card.first().params), expected);
        QCOMPARE(copy.size(), card.first().params.size() + 1);
    }

    void findsNamesWithoutRegardToCase_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("charset");
        QTest::newRow("exact spelling first")
            << QByteArray("N;charset=x;CHARSET=UTF-8:a") << QStringLiteral("UTF-8");
        QTest::newRow("else the first in name order")
            << QByteArray("N;charset=b;Charset=a:a") << QStringLiteral("a");
        QTest::newRow("a longer name is another") << QByteArray("N;CHARSETS=x:a") << QString();
        QTest::newRow("none") << QByteArray("N:a") << QString();
    }
    void findsNamesWithoutRegardToCase()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, charset);
        const QList<VCardProperty> card = readOneCard(line + "\r\n");
        QCOMPARE(card.size(), 1);
        QCOMPARE(card.first().paramIgnoringCase(QLatin1StringView("CHARSET")), charset);
    }
};

QTEST_APPLESS_MAIN(TestVCardParams)
#include "tst_vcardparams.moc"
