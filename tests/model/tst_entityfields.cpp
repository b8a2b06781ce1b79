// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/entityfields.h"

#include <QRandomGenerator>
#include <QTest>

using Map = QMap<QString, QVariant>;

namespace {

// Everything the field map answers, read through each of its ways in.
void requireSame(const pim::EntityFields& f, const Map& want, const QStringList& pool)
{
    QCOMPARE(f.size(), want.size());
    QCOMPARE(f.isEmpty(), want.isEmpty());
    QCOMPARE(f.keys(), want.keys());
    QVERIFY(f == want);
    QVERIFY(f.toMap() == want);
    auto w = want.cbegin();
    for (auto it = f.cbegin(); it != f.cend(); ++it, ++w) {
        QCOMPARE(it.key(), w.key());
        QCOMPARE(*it, w.value());
    }
    QVERIFY(w == want.cend());
    for (const QString& key : pool) {
        QCOMPARE(f.contains(key), want.contains(key));
        QCOMPARE(f.value(key, QStringLiteral("none")), want.value(key, QStringLiteral("none")));
        const auto at = f.constFind(key);
        QCOMPARE(at == f.cend(), !want.contains(key));
        // From any key found, the walk goes on through the later keys.
        QStringList rest;
        for (auto it = at; it != f.cend(); ++it)
            rest << it.key();
        QCOMPARE(rest, want.contains(key) ? want.keys().mid(want.keys().indexOf(key)) : QStringList());
        if (const int n = pim::EntityFields::keyNumber(key)) {
            const QVariant* p = f.find(n);
            QCOMPARE(p ? *p : QVariant(), want.value(key));
        }
    }
}

} // namespace

class TestEntityFields : public QObject {
    Q_OBJECT
private slots:
    void keyNumber_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("number");
        QTest::newRow("first") << "data1" << 1;
        QTest::newRow("last") << "data15" << 15;
        QTest::newRow("after the last") << "data16" << 0;
        QTest::newRow("zero") << "data0" << 0;
        QTest::newRow("leading zero") << "data01" << 0;
        QTest::newRow("capital") << "Data1" << 0;
        QTest::newRow("bare prefix") << "data" << 0;
        QTest::newRow("sign") << "data+1" << 0;
        QTest::newRow("empty") << "" << 0;
    }
    void keyNumber()
    {
        QFETCH(QString, key);
        QFETCH(int, number);
        QCOMPARE(pim::EntityFields::keyNumber(key), number);
        if (number)
            QCOMPARE(pim::EntityFields::keyOf(number), key);
    }

    // Random edits applied alike to the fields and to a QMap, and to copies
    // taken on the way, must leave them answering alike.
    void behavesAsMap_data()
    {
        QTest::addColumn<QStringList>("pool");
        QTest::addColumn<quint32>("seed");
        QStringList columns;
        for (int i = 1; i <= 15; ++i)
            columns << QStringLiteral("data%1").arg(i);
        const QStringList odd {"data", "data0", "data16", "data01", "Data1", "x", ""};
        QTest::newRow("columns") << columns << 1u;
        QTest::newRow("columns, other seed") << columns << 7u;
        QTest::newRow("columns and other keys") << columns + odd << 2u;
        QTest::newRow("other keys only") << odd << 3u;
    }
    void behavesAsMap()
    {
        QFETCH(QStringList, pool);
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        pim::EntityFields fields;
        Map want;
        QList<std::pair<pim::EntityFields, Map>> copies;
        for (int step = 0; step < 600; ++step) {
            const QString key = pool.at(random.bounded(int(pool.size())));
            const QVariant value = random.bounded(2) ? QVariant(QStringLiteral("v%1").arg(step)) : QVariant(step);
            switch (random.bounded(9)) {
            case 0:
            case 1:
                fields.insert(key, value);
                want.insert(key, value);
                break;
            case 2:
                fields.insert(fields.cend(), key, value);
                want.insert(want.cend(), key, value);
                break;
            case 3:
                fields[key] = value;
                want[key] = value;
                break;
            case 4:
                QCOMPARE(fields.remove(key), want.remove(key));
                break;
            case 5:
                QCOMPARE(fields.take(key), want.take(key));
                break;
            case 6:
                for (auto it = fields.begin(); it != fields.end(); ++it)
                    it.value() = it.key() + QLatin1Char('!');
                for (auto it = want.begin(); it != want.end(); ++it)
                    it.value() = it.key() + QLatin1Char('!');
                break;
            case 7:
                copies.append({fields, want});
                break;
            case 8:
                if (random.bounded(10) == 0) {
                    fields.clear();
                    want.clear();
                } else if (auto it = fields.find(key); it != fields.end()) {
                    *it = value;
                    want[key] = value;
                }
                break;
            }
            requireSame(fields, want, pool);
            if (QTest::currentTestFailed())
                return;
        }
        for (const auto& [copy, map] : copies) {
            requireSame(copy, map, pool);
            QCOMPARE(pim::EntityFields(map), copy);
        }
    }

    void fromAndToMap()
    {
        const Map map {{"data2", 2}, {"data10", "ten"}, {"data16", "beyond"}, {"data1", QByteArray("one")}};
        pim::EntityFields fields = map;
        QCOMPARE(fields.keys(), (QStringList {"data1", "data10", "data16", "data2"}));
        const Map back = fields;
        QCOMPARE(back, map);
        fields = {{"data3", "a"}, {"data3", "b"}};
        QCOMPARE(fields.value("data3").toString(), QString("b"));
        QVERIFY(fields != map);
    }
};

QTEST_GUILESS_MAIN(TestEntityFields)
#include "tst_entityfields.moc"
