// SPDX-License-Identifier: GPL-3.0-or-later
#include <QTemporaryDir>
#include <QtTest>

#include "common/contactbuilders.h"

#include "app/contactlistloader.h"
#include "app/itemmodelcontacts.h"
#include "model/localdb.h"

namespace {

using testkit::contactOf;

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
        QTest::newRow("mobile anywhere wins") << QList { phone("h", 1), phone("w", 3), phone("m", 2) } << QVariant("m");
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
        loader.start(path, 0, QStringLiteral("nobody"));
        loader.start(dir.filePath("missing.db"), 0, QString());
        const int last = loader.start(path, 0, QString());
        QTRY_VERIFY(!loader.isBusy());
        QTest::qWait(50);
        QCOMPARE(delivered, QList<int> { last });
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
};

QTEST_MAIN(TestItemModelContacts)
#include "tst_itemmodelcontacts.moc"
