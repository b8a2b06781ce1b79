// SPDX-License-Identifier: GPL-3.0-or-later
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <utime.h>

#include "app/aboutusform.h"
#include "app/datasourceselform.h"
#include "kit/errorreport.h"
#include "kit/fallbacktranslator.h"
#include "app/groupform.h"
#include "model/localdb.h"
#include "app/localdbselform.h"
#include "support/messageboxrecorder.h"
#include "support/modaldialoganswerer.h"

namespace {

const QString kBlankName = QStringLiteral("Select one Database or enter a new Database name");
const QString kInvalidName = QStringLiteral("Invalid Local Database name(can't contain \\ / : * ? \" < > |).");

void pressButton(QWidget* dialog, const char* name)
{
    auto* button = dialog->findChild<QPushButton*>(QLatin1String(name));
    QVERIFY2(button, name);
    QTest::mouseClick(button, Qt::LeftButton);
}

// Answers the next modal dialog as a user: `fill` works on its combo box,
// then OK is pressed; a dialog that refuses to close is cancelled, and
// `stayedOpen` says so.
void answerNextDialog(QObject* owner, const char* combo, std::function<void(QComboBox*)> fill,
                      const char* cancelButton, bool* stayedOpen = nullptr)
{
    new ModalDialogAnswerer(
        [=](QWidget* dialog) {
            auto* box = dialog->findChild<QComboBox*>(QLatin1String(combo));
            QVERIFY(box);
            fill(box);
            pressButton(dialog, "btnOK");
            if (stayedOpen)
                *stayedOpen = dialog->isVisible();
            if (dialog->isVisible())
                pressButton(dialog, cancelButton);
        },
        10000, owner);
}

QSharedPointer<LocalDb> newDb(const QString& path)
{
    return LocalDb::openLocal(path);
}

void writeFile(const QString& path, qint64 mtime, const QByteArray& content = {})
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    utimbuf times { time_t(mtime), time_t(mtime) };
    QCOMPARE(utime(QFile::encodeName(path).constData(), &times), 0);
}

} // namespace

class TestSelectionDialogs : public QObject {
    Q_OBJECT
    QTemporaryDir m_home;
    FallbackTranslator m_translator;

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        // The local database folder lives under the data home; keep it in here.
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.path()));
        QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
        QCoreApplication::installTranslator(&m_translator);
    }

    void asksForADatabaseName_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("warning");

        QTest::newRow("name without suffix gets .db") << "backup" << "backup.db" << "";
        QTest::newRow("upper-case suffix gets .db added") << "backup.DB" << "backup.DB.db" << "";
        QTest::newRow("blanks around a word are kept") << " my db " << " my db .db" << "";
        QTest::newRow("nothing typed") << "" << "" << kBlankName;
        QTest::newRow("slash") << "a/b" << "" << kInvalidName;
        QTest::newRow("parent folder escape") << "../outside" << "" << kInvalidName;
    }

    void asksForADatabaseName()
    {
        QFETCH(QString, typed);
        QFETCH(QString, result);
        QFETCH(QString, warning);

        MessageBoxRecorder boxes;
        bool stayedOpen = false;
        answerNextDialog(this, "cbLocalDbNames", [typed](QComboBox* c) { c->setEditText(typed); }, "btnClose", &stayedOpen);
        LocalDbSelForm form(nullptr, QString());
        QCOMPARE(form.execGetDbName(), result);
        QCOMPARE(stayedOpen, !warning.isEmpty());
        QCOMPARE(boxes.texts(), warning.isEmpty() ? QStringList() : QStringList { warning });
        if (!warning.isEmpty())
            QCOMPARE(boxes.boxes().constFirst().icon, QMessageBox::Warning);
    }

    void listsDatabasesOldestFirst()
    {
        const QDir dir = LocalDb::dbDir();
        QVERIFY(dir.absolutePath().startsWith(m_home.path()));
        writeFile(dir.filePath("newest.db"), 1700000300);
        writeFile(dir.filePath("oldest.db"), 1700000100);
        writeFile(dir.filePath("middle.db"), 1700000200);
        writeFile(dir.filePath("notes.txt"), 1700000000);
        QVERIFY(dir.mkpath("folder.db"));

        LocalDbSelForm form(nullptr, QStringLiteral("iPhone-backup.db"));
        auto* combo = form.findChild<QComboBox*>("cbLocalDbNames");
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items.append(combo->itemText(i));
        QCOMPARE(items, (QStringList { "", "oldest.db", "middle.db", "newest.db" }));
        QCOMPARE(combo->currentText(), QStringLiteral("iPhone-backup.db"));
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
        new ModalDialogAnswerer(
            [&](QWidget* dialog) {
                prompt = dialog->findChild<QLabel*>("lbSelDevice")->text();
                auto* combo = dialog->findChild<QComboBox*>("cbDevice");
                QCOMPARE(combo->currentIndex(), items > 0 ? 0 : -1);
                if (choose >= 0) {
                    combo->setCurrentIndex(items > 0 ? choose : -1);
                    pressButton(dialog, "btnOK");
                }
                if (dialog->isVisible())
                    pressButton(dialog, "btnClose");
            },
            10000, this);
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

        QSharedPointer<LocalDb> db = newDb(m_home.filePath(QStringLiteral("groups.db")));
        db->create();
        const QHash<QString, unsigned long long> ids { { "", 0 }, { "Work", db->getGroupIdOrAdd("Work") },
                                                       { "Family", db->getGroupIdOrAdd("Family") } };
        MessageBoxRecorder boxes;
        if (answer)
            boxes.answerNext(QMessageBox::StandardButton(answer));
        QString initialText;
        answerNextDialog(this, "cbGroups", [&](QComboBox* c) {
            initialText = c->currentText();
            c->setEditText(typed);
        }, "btnCancel");
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

    void reportsAGroupListFailure()
    {
        const QString path = m_home.filePath(QStringLiteral("garbage.db"));
        writeFile(path, 1700000000, QByteArray(2048, '\x5a'));
        QSharedPointer<LocalDb> db = newDb(path);

        QStringList reports;
        const ErrorReportHook previous = setErrorReportHook([&](const QString& err) { reports.append(err); });
        MessageBoxRecorder boxes;
        int listed = -1;
        answerNextDialog(this, "cbGroups", [&](QComboBox* c) {
            listed = c->count();
            c->setEditText(QStringLiteral("Typed"));
        }, "btnCancel");
        GroupForm form(db);
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.boxes().constFirst().icon, QMessageBox::Critical);
        QCOMPARE(reports.size(), 1);
        QVERIFY(!reports.constFirst().isEmpty());
        QVERIFY(boxes.boxes().constFirst().text.contains(reports.constFirst()));

        // The dialog still opens, empty, and a typed name comes back.
        QCOMPARE(form.exec(), int(QDialog::Accepted));
        QCOMPARE(listed, 0);
        QCOMPARE(form.groupName, QStringLiteral("Typed"));
        QCOMPARE(form.groupId, 0ULL);
        setErrorReportHook(previous);
        // The file is left as it was: nothing "repaired".
        QCOMPARE(QFileInfo(path).size(), 2048);
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

        new ModalDialogAnswerer([](QWidget* dialog) { pressButton(dialog, "btnOK"); }, 10000, this);
        QCOMPARE(about.exec(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(TestSelectionDialogs)
#include "tst_selectiondialogs.moc"
