// SPDX-License-Identifier: GPL-3.0-or-later
// Registered once per time zone (TZ in the ctest environment).
#include "ios/plistcftype.h"

#include <QTest>

using P = PlistCFType;

class PlistDatesTest : public QObject {
    Q_OBJECT
private slots:
    void shouldReadBackTheWrittenWallClock_data();
    void shouldReadBackTheWrittenWallClock();
};

void PlistDatesTest::shouldReadBackTheWrittenWallClock_data()
{
    QTest::addColumn<QDateTime>("written");
    QTest::addColumn<bool>("storable");
    const auto local = [](int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::LocalTime);
    };
    QTest::newRow("1925 birthday: before the range") << local(1925, 6, 1) << false;
    QTest::newRow("1933 birthday") << local(1933, 1, 1) << true;
    QTest::newRow("1980 birthday") << local(1980, 3, 1) << true;
    QTest::newRow("summer birthday, zone offset differs from 2001") << local(1996, 7, 14) << true;
    QTest::newRow("fraction before 2001, whole second 0") << local(2000, 12, 31, 23, 59, 59, 750) << true;
    QTest::newRow("fraction before 2001") << local(1999, 3, 2, 4, 5, 6, 123) << true;
    QTest::newRow("odd milliseconds far from 2001") << local(2060, 11, 30, 23, 59, 59, 999) << true;
    QTest::newRow("2040, past 32-bit Unix time") << local(2040, 2, 29, 12) << true;
    QTest::newRow("UTC input keeps its fields") << QDateTime(QDate(2010, 1, 1), QTime(0, 30), Qt::UTC) << true;
    QTest::newRow("2070: after the range") << local(2070, 1, 1) << false;
    QTest::newRow("invalid") << QDateTime() << false;
}

void PlistDatesTest::shouldReadBackTheWrittenWallClock()
{
    QFETCH(QDateTime, written);
    QFETCH(bool, storable);
    const P date = P::createCFDate(written);
    QCOMPARE(date.isCFDate(), storable);
    if (!storable) {
        QVERIFY(!P::createCFDictionary().put("birthday", date).get("birthday").ref());
        return;
    }
    const P stored = P::createCFPropertyList(P::createCFDictionary().put("d", P::clone(date)).CFPropertyListToBytes(P::kCFPropertyListBinaryFormat_v1_0));
    for (const P& value : {date, stored.get("d")}) {
        const QDateTime read = value.CFDateToDateTime();
        QCOMPARE(read.timeSpec(), Qt::LocalTime);
        QCOMPARE(read.date(), written.date());
        QCOMPARE(read.time(), written.time());
    }
    QCOMPARE(date.CFDateToDateTime(90).time(), written.time().addSecs(90));
}

QTEST_GUILESS_MAIN(PlistDatesTest)
#include "tst_plistdates.moc"
