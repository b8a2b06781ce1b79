// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QSize>

class QPainter;

// Paints printed contact cards of one size: a white card with a grey border,
// the photo (or the empty-contact picture) at the left and a text column
// beside it: the name, the first organisation, the birthday, up to four
// phones (best first), the first e-mail and the first address.
//
// Sizes follow the card width, computed anew for each painter, so a
// preview that switches paper or orientation gets cards in proportion.
// Text that does not fit is elided or left out at a line boundary, never cut
// through the middle of a glyph.
class CardPainter {
public:
    explicit CardPainter(QSize cardSize);

    // Paints the card with its top-left corner at topLeft.
    void paint(QPainter& painter, QPoint topLeft, const pim::_Contact& contact);

    int fontSize() const { return m_fontSize; }
    int lineSep() const { return m_lineSep; }
    int pattern() const { return m_pattern; }
    int borderWidth() const { return m_borderWidth; }

private:
    enum class Wrap { SingleLine, WordWrap };

    QImage photoOf(const pim::_Contact& contact) const;
    int drawLine(QPainter& painter, int y, const QString& label, const QString& value, Wrap wrap);

    QSize m_size;
    int m_fontSize;
    int m_lineSep;
    int m_pattern;
    int m_borderWidth;
    int m_photoSide;
    int m_textLeft;
    int m_textWidth;
    int m_textBottom;
    QFont m_font;
    // Scaled once, so a PDF embeds it once however many cards show it.
    QImage m_emptyPicture;
};
