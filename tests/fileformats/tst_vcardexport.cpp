// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactfixture.h"
#include "fileformats/vcardexport.h"

#include <QDateTime>
#include <QtTest>

using fixture::contact;
using fixture::entity;

using Lines = QList<QByteArray>;

class TestVCardExport : public QObject {
    Q_OBJECT
private slots:
    void foldsLongLines_data();
    void foldsLongLines();
};

// Checks the shape of folded bytes and returns what is wrong, empty if fine.
static QString foldingFault(const QByteArray& folded, const QByteArray& original)
{
    QByteArray joined = folded;
    joined.replace("\r\n ", "");
    if (joined != original)
        return QStringLiteral("unfolding does not give the original back");
    const QList<QByteArray> physical = folded.split('\n');
    for (int i = 0; i < physical.size(); ++i) {
        QByteArray line = physical.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > 75)
            return QStringLiteral("line %1 has %2 octets").arg(i + 1).arg(line.size());
        if (QString::fromUtf8(line).toUtf8() != line)
            return QStringLiteral("line %1 splits a UTF-8 sequence").arg(i + 1);
        const bool folded = i + 1 < physical.size() && physical.at(i + 1).startsWith(' ');
        if (folded && (line.endsWith('=') || (line.size() >= 2 && line.at(line.size() - 2) == '=')))
            return QStringLiteral("line %1 splits a quoted-printable code").arg(i + 1);
    }
    return QString();
}

void TestVCardExport::foldsLongLines_data()
{
    QTest::addColumn<QByteArray>("card");
    QTest::addColumn<int>("physicalLines");

    const QByteArray a75(75, 'a');
    QTest::newRow("75 octets stay on one line") << QByteArray(a75 + "\r\n") << 1;
    QTest::newRow("continuation lines hold 74 octets after the blank")
        << QByteArray(a75 + QByteArray(74, 'b') + "c\r\n") << 3;
    QTest::newRow("last line without line end") << QByteArray(a75 + "bb") << 2;
    QTest::newRow("two-byte character across the boundary")
        << QByteArray(QByteArray(74, 'a') + "\xC3\xA9" + "z\r\n") << 2;
    QTest::newRow("four-byte character across the boundary")
        << QByteArray(QByteArray(73, 'a') + "\xF0\x9F\x98\x80" + "z\r\n") << 2;
    QTest::newRow("quoted-printable code across the boundary, = last")
        << QByteArray(QByteArray(74, 'a') + "=0A" + "z\r\n") << 2;
    QTest::newRow("quoted-printable code across the boundary, = second to last")
        << QByteArray(QByteArray(73, 'a') + "=0A" + "z\r\n") << 2;
    QByteArray chinese("FN;CHARSET=UTF-8:");
    for (int i = 0; i < 60; ++i)
        chinese += "\xE7\x8E\x8B";
    QTest::newRow("long run of three-byte characters") << QByteArray(chinese + "\r\n") << 3;
    QByteArray qp("NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:");
    for (int i = 0; i < 100; ++i)
        qp += "=C3=A9";
    QTest::newRow("long run of quoted-printable codes") << QByteArray(qp + "\r\n") << 9;
}

void TestVCardExport::foldsLongLines()
{
    QFETCH(QByteArray, card);
    QFETCH(int, physicalLines);

    const QByteArray folded = VCardExport::foldLines(card);
    const QString fault = foldingFault(folded, card);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QCOMPARE(int(folded.count('\n') + (folded.endsWith('\n') ? 0 : 1)), physicalLines);
}

QTEST_GUILESS_MAIN(TestVCardExport)
#include "tst_vcardexport.moc"
