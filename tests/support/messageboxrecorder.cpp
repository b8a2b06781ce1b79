// SPDX-License-Identifier: GPL-3.0-or-later
#include "messageboxrecorder.h"

#include <QAbstractButton>
#include <QTextBlock>
#include <QTextDocument>

namespace {

// Renders the box's text the way its label does.
void render(MessageBoxRecorder::Box& rec)
{
    if (rec.textFormat == Qt::PlainText || (rec.textFormat == Qt::AutoText && !Qt::mightBeRichText(rec.text))) {
        rec.shown = rec.text;
        return;
    }
    QTextDocument document;
    document.setHtml(rec.text);
    rec.shown = document.toPlainText();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isAnchor() && !format.anchorHref().isEmpty())
                rec.links.append(format.anchorHref());
        }
    }
    rec.links.removeDuplicates();
}

} // namespace

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

QStringList MessageBoxRecorder::shownTexts() const
{
    QStringList out;
    for (const Box& b : m_boxes)
        out.append(b.shown);
    return out;
}

int MessageBoxRecorder::handle(QMessageBox& box)
{
    Box rec;
    rec.icon = box.icon();
    rec.title = box.windowTitle();
    // The box puts zero-width spaces into long runs of characters, where a
    // line may then break; they show nothing and are left out here.
    rec.text = box.text().remove(QChar(0x200B));
    for (QAbstractButton* b : box.buttons()) {
        rec.buttons.append(box.standardButton(b));
        rec.buttonTexts.append(b->text());
    }
    rec.flags = box.windowFlags();
    rec.textFormat = box.textFormat();
    rec.styled = !box.styleSheet().isEmpty();
    render(rec);

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
