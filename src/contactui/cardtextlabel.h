// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QHash>
#include <QLabel>

#include <memory>

class QTextDocument;

// A card text: wraps at word boundaries like a word-wrapped QLabel while
// every word fits; a word wider than the label (a long number, address or
// link) is broken inside instead of being cut off at the edge. The label
// never asks for more width than it is given, so the card never grows
// wider than its view.
//
// A layout pass asks a label for its height at a few widths many times
// over; each width is laid out once per text and font and then remembered,
// and the text drawn broken inside words is kept for painting.
class CardTextLabel : public QLabel {
public:
    explicit CardTextLabel(QWidget* parent = nullptr);
    ~CardTextLabel() override;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

    // Whether every word of the text fits in the given width (tests).
    bool fitsAtWordBoundaries(int width) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Fit {
        int height = 0;
        bool breaksInsideWords = false;
    };
    // The text's height at an inner width, laid out once.
    Fit fitAt(int width) const;
    // Forgets every layout when the text, its format or the font changed.
    void dropStaleLayouts() const;
    void layOut(QTextDocument& document, int width, bool anywhere) const;

    mutable QString m_laidText;
    mutable Qt::TextFormat m_laidFormat = Qt::PlainText;
    mutable QFont m_laidFont;
    mutable QHash<int, Fit> m_fits;
    // The text broken inside words at m_paintedWidth, as last painted.
    mutable std::unique_ptr<QTextDocument> m_painted;
    mutable int m_paintedWidth = -1;
};
