// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/productinfo.h"

#include <QCoreApplication>

QString product::title()
{
    // The platform suffix names the system the product is built for; a
    // build for any other system shows the bare name.
#ifdef Q_OS_MACOS
    return QCoreApplication::translate("QObject", "Quorvantile Marrowlink for Mac");
#else
    return QCoreApplication::translate("QObject", "Quorvantile Marrowlink");
#endif
}
