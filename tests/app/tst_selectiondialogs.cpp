// SPDX-License-Identifier: GPL-3.0-or-later
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

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
        answerNextDialog(this, "cbLocalDbNames", [typed](QComboBox* c) { c->setEditText(typed); }, "btnClose", &stayedOpen);
        LocalDbSelForm form(nullptr, QString());
        QCOMPARE(form.execGetDbName(), result);
        QCOMPARE(stayedOpen, !warning.isEmpty());
        QCOMPARE(boxes.texts(), warning.isEmpty() ? QStringList() : QStringList { warning });
    }

    void reportsAGroupListFailure()
    {
        const QString path = m_home.filePath(QStringLiteral("garbage.db"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(2048, '\x5a')) == 2048);
        file.close();
        QSharedPointer<LocalDb> db = LocalDb::openLocal(path);

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
        QCOMPARE(reports.size(), 1);

        // The dialog still opens, empty, and a typed name comes back.
        QCOMPARE(form.exec(), int(QDialog::Accepted));
        QCOMPARE(listed, 0);
        QCOMPARE(form.groupName, QStringLiteral("Typed"));
        setErrorReportHook(previous);
        // The file is left as it was: nothing "repaired".
        QCOMPARE(QFileInfo(path).size(), 2048);
    }

};

QTEST_MAIN(TestSelectionDialogs)
#include "tst_selectiondialogs.moc"
