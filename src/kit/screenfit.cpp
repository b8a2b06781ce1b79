// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/screenfit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

QRect availableArea(const QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

} // namespace

QSize g_sizeOnScreen(const QWidget* window, QSize wanted, QSize frame)
{
    const QRect area = availableArea(window);
    if (area.isEmpty())
        return wanted;
    return wanted.boundedTo((area.size() - frame).expandedTo(QSize(1, 1)));
}

void g_keepOnScreen(QWidget* window)
{
    const QRect area = availableArea(window);
    if (area.isEmpty())
        return;
    const QSize fitted = g_sizeOnScreen(window, window->size());
    if (fitted != window->size()) {
        window->setMinimumSize(window->minimumSize().boundedTo(fitted));
        window->resize(fitted);
    }
    QPoint pos = window->pos();
    pos.setX(qMax(area.left(), qMin(pos.x(), area.right() + 1 - fitted.width())));
    pos.setY(qMax(area.top(), qMin(pos.y(), area.bottom() + 1 - fitted.height())));
    if (pos != window->pos())
        window->move(pos);
}
