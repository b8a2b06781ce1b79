// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafolderfixture.h"
#include "fakedevicelayer.h"
#include "fallbacktranslator.h"
#include "itemmodelcontacts.h"
#include "itemmodelmaintree.h"
#include "iupdatecheck.h"
#include "mainwindow.h"
#include "productinfo.h"
#include "messageboxrecorder.h"
#include "ui_mainwindow.h"
#include "updatecheckschedule.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolBar>

#include <atomic>

namespace {

using Tree = ItemModelMainTree;

class CountingUpdateCheck : public IUpdateCheck {
public:
    void start() override { ++starts; }
    int starts = 0;
};

// "text|id|kind" of each child of a root.
QStringList childrenOf(Tree* model, Tree::_ItemNode* root)
{
    QStringList out;
    for (Tree::_ItemNode* child : root->children) {
        const auto* db = static_cast<Tree::_DBItemNode*>(child);
        out << QStringLiteral("%1|%2|%3").arg(child->name, db->id).arg(child->kind);
    }
    Q_UNUSED(model);
    return out;
}

QList<int> enabledEntries(const MainWindow& window)
{
    QList<int> out;
    for (int index = 0; index < MainWindow::TB_COUNT; ++index) {
        if (window.toolBarAction(index)->isEnabled())
            out << index;
    }
    return out;
}

// Entry texts of a menu, sub-menus as "title>" followed by their entries,
// separators as "-".
QStringList menuTexts(const QMenu* menu)
{
    QStringList out;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            out << QStringLiteral("-");
        else if (action->menu())
            out << action->text() + QLatin1Char('>') << menuTexts(action->menu()).replaceInStrings(QRegularExpression(QStringLiteral("^")), QStringLiteral("  "));
        else
            out << action->text();
    }
    return out;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void treeAtStart_data();
    void treeAtStart();
    void menusThroughTheEnglishTable();
    void toolBarOrder();
    void resizeRule_data();
    void resizeRule();
    void iPhoneWatchFailureWarnsOnce();
    void deviceWorkStartsAndStopsInOrder();
    void exitProgramLeavesTheEventLoop();
    void updateCheckOnlyWhenDue_data();
    void updateCheckOnlyWhenDue();
    void unreadableDatabasesAreNotReadAtStart();

private:
    FallbackTranslator m_translator;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
    QCoreApplication::installTranslator(&m_translator);
}

void TestMainWindow::cleanupTestCase()
{
    QCoreApplication::removeTranslator(&m_translator);
}

void TestMainWindow::treeAtStart_data()
{
    QTest::addColumn<QStringList>("files"); // folder/name:contacts
    QTest::addColumn<QStringList>("devices");
    QTest::addColumn<QStringList>("locals");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("total");
    QTest::addColumn<QList<int>>("enabled");

    const QList<int> importsOnly { MainWindow::TB_FROM_ITUNES, MainWindow::TB_IMPORT };
    QTest::newRow("first start with empty folders")
        << QStringList { QStringLiteral("ios_virtual/"), QStringLiteral("android_virtual/") } << QStringList {}
        << QStringList {} << QString() << QStringLiteral("Total:0") << importsOnly;
    QTest::newRow("two saved iPhones: the last is current")
        << QStringList { QStringLiteral("ios_virtual/b.db:2"), QStringLiteral("ios_virtual/a.db:1") }
        << QStringList { QStringLiteral("a|a.db|1"), QStringLiteral("b|b.db|1") } << QStringList {}
        << QStringLiteral("b") << QStringLiteral("Total:2")
        << QList<int> { MainWindow::TB_NEW_CONTACT, MainWindow::TB_BACKUP, MainWindow::TB_FROM_ITUNES,
                        MainWindow::TB_I2I, MainWindow::TB_IMPORT, MainWindow::TB_EXPORT, MainWindow::TB_PRINT,
                        MainWindow::TB_DELETE };
    QTest::newRow("saved Android comes after the iPhones and is current")
        << QStringList { QStringLiteral("ios_virtual/phone.db:1"), QStringLiteral("android_virtual/tab.db:3") }
        << QStringList { QStringLiteral("phone|phone.db|1"), QStringLiteral("tab|tab.db|2") } << QStringList {}
        << QStringLiteral("tab") << QStringLiteral("Total:3")
        << QList<int> { MainWindow::TB_NEW_CONTACT, MainWindow::TB_BACKUP, MainWindow::TB_FROM_ITUNES,
                        MainWindow::TB_A2I, MainWindow::TB_IMPORT, MainWindow::TB_EXPORT, MainWindow::TB_PRINT,
                        MainWindow::TB_DELETE };
    QTest::newRow("local databases oldest first, nothing current")
        << QStringList { QStringLiteral("data/new.db:1@0"), QStringLiteral("data/old.db:1@-86400"),
                         QStringLiteral("data/middle.db:1@-3600") }
        << QStringList {}
        << QStringList { QStringLiteral("old.db||0"), QStringLiteral("middle.db||0"), QStringLiteral("new.db||0") }
        << QString() << QStringLiteral("Total:0") << importsOnly;
    QTest::newRow("only database files, no folders or other files")
        << QStringList { QStringLiteral("ios_virtual/notes.txt!"), QStringLiteral("ios_virtual/folder.db/"),
                         QStringLiteral("ios_virtual/x.y.db:1") }
        << QStringList { QStringLiteral("x|x.y.db|1") } << QStringList {} << QStringLiteral("x")
        << QStringLiteral("Total:1")
        << QList<int> { MainWindow::TB_NEW_CONTACT, MainWindow::TB_BACKUP, MainWindow::TB_FROM_ITUNES,
                        MainWindow::TB_IMPORT, MainWindow::TB_EXPORT, MainWindow::TB_PRINT, MainWindow::TB_DELETE };
}

void TestMainWindow::treeAtStart()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, devices);
    QFETCH(QStringList, locals);
    QFETCH(QString, current);
    QFETCH(QString, total);
    QFETCH(QList<int>, enabled);

    DataFolderFixture folder;
    for (const QString& entry : files) {
        if (entry.endsWith(QLatin1Char('/'))) {
            QVERIFY(folder.dataFolder().mkpath(entry));
            continue;
        }
        if (entry.endsWith(QLatin1Char('!'))) {
            folder.writeGarbage(entry.section(QLatin1Char('/'), 0, 0), entry.section(QLatin1Char('/'), 1).chopped(1));
            continue;
        }
        const QString where = entry.section(QLatin1Char('/'), 0, 0);
        const QString rest = entry.section(QLatin1Char('/'), 1);
        const QString name = rest.section(QLatin1Char(':'), 0, 0);
        const int count = rest.section(QLatin1Char(':'), 1).section(QLatin1Char('@'), 0, 0).toInt();
        QList<DataFolderFixture::Person> people;
        for (int i = 0; i < count; ++i)
            people.append({ QStringLiteral("Person %1").arg(i), QStringLiteral("555-010%1").arg(i), QString(), QString() });
        const QString path = folder.writeDb(where, name, people);
        if (rest.contains(QLatin1Char('@'))) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            const qint64 offset = rest.section(QLatin1Char('@'), 1).toLongLong();
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(offset), QFileDevice::FileModificationTime));
        }
    }

    MessageBoxRecorder boxes;
    FakeDeviceLayer layer;
    MainWindow window(&layer);
    QCoreApplication::processEvents();

    Tree* model = window.mainTreeModel();
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("Devices"));
    QCOMPARE(model->index(1, 0).data().toString(), QStringLiteral("Local Databases"));
    QCOMPARE(childrenOf(model, model->devicesRootNode()), devices);
    QCOMPARE(childrenOf(model, model->localDbRootNode()), locals);
    QVERIFY(window.form()->treeMain->isExpanded(model->index(0, 0)));
    QVERIFY(window.form()->treeMain->isExpanded(model->index(1, 0)));

    const MainWindow::_CurrentNode node = window.currentNode();
    QCOMPARE(node.node ? node.node->name : QString(), current);
    QCOMPARE(window.form()->lbTotal->text(), total);
    QCOMPARE(enabledEntries(window), enabled);
    QVERIFY(window.form()->lbDisplayKeyword->isHidden());
    QCOMPARE(window.windowTitle(), QStringLiteral("Quorvantile Marrowlink for Mac"));
    QCOMPARE(boxes.count(), 0);
}

void TestMainWindow::menusThroughTheEnglishTable()
{
    DataFolderFixture folder;
    FakeDeviceLayer layer;
    MainWindow window(&layer);

    QStringList titles;
    QList<QMenu*> menus;
    for (QAction* action : window.form()->menuBar->actions()) {
        titles << action->text();
        menus << action->menu();
    }
    QCOMPARE(titles, (QStringList { QStringLiteral("File"), QStringLiteral("Tools"), QStringLiteral("Help") }));
    const QStringList file {
        QStringLiteral("Backup Contacts"),
        QStringLiteral("Phone to Phone Transfer>"),
        QStringLiteral("  iPhone to Android"),
        QStringLiteral("  Android to iPhone"),
        QStringLiteral("  iPhone to iPhone"),
        QStringLiteral("  Android to Android"),
        QStringLiteral("Restore Contacts to iPhone"),
        QStringLiteral("Restore Contacts to Android"),
        QStringLiteral("-"),
        QStringLiteral("Export Contacts to File"),
        QStringLiteral("Print Contacts"),
        QStringLiteral("Add Contact"),
        QStringLiteral("Import>"),
        QStringLiteral("  Import from File"),
        QStringLiteral("  Import from iTunes"),
        QStringLiteral("Delete Contact"),
        QStringLiteral("-"),
        QStringLiteral("Open Database Folder"),
        QStringLiteral("Exit"),
    };
    QCOMPARE(menuTexts(menus[0]), file);
    QCOMPARE(menuTexts(menus[1]),
             (QStringList { QStringLiteral("Check update"), QStringLiteral("Connect Android Phone via WiFi") }));
    QCOMPARE(menuTexts(menus[2]),
             (QStringList { QStringLiteral("Help"), QStringLiteral("Feedback and support"), QStringLiteral("About") }));
    // Help and Feedback open the maker's pages: with no address set they
    // would do nothing, so they are not offered.
    const QList<QAction*> helpEntries = menus[2]->actions();
    QCOMPARE(helpEntries.at(0)->isVisible(), *product::kHelpPage != '\0');
    QCOMPARE(helpEntries.at(1)->isVisible(), *product::kSupportPage != '\0');
    QVERIFY(helpEntries.at(2)->isVisible());
    QVERIFY(!menus[0]->styleSheet().isEmpty());

    QCOMPARE(window.toolBarAction(MainWindow::TB_NEW_CONTACT)->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
    for (int index = 0; index < MainWindow::TB_COUNT; ++index)
        QVERIFY2(!window.toolBarAction(index)->icon().isNull(), qPrintable(window.toolBarAction(index)->text()));
    for (QAction* action : menus[1]->actions())
        QVERIFY(action->icon().isNull());
}

void TestMainWindow::toolBarOrder()
{
    DataFolderFixture folder;
    FakeDeviceLayer layer;
    MainWindow window(&layer);

    QStringList texts;
    for (QAction* action : window.form()->toolBar->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    QCOMPARE(texts, (QStringList { QStringLiteral("Backup Contacts"), QStringLiteral("iPhone to Android"),
                                   QStringLiteral("Android to iPhone"), QStringLiteral("iPhone to iPhone"),
                                   QStringLiteral("Android to Android"), QStringLiteral("Restore Contacts to iPhone"),
                                   QStringLiteral("Restore Contacts to Android"), QStringLiteral("-"),
                                   QStringLiteral("Export Contacts to File"), QStringLiteral("Print Contacts"),
                                   QStringLiteral("Add Contact"), QStringLiteral("Import from File"),
                                   QStringLiteral("Import from iTunes"), QStringLiteral("Delete Contact") }));
    // The toolbar shows the menu's own entries: enabling one enables both.
    QMenu* file = window.form()->menuBar->actions().constFirst()->menu();
    QVERIFY(file->actions().contains(window.toolBarAction(MainWindow::TB_BACKUP)));
    QVERIFY(!window.form()->toolBar->isMovable());
    QVERIFY(!window.form()->toolBar->isFloatable());
    QCOMPARE(window.form()->toolBar->iconSize(), QSize(58, 58));
}

void TestMainWindow::resizeRule_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("pane");
    QTest::addColumn<QList<int>>("columns");

    QTest::newRow("1000 pixels") << 1000 << 390 << QList<int> { 146, 73, 73 };
    QTest::newRow("1001 pixels truncates the half") << 1001 << 390 << QList<int> { 146, 73, 73 };
    QTest::newRow("1400 pixels") << 1400 << 590 << QList<int> { 226, 113, 113 };
}

void TestMainWindow::resizeRule()
{
    QFETCH(int, width);
    QFETCH(int, pane);
    QFETCH(QList<int>, columns);

    DataFolderFixture folder;
    FakeDeviceLayer layer;
    MainWindow window(&layer);
    window.resize(width, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The user drags the tree pane wider; the next resize sets it back.
    window.form()->splitter->setSizes({ 400, 300, 300 });
    window.resize(width + 50, 600);
    window.resize(width, 600);
    QCoreApplication::processEvents();

    const QList<int> sizes = window.form()->splitter->sizes();
    QCOMPARE(sizes.size(), 3);
    QCOMPARE(sizes[0], MainWindow::kTreePaneWidth);
    // The splitter takes its two 1-pixel handles off the two equal halves.
    QVERIFY2(qAbs(sizes[1] - pane) <= 1 && qAbs(sizes[2] - pane) <= 1,
             qPrintable(QStringLiteral("%1 %2").arg(sizes[1]).arg(sizes[2])));
    const QHeaderView* header = window.form()->treeContacts->header();
    for (int column = 0; column < columns.size(); ++column)
        QCOMPARE(header->sectionSize(column), columns[column]);
}

void TestMainWindow::iPhoneWatchFailureWarnsOnce()
{
    DataFolderFixture folder;
    MessageBoxRecorder boxes;
    FakeDeviceLayer layer;
    layer.iosStartSucceeds = false;
    MainWindow window(&layer);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.boxes().constFirst().icon, QMessageBox::Warning);
    QVERIFY(boxes.texts().constFirst().startsWith(QStringLiteral("Failed to detect iPhone.")));
    // The window goes on and still lists the local databases.
    QCOMPARE(window.mainTreeModel()->rowCount(), 2);
}

void TestMainWindow::deviceWorkStartsAndStopsInOrder()
{
    DataFolderFixture folder;
    folder.writeDb(QStringLiteral("ios_virtual"), QStringLiteral("a.db"), {});
    folder.writeDb(QStringLiteral("android_virtual"), QStringLiteral("b.db"), {});
    FakeDeviceLayer layer;
    std::atomic<bool> jobDone { false };
    {
        MainWindow window(&layer);
        QCOMPARE(layer.log,
                 (QStringList { QStringLiteral("android watch built 1000"), QStringLiteral("ios watch started"),
                                QStringLiteral("saved iPhone a.db"), QStringLiteral("android watch started"),
                                QStringLiteral("saved Android b.db") }));
        layer.log.clear();
        // A device job still running when the window goes: the window waits.
        layer.pool.start([&jobDone] {
            QThread::msleep(300);
            jobDone = true;
        });
    }
    QVERIFY(jobDone);
    QCOMPARE(layer.log,
             (QStringList { QStringLiteral("android watch stopped"), QStringLiteral("ios watch destroyed"),
                            QStringLiteral("android watch destroyed") }));
}

void TestMainWindow::exitProgramLeavesTheEventLoop()
{
    DataFolderFixture folder;
    FakeDeviceLayer layer;
    MainWindow window(&layer);
    window.show();
    QTimer::singleShot(0, &window, [&window] { window.exitProgram(); });
    QTimer failsafe;
    failsafe.setSingleShot(true);
    QObject::connect(&failsafe, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    failsafe.start(10000);
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!window.isVisible());
    QCOMPARE(layer.log.count(QStringLiteral("android watch stopped")), 1);
}

void TestMainWindow::updateCheckOnlyWhenDue_data()
{
    QTest::addColumn<QByteArray>("timeFile");
    QTest::addColumn<int>("starts");

    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QTest::newRow("never checked") << QByteArray() << 1;
    QTest::newRow("checked an hour ago") << QByteArray::number(now - 3600) << 0;
    QTest::newRow("checked two days ago") << QByteArray::number(now - 2 * 86400) << 1;
}

void TestMainWindow::updateCheckOnlyWhenDue()
{
    QFETCH(QByteArray, timeFile);
    QFETCH(int, starts);

    DataFolderFixture folder;
    if (!timeFile.isEmpty()) {
        QFile file(folder.dataFolder().filePath(QLatin1String(UpdateCheckSchedule::kTimeFileName)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(timeFile);
    }
    FakeDeviceLayer layer;
    CountingUpdateCheck check;
    MainWindow window(&layer, &check);
    QCOMPARE(check.starts, starts);
}

void TestMainWindow::unreadableDatabasesAreNotReadAtStart()
{
    // Start-up lists databases without opening them: fifty files that are
    // no databases at all cost nothing and raise nothing until selected.
    DataFolderFixture folder;
    for (int i = 0; i < 50; ++i)
        folder.writeGarbage(QStringLiteral("data"), QStringLiteral("db%1.db").arg(i, 2, 10, QLatin1Char('0')));
    MessageBoxRecorder boxes;
    FakeDeviceLayer layer;
    MainWindow window(&layer);
    QCoreApplication::processEvents();
    QCOMPARE(window.mainTreeModel()->localDbRootNode()->children.size(), 50);
    QCOMPARE(boxes.count(), 0);
    QVERIFY(!window.currentNode().node);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
