// SPDX-License-Identifier: GPL-3.0-or-later
#include "actionscene.h"
#include "app/itemmodelmaintree.h"
#include "app/localdbselform.h"
#include "ui_mainwindow.h"
#include "kit/makerconfig.h"
#include "model/data_path_util.h"
#include "model/localdb.h"

#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QHeaderView>
#include <QHelpEvent>
#include <QSplitter>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <QThread>

#include <atomic>
#include <numeric>

namespace {

using Tree = ItemModelMainTree;

// "text|id|kind" of each child of a root.
QStringList childrenOf(Tree::_ItemNode* root)
{
    QStringList out;
    for (Tree::_ItemNode* child : root->children)
        out << QStringLiteral("%1|%2|%3").arg(child->name, static_cast<Tree::_DBItemNode*>(child)->id).arg(child->kind);
    return out;
}

// Every entry of a menu and of its submenus.
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

private slots:
    void initTestCase() { useEnglish(); }

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
            << split("ios_virtual/b.db:2,ios_virtual/a.db:1") << split("a|a.db|1,b|b.db|1") << QStringList {} << "b"
            << "Total:2";
        QTest::newRow("saved Android comes after the iPhones and is current")
            << split("ios_virtual/phone.db:1,android_virtual/tab.db:3") << split("phone|phone.db|1,tab|tab.db|2")
            << QStringList {} << "tab" << "Total:3";
        QTest::newRow("local databases by name whatever their age, nothing current")
            << split("data/new.db:1@0,data/old.db:1@-86400,data/Middle.db:1@-3600") << QStringList {}
            << split("Middle.db||0,new.db||0,old.db||0") << QString() << "Total:0";
        // A damaged database raises nothing until it is selected.
        QTest::newRow("only database files, none opened")
            << split("ios_virtual/notes.txt!,ios_virtual/folder.db/,ios_virtual/x.y.db:1,data/junk.db!") << split("x|x.y.db|1")
            << split("junk.db||0") << "x" << "Total:1";
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
        QCOMPARE(childrenOf(model->devicesRootNode()), devices);
        QCOMPARE(childrenOf(model->localDbRootNode()), locals);

        const MainWindow::_CurrentNode node = window.currentNode();
        QCOMPARE(node.node ? node.node->name : QString(), current);
        QCOMPARE(window.form()->lbTotal->text(), total);
        QCOMPARE(boxes.count(), 0);
    }

    // Databases made in the window are listed where the window lists them
    // when it reads the folder again at the next start.
    void listsLocalDatabasesAlikeAfterARestart()
    {
        ActionScene scene;
        for (const char* name : { "zeta", "Alpha", "beta", "Home 2" }) {
            scene.answer<LocalDbSelForm>([name](QWidget* dialog) { typeAndConfirm(dialog, QLatin1String(name)); });
            QVERIFY(scene.window->selOrCreateLocalDb(QString()));
        }
        Tree* model = scene.window->mainTreeModel();
        const QStringList made = childrenOf(model->localDbRootNode());
        QCOMPARE(made, split("Alpha.db||0,beta.db||0,Home 2.db||0,home.db||0,zeta.db||0"));

        // The files' ages say nothing about the order.
        const QDateTime now = QDateTime::currentDateTime();
        const QFileInfoList files = LocalDb::dbDir().entryInfoList({ "*.db" }, QDir::Files, QDir::Name);
        for (qsizetype i = 0; i < files.size(); ++i) {
            QFile file(files.at(i).absoluteFilePath());
            QVERIFY(file.open(QIODevice::ReadWrite)
                    && file.setFileTime(now.addSecs(-3600 * ((i * 7) % 5)), QFileDevice::FileModificationTime));
        }
        scene.window.reset();
        MainWindow restarted(&scene.layer);
        QCOMPARE(childrenOf(restarted.mainTreeModel()->localDbRootNode()), made);
    }

    // A name cut short in the tree reads whole, as written, in the tool
    // tip of its node.
    void tellsTheWholeNameInATip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("long name") << "Contacts backup from the office computer in the old building 2024-03-01 A.db";
        QTest::newRow("name like markup") << "<b>bold &amp; <i>it, from the office computer in 2024.db";
        QTest::newRow("blanks kept") << "<i>two  blanks <u>and a tail, from the office computer.db";
    }
    void tellsTheWholeNameInATip()
    {
        QFETCH(QString, name);
        DataFolderFixture folder;
        folder.writeDb("data", name, {});
        FakeDeviceLayer layer;
        MainWindow window(&layer);
        window.resize(1000, 700);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        MyTreeView* tree = window.form()->treeMain;
        const QModelIndex node = DataFolderFixture::findNode(tree->model(), name);
        QVERIFY(node.isValid());
        const QRect shown = tree->visualRect(node);
        QVERIFY2(tree->fontMetrics().horizontalAdvance(name) > shown.width(), "the name is not cut");
        QHelpEvent hover(QEvent::ToolTip, shown.center(), tree->viewport()->mapToGlobal(shown.center()));
        QCoreApplication::sendEvent(tree->viewport(), &hover);
        QVERIFY(QToolTip::isVisible());
        // Read as the tip reads it.
        QString tip = QToolTip::text();
        if (Qt::mightBeRichText(tip)) {
            QTextDocument document;
            document.setHtml(tip);
            tip = document.toPlainText();
        }
        QCOMPARE(tip, name);
        QToolTip::hideText();
    }

    // The list's columns widen with the window; phone numbers and e-mail
    // addresses take what they need of it, so at 1600 pixels they read whole.
    void sharesTheWidthAmongTheColumns()
    {
        DataFolderFixture folder;
        QList<DataFolderFixture::Person> people;
        for (int i = 0; i < 30; ++i)
            people.append({ QStringLiteral("Ann Adams %1").arg(i), QStringLiteral("+1 (555) 010-%1").arg(2030 + i),
                            QStringLiteral("ann.lee%1@example.com").arg(i % 10), {} });
        folder.writeDb("data", "home.db", people);
        FakeDeviceLayer layer;
        MainWindow window(&layer);
        window.resize(1000, 700);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(showNode(window, "home.db"));

        MyTreeView* list = window.form()->treeContacts;
        const auto widths = [list] {
            QList<int> out;
            for (int column = 0; column < 4; ++column)
                out.append(list->header()->sectionSize(column));
            return out;
        };
        const QList<int> narrow = widths();
        window.resize(1600, 700);
        QCoreApplication::processEvents();
        const QList<int> wide = widths();
        for (int column = 0; column < 4; ++column)
            QVERIFY2(wide[column] > narrow[column], qPrintable(QStringLiteral("column %1").arg(column)));
        // Together they fill the list, but for room for its scroll bar.
        const int total = std::accumulate(wide.cbegin(), wide.cend(), 0);
        QVERIFY2(total <= list->viewport()->width() && total >= list->width() - 30, qPrintable(QString::number(total)));
        for (int column : { 1, 2 }) {
            const QModelIndex cell = list->model()->index(0, column);
            const int text = list->fontMetrics().horizontalAdvance(cell.data().toString());
            QVERIFY2(list->visualRect(cell).width() > text,
                     qPrintable(QStringLiteral("%1 in %2").arg(cell.data().toString()).arg(list->visualRect(cell).width())));
        }
    }

    void warnsOnceWhenTheIPhoneWatchFails()
    {
        DataFolderFixture folder;
        MessageBoxRecorder boxes;
        FakeDeviceLayer layer;
        layer.iosStartSucceeds = false;
        MainWindow window(&layer);
        QCOMPARE(boxes.count(), 1);
        QVERIFY(boxes.texts().constFirst().startsWith(QStringLiteral("Failed to detect iPhone.")));
        // The window goes on and still lists the local databases.
        QCOMPARE(window.mainTreeModel()->rowCount(), 2);
    }

    void androidFailureNamesTheFix_data()
    {
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("advice");
        QTest::newRow("no permission")
            << "usb 1-4: no permission to open the phone (libusb_open failed. return -3 (LIBUSB_ERROR_ACCESS).)"
            << "android-sdk-platform-tools-common";
        QTest::newRow("held elsewhere") << "usb 1-4: libusb_claim_interface failed. return -6 (LIBUSB_ERROR_BUSY)."
                                        << "exit any other Android Manager program";
    }

    void androidFailureNamesTheFix()
    {
        QFETCH(QString, reason);
        QFETCH(QString, advice);
        ActionScene scene(false);
        const int before = scene.boxes.count();
        scene.window->androidDeviceConnectedFailed2(reason);
        QCOMPARE(scene.boxes.count(), before + 1);
        const QString text = scene.boxes.texts().constLast();
        QVERIFY2(text.contains(advice), qPrintable(text));
        QVERIFY(text.contains("usb 1-4"));
    }

    void waitsForDeviceWorkBeforeStoppingTheWatches()
    {
        ActionScene scene(false);
        std::atomic<bool> jobDone { false };
        // A device job still running when the window goes: the window waits.
        scene.layer.pool.start([&jobDone] {
            QThread::msleep(300);
            jobDone = true;
        });
        scene.window.reset();
        QVERIFY(jobDone);
        QCOMPARE(scene.layer.log, split("android watch stopped,ios watch destroyed,android watch destroyed"));
    }

    // Every toolbar entry is also in a menu, with its picture; no entry or
    // label shows a message key; Help entries without an address are not
    // offered.
    void showsEveryActionTranslatedAndInAMenu()
    {
        ActionScene scene(false);
        MainWindow& window = *scene.window;
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
        const QList<QAction*> helpEntries = window.form()->menuBar->actions().last()->menu()->actions();
        QCOMPARE(helpEntries.at(0)->isVisible(), !maker::helpPage().isEmpty());
        QCOMPARE(helpEntries.at(1)->isVisible(), !maker::feedbackPage().isEmpty());
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
        ActionScene scene(false);
        const DesktopOpener previous = g_setDesktopOpener(opens ? [](const QString&, const QStringList&) { return true; }
                                                                : [](const QString&, const QStringList&) { return false; });
        scene.window->miOpenFolder();
        g_setDesktopOpener(previous);
        QCOMPARE(scene.boxes.count(), opens ? 0 : 1);
        if (!opens)
            QVERIFY(scene.boxes.texts().constFirst().contains(QDir::toNativeSeparators(LocalDb::dbDir().absolutePath())));
    }

    // A split the user dragged keeps its proportion when the window grows.
    void keepsTheDraggedSplitOnResize()
    {
        ActionScene scene(false);
        MainWindow& window = *scene.window;
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
