// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include "kit/abstreeitemmodel.h"

namespace {

// The smallest useful subclass: two columns, the name in both, and an
// insertion helper doing what a real subclass does.
class NameModel : public AbsTreeItemModel {
public:
    using AbsTreeItemModel::AbsTreeItemModel;

    int columnCount(const QModelIndex& = QModelIndex()) const override { return 2; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        const _ItemNode* node = nodeOf(index);
        return node && role == Qt::DisplayRole ? QVariant(node->name) : QVariant();
    }

    _ItemNode* add(const QString& name, _ItemNode* parent = nullptr)
    {
        QList<_ItemNode*>& list = parent ? parent->children : rootNodes;
        const int row = int(list.size());
        beginInsertRows(parent ? indexOfItemNode(parent).siblingAtColumn(0) : QModelIndex(), row, row);
        auto* node = new _ItemNode(0, name, parent);
        list.insert(row, node);
        endInsertRows();
        return node;
    }

    // Names are unique in these tests: the node of that name, or null.
    _ItemNode* find(const QString& name) const
    {
        for (const _ItemNode* node : nodes()) {
            if (node->name == name)
                return const_cast<_ItemNode*>(node);
        }
        return nullptr;
    }

    QStringList names() const
    {
        QStringList out;
        for (const _ItemNode* node : nodes())
            out.append(node->name);
        return out;
    }

    using AbsTreeItemModel::rootNodes;
};

// Roots A (A1, A2 (A2a)), B, C (C1).
void fill(NameModel& model)
{
    auto* a = model.add("A");
    model.add("A1", a);
    auto* a2 = model.add("A2", a);
    model.add("A2a", a2);
    model.add("B");
    auto* c = model.add("C");
    model.add("C1", c);
}

} // namespace

class TestAbsTreeItemModel : public QObject {
    Q_OBJECT
private slots:
    void removesRowsAndKeepsIndexesValid_data()
    {
        QTest::addColumn<QString>("operation"); // "clear:" or "remove:" + path ("" = null)
        QTest::addColumn<QStringList>("removals");
        QTest::addColumn<QStringList>("remaining");

        QTest::newRow("clearChilds with null empties the model at once")
            << "clear:" << QStringList{"root:0-2"} << QStringList{};
        QTest::newRow("clearChilds on a leaf emits nothing")
            << "clear:B" << QStringList{} << QStringList{"A", "A1", "A2", "A2a", "B", "C", "C1"};
        QTest::newRow("clearChilds on a node removes its children in one go")
            << "clear:A" << QStringList{"A:0-1"} << QStringList{"A", "B", "C", "C1"};
        QTest::newRow("removeNode on a root with children emits two removals")
            << "remove:A" << QStringList{"A:0-1", "root:0-0"} << QStringList{"B", "C", "C1"};
        QTest::newRow("removeNode on a nested leaf")
            << "remove:A2a" << QStringList{"A2:0-0"} << QStringList{"A", "A1", "A2", "B", "C", "C1"};
        QTest::newRow("removeNode on the last root")
            << "remove:C" << QStringList{"C:0-0", "root:2-2"} << QStringList{"A", "A1", "A2", "A2a", "B"};
    }
    void removesRowsAndKeepsIndexesValid()
    {
        QFETCH(QString, operation);
        QFETCH(QStringList, removals);
        QFETCH(QStringList, remaining);

        NameModel model;
        fill(model);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        // Described while the signal is delivered: the parent's node may be
        // deleted by the time the operation returns.
        QStringList seen;
        connect(&model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                [&](const QModelIndex& parent, int first, int last) {
                    const QString name = parent.isValid() ? parent.data().toString() : QStringLiteral("root");
                    seen.append(QStringLiteral("%1:%2-%3").arg(name).arg(first).arg(last));
                });

        const QString path = operation.section(QLatin1Char(':'), 1);
        AbsTreeItemModel::_ItemNode* node = path.isEmpty() ? nullptr : model.find(path);
        QVERIFY(path.isEmpty() || node);
        if (operation.startsWith(QLatin1String("clear:")))
            model.clearChilds(node);
        else
            model.removeNode(node);

        QCOMPARE(seen, removals);
        QCOMPARE(model.names(), remaining);
    }

    // A node and its children lie under different parents: each change
    // stays within one parent, as views require.
    void reportsChangesWithinOneParent()
    {
        NameModel model;
        fill(model);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy spy(&model, &QAbstractItemModel::dataChanged);

        model.invokeDataChanged(model.find("A"));
        QCOMPARE(spy.count(), 2);
        for (const QList<QVariant>& change : spy)
            QCOMPARE(change.at(0).value<QModelIndex>().parent(), change.at(1).value<QModelIndex>().parent());
        QCOMPARE(spy.at(0).at(0).value<QModelIndex>().data().toString(), QStringLiteral("A"));
        QCOMPARE(spy.at(1).at(0).value<QModelIndex>().data().toString(), QStringLiteral("A1"));
        QCOMPARE(spy.at(1).at(1).value<QModelIndex>().data().toString(), QStringLiteral("A2"));

        // A leaf is reported alone.
        spy.clear();
        model.invokeDataChanged(model.find("B"));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<QModelIndex>().data().toString(), QStringLiteral("B"));
    }

    void followsSiblingRemovalInParentRows()
    {
        NameModel model;
        fill(model);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

        const QPersistentModelIndex keep(model.index(0, 0, model.index(2, 0)));
        QCOMPARE(keep.data().toString(), QStringLiteral("C1"));

        model.removeNode(model.rootNodes.first());
        // C is now row 1; its child must say so, or views attach rows to the
        // wrong parent.
        QCOMPARE(model.parent(keep).row(), 1);
        QCOMPARE(model.parent(keep).data().toString(), QStringLiteral("C"));
    }

    void keepsAStrayNodeToItself()
    {
        NameModel model;
        fill(model);
        // Unlinked without the model knowing, as a stray node would be.
        AbsTreeItemModel::_ItemNode* stray = model.rootNodes.first();
        model.rootNodes.removeOne(stray);
        QCOMPARE(model.indexOfItemNode(stray).row(), -1);

        model.removeNode(stray);
        QVERIFY(stray->children.isEmpty());
        QCOMPARE(stray->name, QStringLiteral("A")); // still alive
        delete stray;
    }
};

QTEST_MAIN(TestAbsTreeItemModel)
#include "tst_abstreeitemmodel.moc"
