// SPDX-License-Identifier: GPL-3.0-or-later
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QtTest>

#include "actionscene.h"
#include "app/aboutusform.h"
#include "app/datasourceselform.h"
#include "app/groupform.h"
#include "app/itemmodelmaintree.h"
#include "app/localdbselform.h"
#include "model/localdb.h"

namespace {

const QString kBlankName = QStringLiteral("Select one Database or enter a new Database name");
const QString kInvalidName = QStringLiteral("Invalid Local Database name(can't contain \\ / : * ? \" < > |).");

} // namespace

class TestSelectionDialogs : public QObject {
    Q_OBJECT
    // The local database folder lives in the data folder; keep it in here.
    DataFolderFixture m_folder;

private slots:
    void initTestCase() { useEnglish(); }

    void asksForADatabaseName_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("warning");

        QTest::newRow("name without suffix gets .db") << "backup" << "backup.db" << "";
        QTest::newRow("upper-case suffix gets .db added") << "backup.DB" << "backup.DB.db" << "";
        QTest::newRow("blanks around a word are kept") << " my db " << " my db .db" << "";
        QTest::newRow("nothing typed") << "" << "" << kBlankName;
        QTest::newRow("parent folder escape") << "../outside" << "" << kInvalidName;
    }

    void asksForADatabaseName()
    {
        QFETCH(QString, typed);
        QFETCH(QString, result);
        QFETCH(QString, warning);

        MessageBoxRecorder boxes;
        bool stayedOpen = false;
        ModalDialogAnswerer answerer([&](QWidget* dialog) {
            typeAndConfirm(dialog, typed);
            // A refused name keeps the dialog open: the user closes it.
            stayedOpen = dialog->isVisible();
            if (stayedOpen)
                pressButton(dialog, "btnClose");
        });
        LocalDbSelForm form(nullptr, QString());
        QCOMPARE(form.execGetDbName(), result);
        QCOMPARE(stayedOpen, !warning.isEmpty());
        QCOMPARE(boxes.shownTexts(), warning.isEmpty() ? QStringList() : QStringList { warning });
    }

    // A name proposed from a file or phone is one the dialog takes as it
    // stands: confirmed untouched, it names the database.
    void proposesANameItAccepts_data()
    {
        QTest::addColumn<QString>("proposed");
        QTest::addColumn<QString>("result");

        QTest::newRow("plain file name kept") << "Contacts 2024.vcf" << "Contacts 2024.vcf.db";
        QTest::newRow("markup in a file name") << "<b>bold &amp; <i>it.vcf" << "_b_bold &amp; _i_it.vcf.db";
        QTest::newRow("every refused character")
            << "a\\b/c:d*e?f\"g<h>i|j\tk\nl\rm.csv" << "a_b_c_d_e_f_g_h_i_j_k_l_m.csv.db";
        QTest::newRow("phone name with a colon") << "Ann: iPhone-backup.db" << "Ann_ iPhone-backup.db";
    }
    void proposesANameItAccepts()
    {
        QFETCH(QString, proposed);
        QFETCH(QString, result);

        MessageBoxRecorder boxes;
        ModalDialogAnswerer answerer([](QWidget* dialog) {
            pressButton(dialog, "btnOK");
            if (dialog->isVisible())
                pressButton(dialog, "btnClose");
        });
        LocalDbSelForm form(nullptr, proposed);
        QCOMPARE(form.execGetDbName(), result);
        QCOMPARE(boxes.shownTexts(), QStringList());
    }

    // The dialog lists the databases as the tree does, by name and not by
    // age: names that differ in letter case only, written in another order
    // than their names go.
    void listsDatabasesInTheTreesOrder()
    {
        const QDir dir = LocalDb::dbDir();
        const QDateTime base(QDate(2024, 3, 1), QTime(10, 0));
        const QList<std::pair<const char*, int>> files { { "beta.db", 100 }, { "Alpha.db", 500 }, { "alpha.db", 300 },
                                                         { "ALPHA.db", 200 }, { "Gamma.db", 0 }, { "b.db", 400 },
                                                         { "notes.txt", 50 } };
        for (const auto& [name, age] : files) {
            QFile file(dir.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.setFileTime(base.addSecs(age), QFileDevice::FileModificationTime));
        }
        QVERIFY(dir.mkpath("folder.db"));

        // As the window fills the tree at start.
        ItemModelMainTree tree;
        for (const QFileInfo& file : dir.entryInfoList({ QStringLiteral("*.db") }, QDir::Files, QDir::NoSort))
            tree.addLocalDb({}, file.fileName());
        QStringList treeOrder;
        for (const ItemModelMainTree::_ItemNode* node : tree.localDbRootNode()->children)
            treeOrder.append(node->name);
        QCOMPARE(treeOrder, (QStringList { "ALPHA.db", "Alpha.db", "alpha.db", "b.db", "beta.db", "Gamma.db" }));

        LocalDbSelForm form(nullptr, QStringLiteral("iPhone-backup.db"));
        auto* combo = form.findChild<QComboBox*>("cbLocalDbNames");
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items.append(combo->itemText(i));
        QCOMPARE(items, QStringList { "" } + treeOrder);
        QCOMPARE(combo->currentText(), QStringLiteral("iPhone-backup.db"));
        for (const auto& [name, age] : files)
            QFile::remove(dir.filePath(QLatin1String(name)));
        QDir(dir.filePath("folder.db")).removeRecursively();
    }

    void choosesADataSource_data()
    {
        QTest::addColumn<int>("items");
        QTest::addColumn<int>("choose"); // row to make current; -1 = cancel
        QTest::addColumn<QStringList>("warnings");

        QTest::newRow("empty list: confirm warns, then cancel") << 0 << 0 << QStringList { "Please select one datasource." };
        QTest::newRow("second item chosen") << 2 << 1 << QStringList {};
        QTest::newRow("cancel with items returns null") << 2 << -1 << QStringList {};
    }
    void choosesADataSource()
    {
        QFETCH(int, items);
        QFETCH(int, choose);
        QFETCH(QStringList, warnings);

        int targets[2] = { 10, 20 };
        QList<DataSourceSelForm::_SelItem> list;
        for (int i = 0; i < items; ++i)
            list.append(DataSourceSelForm::_SelItem(":res/iphone.png", QStringLiteral("Phone %1").arg(i), &targets[i]));
        MessageBoxRecorder boxes;
        QString prompt;
        ModalDialogAnswerer answerer([&](QWidget* dialog) {
            prompt = dialog->findChild<QLabel*>("lbSelDevice")->text();
            auto* combo = dialog->findChild<QComboBox*>("cbDevice");
            QCOMPARE(combo->currentIndex(), items > 0 ? 0 : -1);
            if (choose >= 0) {
                combo->setCurrentIndex(items > 0 ? choose : -1);
                pressButton(dialog, "btnOK");
            }
            if (dialog->isVisible())
                pressButton(dialog, "btnClose");
        });
        DataSourceSelForm form;
        void* chosen = form.execSel(QStringLiteral("Select an iPhone device to continue."), list);
        QCOMPARE(chosen, items > 0 && choose >= 0 ? static_cast<void*>(&targets[choose]) : nullptr);
        QCOMPARE(prompt, QStringLiteral("Select an iPhone device to continue."));
        QCOMPARE(boxes.texts(), warnings);
    }

    void choosesAGroup_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("answer"); // to the "no group" question; 0 = no question
        QTest::addColumn<QString>("expected"); // "name|group whose id it gets"; empty = refused

        QTest::newRow("existing group") << "Family" << 0 << "Family|Family";
        QTest::newRow("blanks around an existing name") << "  Work " << 0 << "Work|Work";
        QTest::newRow("other letter case is a new name") << "family" << 0 << "family|";
        QTest::newRow("empty name confirmed ungroups") << "" << int(QMessageBox::Yes) << "|";
        QTest::newRow("empty name declined stays open") << " " << int(QMessageBox::No) << "";
    }
    void choosesAGroup()
    {
        QFETCH(QString, typed);
        QFETCH(int, answer);
        QFETCH(QString, expected);

        const QString path = m_folder.dataFolder().filePath(QStringLiteral("groups.db"));
        QFile::remove(path);
        QSharedPointer<LocalDb> db = LocalDb::openLocal(path);
        db->create();
        const QHash<QString, unsigned long long> ids { { "", 0 }, { "Work", db->getGroupIdOrAdd("Work") },
                                                       { "Family", db->getGroupIdOrAdd("Family") } };
        MessageBoxRecorder boxes;
        if (answer)
            boxes.answerNext(QMessageBox::StandardButton(answer));
        QString initialText;
        ModalDialogAnswerer answerer([&](QWidget* dialog) {
            auto* combo = dialog->findChild<QComboBox*>("cbGroups");
            initialText = combo->currentText();
            combo->setEditText(typed);
            pressButton(dialog, "btnOK");
            if (dialog->isVisible())
                pressButton(dialog, "btnCancel");
        });
        GroupForm form(db);
        const int result = form.exec();
        QCOMPARE(initialText, QStringLiteral("Family")); // first by name
        QCOMPARE(boxes.count(), answer ? 1 : 0);
        QCOMPARE(result == QDialog::Accepted, !expected.isEmpty());
        if (result == QDialog::Accepted) {
            QCOMPARE(form.groupName, expected.section('|', 0, 0));
            QCOMPARE(form.groupId, ids.value(expected.section('|', 1)));
        }
    }

    void showsTheAboutBox()
    {
        AboutUsForm about;
#ifdef Q_OS_MACOS
        QCOMPARE(about.findChild<QLabel*>("lbProduct")->text(), QStringLiteral("Quorvantile Marrowlink for Mac v3.1.13"));
#else
        QCOMPARE(about.findChild<QLabel*>("lbProduct")->text(), QStringLiteral("Quorvantile Marrowlink v3.1.13"));
#endif
        auto* homePage = about.findChild<QLabel*>("lbHomePage");
        // No site is configured: no link at all rather than a dead one.
        QCOMPARE(AboutUsForm::homePageUrl().isEmpty(), homePage->text().isEmpty());
        QVERIFY(!homePage->text().contains(QLatin1String("href=\"\"")));
        ModalDialogAnswerer answerer([](QWidget* dialog) { pressButton(dialog, "btnOK"); });
        QCOMPARE(about.exec(), int(QDialog::Accepted));
    }

    void reportsAGroupListFailure()
    {
        const QString path = m_folder.writeGarbage("data", "garbage.db");
        QSharedPointer<LocalDb> db = LocalDb::openLocal(path);
        MessageBoxRecorder boxes;
        int listed = -1;
        ModalDialogAnswerer answerer([&](QWidget* dialog) {
            listed = dialog->findChild<QComboBox*>()->count();
            typeAndConfirm(dialog, "Typed");
        });
        GroupForm form(db);
        QCOMPARE(boxes.count(), 1);

        // The dialog still opens, empty, and a typed name comes back.
        QCOMPARE(form.exec(), int(QDialog::Accepted));
        QCOMPARE(listed, 0);
        QCOMPARE(form.groupName, QStringLiteral("Typed"));
        // The file is left as it was: nothing "repaired".
        QCOMPARE(readAll(path), QByteArray(4096, '\x5a'));
    }
};

QTEST_MAIN(TestSelectionDialogs)
#include "tst_selectiondialogs.moc"
