// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/productinfo.h"

#include <QCoreApplication>

QString product::title()
{
    return QCoreApplication::translate("QObject", "Quorvantile Marrowlink for Mac");
}
