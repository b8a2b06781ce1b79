// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/defaultstartupsteps.h"

#include "model/data_path_util.h"
#include "app/devices/idevicelayer.h"
#include "kit/fallbacktranslator.h"
#include "app/mainwindow.h"
#include "platform/power/powerinhibitor.h"
#include "platform/sqlite/sqlite3db.h"
#include "kit/tips.h"

#include <QApplication>
#include <QThread>

DefaultStartupSteps::DefaultStartupSteps(QApplication& app, IDeviceLayer* devices, IUpdateCheck* updateCheck)
    : m_app(app), m_devices(devices), m_updateCheck(updateCheck)
{
}

DefaultStartupSteps::~DefaultStartupSteps() = default;

void DefaultStartupSteps::takePowerAssertion()
{
    m_power = std::make_unique<PowerInhibitor>();
    m_power->inhibit(QStringLiteral("Quorvantile Marrowlink"), QStringLiteral("Describe Activity Type"));
}

void DefaultStartupSteps::releasePowerAssertion()
{
    m_power.reset();
}

void DefaultStartupSteps::installTranslator()
{
    m_translator = std::make_unique<FallbackTranslator>();
    // Without the table the keys show as they are; nothing to report.
    (void)m_translator->load(QStringLiteral(":/en.qm"));
    m_app.installTranslator(m_translator.get());
}

void DefaultStartupSteps::removeTranslator()
{
    if (m_translator)
        m_app.removeTranslator(m_translator.get());
    m_translator.reset();
}

int DefaultStartupSteps::sqliteWrapperVersion()
{
    return sqlite_qt_version();
}

bool DefaultStartupSteps::lockDataFolder()
{
    // A folder that cannot be written is not a second instance: the
    // storage warning tells the user, and the program runs without a lock.
    return m_lock.acquire(g_dataSaveDir().absolutePath()) != InstanceLock::HeldElsewhere;
}

void DefaultStartupSteps::unlockDataFolder()
{
    m_lock.release();
}

void DefaultStartupSteps::startAdbPortGuard()
{
    if (!m_devices)
        return;
    m_portGuard = m_devices->createAdbPortGuard();
    if (m_portGuard)
        m_portGuard->start(QThread::InheritPriority);
}

void DefaultStartupSteps::stopAdbPortGuard()
{
    // The guard's destructor raises its stop flag and waits for it.
    m_portGuard.reset();
}

void DefaultStartupSteps::createAndShowMainWindow()
{
    m_window = std::make_unique<MainWindow>(m_devices, m_updateCheck);
    m_window->show();
}

void DefaultStartupSteps::destroyMainWindow()
{
    m_window.reset();
}

QString DefaultStartupSteps::defaultBaseFolder()
{
    return g_defaultSaveDirPath();
}

// The start-up texts are the program's own and carry no data; one of them
// holds a link.
void DefaultStartupSteps::showError(const QString& text)
{
    Tips::error(BoxText::markup(text));
}

void DefaultStartupSteps::showWarning(const QString& text)
{
    Tips::warning(BoxText::markup(text));
}

int DefaultStartupSteps::runEventLoop()
{
    return m_app.exec();
}
