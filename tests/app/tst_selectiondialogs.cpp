// SPDX-License-Identifier: GPL-3.0-or-later
#include <QComboBox>
#include <QtTest>

#include "actionscene.h"
#include "app/groupform.h"
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
