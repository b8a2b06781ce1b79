// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafolderfixture.h"
#include "fakedevicelayer.h"
#include "kit/fallbacktranslator.h"
#include "app/itemmodelcontacts.h"
#include "app/itemmodelmaintree.h"
#include "app/iupdatecheck.h"
#include "app/mainwindow.h"
#include "kit/makerconfig.h"
#include "support/messageboxrecorder.h"
#include "ui_mainwindow.h"
#include "kit/productinfo.h"
#include "model/data_path_util.h"
#include "model/localdb.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QLabel>
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
    void start(std::function<void()>) override { ++starts; }
    int starts = 0;
};

// "text|id|kind" of each child of a root.
QStringList childrenOf(Tree::_ItemNode* root)
{
    QStringList out;
    for (Tree::_ItemNode* child : root->children)
        out << QStringLiteral("%1|%2|%3").arg(child->name, static_cast<Tree::_DBItemNode*>(child)->id).arg(child->kind);
    return out;
}

QStringList split(const char* list) { return QString::fromUtf8(list).split(QLatin1Char(',')); }

// Every action of a menu and of its sub-menus.
QList<QAction*> menuActions(const QMenu* menu)
{
    QList<QAction*> out;
    for (QAction* action : menu->actions()) {
        out << action;
        if (action->menu())
            out << menuActions(action->menu());
    }
    return out;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
    FallbackTranslator m_translator;

private slots:
    void cleanupTestCase() { QCoreApplication::removeTranslator(&m_translator); }
    void initTestCase()
    {
        QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
        QCoreApplication::installTranslator(&m_translator);
    }

    void listsSavedAndLocalDatabasesAtStart_data()
    {
        QTest::addColumn<QStringList>("files"); // folder/name:contacts[@age], folder/, garbage!
        QTest::addColumn<QStringList>("devices");
        QTest::addColumn<QStringList>("locals");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("total");

        QTest::newRow("first start with empty folders")
            << split("ios_virtual/,android_virtual/") << QStringList {} << QStringList {} << QString() << "Total:0";
        QTest::newRow("two saved iPhones: the last is current")
            << split("ios_virtual/b.db:2,ios_virtual/a.db:1") << split("a|a.db|1,b|b.db|1") << QStringList {} << "b" << "Total:2";
        QTest::newRow("saved Android comes after the iPhones and is current")
            << split("ios_virtual/phone.db:1,android_virtual/tab.db:3") << split("phone|phone.db|1,tab|tab.db|2")
            << QStringList {} << "tab" << "Total:3";
        QTest::newRow("local databases oldest first, nothing current")
            << split("data/new.db:1@0,data/old.db:1@-86400,data/middle.db:1@-3600") << QStringList {}
            << split("old.db||0,middle.db||0,new.db||0") << QString() << "Total:0";
        QTest::newRow("only database files, no folders or other files")
            << split("ios_virtual/notes.txt!,ios_virtual/folder.db/,ios_virtual/x.y.db:1") << split("x|x.y.db|1")
            << QStringList {} << "x" << "Total:1";
    }

    void listsSavedAndLocalDatabasesAtStart()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, devices);
        QFETCH(QStringList, locals);
        QFETCH(QString, current);
        QFETCH(QString, total);

        DataFolderFixture folder;
        for (const QString& entry : files) {
            const QString where = entry.section('/', 0, 0);
            const QString name = entry.section('/', 1).section(':', 0, 0);
            if (name.isEmpty() || name.endsWith('/')) {
                QVERIFY(folder.dataFolder().mkpath(entry));
            } else if (name.endsWith('!')) {
                folder.writeGarbage(where, name.chopped(1));
            } else {
                QList<DataFolderFixture::Person> people;
                for (int i = 0; i < entry.section(':', 1).section('@', 0, 0).toInt(); ++i)
                    people.append({ QStringLiteral("Person %1").arg(i), QStringLiteral("555-010%1").arg(i), {}, {} });
                QFile file(folder.writeDb(where, name, people));
                const qint64 age = entry.section('@', 1).toLongLong();
                QVERIFY(file.open(QIODevice::ReadWrite)
                        && file.setFileTime(QDateTime::currentDateTime().addSecs(age), QFileDevice::FileModificationTime));
            }
        }

        MessageBoxRecorder boxes;
        FakeDeviceLayer layer;
        MainWindow window(&layer);
        QCoreApplication::processEvents();
        QVERIFY(QTest::qWaitFor([&window] { return !window.isListLoading(); }));

        Tree* model = window.mainTreeModel();
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(model->index(0, 0).data().toString() + model->index(1, 0).data().toString(),
                 QStringLiteral("DevicesLocal Databases"));
        QCOMPARE(childrenOf(model->devicesRootNode()), devices);
        QCOMPARE(childrenOf(model->localDbRootNode()), locals);
        QVERIFY(window.form()->treeMain->isExpanded(model->index(0, 0)));
        QVERIFY(window.form()->treeMain->isExpanded(model->index(1, 0)));

        const MainWindow::_CurrentNode node = window.currentNode();
        QCOMPARE(node.node ? node.node->name : QString(), current);
        QCOMPARE(window.form()->lbTotal->text(), total);
        QVERIFY(window.form()->lbDisplayKeyword->isHidden());
        QCOMPARE(window.windowTitle(), product::title());
#ifndef Q_OS_MACOS
        QVERIFY(!window.windowTitle().contains(QLatin1String("Mac")));
#endif
        QCOMPARE(boxes.count(), 0);
    }

    // Whatever the wording, every entry is translated, and the toolbar
    // shows the menus' own entries, each with an icon, so enabling one
    // enables both.
    void showsEveryActionTranslatedAndInAMenu()
    {
        DataFolderFixture folder;
        FakeDeviceLayer layer;
        MainWindow window(&layer);

        QList<QAction*> inMenus;
        for (QAction* top : window.form()->menuBar->actions()) {
            inMenus << top;
            if (top->menu())
                inMenus << menuActions(top->menu());
        }
        for (QAction* action : inMenus)
            QVERIFY2(!action->text().startsWith(QLatin1String("IDS_")), qPrintable(action->text()));
        for (QAction* action : window.form()->toolBar->actions()) {
            if (action->isSeparator())
                continue;
            QVERIFY2(inMenus.contains(action), qPrintable(action->text()));
            QVERIFY2(!action->icon().isNull(), qPrintable(action->text()));
        }
        for (const QLabel* label : window.findChildren<QLabel*>())
            QVERIFY2(!label->text().startsWith(QLatin1String("IDS_")), qPrintable(label->text()));
        // Help and Feedback open the maker's pages: with no address set they
        // would do nothing, so they are not offered.
        const QList<QAction*> helpEntries = window.form()->menuBar->actions().last()->menu()->actions();
        QCOMPARE(helpEntries.at(0)->isVisible(), !maker::helpPage().isEmpty());
        QCOMPARE(helpEntries.at(1)->isVisible(), !maker::feedbackPage().isEmpty());
    }

    void warnsOnceWhenTheIPhoneWatchFails()
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

    void startsAndStopsDeviceWorkInOrder()
    {
        DataFolderFixture folder;
        folder.writeDb("ios_virtual", "a.db", {});
        folder.writeDb("android_virtual", "b.db", {});
        FakeDeviceLayer layer;
        std::atomic<bool> jobDone { false };
        {
            MainWindow window(&layer);
            QCOMPARE(layer.log,
                     split("android watch built 1000,ios watch started,saved iPhone a.db,android watch started,"
                           "saved Android b.db"));
            layer.log.clear();
            // A device job still running when the window goes: the window waits.
            layer.pool.start([&jobDone] {
                QThread::msleep(300);
                jobDone = true;
            });
        }
        QVERIFY(jobDone);
        QCOMPARE(layer.log,
                 split("android watch stopped,ios watch destroyed,android watch destroyed"));
    }

    void leavesTheEventLoopOnExit()
    {
        DataFolderFixture folder;
        FakeDeviceLayer layer;
        MainWindow window(&layer);
        window.show();
        QTimer::singleShot(0, &window, [&window] { window.exitProgram(); });
        QTimer::singleShot(10000, &window, [] { QCoreApplication::exit(99); }); // fail-safe
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!window.isVisible());
        QCOMPARE(layer.log.count(QStringLiteral("android watch stopped")), 1);
    }

    void startsTheUpdateCheckOnce()
    {
        DataFolderFixture folder;
        FakeDeviceLayer layer;
        CountingUpdateCheck check;
        MainWindow window(&layer, &check);
        QCOMPARE(check.starts, 1);
    }

    void readsNoDatabaseAtStart()
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

    void saysWhenTheDatabaseFolderCannotBeOpened_data()
    {
        QTest::addColumn<bool>("opens");
        QTest::newRow("desktop opens it: no box") << true;
        QTest::newRow("no opener: the box names the folder") << false;
    }
    void saysWhenTheDatabaseFolderCannotBeOpened()
    {
        QFETCH(bool, opens);
        DataFolderFixture folder;
        FakeDeviceLayer layer;
        MainWindow window(&layer);
        MessageBoxRecorder boxes;
        const DesktopOpener previous = g_setDesktopOpener(opens ? [](const QString&, const QStringList&) { return true; }
                                                                : [](const QString&, const QStringList&) { return false; });
        window.miOpenFolder();
        g_setDesktopOpener(previous);
        QCOMPARE(boxes.count(), opens ? 0 : 1);
        if (!opens) {
            QCOMPARE(boxes.boxes().constFirst().icon, QMessageBox::Warning);
            QVERIFY(boxes.boxes().constFirst().text.contains(QDir::toNativeSeparators(LocalDb::dbDir().absolutePath())));
        }
    }

    // A drag of the splitter between list and card survives resizes; the
    // tree pane goes back to its width each time.
    void keepsTheDraggedSplitOnResize()
    {
        DataFolderFixture folder;
        FakeDeviceLayer layer;
        MainWindow window(&layer);
        window.resize(1000, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSplitter* splitter = window.form()->splitter;
        QCOMPARE(splitter->sizes().value(0), 220);
        QVERIFY(qAbs(splitter->sizes().value(1) - splitter->sizes().value(2)) <= 2);

        splitter->setSizes({ 220, 260, 520 });
        QMetaObject::invokeMethod(splitter, "splitterMoved", Q_ARG(int, 480), Q_ARG(int, 2));
        window.resize(1400, 600);
        QTRY_COMPARE(splitter->sizes().value(0), 220);
        const QList<int> sizes = splitter->sizes();
        QVERIFY2(qAbs(sizes[1] * 2 - sizes[2]) <= 8, qPrintable(QString::number(sizes[1]) + "/" + QString::number(sizes[2])));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
