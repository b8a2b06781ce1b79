// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/pimlabels.h"

#include <QTest>

#include <algorithm>


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
    void ordersPhones_data()
    {
        QTest::addColumn<QVariantList>("codes");
        QTest::addColumn<QVariantList>("sorted");

        QTest::newRow("Mobile, Main, Home, Work, then the rest")
            << QVariantList { 3, 1, 12, 2, 0 } << QVariantList { 2, 12, 1, 3, 0 };
        QTest::newRow("unknown codes stay behind Work") << QVariantList { 7, 3, "x", 20 } << QVariantList { 3, 7, "x", 20 };
    }
    void ordersPhones()
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

    void ranksAlikeLabelsTogether_data()
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
    void ranksAlikeLabelsTogether()
    {
        QFETCH(QVariant, code);
        QFETCH(QVariant, sameRankAs);
        QVERIFY(!pim::comparePhoneLess(phone(code), phone(sameRankAs)));
        QVERIFY(!pim::comparePhoneLess(phone(sameRankAs), phone(code)));
    }
};

QTEST_GUILESS_MAIN(TestPimLabels)
#include "tst_pimlabels.moc"
