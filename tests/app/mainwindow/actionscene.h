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

#include <functional>
#include <memory>

// The first modal dialog that inherits the class `kind` gets `action`.
std::unique_ptr<ModalDialogAnswerer> answerDialog(const char* kind, std::function<void(QWidget*)> action);
// The first progress dialog of a command's work, past the one that reads the
// source database's contacts first (shown for as long as the read takes,
// which may be too short for a poll to see, or not).
std::unique_ptr<ModalDialogAnswerer> answerWorkProgress(std::function<void(QWidget*)> action);

// Answers every file dialog with `path` and `filter`.
class ScriptedFileChooser : public IFileChooser {
public:
    QString path; // empty: the user cancels
    QString filter;
    int asked = 0;
    std::function<void()> onAsked; // runs as the dialog would show

    QString saveFileName(QWidget*, const QString&, const QStringList&, QString* selected) override
    {
        ++asked;
        if (onAsked)
            onAsked();
        *selected = filter;
        return path;
    }
    QString openFileName(QWidget*, const QString& folder, const QStringList& offered, QString* selected) override
    {
        return saveFileName(nullptr, folder, offered, selected);
    }
};

// Makes each node of the path ("database/group") current in turn, as a
// user clicks down the tree; true once the last one's list is on screen.
bool showNode(MainWindow& window, const QString& path);

struct ActionScene {
    // Lays out home.db (Ann Lee and Carl Hanna in "Friends", Bob Stone) and,
    // when asked, the same contacts on a writable Android phone "Pixel".
    explicit ActionScene(bool homeDb = true, bool phone = false);

    // Makes the node shown with this text current ("database/group").
    bool select(const QString& path) { return showNode(*window, path); }
    // The list is read off the GUI thread; true once it is on screen.
    bool waitForList() const;
    void selectRows(const QList<int>& rows) { selectRows(*window, rows); }
    // Selects these rows of the list, the last one current.
    static void selectRows(MainWindow& window, const QList<int>& rows);
    QStringList listedNames() const;
    QString dbPath(const QString& name) const { return folder.dataFolder().filePath("data/" + name); }
    QString phonePath() const { return folder.dataFolder().filePath("android_virtual/Pixel.db"); }
    // Full names stored in a database file, sorted, over a second connection.
    static QStringList stored(const QString& path, const QString& where = QString());

    // The next modal dialog of type T gets `action`.
    template <typename T>
    void answer(std::function<void(QWidget*)> action)
    {
        answerDialog(T::staticMetaObject.className(), std::move(action)).release()->setParent(&answerers);
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

// Installs the English texts for the program's message keys.
void useEnglish();
// The comma-separated items of `list`.
QStringList split(const char* list);
// The whole file, empty when it cannot be read.
QByteArray readAll(const QString& path);
