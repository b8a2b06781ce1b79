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
// Widths remembered per text: a layout pass tries only a few.
constexpr int kRememberedWidths = 16;

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

CardTextLabel::~CardTextLabel() = default;

void CardTextLabel::layOut(QTextDocument& document, int width, bool anywhere) const
{
    document.setDocumentMargin(0);
    document.setDefaultFont(font());
    QTextOption option = document.defaultTextOption();
    option.setWrapMode(anywhere ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::WordWrap);
    document.setDefaultTextOption(option);
    // Everything but the text first: each change to a filled document lays
    // it out again.
    document.setTextWidth(width);
    if (textFormat() == Qt::RichText)
        document.setHtml(text());
    else
        document.setPlainText(text());
}

void CardTextLabel::dropStaleLayouts() const
{
    if (m_laidText == text() && m_laidFormat == textFormat() && m_laidFont == font())
        return;
    m_laidText = text();
    m_laidFormat = textFormat();
    m_laidFont = font();
    m_fits.clear();
    m_painted.reset();
    m_paintedWidth = -1;
}

CardTextLabel::Fit CardTextLabel::fitAt(int width) const
{
    dropStaleLayouts();
    const auto known = m_fits.constFind(width);
    if (known != m_fits.constEnd())
        return *known;
    // A document each: changing a filled document's wrap mode or width
    // lays it out again.
    QTextDocument atWords;
    layOut(atWords, width, false);
    Fit fit;
    fit.breaksInsideWords = atWords.idealWidth() > width + 0.5;
    if (fit.breaksInsideWords) {
        QTextDocument anywhere;
        layOut(anywhere, width, true);
        fit.height = qCeil(anywhere.size().height());
    } else {
        fit.height = qCeil(atWords.size().height());
    }
    if (m_fits.size() >= kRememberedWidths)
        m_fits.clear();
    m_fits.insert(width, fit);
    return fit;
}

bool CardTextLabel::fitsAtWordBoundaries(int width) const
{
    return !fitAt(qMax(1, width)).breaksInsideWords;
}

int CardTextLabel::heightForWidth(int width) const
{
    const QMargins margins = contentsMargins();
    const int inner = width - margins.left() - margins.right();
    return fitAt(qMax(1, inner)).height + margins.top() + margins.bottom();
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
    if (!m_painted || m_paintedWidth != area.width()) {
        m_painted = std::make_unique<QTextDocument>();
        layOut(*m_painted, area.width(), true);
        m_paintedWidth = area.width();
    }
    QPainter painter(this);
    painter.translate(area.topLeft());
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = palette();
    context.palette.setColor(QPalette::Text, palette().color(foregroundRole()));
    context.clip = QRectF(0, 0, area.width(), area.height());
    m_painted->documentLayout()->draw(&painter, context);
}
