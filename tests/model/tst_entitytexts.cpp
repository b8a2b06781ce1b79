// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/contact.h"
#include "common/contactbuilders.h"

#include <QTest>

using testkit::entityOf;

class TestEntityTexts : public QObject {
    Q_OBJECT

private slots:
    void buildsFullName_data()
    {
        QTest::addColumn<QVariantMap>("fields");
        QTest::addColumn<QString>("expected");

        QTest::newRow("no parts") << QVariantMap {} << "";
        QTest::newRow("only the stored display name") << QVariantMap { { "data1", "Stored Name" } } << "";
        QTest::newRow("last name alone has no leading blank")
            << QVariantMap { { "data3", "Smith" } } << "Smith";
        QTest::newRow("empty middle name skipped")
            << QVariantMap { { "data2", "John" }, { "data4", "" }, { "data3", "Smith" }, { "data6", "Jr." } }
            << "John Smith Jr.";
        QTest::newRow("all parts in order") << QVariantMap { { "data5", "Prof." }, { "data2", "Anna" },
            { "data4", "Maria" }, { "data3", "Berg" }, { "data6", "PhD" } }
                                            << "Prof. Anna Maria Berg PhD";
        QTest::newRow("blank first name keeps its separators")
            << QVariantMap { { "data5", "Dr." }, { "data2", " " }, { "data3", "Smith" } } << "Dr.   Smith";
        QTest::newRow("outer white space trimmed, inner kept")
            << QVariantMap { { "data2", "\tAnna" }, { "data3", "van  Berg\n" } } << "Anna van  Berg";
    }
    void buildsFullName()
    {
        QFETCH(QVariantMap, fields);
        QFETCH(QString, expected);
        QCOMPARE(entityOf(fields).fullName(), expected);
    }

    void formatsAddress_data()
    {
        QTest::addColumn<QVariantMap>("fields");
        QTest::addColumn<QString>("expected");

        QTest::newRow("street only") << QVariantMap { { "data4", "1 Main St" } } << "1 Main St";
        QTest::newRow("city only has no comma") << QVariantMap { { "data7", "Oslo" } } << "Oslo";
        QTest::newRow("postcode dropped without city and state")
            << QVariantMap { { "data4", "1 Main St" }, { "data9", "0150" } } << "1 Main St";
        QTest::newRow("state and postcode without city") << QVariantMap { { "data4", "1 Main St" },
            { "data8", "CA" }, { "data9", "94000" } } << "1 Main St\n CA 94000";
        QTest::newRow("state and postcode alone")
            << QVariantMap { { "data8", "CA" }, { "data9", "94000" } } << "CA 94000";
        QTest::newRow("street, city and postcode")
            << QVariantMap { { "data4", "1 Main St" }, { "data7", "Oslo" }, { "data9", "0150" } }
            << "1 Main St\nOslo, 0150";
        QTest::newRow("every part") << QVariantMap { { "data4", "Flat 2\n10 High St" }, { "data7", "Leeds" },
            { "data8", "West Yorkshire" }, { "data9", "LS1" }, { "data10", "UK" } }
                                    << "Flat 2\n10 High St\nLeeds, West Yorkshire LS1\nUK";
        QTest::newRow("parts that take no part") << QVariantMap { { "data1", "old" }, { "data2", 1 },
            { "data3", "x" }, { "data5", "y" }, { "data6", "z" }, { "data11", "NO" } }
                                                 << "";
    }
    void formatsAddress()
    {
        QFETCH(QVariantMap, fields);
        QFETCH(QString, expected);
        QCOMPARE(entityOf(fields).formattedAddr(), expected);
    }

    void hashesPhoto_data()
    {
        QTest::addColumn<QVariant>("photo");
        QTest::addColumn<QString>("expected");

        QTest::newRow("empty bytes") << QVariant(QByteArray()) << "1B2M2Y8AsgTpgAmY7PhCfg==";
        QTest::newRow("bytes with NUL are hashed whole")
            << QVariant(QByteArray("\0\0", 2)) << "xBA/Ei0nZ3ydsUTK4TlKZg==";
    }
    void hashesPhoto()
    {
        QFETCH(QVariant, photo);
        QFETCH(QString, expected);
        pim::Entity e(42, QStringLiteral("src-1"));
        if (photo.isValid())
            e.fields.insert(QStringLiteral("data15"), photo);
        e.fields.insert(QStringLiteral("data4"), QStringLiteral("stale hash"));
        QCOMPARE(e.photoHash(), expected);
        QCOMPARE(pim::Entity::photoHash(photo.toByteArray()), expected);
    }
};

QTEST_GUILESS_MAIN(TestEntityTexts)
#include "tst_entitytexts.moc"
