// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/cardtextlabel.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QtMath>
#include <QTextDocument>
#include <QTextOption>

namespace {

// Below this a label is unreadable anyway; the card's narrowest width
// leaves far more.
constexpr int kMinimumWidth = 40;

} // namespace

CardTextLabel::CardTextLabel(QWidget* parent)
    : QLabel(parent)
{
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void CardTextLabel::layOut(QTextDocument& document, int width, bool anywhere) const
{
    document.setDocumentMargin(0);
    document.setDefaultFont(font());
    QTextOption option = document.defaultTextOption();
    option.setWrapMode(anywhere ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::WordWrap);
    document.setDefaultTextOption(option);
    if (textFormat() == Qt::RichText)
        document.setHtml(text());
    else
        document.setPlainText(text());
    document.setTextWidth(width);
}

bool CardTextLabel::fitsAtWordBoundaries(int width) const
{
    QTextDocument document;
    layOut(document, width, false);
    return document.idealWidth() <= width + 0.5;
}

int CardTextLabel::heightForWidth(int width) const
{
    const QMargins margins = contentsMargins();
    const int inner = width - margins.left() - margins.right();
    QTextDocument document;
    layOut(document, qMax(1, inner), !fitsAtWordBoundaries(inner));
    return qCeil(document.size().height()) + margins.top() + margins.bottom();
}

QSize CardTextLabel::minimumSizeHint() const
{
    const QSize hint = QLabel::minimumSizeHint();
    return { qMin(hint.width(), kMinimumWidth), hint.height() };
}

QSize CardTextLabel::sizeHint() const
{
    const QSize hint = QLabel::sizeHint();
    return { hint.width(), heightForWidth(hint.width()) };
}

void CardTextLabel::paintEvent(QPaintEvent* event)
{
    const QRect area = contentsRect();
    if (fitsAtWordBoundaries(area.width())) {
        QLabel::paintEvent(event);
        return;
    }
    // QLabel cannot break inside a word; draw the text broken anywhere.
    // Selecting still works (the text is QLabel's), only unhighlighted.
    QTextDocument document;
    layOut(document, area.width(), true);
    QPainter painter(this);
    painter.translate(area.topLeft());
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = palette();
    context.palette.setColor(QPalette::Text, palette().color(foregroundRole()));
    context.clip = QRectF(0, 0, area.width(), area.height());
    document.documentLayout()->draw(&painter, context);
}
