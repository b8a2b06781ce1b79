// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

// A card text: wraps at word boundaries like a word-wrapped QLabel while
// every word fits; a word wider than the label (a long number, address or
// link) is broken inside instead of being cut off at the edge. The label
// never asks for more width than it is given, so the card never grows
// wider than its view.
class CardTextLabel : public QLabel {
public:
    explicit CardTextLabel(QWidget* parent = nullptr);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

    // Whether every word of the text fits in the given width (tests).
    bool fitsAtWordBoundaries(int width) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void layOut(class QTextDocument& document, int width, bool anywhere) const;
};
