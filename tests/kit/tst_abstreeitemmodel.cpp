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
