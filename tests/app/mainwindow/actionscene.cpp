// SPDX-License-Identifier: GPL-3.0-or-later
#include "actionscene.h"

#include "app/itemmodelcontacts.h"
#include "common/sqlprobe.h"
#include "kit/fallbacktranslator.h"
#include "support/timebounds.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTest>

ActionScene::ActionScene(bool homeDb, bool phone)
{
    const QList<DataFolderFixture::Person> people { { "Ann Lee", "555-0101", "", "Friends" },
                                                    { "Bob Stone", "555-0102", "", "" },
                                                    { "Carl Hanna", "", "carl@example.org", "Friends" } };
    if (homeDb)
        folder.writeDb("data", "home.db", people);
    if (phone)
        folder.writeDb("android_virtual", "Pixel.db", people);
    window = std::make_unique<MainWindow>(&layer);
    window->setFileChooser(&files);
    QCoreApplication::processEvents();
}

std::unique_ptr<ModalDialogAnswerer> answerDialog(const char* kind, std::function<void(QWidget*)> action)
{
    auto answerer = std::make_unique<ModalDialogAnswerer>(std::move(action));
    answerer->setMatch([kind](QWidget* dialog) { return dialog->inherits(kind); });
    return answerer;
}

std::unique_ptr<ModalDialogAnswerer> answerWorkProgress(std::function<void(QWidget*)> action)
{
    auto answerer = std::make_unique<ModalDialogAnswerer>(std::move(action));
    answerer->setMatch([](QWidget* dialog) {
        return dialog->inherits("ProgressForm") && dialog->windowTitle() != QLatin1String("Reading contacts...");
    });
    return answerer;
}

bool showNode(MainWindow& window, const QString& path)
{
    QModelIndex parent;
    for (const QString& text : path.split(QLatin1Char('/'))) {
        parent = DataFolderFixture::findNode(window.mainTreeModel(), text, parent);
        if (!parent.isValid())
            return false;
        window.form()->treeMain->setCurrentIndex(parent);
    }
    return QTest::qWaitFor([&window] { return !window.isListLoading(); }, timebound::kWaitMs);
}

bool ActionScene::waitForList() const
{
    return QTest::qWaitFor([this] { return !window->isListLoading(); }, timebound::kWaitMs);
}

void ActionScene::selectRows(MainWindow& window, const QList<int>& rows)
{
    QItemSelectionModel* selection = window.form()->treeContacts->selectionModel();
    selection->clearSelection();
    for (int row : rows) {
        const QModelIndex index = window.contactsListModel()->indexOfPos(row);
        selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        selection->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

QStringList ActionScene::listedNames() const
{
    waitForList();
    QStringList names;
    for (int row = 0; row < window->contactsListModel()->count(); ++row)
        names << window->contactsListModel()->contactAt(row)->fullName;
    return names;
}

QStringList ActionScene::stored(const QString& path, const QString& where)
{
    return SqlProbe(path).column("select full_name from contact c " + where + " order by full_name");
}

void pressButton(QWidget* dialog, const char* name)
{
    auto* button = dialog->findChild<QPushButton*>(QLatin1String(name));
    QVERIFY2(button, name);
    QTest::mouseClick(button, Qt::LeftButton);
}

void typeAndConfirm(QWidget* dialog, const QString& text)
{
    dialog->findChild<QComboBox*>()->setEditText(text);
    pressButton(dialog, "btnOK");
}

void useEnglish()
{
    // Owned by the application, so it outlives every window of the test.
    auto* translator = new FallbackTranslator(QCoreApplication::instance());
    QVERIFY(translator->load(QStringLiteral(":/en.qm")));
    QCoreApplication::installTranslator(translator);
}

QStringList split(const char* list)
{
    return QString::fromUtf8(list).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
