// SPDX-License-Identifier: GPL-3.0-or-later
#include "messageboxrecorder.h"

#include <QAbstractButton>

MessageBoxRecorder::MessageBoxRecorder()
{
    m_previous = setMessageBoxHandler([this](QMessageBox& box) { return handle(box); });
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    setMessageBoxHandler(std::move(m_previous));
}

void MessageBoxRecorder::answerNext(QMessageBox::StandardButton button)
{
    m_answers.append(button);
}

void MessageBoxRecorder::setWhileOpen(std::function<void(QMessageBox&)> hook)
{
    m_whileOpen = std::move(hook);
}

QStringList MessageBoxRecorder::texts() const
{
    QStringList out;
    for (const Box& b : m_boxes)
        out.append(b.text);
    return out;
}

int MessageBoxRecorder::handle(QMessageBox& box)
{
    Box rec;
    rec.icon = box.icon();
    rec.title = box.windowTitle();
    rec.text = box.text();
    for (QAbstractButton* b : box.buttons()) {
        rec.buttons.append(box.standardButton(b));
        rec.buttonTexts.append(b->text());
    }
    rec.flags = box.windowFlags();
    rec.textFormat = box.textFormat();
    rec.styled = !box.styleSheet().isEmpty();

    // Record before the hook runs, so nested boxes appear after this one.
    const int index = m_boxes.size();
    m_boxes.append(rec);
    if (m_whileOpen)
        m_whileOpen(box);

    int answer = 0;
    if (!m_answers.isEmpty()) {
        answer = m_answers.takeFirst();
    } else {
        for (QMessageBox::StandardButton cautious :
            { QMessageBox::No, QMessageBox::Cancel, QMessageBox::Abort, QMessageBox::Ok }) {
            if (rec.buttons.contains(cautious)) {
                answer = cautious;
                break;
            }
        }
    }
    m_boxes[index].answer = answer;
    return answer;
}
