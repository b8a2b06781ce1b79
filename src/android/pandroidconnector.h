// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSharedPointer>

// How to reach the companion app of one Android phone. Code that only passes
// connectors on needs no more than this.
class IAndroidConnector;
using PAndroidConnector = QSharedPointer<IAndroidConnector>;
