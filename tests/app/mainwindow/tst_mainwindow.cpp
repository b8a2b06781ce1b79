// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafolderfixture.h"
#include "fakedevicelayer.h"
#include "kit/fallbacktranslator.h"
#include "app/itemmodelcontacts.h"
#include "app/itemmodelmaintree.h"
#include "app/iupdatecheck.h"
#include "app/mainwindow.h"
#include "kit/productinfo.h"
#include "support/messageboxrecorder.h"
#include "ui_mainwindow.h"
#include "app/updatecheckschedule.h"

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
QStringList childrenOf(Tree::_ItemNode* root)
{
    QStringList out;
    for (Tree::_ItemNode* child : root->children)
        out << QStringLiteral("%1|%2|%3").arg(child->name, static_cast<Tree::_DBItemNode*>(child)->id).arg(child->kind);
    return out;
}

QStringList split(const char* list) { return QString::fromUtf8(list).split(QLatin1Char(',')); }

// Entry texts of a menu, sub-menus as "title>" followed by their entries,
// separators as "-".
QStringList menuTexts(const QMenu* menu)
{
    QStringList out;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            out << QStringLiteral("-");
        else if (action->menu()) {
            out << action->text() + QLatin1Char('>');
            for (const QString& inner : menuTexts(action->menu()))
                out << QStringLiteral("  ") + inner;
        } else
            out << action->text();
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

    void treeAtStart_data()
    {
        QTest::addColumn<QStringList>("files"); // folder/name:contacts[@age], folder/, garbage!
        QTest::addColumn<QStringList>("devices");
        QTest::addColumn<QStringList>("locals");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QList<int>>("enabled");

        const QList<int> importsOnly { MainWindow::TB_FROM_ITUNES, MainWindow::TB_IMPORT };
        auto device = [](QList<int> extra) {
            extra << MainWindow::TB_NEW_CONTACT << MainWindow::TB_BACKUP << MainWindow::TB_FROM_ITUNES
                  << MainWindow::TB_IMPORT << MainWindow::TB_EXPORT << MainWindow::TB_PRINT << MainWindow::TB_DELETE;
            std::sort(extra.begin(), extra.end());
            return extra;
        };
        QTest::newRow("first start with empty folders")
            << split("ios_virtual/,android_virtual/") << QStringList {} << QStringList {} << QString() << "Total:0" << importsOnly;
        QTest::newRow("two saved iPhones: the last is current")
            << split("ios_virtual/b.db:2,ios_virtual/a.db:1") << split("a|a.db|1,b|b.db|1") << QStringList {} << "b" << "Total:2"
            << device({ MainWindow::TB_I2I });
        QTest::newRow("saved Android comes after the iPhones and is current")
            << split("ios_virtual/phone.db:1,android_virtual/tab.db:3") << split("phone|phone.db|1,tab|tab.db|2")
            << QStringList {} << "tab" << "Total:3" << device({ MainWindow::TB_A2I });
        QTest::newRow("local databases oldest first, nothing current")
            << split("data/new.db:1@0,data/old.db:1@-86400,data/middle.db:1@-3600") << QStringList {}
            << split("old.db||0,middle.db||0,new.db||0") << QString() << "Total:0" << importsOnly;
        QTest::newRow("only database files, no folders or other files")
            << split("ios_virtual/notes.txt!,ios_virtual/folder.db/,ios_virtual/x.y.db:1") << split("x|x.y.db|1")
            << QStringList {} << "x" << "Total:1" << device({});
    }

    void treeAtStart()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, devices);
        QFETCH(QStringList, locals);
        QFETCH(QString, current);
        QFETCH(QString, total);
        QFETCH(QList<int>, enabled);

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
        QList<int> enabledNow;
        for (int index = 0; index < MainWindow::TB_COUNT; ++index) {
            if (window.toolBarAction(index)->isEnabled())
                enabledNow << index;
        }
        QCOMPARE(enabledNow, enabled);
        QVERIFY(window.form()->lbDisplayKeyword->isHidden());
        QCOMPARE(window.windowTitle(), QStringLiteral("Quorvantile Marrowlink for Mac"));
        QCOMPARE(boxes.count(), 0);
    }

    void menusAndToolBarThroughTheEnglishTable()
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
        QCOMPARE(titles, split("File,Tools,Help"));
        QCOMPARE(menuTexts(menus[0]),
                 split("Backup Contacts,Phone to Phone Transfer>,  iPhone to Android,  Android to iPhone,"
                       "  iPhone to iPhone,  Android to Android,Restore Contacts to iPhone,Restore Contacts to Android,-,"
                       "Export Contacts to File,Print Contacts,Add Contact,Import>,  Import from File,"
                       "  Import from iTunes,Delete Contact,-,Open Database Folder,Exit"));
        QCOMPARE(menuTexts(menus[1]), split("Check update,Connect Android Phone via WiFi"));
        QCOMPARE(menuTexts(menus[2]), split("Help,Feedback and support,About"));
        // Help and Feedback open the maker's pages: with no address set they
        // would do nothing, so they are not offered.
        const QList<QAction*> helpEntries = menus[2]->actions();
        QCOMPARE(helpEntries.at(0)->isVisible(), *product::kHelpPage != '\0');
        QCOMPARE(helpEntries.at(1)->isVisible(), *product::kSupportPage != '\0');
        for (int index = 0; index < MainWindow::TB_COUNT; ++index)
            QVERIFY2(!window.toolBarAction(index)->icon().isNull(), qPrintable(window.toolBarAction(index)->text()));

        QStringList texts;
        for (QAction* action : window.form()->toolBar->actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(texts,
                 split("Backup Contacts,iPhone to Android,Android to iPhone,iPhone to iPhone,Android to Android,"
                       "Restore Contacts to iPhone,Restore Contacts to Android,-,Export Contacts to File,"
                       "Print Contacts,Add Contact,Import from File,Import from iTunes,Delete Contact"));
        // The toolbar shows the menu's own entries: enabling one enables both.
        QVERIFY(menus[0]->actions().contains(window.toolBarAction(MainWindow::TB_BACKUP)));
    }

    void resizeRule_data()
    {
        QTest::addColumn<int>("width");
        QTest::newRow("1000 pixels") << 1000;
        QTest::newRow("1001 pixels truncates the half") << 1001;
    }

    void resizeRule()
    {
        QFETCH(int, width);

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
        QVERIFY2(qAbs(sizes[1] - 390) <= 1 && qAbs(sizes[2] - 390) <= 1,
                 qPrintable(QStringLiteral("%1 %2").arg(sizes[1]).arg(sizes[2])));
        const QHeaderView* header = window.form()->treeContacts->header();
        QCOMPARE((QList<int> { header->sectionSize(0), header->sectionSize(1), header->sectionSize(2) }),
                 (QList<int> { 146, 73, 73 }));
    }

    void iPhoneWatchFailureWarnsOnce()
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

    void deviceWorkStartsAndStopsInOrder()
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

    void exitProgramLeavesTheEventLoop()
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

    void updateCheckOnlyWhenDue_data()
    {
        QTest::addColumn<bool>("checkedAnHourAgo");
        QTest::newRow("never checked starts the check") << false;
        QTest::newRow("checked an hour ago waits") << true;
    }

    void updateCheckOnlyWhenDue()
    {
        QFETCH(bool, checkedAnHourAgo);
        DataFolderFixture folder;
        QFile file(folder.dataFolder().filePath(QLatin1String(UpdateCheckSchedule::kTimeFileName)));
        if (checkedAnHourAgo)
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(QDateTime::currentSecsSinceEpoch() - 3600)) > 0);
        file.close();
        FakeDeviceLayer layer;
        CountingUpdateCheck check;
        MainWindow window(&layer, &check);
        QCOMPARE(check.starts, checkedAnHourAgo ? 0 : 1);
    }

    void unreadableDatabasesAreNotReadAtStart()
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
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
