// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAbstractItemModelTester>
#include <QFile>
#include <QPixmap>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "app/itemmodelmaintree.h"
#include "model/localdb.h"

using Node = ItemModelMainTree::_ItemNode;
using DbNode = ItemModelMainTree::_DBItemNode;

namespace {

// A real database file holding the named groups.
QSharedPointer<LocalDb> dbWithGroups(const QString& path, const QStringList& groups)
{
    auto db = LocalDb::openLocal(path);
    db->create();
    for (const QString& name : groups)
        db->getGroupIdOrAdd(name);
    return db;
}

QStringList childNames(const ItemModelMainTree& model, const QModelIndex& parent)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(parent); ++row)
        names.append(model.index(row, 0, parent).data().toString());
    return names;
}

} // namespace

class TestItemModelMainTree : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    // Every node has a text, the same tooltip and a picture (an empty one
    // for a device of unknown kind), and no other role.
    void answersRoles()
    {
        ItemModelMainTree model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.addDevice({}, "My iPhone", "udid-1", ItemModelMainTree::KIND_IOS);
        model.addDevice({}, "Pixel", "serial-2", ItemModelMainTree::KIND_ANDROID);
        model.addDevice({}, "Odd", "x", 7);
        DbNode* local = model.addLocalDb({}, "home.db");
        new ItemModelMainTree::_GroupItemNode(ItemModelMainTree::TYPE_GROUP, local, pim::_Group(4, "Friends"));
        model.contentsUpdate();
        QCOMPARE(childNames(model, {}), (QStringList{"IDS_ROOT_DEVICE", "IDS_ROOT_LOCALDB"}));

        for (const char* path : { "0", "0/0", "0/1", "0/2", "1/0", "1/0/0" }) {
            const bool hasPicture = qstrcmp(path, "0/2") != 0;
            QModelIndex index;
            for (const QString& row : QString::fromLatin1(path).split('/'))
                index = model.index(row.toInt(), 0, index);
            QVERIFY(index.isValid());
            QVERIFY(!index.data().toString().isEmpty());
            QCOMPARE(index.data(Qt::ToolTipRole), index.data(Qt::DisplayRole));
            const QVariant decoration = index.data(Qt::DecorationRole);
            QVERIFY(decoration.isValid());
            QCOMPARE(decoration.value<QPixmap>().width(), hasPicture ? 18 : 0);
            for (int role : {int(Qt::BackgroundRole), int(Qt::FontRole), int(Qt::SizeHintRole), int(Qt::UserRole)})
                QVERIFY(!index.data(role).isValid());
        }
    }

    // Local databases stand by name, letter case aside, in whatever order
    // they are added; devices in the order they come.
    void ordersLocalDatabasesByName()
    {
        ItemModelMainTree model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (const char* name : { "b.db", "C.db", "a.db", "B.db", "\u00e4.db", "10.db", "2.db" })
            model.addLocalDb({}, QString::fromUtf8(name));
        model.addDevice({}, "Zed", "z", ItemModelMainTree::KIND_IOS);
        model.addDevice({}, "Amy", "a", ItemModelMainTree::KIND_IOS);
        QCOMPARE(childNames(model, model.index(1, 0)),
                 (QStringList { "10.db", "2.db", "a.db", "B.db", "b.db", "C.db", QString::fromUtf8("\u00e4.db") }));
        QCOMPARE(childNames(model, model.index(0, 0)), (QStringList { "Zed", "Amy" }));
    }

    void removesADevice_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QStringList>("remaining");

        // Devices: A (id "dev", with db), B (id "dev", with db), C (id "nodb", no db).
        QTest::newRow("only the first of two equal ids goes") << "dev" << QStringList{"B", "C"};
        QTest::newRow("letter case differs: nothing removed") << "DEV" << QStringList{"A", "B", "C"};
        QTest::newRow("node without database is never removed") << "nodb" << QStringList{"A", "B", "C"};
    }

    void removesADevice()
    {
        QFETCH(QString, id);
        QFETCH(QStringList, remaining);

        ItemModelMainTree model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSharedPointer<LocalDb> db(LocalDb::openLocal(m_dir.filePath("unused.db")));
        model.addDevice(db, "A", "dev", ItemModelMainTree::KIND_IOS);
        model.addDevice(db, "B", "dev", ItemModelMainTree::KIND_IOS);
        model.addDevice({}, "C", "nodb", ItemModelMainTree::KIND_ANDROID);
        model.contentsUpdate();

        model.removeDevice(id);
        QCOMPARE(childNames(model, model.index(0, 0)), remaining);
    }

    void ignoresAChildOutOfRange()
    {
        ItemModelMainTree model;
        model.addLocalDb({}, "a.db");
        QSignalSpy spy(&model, &QAbstractItemModel::rowsAboutToBeRemoved);
        model.removeChild(model.localDbRootNode(), 1);
        model.removeChild(model.localDbRootNode(), -1);
        model.clearChilds(model.devicesRootNode()); // already empty
        QCOMPARE(spy.count(), 0);
        model.removeChild(model.localDbRootNode(), 0);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(model.rowCount(model.index(1, 0)), 0);
    }

    void refreshesGroups_data()
    {
        QTest::addColumn<QStringList>("groups");
        QTest::addColumn<QStringList>("shown");

        QTest::newRow("groups sorted by name") << QStringList{"Work", "Family", "Zoo"} << QStringList{"Family", "Work", "Zoo"};
        QTest::newRow("no groups leaves no children") << QStringList{} << QStringList{};
    }

    void refreshesGroups()
    {
        QFETCH(QStringList, groups);
        QFETCH(QStringList, shown);

        ItemModelMainTree model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        DbNode* node = model.addLocalDb(dbWithGroups(m_dir.filePath(QTest::currentDataTag()) + ".db", groups), "g.db");
        // An old child that must go.
        new ItemModelMainTree::_GroupItemNode(ItemModelMainTree::TYPE_GROUP, node, pim::_Group(99, "stale"));
        model.contentsUpdate();

        QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
        model.refreshDbNodeGroups(node);
        QCOMPARE(layout.count(), 1);
        const QModelIndex dbIndex = model.indexOfItemNode(node);
        QCOMPARE(childNames(model, dbIndex), shown);
        for (Node* child : node->children)
            QVERIFY(static_cast<ItemModelMainTree::_GroupItemNode*>(child)->group.id != 0);

        // A node without database: nothing at all, not even layoutChanged.
        DbNode* bare = model.addLocalDb({}, "bare.db");
        layout.clear();
        model.refreshDbNodeGroups(bare);
        QCOMPARE(layout.count(), 0);
    }

    void keepsChildrenWhenRefreshFails()
    {
        const QString path = m_dir.filePath("broken.db");
        QSharedPointer<LocalDb> db = dbWithGroups(path, {"Keep"});
        ItemModelMainTree model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        DbNode* node = model.addLocalDb(db, "broken.db");
        model.refreshDbNodeGroups(node);
        QCOMPARE(node->children.size(), 1);

        // The file is replaced by garbage behind the database's back.
        db->close();
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(QByteArray(4096, 'x')) == 4096);
        file.close();

        QSignalSpy removed(&model, &QAbstractItemModel::rowsAboutToBeRemoved);
        QVERIFY_THROWS_EXCEPTION(std::exception, model.refreshDbNodeGroups(node));
        QCOMPARE(removed.count(), 0);
        QCOMPARE(childNames(model, model.indexOfItemNode(node)), QStringList{"Keep"});
    }


    void addsRemovesAndRefreshes()
    {
        ItemModelMainTree model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSharedPointer<LocalDb> db = dbWithGroups(m_dir.filePath("seq.db"), {"One", "Two"});

        QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
        DbNode* first = model.addDevice(db, "first", "a", ItemModelMainTree::KIND_IOS);
        DbNode* second = model.addDevice(db, "second", "b", ItemModelMainTree::KIND_ANDROID);
        model.contentsUpdate();
        QCOMPARE(layout.count(), 1);
        // Added nodes come last; their index is computed from their position.
        QCOMPARE(childNames(model, model.index(0, 0)), (QStringList{"first", "second"}));
        QCOMPARE(model.indexOfItemNode(second), model.index(1, 0, model.index(0, 0)));
        model.refreshDbNodeGroups(first);
        model.refreshDbNodeGroups(second);

        // Views hold persistent indexes into the second device's groups.
        const QPersistentModelIndex group = model.index(1, 0, model.indexOfItemNode(second));
        QCOMPARE(group.data().toString(), QStringLiteral("Two"));

        model.removeDevice("a");
        QCOMPARE(group.data().toString(), QStringLiteral("Two"));
        QCOMPARE(model.parent(group).row(), 0);
        QCOMPARE(model.parent(group).data().toString(), QStringLiteral("second"));

        db->getGroupIdOrAdd("Three");
        model.refreshDbNodeGroups(second);
        QVERIFY(!group.isValid()); // the old group node is gone
        QCOMPARE(childNames(model, model.indexOfItemNode(second)), (QStringList{"One", "Three", "Two"}));

        DbNode* local = model.addLocalDb(db, "seq.db");
        QCOMPARE(model.parent(model.indexOfItemNode(local)), model.index(1, 0));
        model.refreshDbNodeGroups(local);
        model.clearChilds(model.localDbRootNode());
        model.removeChild(model.devicesRootNode(), 0);
        QCOMPARE(model.rowCount(model.index(0, 0)), 0);
        QCOMPARE(model.rowCount(model.index(1, 0)), 0);
    }
};

QTEST_MAIN(TestItemModelMainTree)
#include "tst_itemmodelmaintree.moc"
