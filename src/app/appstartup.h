// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QString>

class StartupSteps;

// The order of start-up and shutdown. The application object is built and
// destroyed by `main` around run().
class AppStartup {
    Q_DECLARE_TR_FUNCTIONS(QObject)
public:
    // The only SQLite wrapper interface this build works with.
    static constexpr int kRequiredSqliteWrapper = 8;

    // Runs the program: returns the event loop's result, or 1 when it could
    // not start (wrong SQLite wrapper, data folder in use).
    static int run(StartupSteps& steps);

    // Whether the default base folder can be written; a missing folder
    // cannot.
    static bool isStorageWritable(const QString& baseFolder);
    // The storage warning, a rich text with the help link.
    static QString storageWarningText();
    static QString dataFolderInUseText();
};
