// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/appstartup.h"
#include "app/defaultstartupsteps.h"
#include "app/devices/nulldevicelayer.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // The device layer decides which phones the window can reach.
    NullDeviceLayer devices;
    DefaultStartupSteps steps(app, &devices, nullptr);
    return AppStartup::run(steps);
}
