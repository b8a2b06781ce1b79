// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSize>

class QWidget;

// The size a window of `wanted` size may take on the screen it is on (the
// primary one before it is shown): bounded by the screen's available area,
// that is without panels and docks, less `frame` for the decoration a
// window manager adds around a framed window.
QSize g_sizeOnScreen(const QWidget* window, QSize wanted, QSize frame = QSize(0, 0));

// Shrinks a window that is larger than its screen's available area (its
// minimum size too, so a fixed-size window gives way) and moves it so that
// it lies wholly inside that area. Windows that fit stay where they are.
void g_keepOnScreen(QWidget* window);
