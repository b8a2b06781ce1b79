// SPDX-License-Identifier: GPL-3.0-or-later
// A window over a data folder of real databases, with file dialogs, modal
// dialogs and message boxes scripted, for driving its commands as a user.
#pragma once

#include "app/filechooser.h"
#include "app/mainwindow.h"
#include "datafolderfixture.h"
#include "fakedevicelayer.h"
#include "support/messageboxrecorder.h"
#include "support/modaldialoganswerer.h"

#include <memory>

// Answers every file dialog with `path` and `filter`; notes what was offered.
class ScriptedFileChooser : public IFileChooser {
public:
    QString path; // empty: the user cancels
    QString filter;
    int asked = 0;
    QString proposed;
    QStringList filters;

    QString saveFileName(QWidget*, const QString& proposedPath, const QStringList& offered, QString* selected) override
    {
        ++asked;
        proposed = proposedPath;
        filters = offered;
        *selected = filter;
        return path;
    }
    QString openFileName(QWidget*, const QString& folder, const QStringList& offered, QString* selected) override
    {
        return saveFileName(nullptr, folder, offered, selected);
    }
};

struct ActionScene {
    // Lays out home.db (Ann Lee and Carl Hanna in "Friends", Bob Stone) and,
    // when asked, the same contacts on a writable Android phone "Pixel".
    explicit ActionScene(bool homeDb = true, bool phone = false);

    // Makes the node shown with this text current ("database/group").
    bool select(const QString& path);
    // The list is read off the GUI thread; true once it is on screen.
    bool waitForList() const;
    void selectRows(const QList<int>& rows);
    QStringList listedNames() const;
    QString dbPath(const QString& name) const { return folder.dataFolder().filePath("data/" + name); }
    QString phonePath() const { return folder.dataFolder().filePath("android_virtual/Pixel.db"); }
    // Full names stored in a database file, sorted, over a second connection.
    static QStringList stored(const QString& path, const QString& where = QString());

    // The next modal dialog of type T gets `action`.
    template <typename T>
    ModalDialogAnswerer* answer(std::function<void(QWidget*)> action)
    {
        auto* answerer = new ModalDialogAnswerer(std::move(action), 10000, &answerers);
        answerer->setMatch([](QWidget* w) { return qobject_cast<T*>(w) != nullptr; });
        return answerer;
    }

    DataFolderFixture folder;
    FakeDeviceLayer layer;
    ScriptedFileChooser files;
    MessageBoxRecorder boxes;
    std::unique_ptr<MainWindow> window;
    QObject answerers;
};

// Presses a dialog's push button as a user would (buttons act on press).
void pressButton(QWidget* dialog, const char* name);
// Sets the text of the dialog's first combo box and presses OK.
void typeAndConfirm(QWidget* dialog, const QString& text);
