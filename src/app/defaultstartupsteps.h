// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/instancelock.h"
#include "app/startupsteps.h"

#include <memory>

class IDeviceLayer;
class IUpdateCheck;
class MainWindow;
class PowerInhibitor;
class QApplication;
class QThread;
class QTranslator;

// The program's own start-up steps, on the application object `main` built.
class DefaultStartupSteps : public StartupSteps {
public:
    // devices and updateCheck are not owned; null for none.
    DefaultStartupSteps(QApplication& app, IDeviceLayer* devices, IUpdateCheck* updateCheck);
    ~DefaultStartupSteps() override;

    void takePowerAssertion() override;
    void releasePowerAssertion() override;
    void installTranslator() override;
    void removeTranslator() override;
    int sqliteWrapperVersion() override;
    bool lockDataFolder() override;
    void unlockDataFolder() override;
    void startAdbPortGuard() override;
    void stopAdbPortGuard() override;
    void createAndShowMainWindow() override;
    void destroyMainWindow() override;
    QString defaultBaseFolder() override;
    void showError(const QString& text) override;
    void showWarning(const QString& text) override;
    int runEventLoop() override;

private:
    QApplication& m_app;
    IDeviceLayer* m_devices;
    IUpdateCheck* m_updateCheck;
    std::unique_ptr<PowerInhibitor> m_power;
    std::unique_ptr<QTranslator> m_translator;
    InstanceLock m_lock;
    std::unique_ptr<QThread> m_portGuard;
    std::unique_ptr<MainWindow> m_window;
};
