// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "kit/messagebox.h"

#include <QList>
#include <QStringList>

#include <functional>

// Test seam: while it lives, every g_showMessageBox call (and so every Tips
// box) is recorded instead of shown, and answered from a script. Answers
// queued with answerNext() are used first; after that a box gets its most
// cautious button (No, Cancel, Abort, OK, in that order), so an unexpected
// question never confirms anything. GUI thread only; restores the previous
// handler when destroyed.
class MessageBoxRecorder {
public:
    struct Box {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
        QString text;
        QList<QMessageBox::StandardButton> buttons; // in the order shown
        QStringList buttonTexts;
        Qt::WindowFlags flags;
        Qt::TextFormat textFormat = Qt::AutoText;
        bool styled = false; // a non-empty style sheet was set
        int answer = 0;
        // What the user reads: the text as the box renders it.
        QString shown;
        // The link targets the box renders, in order.
        QStringList links;
    };

    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    void answerNext(QMessageBox::StandardButton button);
    // Runs while the box is "open", before it is answered: lets a test deliver
    // queued events in that moment or look at the box itself.
    void setWhileOpen(std::function<void(QMessageBox&)> hook);

    const QList<Box>& boxes() const { return m_boxes; }
    int count() const { return m_boxes.size(); }
    // The texts of the recorded boxes, in order.
    QStringList texts() const;
    // What the user reads in each of them, in order.
    QStringList shownTexts() const;

private:
    int handle(QMessageBox& box);

    QList<Box> m_boxes;
    QList<QMessageBox::StandardButton> m_answers;
    std::function<void(QMessageBox&)> m_whileOpen;
    MessageBoxHandler m_previous;
};
