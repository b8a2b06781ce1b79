// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAbstractItemModelTester>
#include <QPixmap>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "common/contactbuilders.h"
#include "common/imagebytes.h"

#include "app/contactlistloader.h"
#include "app/itemmodelcontacts.h"
#include "model/localdb.h"

namespace {

using testkit::contactOf;
using testkit::entityOf;

QByteArray imageBytes(const char* format)
{
    return testkit::imageBytes(QSize(36, 54), format);
}

// A database file holding one contact with these entities.
QString writeDb(const QTemporaryDir& dir, const QMap<int, QList<QVariantMap>>& entities)
{
    const QSharedPointer<LocalDb> db = LocalDb::openLocal(dir.filePath("list.db"));
    db->create();
    db->beginEdit();
    pim::_Contact stored;
    bool existed = false;
    db->combineContact(contactOf("P", entities), stored, existed);
    db->endEdit(true);
    db->close();
    return db->path();
}

} // namespace

class TestItemModelContacts : public QObject {
    Q_OBJECT
private slots:
    void showsThePhoneColumnFromTheDatabase_data()
    {
        QTest::addColumn<QList<QVariantMap>>("phones");
        QTest::addColumn<QVariant>("shown");

        auto phone = [](const char* number, const QVariant& subType) {
            return QVariantMap { { "data1", number }, { "data2", subType } };
        };
        QTest::newRow("home and work: the first") << QList { phone("h", 1), phone("w", 3) } << QVariant("h");
        QTest::newRow("mobile anywhere wins") << QList { phone("h", 1), phone("w", 3), phone("m", 2) } << QVariant("m");
        QTest::newRow("first of two mobiles") << QList { phone("m1", 2), phone("m2", 2) } << QVariant("m1");
        QTest::newRow("mobile code stored as text") << QList { phone("h", 1), phone("m", "2") } << QVariant("m");
        QTest::newRow("no phone: empty cell") << QList<QVariantMap> {} << QVariant();
        QTest::newRow("phone without number") << QList { QVariantMap { { "data2", 1 } } } << QVariant(QString());
    }

    // Rows are read straight from the database, without whole contacts.
    void showsThePhoneColumnFromTheDatabase()
    {
        QFETCH(QList<QVariantMap>, phones);
        QFETCH(QVariant, shown);

        QTemporaryDir dir;
        QMap<int, QList<QVariantMap>> entities { { pim::ENTITY_EMAIL, { { { "data1", "a@x" } }, { { "data1", "b@x" } } } },
                                                 { pim::ENTITY_ADDR, { { { "data1", "1 Main St" } } } } };
        if (!phones.isEmpty())
            entities.insert(pim::ENTITY_PHONE, phones);
        const QString path = writeDb(dir, entities);

        ItemModelContacts model;
        model.loadRows(readContactListRows(path, 0, QString()));
        QVERIFY(!model.isComplete(0));
        const QModelIndex cell = model.index(0, ItemModelContacts::COLUMN_PHONE);
        QCOMPARE(cell.data().isValid(), shown.isValid());
        QCOMPARE(cell.data().toString(), shown.toString());
        QCOMPARE(model.index(0, ItemModelContacts::COLUMN_EMAIL).data().toString(), QStringLiteral("a@x"));
        QCOMPARE(model.index(0, ItemModelContacts::COLUMN_ADDRESS).data().toString(), QStringLiteral("1 Main St"));
    }

    // Quick node changes: only the list of the last request arrives.
    void deliversOnlyTheLastRequest()
    {
        QTemporaryDir dir;
        const QString path = writeDb(dir, { { pim::ENTITY_NAME, { { { "data1", "P" } } } } });
        ContactListLoader loader;
        QList<int> delivered;
        connect(&loader, &ContactListLoader::finished, this,
                [&delivered](int ticket, std::shared_ptr<ItemModelContacts::PreparedRows>, QString) { delivered << ticket; });
        loader.start(LocalDb::openLocal(path), 0, QStringLiteral("nobody"));
        loader.start(LocalDb::openLocal(dir.filePath("missing.db")), 0, QString());
        const int last = loader.start(LocalDb::openLocal(path), 0, QString());
        QTRY_VERIFY(!loader.isBusy());
        QTest::qWait(50);
        QCOMPARE(delivered, QList<int> { last });
    }

    void leavesEmptyCellsEmpty()
    {
        ItemModelContacts model;
        model.loadContacts({ contactOf("Full", { { pim::ENTITY_EMAIL, { { { "data1", "a@x" } }, { { "data1", "b@x" } } } },
                                                 { pim::ENTITY_ADDR, { { { "data1", "1 Main St" } } } } }),
            contactOf("Empty"), contactOf("c") });
        QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("a@x"));
        QCOMPARE(model.index(0, 3).data().toString(), QStringLiteral("1 Main St"));
        for (int column = 1; column < 4; ++column)
            QVERIFY(!model.index(1, column).data().isValid());
    }

    void decoratesRows_data()
    {
        QTest::addColumn<QByteArray>("photo"); // empty: a photo entity without bytes
        QTest::addColumn<bool>("hasPhotoEntity");
        QTest::addColumn<bool>("isOwnPhoto");

        QTest::newRow("JPEG photo") << imageBytes("JPEG") << true << true;
        QTest::newRow("PNG photo") << imageBytes("PNG") << true << true;
        QTest::newRow("neither JPEG nor PNG") << QByteArray("GIF89a\x01\x00\x01\x00", 10) << true << false;
        QTest::newRow("photo entity without bytes") << QByteArray() << true << false;
        QTest::newRow("no photo") << QByteArray() << false << false;
    }

    void decoratesRows()
    {
        QFETCH(QByteArray, photo);
        QFETCH(bool, hasPhotoEntity);
        QFETCH(bool, isOwnPhoto);

        pim::_Contact contact = contactOf("D");
        if (hasPhotoEntity)
            contact.entities[pim::ENTITY_PHOTO] = { photo.isEmpty() ? pim::Entity() : entityOf({ { "data15", photo } }) };
        ItemModelContacts model;
        model.loadContacts({ contact });
        const QPixmap pixmap = model.index(0, 0).data(Qt::DecorationRole).value<QPixmap>();
        // The own photo is 2:3, the placeholder square.
        QCOMPARE(pixmap.size(), QSize(18, isOwnPhoto ? 27 : 18));
        if (isOwnPhoto) {
            const QColor centre = pixmap.toImage().pixelColor(9, 13);
            QVERIFY(centre.green() > 110 && centre.red() < 20 && centre.blue() < 20); // lossy JPEG
        }
        QVERIFY(!model.index(0, 1).data(Qt::DecorationRole).isValid());
    }

    void keepsRowPointersAcrossInserts()
    {
        ItemModelContacts model;
        model.loadContacts({ contactOf("first") });
        auto* first = static_cast<const pim::_Contact*>(model.indexOfPos(0).internalPointer());
        QVERIFY(first);

        // Enough appends to make any contiguous container reallocate.
        for (int i = 0; i < 2000; ++i)
            model.insertContact(contactOf(QStringLiteral("n%1").arg(i)));

        // Under AddressSanitizer a moved element would make this a
        // heap-use-after-free; without it the name would be garbage.
        QCOMPARE(first->fullName, QStringLiteral("first"));
        QCOMPARE(model.indexOfPos(0).internalPointer(), static_cast<const void*>(first));
        QCOMPARE(model.contactAt(2000)->fullName, QStringLiteral("n1999"));
    }

    void loadsInsertsAndClears()
    {
        ItemModelContacts model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

        model.loadContacts({ contactOf("a"), contactOf("b") });
        const QPersistentModelIndex selection = model.indexOfPos(1);
        model.insertContact(contactOf("c"));
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.at(0).at(1).toInt(), 2);
        QCOMPARE(inserted.at(0).at(2).toInt(), 2);
        QVERIFY(selection.isValid());
        QCOMPARE(static_cast<const pim::_Contact*>(selection.internalPointer())->fullName, QStringLiteral("b"));

        model.loadContacts({ contactOf("x") });
        QVERIFY(!selection.isValid());
        model.clear();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(reset.count(), 3);
        model.insertContact(contactOf("after clear"));
        QCOMPARE(model.indexOfPos(0).data().toString(), QStringLiteral("after clear"));
    }
};

QTEST_MAIN(TestItemModelContacts)
#include "tst_itemmodelcontacts.moc"
