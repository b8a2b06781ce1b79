// SPDX-License-Identifier: GPL-3.0-or-later
#include "pimlabels.h"

#include <QTest>

#include <algorithm>

namespace {

using TableFn = QMap<int, QString> (*)();

const QList<QPair<const char*, TableFn>>& allTables()
{
    static const QList<QPair<const char*, TableFn>> tables {
        { "phone", pim::phoneTypeMap },
        { "email", pim::emailTypeMap },
        { "event", pim::eventTypeMap },
        { "im protocol", pim::imProtocolMap },
        { "im", pim::imTypeMap },
        { "nickname", pim::nicknameTypeMap },
        { "org", pim::orgTypeMap },
        { "rel", pim::relTypeMap },
        { "addr", pim::addrTypeMap },
        { "url", pim::urlTypeMap },
    };
    return tables;
}

pim::Entity phone(const QVariant& code)
{
    pim::Entity e;
    if (code.isValid())
        e.fields.insert(QStringLiteral("data2"), code);
    return e;
}

} // namespace

class TestPimLabels : public QObject {
    Q_OBJECT

private slots:
    void shouldHoldTheFixedTables_data()
    {
        QTest::addColumn<int>("table");
        QTest::addColumn<int>("size");
        QTest::addColumn<QList<int>>("gaps");
        QTest::addColumn<QStringList>("walk"); // labels in code order, when checked

        QTest::newRow("phone: 20 entries, no 7") << 0 << 20 << QList<int> { 7, 21 } << QStringList {};
        QTest::newRow("email: no 3") << 1 << 4 << QList<int> { 3, 5 }
                                     << QStringList { "Other", "Home", "Work", "Mobile" };
        QTest::newRow("event: no 2") << 2 << 3 << QList<int> { 2 }
                                     << QStringList { "Other", "Anniversary", "Birthday" };
        QTest::newRow("im protocol") << 3 << 12 << QList<int> { 12 } << QStringList {};
        QTest::newRow("im") << 4 << 3 << QList<int> { 3 } << QStringList { "Other", "Home", "Work" };
        QTest::newRow("nickname: 0 and 2 both Other")
            << 5 << 6 << QList<int> { 6 }
            << QStringList { "Other", "Default", "Other", "Maiden", "Short", "Initials" };
        QTest::newRow("org") << 6 << 2 << QList<int> { 2 } << QStringList { "Other", "Work" };
        QTest::newRow("rel") << 7 << 15 << QList<int> { 15 } << QStringList {};
        QTest::newRow("addr") << 8 << 3 << QList<int> { 3 } << QStringList { "Other", "Home", "Work" };
        QTest::newRow("url walks in code order")
            << 9 << 7 << QList<int> { 7 }
            << QStringList { "Other", "Home page", "Blog", "Profile", "Home", "Work", "FTP" };
    }
    void shouldHoldTheFixedTables()
    {
        QFETCH(int, table);
        QFETCH(int, size);
        QFETCH(QList<int>, gaps);
        QFETCH(QStringList, walk);

        const TableFn fn = allTables().at(table).second;
        QMap<int, QString> copy = fn();
        QCOMPARE(copy.size(), size);
        QCOMPARE(copy.value(0), QStringLiteral("Other"));
        QVERIFY(copy.firstKey() >= 0);
        if (!walk.isEmpty())
            QCOMPARE(copy.values(), walk);
        for (int gap : gaps) {
            QVERIFY(!copy.contains(gap));
            // A subscript on the copy inserts into the copy only.
            QVERIFY(copy[gap].isEmpty());
        }
        QCOMPARE(fn().size(), size);
    }

    void shouldOrderPhones_data()
    {
        QTest::addColumn<QVariantList>("codes");
        QTest::addColumn<QVariantList>("sorted");

        QTest::newRow("Mobile, Main, Home, Work, then the rest")
            << QVariantList { 3, 1, 12, 2, 0 } << QVariantList { 2, 12, 1, 3, 0 };
        QTest::newRow("codes held as text sort alike")
            << QVariantList { "3", "12", "2" } << QVariantList { "2", "12", "3" };
        QTest::newRow("unknown codes stay behind Work")
            << QVariantList { 7, 3, "x", 20 } << QVariantList { 3, 7, "x", 20 };
    }
    void shouldOrderPhones()
    {
        QFETCH(QVariantList, codes);
        QFETCH(QVariantList, sorted);
        QList<pim::Entity> phones;
        for (const QVariant& c : codes)
            phones.append(phone(c));
        // Stable, so equal-rank phones keep their order and the row can name it.
        std::stable_sort(phones.begin(), phones.end(), pim::comparePhoneLess);
        QVariantList got;
        for (const pim::Entity& e : phones)
            got.append(e.fields.value(QStringLiteral("data2")));
        QCOMPARE(got, sorted);
    }

    void shouldRankOddCodesLikeOther_data()
    {
        QTest::addColumn<QVariant>("code");
        QTest::newRow("7") << QVariant(7);
        QTest::newRow("20") << QVariant(20);
        QTest::newRow("-1") << QVariant(-1);
        QTest::newRow("empty text") << QVariant(QString(QLatin1String("")));
        QTest::newRow("missing") << QVariant();
        QTest::newRow("not a number") << QVariant(QStringLiteral("Mobile"));
        QTest::newRow("number with junk") << QVariant(QStringLiteral("2x"));
    }
    void shouldRankOddCodesLikeOther()
    {
        QFETCH(QVariant, code);
        const pim::Entity odd = phone(code);
        const pim::Entity other = phone(0);
        QVERIFY(!pim::comparePhoneLess(odd, other));
        QVERIFY(!pim::comparePhoneLess(other, odd));
        QVERIFY(pim::comparePhoneLess(phone(3), odd));
    }

    void shouldTreatEqualRanksAsEquivalent()
    {
        QVERIFY(!pim::comparePhoneLess(phone(2), phone(QStringLiteral("2"))));
        QVERIFY(!pim::comparePhoneLess(phone(QStringLiteral("2")), phone(2)));
    }
};

QTEST_GUILESS_MAIN(TestPimLabels)
#include "test_pimlabels.moc"
