// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/pimlabels.h"

#include <QTest>

#include <algorithm>

using TableFn = QMap<int, QString> (*)();
Q_DECLARE_METATYPE(TableFn)

namespace {

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
        QTest::addColumn<TableFn>("table");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("gap");
        QTest::addColumn<QStringList>("walk"); // labels in code order, when checked

        QTest::newRow("phone: 20 entries, no 7") << TableFn(pim::phoneTypeMap) << 20 << 7 << QStringList {};
        QTest::newRow("email: no 3") << TableFn(pim::emailTypeMap) << 4 << 3 << QStringList {};
        QTest::newRow("event: no 2") << TableFn(pim::eventTypeMap) << 3 << 2 << QStringList {};
        QTest::newRow("nickname: 0 and 2 both Other") << TableFn(pim::nicknameTypeMap) << 6 << 6
                                                      << QStringList { "Other", "Default", "Other", "Maiden", "Short", "Initials" };
        QTest::newRow("url walks in code order") << TableFn(pim::urlTypeMap) << 7 << 7
                                                 << QStringList { "Other", "Home page", "Blog", "Profile", "Home", "Work", "FTP" };
    }
    void shouldHoldTheFixedTables()
    {
        QFETCH(TableFn, table);
        QFETCH(int, size);
        QFETCH(int, gap);
        QFETCH(QStringList, walk);

        QMap<int, QString> copy = table();
        QCOMPARE(copy.size(), size);
        QCOMPARE(copy.value(0), QStringLiteral("Other"));
        QVERIFY(copy.firstKey() >= 0);
        if (!walk.isEmpty())
            QCOMPARE(copy.values(), walk);
        // A subscript on the copy inserts into the copy only.
        QVERIFY(copy[gap].isEmpty());
        QCOMPARE(table().size(), size);
    }

    void shouldOrderPhones_data()
    {
        QTest::addColumn<QVariantList>("codes");
        QTest::addColumn<QVariantList>("sorted");

        QTest::newRow("Mobile, Main, Home, Work, then the rest")
            << QVariantList { 3, 1, 12, 2, 0 } << QVariantList { 2, 12, 1, 3, 0 };
        QTest::newRow("unknown codes stay behind Work") << QVariantList { 7, 3, "x", 20 } << QVariantList { 3, 7, "x", 20 };
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

    void shouldRankAlike_data()
    {
        QTest::addColumn<QVariant>("code");
        QTest::addColumn<QVariant>("sameRankAs");
        QTest::newRow("7 like Other") << QVariant(7) << QVariant(0);
        QTest::newRow("-1 like Other") << QVariant(-1) << QVariant(0);
        QTest::newRow("empty text like Other") << QVariant(QString(QLatin1String(""))) << QVariant(0);
        QTest::newRow("missing like Other") << QVariant() << QVariant(0);
        QTest::newRow("number with junk like Other") << QVariant(QStringLiteral("2x")) << QVariant(0);
        QTest::newRow("Mobile as text like Mobile") << QVariant(QStringLiteral("2")) << QVariant(2);
    }
    void shouldRankAlike()
    {
        QFETCH(QVariant, code);
        QFETCH(QVariant, sameRankAs);
        QVERIFY(!pim::comparePhoneLess(phone(code), phone(sameRankAs)));
        QVERIFY(!pim::comparePhoneLess(phone(sameRankAs), phone(code)));
    }
};

QTEST_GUILESS_MAIN(TestPimLabels)
#include "tst_pimlabels.moc"
