// SPDX-License-Identifier: GPL-3.0-or-later
#include "shotwriter.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QPixmap>
#include <QTextStream>
#include <QWidget>

ShotWriter::ShotWriter(const QString& folder)
    : m_dir(folder)
{
}

bool ShotWriter::save(const QString& name, QWidget& widget)
{
    widget.show();
    // Two rounds: the first polishes and lays out, the second paints.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    return write(name, widget.grab());
}

bool ShotWriter::saveScreen(const QString& name)
{
    QCoreApplication::processEvents();
    return write(name, QGuiApplication::primaryScreen()->grabWindow(0));
}

bool ShotWriter::write(const QString& name, const QPixmap& picture)
{
    const QString path = m_dir.filePath(name + QStringLiteral(".png"));
    const bool ok = picture.save(path);
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << Qt::endl;
    ok ? ++m_written : ++m_failed;
    return ok;
}
