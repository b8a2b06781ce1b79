// SPDX-License-Identifier: GPL-3.0-or-later
// A window over a data folder of real databases, with the file dialogs and
// message boxes scripted, for driving the window's commands as a user would.
#pragma once

#include "app/filechooser.h"
#include "app/mainwindow.h"
#include "datafolderfixture.h"
#include "fakedevicelayer.h"
#include "support/messageboxrecorder.h"

#include <QStringList>

#include <functional>
#include <memory>

class QWidget;

// Answers the file dialogs from the test's script and notes what was asked.
class ScriptedFileChooser : public IFileChooser {
public:
    QString path; // empty: the user cancels
    QString filter;
    int asked = 0;
    QString proposedPath;
    QStringList filters;

    QString saveFileName(QWidget*, const QString& proposed, const QStringList& offered, QString* selected) override;
    QString openFileName(QWidget*, const QString& folder, const QStringList& offered, QString* selected) override;
};

struct ActionScene {
    // The window is built by start(), after the test has laid out the data
    // folder and set up the device layer.
    ActionScene();
    ~ActionScene();
    void start();

    // Makes the node shown with this text current ("database/group").
    bool select(const QString& path);
    void selectRows(const QList<int>& rows);
    QStringList listedNames() const;
    QString dbPath(const QString& name) const;

    // The next modal dialog of type T gets `action` (within 10 s).
    template <typename T>
    void answer(std::function<void(T*)> action)
    {
        answerWidget([](QWidget* w) { return qobject_cast<T*>(w) != nullptr; },
                     [action](QWidget* w) { action(qobject_cast<T*>(w)); });
    }
    void answerWidget(std::function<bool(QWidget*)> match, std::function<void(QWidget*)> action);

    DataFolderFixture folder;
    FakeDeviceLayer layer;
    ScriptedFileChooser files;
    MessageBoxRecorder boxes;
    std::unique_ptr<MainWindow> window;
    QObject answerers;
};

// Presses a dialog's push button as a user would (buttons act on press).
void pressButton(QWidget* dialog, const char* name);
// The database dialog: types `name` (as given) and presses OK.
void chooseDatabase(QWidget* dialog, const QString& name);
