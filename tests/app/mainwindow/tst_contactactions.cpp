// SPDX-License-Identifier: GPL-3.0-or-later
// Backup, export, print and import driven through the window's commands,
// against real databases and files.
#include "actionscene.h"
#include "app/localdbselform.h"
#include "common/sqlprobe.h"
#include "kit/progressform.h"
#include "model/localdb.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProgressBar>
#include <QTimer>

#include <QComboBox>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestContactActions : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { useEnglish(); }

    void fileMenuActsOnSelectionOrNode_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QStringList>("exported");
        QTest::newRow("selected rows only") << "home.db" << QList<int> { 0, 2 } << split("Ann Lee,Carl Hanna");
        QTest::newRow("no selection: the database") << "home.db" << QList<int> {} << split("Ann Lee,Bob Stone,Carl Hanna");
        QTest::newRow("no selection in a group: its members") << "home.db/Friends" << QList<int> {}
                                                               << split("Ann Lee,Carl Hanna");
        QTest::newRow("a root: nothing") << "Local Databases" << QList<int> {} << QStringList {};
    }
    void fileMenuActsOnSelectionOrNode()
    {
        QFETCH(QString, node);
        QFETCH(QList<int>, rows);
        QFETCH(QStringList, exported);
        ActionScene scene;
        QVERIFY(scene.select(node));
        scene.selectRows(rows);
        QTemporaryDir out;
        scene.files.path = out.filePath("list");
        scene.files.filter = "VCard Files(*.vcf)";
        scene.window->miFileExport();
        QCOMPARE(scene.files.asked, exported.isEmpty() ? 0 : 1);
        QStringList names;
        for (const QByteArray& line : readAll(out.filePath("list.vcf")).split('\n')) {
            if (line.startsWith("FN"))
                names << QString::fromUtf8(line.mid(line.indexOf(':') + 1)).trimmed();
        }
        QCOMPARE(names, exported);
    }

    void exportNameOrFilterDecidesFormatAndSuffix_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QByteArray>("starts");
        QTest::newRow("CSV adds .csv") << "list" << 1 << "list.csv" << QByteArray("First Name,");
        QTest::newRow("typed .csv wins over the vCard type") << "contacts.csv" << 0 << "contacts.csv" << QByteArray("First Name,");
        QTest::newRow("typed .TXT wins over the CSV type") << "list.TXT" << 1 << "list.TXT" << QByteArray("First Name  ");
        QTest::newRow("an extension not offered: vCard's added") << "archive.tar" << 0 << "archive.tar.vcf" << QByteArray("BEGIN:VCARD");
        QTest::newRow("text table adds .txt") << "table" << 2 << "table.txt" << QByteArray("First Name  ");
        QTest::newRow("PDF adds .pdf") << "list" << 5 << "list.pdf" << QByteArray("%PDF");
        QTest::newRow("Word: the HTML page as .doc") << "list" << 4 << "list.doc/list.doc" << QByteArray("<!DOCTYPE html");
        QTest::newRow("PDF into a missing folder: error naming it") << "gone/R&D" << 5 << "" << QByteArray();
    }
    void exportNameOrFilterDecidesFormatAndSuffix()
    {
        QFETCH(QString, typed);
        QFETCH(int, filter);
        QFETCH(QString, written);
        QFETCH(QByteArray, starts);
        ActionScene scene;
        QVERIFY(scene.select("home.db"));
        QTemporaryDir out;
        scene.files.path = out.filePath(typed);
        scene.files.filter = split("VCard Files(*.vcf),CSV Files(*.csv),Text Files(*.txt),HTML files(*.html),"
                                   "Word files(*.doc),PDF files(*.pdf)")
                                 .at(filter);
        scene.window->miTreeExport();
        QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 written.isEmpty() ? QStringList {} : QStringList { written.section('/', 0, 0) });
        QCOMPARE(scene.boxes.count(), 1);
        if (written.isEmpty()) {
            QVERIFY2(scene.boxes.texts().first().contains("gone/R&amp;D.pdf"), qPrintable(scene.boxes.texts().first()));
            return;
        }
        const QByteArray bytes = readAll(out.filePath(written));
        QVERIFY2(bytes.startsWith(starts), bytes.left(200).constData());
        QString done = "Successfully exported 3 contacts to File.";
        // The page is not where the dialog pointed: the message says where.
        if (written.contains('/'))
            done += "<br/>The page is " + QDir::toNativeSeparators(out.filePath(written))
                + ", beside the folder \"photos\" that holds its pictures.";
        QCOMPARE(scene.boxes.texts(), QStringList { done });
    }

    // A whole database is read by the export's worker, a page at a time,
    // after the file was chosen: the database is locked by another program
    // until the file dialog shows (a read before it would fail), and the
    // window answers a ping while the worker is part way through.
    void wholeNodeExportReadsOnTheWorker_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QByteArray>("perContact"); // counted in the file
        QTest::addColumn<int>("people"); // in the database; the worker reads 256 a page
        QTest::newRow("vCard") << "VCard Files(*.vcf)" << "big.vcf" << QByteArray("BEGIN:VCARD") << 3000;
        QTest::newRow("CSV: the columns of every contact first") << "CSV Files(*.csv)" << "big.csv"
                                                                 << QByteArray("\n") << 3000;
        // A card laid out on paper costs many written as text: four pages
        // of the database leave as much to see part way through.
        QTest::newRow("PDF") << "PDF files(*.pdf)" << "big.pdf" << QByteArray() << 1000;
    }
    void wholeNodeExportReadsOnTheWorker()
    {
        QFETCH(QString, filter);
        QFETCH(QString, written);
        QFETCH(QByteArray, perContact);
        QFETCH(int, people);
        ActionScene scene;
        QList<DataFolderFixture::Person> stored;
        for (int i = 0; i < people; ++i)
            stored.append({ QStringLiteral("Person %1").arg(i, 5, 10, QLatin1Char('0')),
                            QStringLiteral("555-%1").arg(i), QString(), QString() });
        const QString big = scene.folder.writeDb("data", "big.db", stored);
        scene.window = std::make_unique<MainWindow>(&scene.layer);
        scene.window->setFileChooser(&scene.files);
        QVERIFY(scene.select("big.db"));

        QTemporaryDir out;
        scene.files.path = out.filePath("big");
        scene.files.filter = filter;
        SqlProbe other(big);
        other.exec("begin exclusive");
        bool locked = true;
        scene.files.onAsked = [&] {
            other.exec("commit");
            locked = false;
        };
        QList<int> seen; // the progress bar at each ping
        QTimer ping;
        connect(&ping, &QTimer::timeout, this, [&seen] {
            if (auto* form = qobject_cast<ProgressForm*>(QApplication::activeModalWidget()))
                seen.append(form->findChild<QProgressBar*>()->value());
        });
        ping.start(0);
        scene.window->miFileExport();
        ping.stop();
        if (locked)
            other.exec("commit");

        QCOMPARE(scene.files.asked, 1);
        QCOMPARE(scene.boxes.texts(), QStringList { QStringLiteral("Successfully exported %1 contacts to File.").arg(people) });
        const QByteArray bytes = readAll(out.filePath(written));
        if (!perContact.isEmpty())
            QCOMPARE(bytes.count(perContact), people + (perContact == "\n" ? 1 : 0));
        else
            QVERIFY(bytes.startsWith("%PDF"));
        QVERIFY2(std::any_of(seen.cbegin(), seen.cend(), [](int v) { return v > 0 && v < 100; }),
                 "the window must answer while the worker walks the database");
    }

    void emptyExportWritesNothing_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<int>("asked");
        QTest::newRow("no row selected") << "" << 0;
        QTest::newRow("an empty group") << "home.db/Nobody" << 1;
    }
    void emptyExportWritesNothing()
    {
        QFETCH(QString, node);
        QFETCH(int, asked);
        ActionScene scene;
        if (!node.isEmpty()) {
            const QSharedPointer<LocalDb> db = LocalDb::openLocal(scene.dbPath("home.db"));
            db->getGroupIdOrAdd("Nobody");
            db->close();
            scene.window = std::make_unique<MainWindow>(&scene.layer);
            scene.window->setFileChooser(&scene.files);
            QVERIFY(scene.select(node));
        } else {
            QVERIFY(scene.select("home.db"));
        }
        QTemporaryDir out;
        scene.files.path = out.filePath("none.html");
        scene.files.filter = "HTML files(*.html)";
        if (node.isEmpty())
            scene.window->miContactExport();
        else
            scene.window->miFileExport();
        QCOMPARE(scene.files.asked, asked);
        QCOMPARE(scene.boxes.texts(), QStringList { "There are no contacts to export. No file was written." });
        QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    // Backup and print of a tree node read its contacts on a worker once
    // the target is known: the group's members only, in list order.
    void treeBackupStoresTheNodesContacts()
    {
        ActionScene scene;
        QVERIFY(scene.select("home.db/Friends"));
        scene.answer<LocalDbSelForm>([](QWidget* dialog) { typeAndConfirm(dialog, "fresh"); });
        scene.window->miFileBackup();
        QCOMPARE(scene.boxes.texts(), QStringList { "Successfully backup 2 contacts to Local Database." });
        QCOMPARE(ActionScene::stored(scene.dbPath("fresh.db")), split("Ann Lee,Carl Hanna"));
    }

    void treePrintPreviewsTheNodesCards()
    {
        ActionScene scene;
        QVERIFY(scene.select("home.db"));
        int pages = -1;
        QString title;
        scene.answer<QPrintPreviewDialog>([&](QWidget* dialog) {
            pages = dialog->findChild<QPrintPreviewWidget*>()->pageCount();
            title = dialog->windowTitle();
            dialog->close();
        });
        scene.window->miFilePrint();
        QCOMPARE(pages, 1);
        QCOMPARE(title, QStringLiteral("Print Contacts"));
        QCOMPARE(scene.boxes.count(), 0);
    }

    // A backup proposes "<node>-backup.db" and stores the node's contacts,
    // its group's members or the selected rows, then shows the backup.
    void backupStoresTheNodeGroupOrSelection_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QString>("proposed");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("group of a local database: its members")
            << "home.db/Friends" << QList<int> {} << "home.db-backup.db" << split("Ann Lee,Carl Hanna");
        QTest::newRow("a phone: all its contacts")
            << "Pixel" << QList<int> {} << "Pixel-backup.db" << split("Ann Lee,Bob Stone,Carl Hanna");
        QTest::newRow("a group of a phone: its members")
            << "Pixel/Friends" << QList<int> {} << "Pixel-backup.db" << split("Ann Lee,Carl Hanna");
        QTest::newRow("selected rows of a phone") << "Pixel" << QList<int> { 1 } << "Pixel-backup.db" << split("Bob Stone");
    }
    void backupStoresTheNodeGroupOrSelection()
    {
        QFETCH(QString, node);
        QFETCH(QList<int>, rows);
        QFETCH(QString, proposed);
        QFETCH(QStringList, stored);
        ActionScene scene(true, true);
        QVERIFY(scene.select(node));
        scene.selectRows(rows);
        QString shown;
        scene.answer<LocalDbSelForm>([&shown](QWidget* dialog) {
            shown = dialog->findChild<QComboBox*>()->currentText();
            pressButton(dialog, "btnOK");
        });
        scene.window->miFileBackup();
        QCOMPARE(shown, proposed);
        QCOMPARE(ActionScene::stored(scene.dbPath(proposed)), stored);
        QCOMPARE(scene.boxes.texts(),
                 QStringList { QStringLiteral("Successfully backup %1 contacts to Local Database.").arg(stored.size()) });
        QCOMPARE(scene.window->currentNode().dbNode->name, proposed);
        QCOMPARE(scene.listedNames(), stored);
        // The source is left as it was.
        QCOMPARE(ActionScene::stored(node.startsWith("Pixel") ? scene.phonePath() : scene.dbPath("home.db")),
                 split("Ann Lee,Bob Stone,Carl Hanna"));
    }

    void choosesOrCreatesTheTarget_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("node"); // empty: none
        QTest::addColumn<bool>("created"); // the file was made here
        QTest::addColumn<int>("nodes");
        QTest::addColumn<int>("contacts");
        QTest::newRow("a listed database, as it is") << "home" << "home.db" << false << 1 << 3;
        QTest::newRow("a new name: a new database") << "fresh" << "fresh.db" << true << 2 << 0;
        QTest::newRow("a file without node: a node, file unchanged") << "loose.db" << "loose.db" << false << 2 << 3;
        QTest::newRow("a folder in the way: error, no node") << "R&D" << "" << false << 1 << 0;
    }
    void choosesOrCreatesTheTarget()
    {
        QFETCH(QString, typed);
        QFETCH(QString, node);
        QFETCH(bool, created);
        QFETCH(int, nodes);
        QFETCH(int, contacts);
        ActionScene scene;
        QVERIFY(QFile::copy(scene.dbPath("home.db"), scene.dbPath("loose.db")));
        QVERIFY(QDir().mkpath(scene.dbPath("R&D.db")));
        scene.answer<LocalDbSelForm>([typed](QWidget* dialog) { typeAndConfirm(dialog, typed); });
        bool isNew = false;
        ItemModelMainTree::_DBItemNode* chosen = scene.window->selOrCreateLocalDb("proposal", &isNew);
        QCOMPARE(chosen ? chosen->name : QString(), node);
        QCOMPARE(isNew, created);
        QCOMPARE(scene.window->mainTreeModel()->localDbRootNode()->children.size(), nodes);
        if (chosen) {
            QCOMPARE(scene.boxes.count(), 0);
            QCOMPARE(chosen->db->contacts().size(), contacts);
        } else {
            // The reason, and where, with the name shown as text.
            QCOMPARE(scene.boxes.count(), 1);
            QVERIFY2(scene.boxes.texts().first().contains(
                         QRegularExpression("Failed to create Local Database. Error:.+R&amp;D.db")),
                     qPrintable(scene.boxes.texts().first()));
        }
    }

    // The file's content decides how it is read; a database made for an
    // import that stores nothing is removed again.
    void firstImportCreatesADatabaseAndShowsIt_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QStringList>("listed"); // empty: no database is left
        const QByteArray cards
            = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\nTEL;TYPE=CELL:555-0101\r\nEND:VCARD\r\n"
              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Stone;Bob;;;\r\nFN:Bob Stone\r\nEND:VCARD\r\n";
        QTest::newRow("cards under the card filter") << "friends.vcf" << cards << "VCard Files(*.vcf)"
                                                     << "Successfully imported 2 contacts." << split("Ann Lee,Bob Stone");
        QTest::newRow("a table under the card filter")
            << "friends.csv" << QByteArray("First Name,Last Name\nAnn,Lee\nBob,Stone\n") << "VCard Files(*.vcf)"
            << "Successfully imported 2 contacts." << split("Ann Lee,Bob Stone");
        QTest::newRow("cards under the table filter") << "friends.csv" << cards << "CSV Files(*.csv)"
                                                      << "Successfully imported 2 contacts." << split("Ann Lee,Bob Stone");
        QTest::newRow("an empty file: no database left behind")
            << "friends.csv" << QByteArray() << "CSV Files(*.csv)"
            << "This file is empty: there are no contacts in it." << QStringList {};
        // The message's lines are lines of the box, not "<br/>" as text.
        QTest::newRow("nothing importable: lines shown as lines, no database left")
            << "friends.csv" << QByteArray("First Name,Nickname\n,Nick\n") << "VCard Files(*.vcf)"
            << "No contact could be imported from this file.<br/>Left out or changed:<br/>"
               "Row 2: no name, company, phone number or e-mail address; the row was left out."
            << QStringList {};
    }
    void firstImportCreatesADatabaseAndShowsIt()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QFETCH(QString, filter);
        QFETCH(QString, box);
        QFETCH(QStringList, listed);
        ActionScene scene(false);
        QTemporaryDir home;
        QFile file(home.filePath(fileName));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        QVERIFY(scene.select("Local Databases"));
        scene.files.path = file.fileName();
        scene.files.filter = filter;
        QString proposed;
        scene.answer<LocalDbSelForm>([&proposed](QWidget* dialog) {
            proposed = dialog->findChild<QComboBox*>()->currentText();
            pressButton(dialog, "btnOK");
        });
        scene.window->miImport();
        QCOMPARE(proposed, fileName);
        QCOMPARE(scene.boxes.count(), 1);
        QVERIFY2(scene.boxes.texts().first().contains(box), qPrintable(scene.boxes.texts().first()));
        const QString db = scene.dbPath(fileName + ".db");
        if (listed.isEmpty()) {
            QVERIFY(!QFile::exists(db));
            QVERIFY(!scene.select(fileName + ".db"));
            return;
        }
        QCOMPARE(scene.window->currentNode().dbNode->name, fileName + ".db");
        QCOMPARE(scene.listedNames(), listed);
    }
};

QTEST_MAIN(TestContactActions)
#include "tst_contactactions.moc"
