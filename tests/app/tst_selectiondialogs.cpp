// SPDX-License-Identifier: GPL-3.0-or-later
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <utime.h>

#include "aboutusform.h"
#include "datasourceselform.h"
#include "errorreport.h"
#include "fallbacktranslator.h"
#include "groupform.h"
#include "localdb.h"
#include "localdbcombinerule.h"
#include "localdbselform.h"
#include "messageboxrecorder.h"
#include "modaldialoganswerer.h"
#include "productinfo.h"

namespace {

const QString kBlankName = QStringLiteral("Select one Database or enter a new Database name");
const QString kInvalidName = QStringLiteral("Invalid Local Database name(can't contain \\ / : * ? \" < > |).");

void pressButton(QWidget* dialog, const char* name)
{
    auto* button = dialog->findChild<QPushButton*>(QLatin1String(name));
    QVERIFY2(button, name);
    QTest::mousePress(button, Qt::LeftButton);
    QTest::mouseRelease(button, Qt::LeftButton);
}

// Types text into the dialog's editable combo, presses OK and, when the
// dialog is still open afterwards (the input was refused), presses Cancel.
ModalDialogAnswerer* typeAndConfirm(QObject* owner, const char* combo, const QString& text, const char* okButton,
                                    const char* cancelButton, bool* stayedOpen)
{
    return new ModalDialogAnswerer(
        [=](QWidget* dialog) {
            auto* box = dialog->findChild<QComboBox*>(QLatin1String(combo));
            QVERIFY(box);
            box->setEditText(text);
            pressButton(dialog, okButton);
            *stayedOpen = dialog->isVisible();
            if (*stayedOpen)
                pressButton(dialog, cancelButton);
        },
        10000, owner);
}

QSharedPointer<LocalDb> newDb(const QString& path)
{
    return QSharedPointer<LocalDb>::create(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
}

void touch(const QString& path, qint64 secondsSinceEpoch)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    utimbuf times{time_t(secondsSinceEpoch), time_t(secondsSinceEpoch)};
    QCOMPARE(utime(QFile::encodeName(path).constData(), &times), 0);
}

} // namespace

class TestSelectionDialogs : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void execGetDbName_data();
    void execGetDbName();
    void localDbListAndProposal();
    void emptyFirstItemIsRefused();
    void dataSourceSel_data();
    void dataSourceSel();
    void groupForm_data();
    void groupForm();
    void groupFormReadFailure();
    void aboutBox();
    void dialogsAreFramelessAndStyled();

private:
    QTemporaryDir m_home;
    FallbackTranslator m_translator;
};

void TestSelectionDialogs::initTestCase()
{
    QVERIFY(m_home.isValid());
    // The local database folder lives under the data home; keep it in here.
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.path()));
    QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
    QCoreApplication::installTranslator(&m_translator);
}

void TestSelectionDialogs::execGetDbName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QStringList>("warnings");

    QTest::newRow("name without suffix gets .db") << "backup" << "backup.db" << QStringList{};
    QTest::newRow("name with suffix kept") << "backup.db" << "backup.db" << QStringList{};
    QTest::newRow("upper-case suffix gets .db added") << "backup.DB" << "backup.DB.db" << QStringList{};
    QTest::newRow("blanks around a word are kept") << " my db " << " my db .db" << QStringList{};
    QTest::newRow("letters digits hyphens underscores dots") << "a-b_c.1.2" << "a-b_c.1.2.db" << QStringList{};
    QTest::newRow("nothing typed") << "" << "" << QStringList{kBlankName};
    QTest::newRow("blanks only") << "   " << "" << QStringList{kBlankName};
    QTest::newRow("slash") << "a/b" << "" << QStringList{kInvalidName};
    QTest::newRow("parent folder escape") << "../outside" << "" << QStringList{kInvalidName};
    QTest::newRow("colon") << "a:b" << "" << QStringList{kInvalidName};
    QTest::newRow("vertical bar") << "a|b" << "" << QStringList{kInvalidName};
    QTest::newRow("backslash") << "a\\b" << "" << QStringList{kInvalidName};
    QTest::newRow("tab") << "a\tb" << "" << QStringList{kInvalidName};
    QTest::newRow("question mark and star") << "a?*" << "" << QStringList{kInvalidName};
}

void TestSelectionDialogs::execGetDbName()
{
    QFETCH(QString, typed);
    QFETCH(QString, result);
    QFETCH(QStringList, warnings);

    MessageBoxRecorder boxes;
    bool stayedOpen = false;
    typeAndConfirm(this, "cbLocalDbNames", typed, "btnOK", "btnClose", &stayedOpen);
    LocalDbSelForm form(nullptr, QString());
    QCOMPARE(form.execGetDbName(), result);
    QCOMPARE(boxes.texts(), warnings);
    QCOMPARE(stayedOpen, !warnings.isEmpty());
    for (const MessageBoxRecorder::Box& box : boxes.boxes())
        QCOMPARE(box.icon, QMessageBox::Warning);
}

void TestSelectionDialogs::localDbListAndProposal()
{
    const QDir dir = LocalDb::dbDir();
    QVERIFY(dir.absolutePath().startsWith(m_home.path()));
    touch(dir.filePath("newest.db"), 1700000300);
    touch(dir.filePath("oldest.db"), 1700000100);
    touch(dir.filePath("middle.db"), 1700000200);
    touch(dir.filePath("notes.txt"), 1700000000);
    QVERIFY(dir.mkpath("folder.db"));

    LocalDbSelForm form(nullptr, QStringLiteral("iPhone-backup.db"));
    auto* combo = form.findChild<QComboBox*>("cbLocalDbNames");
    QVERIFY(combo);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items.append(combo->itemText(i));
    QCOMPARE(items, (QStringList{"", "oldest.db", "middle.db", "newest.db"}));
    QCOMPARE(combo->currentIndex(), -1);
    QCOMPARE(combo->currentText(), QStringLiteral("iPhone-backup.db"));
    QCOMPARE(form.findChild<QLabel*>("label")->text(),
             QStringLiteral("Select current database to merge or enter a new database name:"));
    QCOMPARE(form.findChild<QPushButton*>("btnOK")->text(), QStringLiteral("Confirm"));
    QCOMPARE(form.findChild<QPushButton*>("btnClose")->text(), QStringLiteral("Cancel"));

    // Picking an existing database returns its name as is.
    MessageBoxRecorder boxes;
    new ModalDialogAnswerer(
        [](QWidget* dialog) {
            dialog->findChild<QComboBox*>("cbLocalDbNames")->setCurrentIndex(2);
            pressButton(dialog, "btnOK");
        },
        10000, this);
    QCOMPARE(form.execGetDbName(), QStringLiteral("middle.db"));
    QCOMPARE(boxes.count(), 0);
}

void TestSelectionDialogs::emptyFirstItemIsRefused()
{
    MessageBoxRecorder boxes;
    new ModalDialogAnswerer(
        [](QWidget* dialog) {
            dialog->findChild<QComboBox*>("cbLocalDbNames")->setCurrentIndex(0);
            pressButton(dialog, "btnOK");
            QVERIFY(dialog->isVisible());
            pressButton(dialog, "btnClose");
        },
        10000, this);
    LocalDbSelForm form(nullptr, QStringLiteral("proposed"));
    QCOMPARE(form.execGetDbName(), QString());
    QCOMPARE(boxes.texts(), QStringList{kBlankName});
}

void TestSelectionDialogs::dataSourceSel_data()
{
    QTest::addColumn<int>("items");
    QTest::addColumn<int>("choose"); // row to make current; -1 = cancel
    QTest::addColumn<int>("expected"); // index into the data array; -1 = null
    QTest::addColumn<QStringList>("warnings");

    QTest::newRow("empty list: confirm warns, then cancel") << 0 << 0 << -1 << QStringList{"Please select one datasource."};
    QTest::newRow("empty list: cancel returns null") << 0 << -1 << -1 << QStringList{};
    QTest::newRow("first item is current at once") << 2 << 0 << 0 << QStringList{};
    QTest::newRow("second item chosen") << 2 << 1 << 1 << QStringList{};
    QTest::newRow("cancel with items returns null") << 2 << -1 << -1 << QStringList{};
}

void TestSelectionDialogs::dataSourceSel()
{
    QFETCH(int, items);
    QFETCH(int, choose);
    QFETCH(int, expected);
    QFETCH(QStringList, warnings);

    int targets[2] = {10, 20};
    QList<DataSourceSelForm::_SelItem> list;
    if (items > 0)
        list.append(DataSourceSelForm::_SelItem(":res/iphone.png", "My iPhone", &targets[0]));
    if (items > 1)
        list.append(DataSourceSelForm::_SelItem(":res/icon_android.png", "Pixel", &targets[1]));

    MessageBoxRecorder boxes;
    QString prompt;
    new ModalDialogAnswerer(
        [&](QWidget* dialog) {
            prompt = dialog->findChild<QLabel*>("lbSelDevice")->text();
            auto* combo = dialog->findChild<QComboBox*>("cbDevice");
            QCOMPARE(combo->currentIndex(), items > 0 ? 0 : -1);
            if (choose < 0) {
                pressButton(dialog, "btnClose");
                return;
            }
            if (items > 0)
                combo->setCurrentIndex(choose);
            pressButton(dialog, "btnOK");
            if (dialog->isVisible())
                pressButton(dialog, "btnClose");
        },
        10000, this);
    DataSourceSelForm form;
    void* chosen = form.execSel(QStringLiteral("Select an iPhone device to continue."), list);
    QCOMPARE(chosen, expected < 0 ? nullptr : static_cast<void*>(&targets[expected]));
    QCOMPARE(prompt, QStringLiteral("Select an iPhone device to continue."));
    QCOMPARE(boxes.texts(), warnings);
}

void TestSelectionDialogs::groupForm_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QList<int>>("answers"); // answers to questions, in order
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("groupName");
    QTest::addColumn<QString>("idOf"); // the group whose id is expected; "" = 0
    QTest::addColumn<int>("questions");

    const QList<int> none;
    QTest::newRow("existing group") << "Family" << none << true << "Family" << "Family" << 0;
    QTest::newRow("blanks around an existing name") << "  Work " << none << true << "Work" << "Work" << 0;
    QTest::newRow("other letter case is a new name") << "family" << none << true << "family" << "" << 0;
    QTest::newRow("new name") << "Neighbours" << none << true << "Neighbours" << "" << 0;
    QTest::newRow("empty name confirmed ungroups") << "" << QList<int>{QMessageBox::Yes} << true << "" << "" << 1;
    QTest::newRow("empty name declined stays open") << " " << QList<int>{QMessageBox::No} << false << "" << "" << 1;
}

void TestSelectionDialogs::groupForm()
{
    QFETCH(QString, typed);
    QFETCH(QList<int>, answers);
    QFETCH(bool, accepted);
    QFETCH(QString, groupName);
    QFETCH(QString, idOf);
    QFETCH(int, questions);

    QSharedPointer<LocalDb> db = newDb(m_home.filePath(QStringLiteral("groups.db")));
    db->create();
    QHash<QString, unsigned long long> ids;
    for (const QString& name : {QStringLiteral("Work"), QStringLiteral("Family")})
        ids.insert(name, db->getGroupIdOrAdd(name));

    MessageBoxRecorder boxes;
    for (int answer : answers)
        boxes.answerNext(QMessageBox::StandardButton(answer));
    bool stayedOpen = false;
    QString initialText;
    new ModalDialogAnswerer(
        [&](QWidget* dialog) {
            auto* combo = dialog->findChild<QComboBox*>("cbGroups");
            initialText = combo->currentText();
            combo->setEditText(typed);
            pressButton(dialog, "btnOK");
            stayedOpen = dialog->isVisible();
            if (stayedOpen)
                pressButton(dialog, "btnCancel");
        },
        10000, this);
    GroupForm form(db.data());
    const int result = form.exec();
    QCOMPARE(initialText, QStringLiteral("Family")); // first by name
    QCOMPARE(result == QDialog::Accepted, accepted);
    QCOMPARE(stayedOpen, !accepted);
    QCOMPARE(boxes.count(), questions);
    if (accepted) {
        QCOMPARE(form.groupName, groupName);
        QCOMPARE(form.groupId, idOf.isEmpty() ? 0ULL : ids.value(idOf));
    }
}

void TestSelectionDialogs::groupFormReadFailure()
{
    const QString path = m_home.filePath(QStringLiteral("garbage.db"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(2048, '\x5a'));
    file.close();
    QSharedPointer<LocalDb> db = newDb(path);

    QStringList reports;
    const ErrorReportHook previous = setErrorReportHook([&](const QString& err) { reports.append(err); });
    MessageBoxRecorder boxes;
    int listed = -1;
    new ModalDialogAnswerer(
        [&](QWidget* dialog) {
            auto* combo = dialog->findChild<QComboBox*>("cbGroups");
            listed = combo->count();
            combo->setEditText(QStringLiteral("Typed"));
            pressButton(dialog, "btnOK");
        },
        10000, this);
    GroupForm form(db.data());
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

void TestSelectionDialogs::aboutBox()
{
    AboutUsForm about;
    QCOMPARE(about.findChild<QLabel*>("lbProduct")->text(), QStringLiteral("Quorvantile Marrowlink for Mac v3.1.13"));
    QCOMPARE(about.findChild<QLabel*>("lbTitle")->text(), QStringLiteral("About"));
    auto* homePage = about.findChild<QLabel*>("lbHomePage");
    // No site is configured: no link at all rather than a dead one.
    QCOMPARE(AboutUsForm::homePageUrl().isEmpty(), homePage->text().isEmpty());
    QVERIFY(!homePage->text().contains(QLatin1String("href=\"\"")));
    QVERIFY(homePage->openExternalLinks());

    // OK closes the box with "accepted".
    new ModalDialogAnswerer([](QWidget* dialog) { pressButton(dialog, "btnOK"); }, 10000, this);
    QCOMPARE(about.exec(), int(QDialog::Accepted));
}

void TestSelectionDialogs::dialogsAreFramelessAndStyled()
{
    QSharedPointer<LocalDb> db = newDb(m_home.filePath(QStringLiteral("style.db")));
    db->create();
    LocalDbSelForm localDb(nullptr, QString());
    DataSourceSelForm dataSource;
    GroupForm group(db.data());
    AboutUsForm about;
    for (QDialog* dialog : QList<QDialog*>{&localDb, &dataSource, &group, &about}) {
        QVERIFY2(dialog->windowFlags().testFlag(Qt::FramelessWindowHint), qPrintable(dialog->objectName()));
        QVERIFY2(!dialog->styleSheet().isEmpty(), qPrintable(dialog->objectName()));
    }
}

QTEST_MAIN(TestSelectionDialogs)
#include "tst_selectiondialogs.moc"
