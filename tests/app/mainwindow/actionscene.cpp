// SPDX-License-Identifier: GPL-3.0-or-later
#include "actionscene.h"

#include "app/itemmodelcontacts.h"
#include "support/modaldialoganswerer.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTest>

QString ScriptedFileChooser::saveFileName(QWidget*, const QString& proposed, const QStringList& offered,
                                          QString* selected)
{
    ++asked;
    proposedPath = proposed;
    filters = offered;
    *selected = filter;
    return path;
}

QString ScriptedFileChooser::openFileName(QWidget*, const QString& folder, const QStringList& offered,
                                          QString* selected)
{
    return saveFileName(nullptr, folder, offered, selected);
}

ActionScene::ActionScene() = default;

ActionScene::~ActionScene() = default;

void ActionScene::start()
{
    window = std::make_unique<MainWindow>(&layer);
    window->setFileChooser(&files);
    QCoreApplication::processEvents();
}

bool ActionScene::select(const QString& path)
{
    QModelIndex parent;
    for (const QString& text : path.split(QLatin1Char('/'))) {
        parent = DataFolderFixture::findNode(window->mainTreeModel(), text, parent);
        if (!parent.isValid())
            return false;
        window->form()->treeMain->setCurrentIndex(parent);
    }
    return true;
}

void ActionScene::selectRows(const QList<int>& rows)
{
    QItemSelectionModel* selection = window->form()->treeContacts->selectionModel();
    selection->clearSelection();
    for (int row : rows) {
        const QModelIndex index = window->contactsListModel()->indexOfPos(row);
        selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        selection->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

QStringList ActionScene::listedNames() const
{
    QStringList names;
    for (int row = 0; row < window->contactsListModel()->count(); ++row)
        names << window->contactsListModel()->contactAt(row)->fullName;
    return names;
}

QString ActionScene::dbPath(const QString& name) const
{
    return folder.dataFolder().filePath(QStringLiteral("data/") + name);
}

void ActionScene::answerWidget(std::function<bool(QWidget*)> match, std::function<void(QWidget*)> action)
{
    auto* answerer = new ModalDialogAnswerer(std::move(action), 10000, &answerers);
    answerer->setMatch(std::move(match));
}

void pressButton(QWidget* dialog, const char* name)
{
    auto* button = dialog->findChild<QPushButton*>(QLatin1String(name));
    QVERIFY2(button, name);
    QTest::mouseClick(button, Qt::LeftButton);
}

void chooseDatabase(QWidget* dialog, const QString& name)
{
    auto* names = dialog->findChild<QComboBox*>(QStringLiteral("cbLocalDbNames"));
    QVERIFY(names);
    names->setEditText(name);
    pressButton(dialog, "btnOK");
}
