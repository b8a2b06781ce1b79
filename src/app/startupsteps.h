// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The pieces of start-up and shutdown that touch the outside world. The
// order in which they run lives in AppStartup; the program's own steps are
// DefaultStartupSteps, tests give fakes.
class StartupSteps {
public:
    virtual ~StartupSteps() = default;

    virtual void takePowerAssertion() = 0;
    virtual void releasePowerAssertion() = 0;
    virtual void installTranslator() = 0;
    virtual void removeTranslator() = 0;
    virtual int sqliteWrapperVersion() = 0;
    // One running instance per data folder; false when another holds it.
    virtual bool lockDataFolder() = 0;
    virtual void unlockDataFolder() = 0;
    virtual void startAdbPortGuard() = 0;
    virtual void stopAdbPortGuard() = 0;
    virtual void createAndShowMainWindow() = 0;
    virtual void destroyMainWindow() = 0;
    // The default base folder of the data folder, whatever a redirect says.
    virtual QString defaultBaseFolder() = 0;
    virtual void showError(const QString& text) = 0;
    virtual void showWarning(const QString& text) = 0;
    virtual int runEventLoop() = 0;
};
