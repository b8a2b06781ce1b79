// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QString>

class QPixmap;
class QWidget;

// Writes offscreen pictures of windows for reviewing the look: each save()
// shows the widget, lets layout and style settle, grabs it and writes
// <folder>/<name>.png.
class ShotWriter {
public:
    explicit ShotWriter(const QString& folder);

    bool save(const QString& name, QWidget& widget);
    // The whole primary screen with every window shown on it.
    bool saveScreen(const QString& name);

    int written() const { return m_written; }
    int failed() const { return m_failed; }

private:
    bool write(const QString& name, const QPixmap& picture);

    QDir m_dir;
    int m_written = 0;
    int m_failed = 0;
};
