// SPDX-License-Identifier: GPL-3.0-or-later
// Backup, export and import driven through the window's commands, against
// real databases and files; the file dialogs and boxes are scripted.
#include "actionscene.h"
#include "app/itemmodelcontacts.h"
#include "app/localdbselform.h"
#include "common/sqlprobe.h"
#include "model/localdb.h"
#include "kit/fallbacktranslator.h"
#include "kit/progressform.h"
#include "support/modaldialoganswerer.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QPrintPreviewDialog>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QList<DataFolderFixture::Person> kPeople { { "Ann Lee", "555-0101", "", "Friends" },
                                                 { "Bob Stone", "555-0102", "", "" },
                                                 { "Carl Hanna", "", "carl@example.org", "Friends" } };

QStringList split(const char* list) { return QString::fromUtf8(list).split(QLatin1Char(','), Qt::SkipEmptyParts); }

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The full names of a vCard file, in file order.
QStringList vcardNames(const QByteArray& bytes)
{
    QStringList names;
    for (const QByteArray& line : bytes.split('\n')) {
        if (line.startsWith("FN"))
            names << QString::fromUtf8(line.mid(line.indexOf(':') + 1)).trimmed();
    }
    return names;
}

} // namespace

class TestContactActions : public QObject {
    Q_OBJECT
    FallbackTranslator m_translator;
    QTemporaryDir m_out;

private slots:
    void initTestCase()
    {
        QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
        QCoreApplication::installTranslator(&m_translator);
    }
    void cleanupTestCase() { QCoreApplication::removeTranslator(&m_translator); }

    void fileMenuActsOnSelectionOrNode_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QStringList>("exported");
        QTest::newRow("selected rows only") << "home.db" << QList<int> { 0, 2 } << split("Ann Lee,Carl Hanna");
        QTest::newRow("no selection: the whole database") << "home.db" << QList<int> {}
                                                           << split("Ann Lee,Bob Stone,Carl Hanna");
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
        scene.folder.writeDb("data", "home.db", kPeople);
        scene.start();
        QVERIFY(scene.select(node));
        scene.selectRows(rows);
        scene.files.path = m_out.filePath(QTest::currentDataTag());
        scene.files.filter = "VCard Files(*.vcf)";
        scene.window->miFileExport();
        QCOMPARE(scene.files.asked, exported.isEmpty() ? 0 : 1);
        if (!exported.isEmpty())
            QCOMPARE(vcardNames(readAll(scene.files.path + ".vcf")), exported);
    }

    void exportFilterDecidesFormatAndSuffix_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QByteArray>("starts");
        QTest::newRow("CSV filter adds .csv") << "list" << 1 << "list.csv" << QByteArray("First Name,");
        QTest::newRow("own suffix kept, vCard filter still decides") << "list.txt" << 0 << "list.txt"
                                                                     << QByteArray("BEGIN:VCARD");
        QTest::newRow("text table adds .txt") << "table" << 2 << "table.txt" << QByteArray("First Name  ");
        QTest::newRow("Word: the HTML page under .doc") << "list" << 4 << "list.doc/list.doc" << QByteArray("<!DOCTYPE html");
        QTest::newRow("PDF adds .pdf") << "list" << 5 << "list.pdf" << QByteArray("%PDF");
    }
    void exportFilterDecidesFormatAndSuffix()
    {
        QFETCH(QString, typed);
        QFETCH(int, filter);
        QFETCH(QString, written);
        QFETCH(QByteArray, starts);
        ActionScene scene;
        scene.folder.writeDb("data", "home.db", kPeople);
        scene.start();
        QVERIFY(scene.select("home.db"));
        QTemporaryDir out;
        scene.files.path = out.filePath(typed);
        scene.files.filter = split("VCard Files(*.vcf),CSV Files(*.csv),Text Files(*.txt),HTML files(*.html),"
                                   "Word files(*.doc),PDF files(*.pdf)")
                                 .at(filter);
        scene.window->miTreeExport();
        QCOMPARE(scene.files.filters.size(), 6);
        const QByteArray bytes = readAll(out.filePath(written));
        QVERIFY2(bytes.startsWith(starts), bytes.left(200).constData());
        if (!written.endsWith(".pdf"))
            QVERIFY2(bytes.contains("Stone"), bytes.left(400).constData());
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
                 QStringList { written.section('/', 0, 0) });
        QCOMPARE(scene.boxes.texts(), QStringList { "Successfully exported 3 contacts to File." });
    }

    void pdfThatCannotBeWrittenIsAnError()
    {
        ActionScene scene;
        scene.folder.writeDb("data", "home.db", kPeople);
        scene.start();
        QVERIFY(scene.select("home.db"));
        QTemporaryDir out;
        scene.files.path = out.filePath("no such folder/R&D");
        scene.files.filter = "PDF files(*.pdf)";
        scene.window->miTreeExport();
        QCOMPARE(scene.boxes.count(), 1);
        QCOMPARE(scene.boxes.boxes().first().icon, QMessageBox::Critical);
        QVERIFY2(scene.boxes.texts().first().contains("R&amp;D.pdf"), qPrintable(scene.boxes.texts().first()));
    }

    void printShowsThePreview_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<bool>("shown");
        QTest::newRow("a database") << "home.db" << true;
        QTest::newRow("a root: nothing") << "Local Databases" << false;
    }
    void printShowsThePreview()
    {
        QFETCH(QString, node);
        QFETCH(bool, shown);
        ActionScene scene;
        scene.folder.writeDb("data", "home.db", kPeople);
        scene.start();
        QVERIFY(scene.select(node));
        bool previewed = false;
        scene.answer<QPrintPreviewDialog>([&previewed](QPrintPreviewDialog* dialog) {
            previewed = true;
            dialog->reject();
        });
        if (!shown)
            scene.answerers.findChild<ModalDialogAnswerer*>()->setCloseOnTimeout(false);
        scene.window->miFilePrint();
        QCOMPARE(previewed, shown);
        QCOMPARE(scene.boxes.count(), 0);
    }

    void exportProposesATimeStampedHomeFile()
    {
        ActionScene scene;
        scene.folder.writeDb("data", "home.db", kPeople);
        scene.start();
        QVERIFY(scene.select("home.db"));
        scene.window->miTreeExport(); // cancelled: the chooser answers nothing
        const QRegularExpression proposal(QRegularExpression::escape(QDir::homePath())
                                          + R"(/contacts\(\d{8}-\d{6}\)$)");
        QVERIFY2(proposal.match(scene.files.proposedPath).hasMatch(), qPrintable(scene.files.proposedPath));
        QCOMPARE(scene.boxes.count(), 0);
    }

    void backupProposesTheDatabaseNodeName_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("proposed");
        QTest::newRow("a group of a local database") << "home.db/Friends" << "home.db-backup.db";
        QTest::newRow("a phone") << "Anna's iPhone" << "Anna's iPhone-backup.db";
    }
    void backupProposesTheDatabaseNodeName()
    {
        QFETCH(QString, node);
        QFETCH(QString, proposed);
        ActionScene scene;
        scene.folder.writeDb("data", "home.db", kPeople);
        scene.folder.writeDb("ios_virtual", "Anna's iPhone.db", kPeople);
        scene.start();
        QVERIFY(scene.select(node));
        QString shown;
        scene.answer<LocalDbSelForm>([&shown](LocalDbSelForm* dialog) {
            shown = dialog->findChild<QComboBox*>("cbLocalDbNames")->currentText();
            pressButton(dialog, "btnClose");
        });
        scene.window->miFileBackup();
        QCOMPARE(shown, proposed);
        QCOMPARE(QDir(scene.dbPath(QString())).entryList(QDir::Files), QStringList { "home.db" });
    }

    void backupOfAGroupStoresItsMembers()
    {
        ActionScene scene;
        scene.folder.writeDb("data", "home.db", kPeople);
        scene.start();
        QVERIFY(scene.select("home.db/Friends"));
        scene.answer<LocalDbSelForm>([](LocalDbSelForm* dialog) { pressButton(dialog, "btnOK"); });
        scene.window->miTreeBackup();
        SqlProbe probe(scene.dbPath("home.db-backup.db"));
        QCOMPARE(probe.column("select full_name from contact order by full_name"), split("Ann Lee,Carl Hanna"));
        QCOMPARE(scene.boxes.texts(), QStringList { "Successfully backup 2 contacts to Local Database." });
        // The new database is current and lists what it got.
        QCOMPARE(scene.window->currentNode().dbNode->name, QStringLiteral("home.db-backup.db"));
        QCOMPARE(scene.listedNames(), split("Ann Lee,Carl Hanna"));
    }

    void choosesOrCreatesTheTarget_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("node"); // empty: none
        QTest::addColumn<bool>("created");
        QTest::addColumn<QString>("box");
        QTest::newRow("a listed database is used as it is") << "home" << "home.db" << false << "";
        QTest::newRow("a new name makes a new database") << "fresh" << "fresh.db" << true << "";
        QTest::newRow("a file without node gets one, unchanged") << "loose.db" << "loose.db" << true << "";
        QTest::newRow("a folder in the way: error, no node") << "R&D &amp; co" << "" << false
                                                             << "Failed to create Local Database. Error:";
    }
    void choosesOrCreatesTheTarget()
    {
        QFETCH(QString, typed);
        QFETCH(QString, node);
        QFETCH(bool, created);
        QFETCH(QString, box);
        ActionScene scene;
        scene.folder.writeDb("data", "home.db", kPeople);
        scene.start();
        // Made after the start, so the window has no node for them.
        scene.folder.writeDb("data", "loose.db", kPeople.mid(0, 1));
        QVERIFY(QDir().mkpath(scene.dbPath("R&D &amp; co.db")));
        const int before = scene.window->mainTreeModel()->localDbRootNode()->children.size();

        scene.answer<LocalDbSelForm>([typed](LocalDbSelForm* dialog) { chooseDatabase(dialog, typed); });
        bool isNew = false;
        ItemModelMainTree::_DBItemNode* chosen = scene.window->selOrCreateLocalDb("proposal", &isNew);

        QCOMPARE(chosen ? chosen->name : QString(), node);
        QCOMPARE(isNew, created);
        QCOMPARE(scene.window->mainTreeModel()->localDbRootNode()->children.size(), before + (created ? 1 : 0));
        if (box.isEmpty()) {
            QCOMPARE(scene.boxes.count(), 0);
            // Existing files keep their contacts.
            QCOMPARE(chosen->db->contacts().isEmpty(), typed == "fresh");
        } else {
            QCOMPARE(scene.boxes.count(), 1);
            QVERIFY(scene.boxes.boxes().first().text.contains(box));
            // The name is shown as text, never as markup.
            QVERIFY2(scene.boxes.boxes().first().text.contains("R&amp;D &amp;amp; co.db"), qPrintable(scene.boxes.texts().first()));
        }
    }

    void firstImportCreatesADatabaseAndShowsIt()
    {
        ActionScene scene;
        scene.start();
        QVERIFY(scene.window->mainTreeModel()->localDbRootNode()->children.isEmpty());
        QTemporaryDir home;
        const QString card = home.filePath("friends.vcf");
        {
            QFile file(card);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\nTEL;TYPE=CELL:555-0101\r\n"
                       "END:VCARD\r\nBEGIN:VCARD\r\nVERSION:3.0\r\nN:Stone;Bob;;;\r\nFN:Bob Stone\r\nEND:VCARD\r\n");
        }
        QVERIFY(scene.select("Local Databases"));
        scene.files.path = card;
        scene.files.filter = "VCard Files(*.vcf)";
        QString proposed;
        scene.answer<LocalDbSelForm>([&proposed](LocalDbSelForm* dialog) {
            proposed = dialog->findChild<QComboBox*>("cbLocalDbNames")->currentText();
            pressButton(dialog, "btnOK");
        });
        scene.window->miImport();

        QCOMPARE(proposed, QStringLiteral("friends.vcf"));
        QCOMPARE(scene.boxes.texts(), QStringList { "Successfully imported 2 contacts." });
        QCOMPARE(scene.window->currentNode().dbNode->name, QStringLiteral("friends.vcf.db"));
        QCOMPARE(scene.listedNames(), split("Ann Lee,Bob Stone"));
        QCOMPARE(scene.window->form()->lbTotal->text(), QStringLiteral("Total:2"));
    }

    void importIntoTheCurrentDatabaseRelists()
    {
        ActionScene scene;
        scene.folder.writeDb("data", "home.db", kPeople);
        scene.start();
        QVERIFY(scene.select("home.db"));
        QTemporaryDir home;
        const QString list = home.filePath("more.csv");
        {
            QFile file(list);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("First Name,Last Name,Mobile Phone\r\nDora,Quinn,555-0199\r\n");
        }
        scene.files.path = list;
        scene.files.filter = "CSV Files(*.csv)";
        scene.answer<LocalDbSelForm>([](LocalDbSelForm* dialog) { chooseDatabase(dialog, "home.db"); });
        scene.window->miImport();
        QCOMPARE(scene.listedNames(), split("Ann Lee,Bob Stone,Carl Hanna,Dora Quinn"));
    }
};

QTEST_MAIN(TestContactActions)
#include "tst_contactactions.moc"
