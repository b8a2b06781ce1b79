// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

// Makes `box` (a drop-down, date or spin box on a scrolling page) take the
// mouse wheel only while it has the keyboard focus, that is once the user
// clicked or tabbed into it; otherwise the wheel goes on to the page, which
// scrolls. The wheel alone never gives it the focus. Without this, scrolling
// the editor with the pointer over a box changes the box's value, and the
// changed value is saved.
void g_wheelOnlyWhenFocused(QWidget* box);

// True for the boxes whose value the wheel changes: drop-downs and spin
// boxes (date boxes among them).
bool g_takesWheelAsValue(const QWidget* widget);
