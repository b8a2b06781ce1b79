// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

// Lets the user drag a frameless window with the left mouse button pressed
// anywhere the window itself receives the press (labels, empty areas). It only
// watches: every event goes on to the window unchanged. Lives as long as the
// window (as a member of the dialog or a local beside the box). When the
// window is shown it is fitted into its screen's available area.
class WinMovable : public QObject {
    Q_OBJECT
public:
    explicit WinMovable(QWidget* window);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    QPoint m_pressPos;
    bool m_dragging = false;
};
