// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAbstractItemModelTester>
#include <QBrush>
#include <QBuffer>
#include <QImage>
#include <QPixmap>
#include <QSignalSpy>
#include <QtTest>

#include "contactbuilders.h"

#include "itemmodelcontacts.h"

namespace {

using testkit::entityOf;

pim::Entity phone(const QString& number, const QVariant& subType)
{
    return entityOf({{"data1", number}, {"data2", subType}});
}

QByteArray imageBytes(const char* format)
{
    QImage image(36, 54, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

pim::_Contact named(const QString& name)
{
    return pim::_Contact(0, QString(), name);
}

} // namespace

class TestItemModelContacts : public QObject {
    Q_OBJECT
private slots:
    void phoneColumn_data();
    void phoneColumn();
    void otherColumns();
    void decoration_data();
    void decoration();
    void rowLook();
    void headers();
    void pointerSurvivesInsert();
    void indexOfPos_data();
    void indexOfPos();
    void loadInsertClearSequence();
};

void TestItemModelContacts::phoneColumn_data()
{
    QTest::addColumn<QList<pim::Entity>>("phones");
    QTest::addColumn<QVariant>("shown");

    QTest::newRow("home and work: the first") << QList<pim::Entity>{phone("h", 1), phone("w", 3)} << QVariant("h");
    QTest::newRow("mobile anywhere wins") << QList<pim::Entity>{phone("h", 1), phone("w", 3), phone("m", 2)} << QVariant("m");
    QTest::newRow("first of two mobiles") << QList<pim::Entity>{phone("m1", 2), phone("m2", 2)} << QVariant("m1");
    QTest::newRow("mobile code stored as text") << QList<pim::Entity>{phone("h", 1), phone("m", "2")} << QVariant("m");
    QTest::newRow("no phone: empty cell") << QList<pim::Entity>{} << QVariant();
    QTest::newRow("phone without number") << QList<pim::Entity>{entityOf({{"data2", 1}})} << QVariant(QString());
}

void TestItemModelContacts::phoneColumn()
{
    QFETCH(QList<pim::Entity>, phones);
    QFETCH(QVariant, shown);

    pim::_Contact contact = named("P");
    if (!phones.isEmpty())
        contact.entities[pim::ENTITY_PHONE] = phones;
    ItemModelContacts model;
    model.loadContacts({contact});
    const QVariant display = model.index(0, ItemModelContacts::COLUMN_PHONE).data(Qt::DisplayRole);
    QCOMPARE(display.isValid(), shown.isValid());
    QCOMPARE(display.toString(), shown.toString());
    QCOMPARE(model.index(0, ItemModelContacts::COLUMN_PHONE).data(Qt::ToolTipRole).toString(), shown.toString());
}

void TestItemModelContacts::otherColumns()
{
    pim::_Contact full = named("Full");
    full.entities[pim::ENTITY_EMAIL] = {entityOf({{"data1", "a@x"}}), entityOf({{"data1", "b@x"}})};
    full.entities[pim::ENTITY_ADDR] = {entityOf({{"data1", "1 Main St"}, {"data4", "street"}})};
    const pim::_Contact empty = named("Empty");

    ItemModelContacts model;
    model.loadContacts({full, empty});
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("Full"));
    QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("a@x"));
    QCOMPARE(model.index(0, 3).data().toString(), QStringLiteral("1 Main St"));
    for (int column = 1; column < 4; ++column)
        QVERIFY(!model.index(1, column).data().isValid());
}

void TestItemModelContacts::decoration_data()
{
    QTest::addColumn<QList<pim::Entity>>("photos");
    QTest::addColumn<bool>("isOwnPhoto");

    pim::Entity jpeg, png, gif, bare;
    jpeg.fields["data15"] = imageBytes("JPEG");
    png.fields["data15"] = imageBytes("PNG");
    gif.fields["data15"] = QByteArray("GIF89a\x01\x00\x01\x00", 10);
    QTest::newRow("JPEG photo") << QList<pim::Entity>{jpeg} << true;
    QTest::newRow("PNG photo") << QList<pim::Entity>{png} << true;
    QTest::newRow("neither JPEG nor PNG") << QList<pim::Entity>{gif} << false;
    QTest::newRow("photo entity without bytes") << QList<pim::Entity>{bare} << false;
    QTest::newRow("no photo") << QList<pim::Entity>{} << false;
}

void TestItemModelContacts::decoration()
{
    QFETCH(QList<pim::Entity>, photos);
    QFETCH(bool, isOwnPhoto);

    pim::_Contact contact = named("D");
    contact.entities[pim::ENTITY_PHOTO] = photos;
    ItemModelContacts model;
    model.loadContacts({contact});
    const QPixmap pixmap = model.index(0, 0).data(Qt::DecorationRole).value<QPixmap>();
    QVERIFY(!pixmap.isNull());
    QCOMPARE(pixmap.width(), 18);
    // The own photo is 2:3, the placeholder square.
    QCOMPARE(pixmap.height(), isOwnPhoto ? 27 : 18);
    if (isOwnPhoto) {
        const QColor centre = pixmap.toImage().pixelColor(9, 13);
        QVERIFY(centre.green() > 110 && centre.red() < 20 && centre.blue() < 20); // lossy JPEG
    }
    QVERIFY(!model.index(0, 1).data(Qt::DecorationRole).isValid());
}

void TestItemModelContacts::rowLook()
{
    ItemModelContacts model;
    model.loadContacts({named("a"), named("b"), named("c")});
    QCOMPARE(model.index(0, 2).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(250, 250, 250));
    QCOMPARE(model.index(1, 0).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 255, 255));
    QCOMPARE(model.index(2, 3).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(250, 250, 250));
    QCOMPARE(model.index(1, 1).data(Qt::SizeHintRole).toSize(), QSize(0, 25));
    QVERIFY(!model.index(0, 0).data(Qt::FontRole).isValid());
    QVERIFY(!model.index(0, 0).data(Qt::UserRole).isValid());
    QVERIFY(!model.index(0, 0).data(Qt::SizeHintRole + 1).isValid());
}

void TestItemModelContacts::headers()
{
    ItemModelContacts model;
    QStringList headers;
    for (int section = 0; section < model.columnCount(); ++section)
        headers.append(model.headerData(section, Qt::Horizontal).toString());
    QCOMPARE(headers, (QStringList{"Name", "Phone", "E-Mail", "Address"}));
    QVERIFY(!model.headerData(4, Qt::Horizontal).isValid());
    QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
    QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());
}

void TestItemModelContacts::pointerSurvivesInsert()
{
    ItemModelContacts model;
    model.loadContacts({named("first")});
    const QModelIndex firstIndex = model.indexOfPos(0);
    auto* first = static_cast<const pim::_Contact*>(firstIndex.internalPointer());
    QVERIFY(first);
    QVERIFY(!model.index(0, 1).internalPointer());

    // Enough appends to make any contiguous container reallocate.
    for (int i = 0; i < 2000; ++i)
        model.insertContact(named(QStringLiteral("n%1").arg(i)));

    // Under AddressSanitizer a moved element would make this a
    // heap-use-after-free; without it the name would be garbage.
    QCOMPARE(first->fullName, QStringLiteral("first"));
    QCOMPARE(model.indexOfPos(0).internalPointer(), static_cast<const void*>(first));
    const QModelIndex last = model.indexOfPos(model.count() - 1);
    QCOMPARE(static_cast<const pim::_Contact*>(last.internalPointer())->fullName, QStringLiteral("n1999"));
    QCOMPARE(last.row(), 2000);
}

void TestItemModelContacts::indexOfPos_data()
{
    QTest::addColumn<int>("pos");
    QTest::addColumn<bool>("valid");

    QTest::newRow("minus one") << -1 << false;
    QTest::newRow("first") << 0 << true;
    QTest::newRow("last") << 2 << true;
    QTest::newRow("count") << 3 << false;
}

void TestItemModelContacts::indexOfPos()
{
    QFETCH(int, pos);
    QFETCH(bool, valid);

    ItemModelContacts model;
    model.loadContacts({named("a"), named("b"), named("c")});
    const QModelIndex index = model.indexOfPos(pos);
    QCOMPARE(index.isValid(), valid);
    if (valid) {
        QCOMPARE(index, model.index(pos, 0));
        QCOMPARE(model.contactAt(pos), static_cast<const pim::_Contact*>(index.internalPointer()));
    } else {
        QVERIFY(!model.contactAt(pos));
    }
}

void TestItemModelContacts::loadInsertClearSequence()
{
    ItemModelContacts model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    model.loadContacts({named("a"), named("b")});
    const QPersistentModelIndex selection = model.indexOfPos(1);
    model.insertContact(named("c"));
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 2);
    QCOMPARE(inserted.at(0).at(2).toInt(), 2);
    QVERIFY(selection.isValid());
    QCOMPARE(static_cast<const pim::_Contact*>(selection.internalPointer())->fullName, QStringLiteral("b"));
    QCOMPARE(model.rowCount(model.indexOfPos(0)), 0);
    QCOMPARE(model.rowCount(model.index(0, 2)), 0);

    model.loadContacts({named("x")});
    QVERIFY(!selection.isValid());
    model.clear();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(reset.count(), 3);
    model.insertContact(named("after clear"));
    QCOMPARE(model.indexOfPos(0).data().toString(), QStringLiteral("after clear"));
}

QTEST_MAIN(TestItemModelContacts)
#include "tst_itemmodelcontacts.moc"
