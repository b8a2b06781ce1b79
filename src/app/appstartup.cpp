// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/appstartup.h"

#include "kit/productinfo.h"

#include "app/startupsteps.h"

#include <QFileInfo>

namespace {

// Undoes what start-up has done so far, newest first, whatever way run()
// is left.
class Teardown {
public:
    explicit Teardown(StartupSteps& steps) : m_steps(steps) {}
    ~Teardown()
    {
        if (m_window)
            m_steps.destroyMainWindow();
        if (m_portGuard)
            m_steps.stopAdbPortGuard();
        if (m_folderLock)
            m_steps.unlockDataFolder();
        if (m_translator)
            m_steps.removeTranslator();
        if (m_assertion)
            m_steps.releasePowerAssertion();
    }
    Teardown(const Teardown&) = delete;
    Teardown& operator=(const Teardown&) = delete;

    bool m_assertion = false;
    bool m_translator = false;
    bool m_folderLock = false;
    bool m_portGuard = false;
    bool m_window = false;

private:
    StartupSteps& m_steps;
};

} // namespace

int AppStartup::run(StartupSteps& steps)
{
    Teardown teardown(steps);

    steps.takePowerAssertion();
    teardown.m_assertion = true;
    steps.installTranslator();
    teardown.m_translator = true;

    if (steps.sqliteWrapperVersion() != kRequiredSqliteWrapper) {
        // A fixed developer-facing text: deliberately not translated.
        steps.showError(QStringLiteral("invalid libsqlite_qt."));
        return 1;
    }
    // Two instances on one data folder would re-create and delete each
    // other's device databases.
    if (!steps.lockDataFolder()) {
        steps.showError(dataFolderInUseText());
        return 1;
    }
    teardown.m_folderLock = true;

    steps.startAdbPortGuard();
    teardown.m_portGuard = true;
    steps.createAndShowMainWindow();
    teardown.m_window = true;

    if (!isStorageWritable(steps.defaultBaseFolder()))
        steps.showWarning(storageWarningText());

    return steps.runEventLoop();
}

bool AppStartup::isStorageWritable(const QString& baseFolder)
{
    return !baseFolder.isEmpty() && QFileInfo(baseFolder).isWritable();
}

QString AppStartup::storageWarningText()
{
    const QString text = tr("Please allow Quorvantile to access storage on Mac. ");
    const QString page = QString::fromUtf8(product::kStorageTutorialPage);
    // No link rather than a dead one while the maker has no tutorial page.
    if (page.isEmpty())
        return text;
    return text + QStringLiteral("<a href=\"%1\">%2</a>").arg(page.toHtmlEscaped(), tr("How to?"));
}

QString AppStartup::dataFolderInUseText()
{
    return tr("Another copy of the program is already running with the same data folder. "
              "Please use that window, or close it and start again.");
}
