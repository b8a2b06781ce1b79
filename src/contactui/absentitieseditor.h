// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "contactui/entityrows_p.h"
#include "model/contact.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

class QGridLayout;
class QToolButton;

// The frame every list editor shares: a title row with an add button, then
// one record per entity, a group of widgets on one or more grid rows with a
// remove button in the last column. Removing a record takes all of its
// widgets away; the others keep their order.
class AbsEntitiesEditor : public QWidget {
    Q_OBJECT
public:
    ~AbsEntitiesEditor() override;

public slots:
    // Appends a record of the editor's default sub-type.
    virtual void add() = 0;
    // Removes the record whose remove button sent the signal.
    void remove();

protected:
    // A record: what it was filled from and every widget it placed.
    struct Row : entityrows::Record {
        using entityrows::Record::Record;
        virtual ~Row() = default;
        QList<QWidget*> widgets;
        QToolButton* remove = nullptr;
    };

    // The title spans the columns before `buttonColumn`, so a long title
    // does not widen the type column; the add and remove buttons sit in it.
    AbsEntitiesEditor(const QString& title, int buttonColumn, QWidget* parent);

    // The first grid row below every record.
    int nextRow() const;
    // Puts `widget` of `row` into the grid.
    template <class W>
    W* place(Row& row, W* widget, int gridRow, int column, int rowSpan = 1, int columnSpan = 1)
    {
        placeWidget(row, widget, gridRow, column, rowSpan, columnSpan);
        return widget;
    }
    // Puts the record's remove button at the end of `gridRow`.
    QToolButton* placeRemoveButton(Row& row, int gridRow);
    void appendRow(std::unique_ptr<Row> row);

    // The records in screen order, each of the editor's own type.
    template <class R>
    QList<const R*> rows() const
    {
        QList<const R*> result;
        for (const std::unique_ptr<Row>& row : m_rows)
            result.append(static_cast<const R*>(row.get()));
        return result;
    }

private:
    void placeWidget(Row& row, QWidget* widget, int gridRow, int column, int rowSpan, int columnSpan);

    int m_buttonColumn;
    QGridLayout* m_grid;
    std::vector<std::unique_ptr<Row>> m_rows;
};
