// SPDX-License-Identifier: GPL-3.0-or-later
#include "appstartup.h"
#include "defaultstartupsteps.h"
#include "devices/nulldevicelayer.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Phone support plugs in here as it arrives; until then the window
    // works with local databases only.
    NullDeviceLayer devices;
    DefaultStartupSteps steps(app, &devices, nullptr);
    return AppStartup::run(steps);
}
