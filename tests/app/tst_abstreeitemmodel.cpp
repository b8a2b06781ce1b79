// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include "abstreeitemmodel.h"

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

    _ItemNode* add(const QString& name, _ItemNode* parent = nullptr, int row = -1)
    {
        QList<_ItemNode*>& list = parent ? parent->children : rootNodes;
        if (row < 0)
            row = int(list.size());
        beginInsertRows(parent ? indexOfItemNode(parent).siblingAtColumn(0) : QModelIndex(), row, row);
        auto* node = new _ItemNode(0, name, parent);
        list.insert(row, node);
        endInsertRows();
        return node;
    }

    // "A" or "A/A1" -> node; null when absent.
    _ItemNode* find(const QString& path) const
    {
        const QList<_ItemNode*>* list = &rootNodes;
        _ItemNode* found = nullptr;
        for (const QString& part : path.split(QLatin1Char('/'))) {
            found = nullptr;
            for (_ItemNode* node : *list) {
                if (node->name == part)
                    found = node;
            }
            if (!found)
                return nullptr;
            list = &found->children;
        }
        return found;
    }

    QStringList names() const
    {
        QStringList out;
        for (const _ItemNode* node : nodes())
            out.append(node->name);
        return out;
    }

    _ItemNode* takeOut(_ItemNode* node)
    {
        // Unlinks without the model knowing, as a stray node would be.
        (node->parent ? node->parent->children : rootNodes).removeOne(node);
        return node;
    }
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

QString describe(const QList<QVariant>& removal)
{
    const QModelIndex parent = removal.at(0).value<QModelIndex>();
    const QString parentName = parent.isValid() ? parent.data().toString() : QStringLiteral("root");
    return QStringLiteral("%1:%2-%3").arg(parentName).arg(removal.at(1).toInt()).arg(removal.at(2).toInt());
}

} // namespace

class TestAbsTreeItemModel : public QObject {
    Q_OBJECT
private slots:
    void removal_data();
    void removal();
    void nodesArePreOrder();
    void indexOfItemNodeFollowsTheView();
    void parentRowFollowsSiblingRemoval();
    void dataChangedStaysWithinOneParent();
    void strayNodeKeepsItself();
};

void TestAbsTreeItemModel::removal_data()
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
        << "remove:A/A2/A2a" << QStringList{"A2:0-0"} << QStringList{"A", "A1", "A2", "B", "C", "C1"};
    QTest::newRow("removeNode on the last root")
        << "remove:C" << QStringList{"C:0-0", "root:2-2"} << QStringList{"A", "A1", "A2", "A2a", "B"};
}

void TestAbsTreeItemModel::removal()
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
            [&](const QModelIndex& parent, int first, int last) { seen.append(describe({QVariant::fromValue(parent), first, last})); });

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

void TestAbsTreeItemModel::nodesArePreOrder()
{
    NameModel model;
    auto* a = model.add("A");
    model.add("A1", a);
    model.add("A2", a);
    model.add("B");
    QCOMPARE(model.names(), (QStringList{"A", "A1", "A2", "B"}));

    QList<const AbsTreeItemModel::_ItemNode*> out;
    model.appendNode(out, nullptr);
    QVERIFY(out.isEmpty());
}

void TestAbsTreeItemModel::indexOfItemNodeFollowsTheView()
{
    NameModel model;
    model.add("A");
    auto* b = model.add("B");

    QModelIndex before = model.indexOfItemNode(b);
    QCOMPARE(before.row(), 1);
    QCOMPARE(before.column(), 0);

    const QModelIndex asked = model.index(1, 1);
    QCOMPARE(model.indexOfItemNode(b), asked);

    // Inserting above moves the node: the index follows its position.
    model.add("First", nullptr, 0);
    QCOMPARE(model.indexOfItemNode(b).row(), 2);
    QCOMPARE(model.indexOfItemNode(b).column(), 1);
}

void TestAbsTreeItemModel::parentRowFollowsSiblingRemoval()
{
    NameModel model;
    fill(model);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

    const QModelIndex c = model.index(2, 0);
    const QModelIndex c1 = model.index(0, 0, c);
    QCOMPARE(c1.data().toString(), QStringLiteral("C1"));
    const QPersistentModelIndex keep(c1);

    model.removeNode(model.find("A"));
    // C is now row 1; its child must say so, or views attach rows to the
    // wrong parent.
    QCOMPARE(model.parent(keep).row(), 1);
    QCOMPARE(model.parent(keep).data().toString(), QStringLiteral("C"));
    QCOMPARE(keep.data().toString(), QStringLiteral("C1"));
    QCOMPARE(model.rowCount(model.index(1, 0)), 1);
    QCOMPARE(model.rowCount(model.index(0, 0)), 0);
}

void TestAbsTreeItemModel::dataChangedStaysWithinOneParent()
{
    NameModel model;
    fill(model);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy spy(&model, &QAbstractItemModel::dataChanged);

    model.invokeDataChanged(model.find("A"));
    QCOMPARE(spy.count(), 2);
    for (const QList<QVariant>& change : spy) {
        const QModelIndex topLeft = change.at(0).value<QModelIndex>();
        const QModelIndex bottomRight = change.at(1).value<QModelIndex>();
        QVERIFY(topLeft.isValid() && bottomRight.isValid());
        QCOMPARE(topLeft.parent(), bottomRight.parent());
    }
    QCOMPARE(spy.at(1).at(1).value<QModelIndex>().data().toString(), QStringLiteral("A2"));

    spy.clear();
    model.invokeDataChanged(model.find("B")); // no children: just itself
    QCOMPARE(spy.count(), 1);
}

void TestAbsTreeItemModel::strayNodeKeepsItself()
{
    NameModel model;
    fill(model);
    AbsTreeItemModel::_ItemNode* stray = model.takeOut(model.find("A"));
    QCOMPARE(model.indexOfItemNode(stray).row(), -1);

    model.removeNode(stray);
    QVERIFY(stray->children.isEmpty());
    QCOMPARE(stray->name, QStringLiteral("A")); // still alive
    delete stray;
}

QTEST_MAIN(TestAbsTreeItemModel)
#include "tst_abstreeitemmodel.moc"
