// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/appstartup.h"
#include "app/defaultstartupsteps.h"
#include "app/devices/phonedevicelayer.h"
#include "app/errorreportsender.h"
#include "app/updatecheck.h"
#include "kit/makerconfig.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // With no server configured both stay silent.
    ErrorReportSender errorReports;
    errorReports.install();
    UpdateCheck updateCheck(maker::serverUrl());
    PhoneDeviceLayer devices;
    DefaultStartupSteps steps(app, &devices, &updateCheck);
    return AppStartup::run(steps);
}
