// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/print/cardlayout.h"

#include <algorithm>

QPoint CardLayout::cardPosition(int indexOnPage) const
{
    const int column = indexOnPage % 2;
    const int row = indexOnPage / 2;
    return QPoint(left + column * (gap + cardWidth), top + row * pitch);
}

CardLayout cardLayout(const QSizeF& paintArea, int inset)
{
    CardLayout layout;
    // Integer device units throughout, so the preview and the PDF place
    // every card on the same whole unit.
    const int width = std::max(0, int(paintArea.width()) - 2 * inset);
    const int height = std::max(0, int(paintArea.height()) - 2 * inset);
    layout.gap = width / 41;
    layout.cardWidth = (width - layout.gap) / 2;
    layout.cardHeight = layout.cardWidth * 10 / 16;
    layout.pitch = width * 45 / 570 + layout.cardHeight;
    layout.left = inset;
    layout.top = inset;
    layout.rows = 1;
    if (layout.pitch > 0 && height > layout.cardHeight)
        layout.rows = (height - layout.cardHeight) / layout.pitch + 1;
    return layout;
}
