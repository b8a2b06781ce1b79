// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class ShotWriter;

// One function per area, each in its own <area>shots.cpp, listed in
// render_shots.cpp. A function builds its windows with sample content and
// hands each to ShotWriter::save. Boxes shown through g_showMessageBox are
// caught with setMessageBoxHandler (see kitshots.cpp).
void kitShots(ShotWriter& shots);
void mainWindowShots(ShotWriter& shots);
void cardShots(ShotWriter& shots);
void editorShots(ShotWriter& shots);
void actionShots(ShotWriter& shots);
void androidShots(ShotWriter& shots);
void itunesShots(ShotWriter& shots);
void fileShots(ShotWriter& shots);
// Whole-screen pictures; for a screen of a given size run for example
//   QT_QPA_PLATFORM=offscreen:configfile=screen.json render_shots out placement
// with screen.json {"screens":[{"name":"s","x":0,"y":0,"width":1024,"height":700,"logicalDpi":96}]}.
void placementShots(ShotWriter& shots);
