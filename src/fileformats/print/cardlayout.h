// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QSizeF>

// Where the printed contact cards go on a page: two columns of cards with a
// gap between them, as many rows as the page's height holds. All values are
// in device units of the page's paint area (the page inside its margins,
// whose top-left corner is the painter's origin).
struct CardLayout {
    int gap = 0; // between the two columns
    int cardWidth = 0;
    int cardHeight = 0;
    int pitch = 0; // from the top of one row to the top of the next
    int left = 0; // left edge of the left column
    int top = 0; // top edge of the first row
    int rows = 0; // rows on a page, at least 1

    int cardsPerPage() const { return 2 * rows; }
    // The top-left corner of the card at the given place on its page,
    // counted from 0 left to right, then top to bottom.
    QPoint cardPosition(int indexOnPage) const;
};

// The layout for a paint area of the given size, the cards kept inset
// units away from each of its edges. The card is 16:10; a page of A4 or
// Letter size in portrait holds 4 and 3 rows. An area too small for one
// row still gets one row, which is then cut at the page's edge.
CardLayout cardLayout(const QSizeF& paintArea, int inset);
