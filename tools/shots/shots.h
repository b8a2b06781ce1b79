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
