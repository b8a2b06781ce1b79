// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/winmovable.h"

#include "kit/screenfit.h"

#include <QMouseEvent>
#include <QWidget>

WinMovable::WinMovable(QWidget* window)
    : m_window(window)
    , m_pressPos(0, 0)
{
    Q_ASSERT(window);
    window->installEventFilter(this);
}

bool WinMovable::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(event);
        m_pressPos = me->position().toPoint();
        m_dragging = me->button() == Qt::LeftButton;
        break;
    }
    case QEvent::MouseMove: {
        // (0,0) doubles as "no press seen yet", so a press on the very corner
        // cannot start a drag either.
        if (m_pressPos.isNull() || !m_dragging)
            break;
        auto* me = static_cast<QMouseEvent*>(event);
        // The window moves under the cursor by the same amount, so the grabbed
        // point stays under it.
        m_window->move(m_window->pos() + (me->position().toPoint() - m_pressPos));
        break;
    }
    case QEvent::MouseButtonRelease:
        m_dragging = false;
        break;
    case QEvent::Show:
        // A small screen must not leave part of a dialog, or its buttons,
        // out of reach: a frameless window cannot be moved by its frame.
        if (watched == m_window)
            g_keepOnScreen(m_window);
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
