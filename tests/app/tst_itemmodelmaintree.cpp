// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAbstractItemModelTester>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "app/itemmodelmaintree.h"
#include "model/localdb.h"

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

};

QTEST_MAIN(TestItemModelMainTree)
#include "tst_itemmodelmaintree.moc"
