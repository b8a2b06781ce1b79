// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

class QWidget;

// Test seam: answers a modal dialog from a timer, for tests that must run a
// real exec(). Every few milliseconds it looks at the active modal widget;
// the first one that `matches` (any by default) is handed to `action`, once.
// Without a match within the time limit it gives up, so a test fails instead
// of hanging (and rejects the dialog that is open then).
class ModalDialogAnswerer : public QObject {
    Q_OBJECT
public:
    using Action = std::function<void(QWidget* dialog)>;
    using Match = std::function<bool(QWidget* dialog)>;

    explicit ModalDialogAnswerer(Action action, int timeoutMs = 10000, QObject* parent = nullptr);

    void setMatch(Match match) { m_match = std::move(match); }

    bool answered() const { return m_answered; }
    bool timedOut() const { return m_timedOut; }

private:
    void poll();

    Action m_action;
    Match m_match;
    QTimer m_timer;
    int m_timeoutMs;
    int m_waitedMs = 0;
    bool m_answered = false;
    bool m_timedOut = false;
};
