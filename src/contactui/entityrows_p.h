// SPDX-License-Identifier: GPL-3.0-or-later
// Pieces the list editors and the contact editor share: the sub-type box,
// its label rule, and the merge that hands an edited value back on top of
// the stored one.
#pragma once

#include "model/contact.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <utility>

class QComboBox;
class QGridLayout;
class QToolButton;
class QWidget;

namespace entityrows {

// What a row or record was filled from, and what its untouched widgets read
// back right after filling. A key group whose widgets still read back the
// same is handed back exactly as stored, so an edit never rewrites (or
// drops) what the user did not touch.
struct Baseline {
    QVariantMap stored;
    QVariantMap shown;
};

// What an edited record keeps besides its widgets: the id and srcId of the
// stored entity it was filled from (0 and "" for one the user added) and
// its baseline.
struct Record {
    Record() = default;
    Record(unsigned long long id, QString srcId) : id(id), srcId(std::move(srcId)) {}
    unsigned long long id = 0;
    QString srcId = QStringLiteral("");
    Baseline baseline;

    // Starts from `entity`: its id and srcId, its fields as stored and
    // `shown`, what the widgets filled from them read back.
    void take(const pim::Entity& entity, QVariantMap shown)
    {
        id = entity.id;
        srcId = entity.srcId;
        baseline = {entity.fields, std::move(shown)};
    }
    // mergeEdited of this record's stored fields with `now`.
    pim::Entity merged(const QVariantMap& now, const QList<QStringList>& groups, bool* changed = nullptr) const;
};

// An editable box of the map's labels in ascending code order, each item
// carrying its code under Qt::UserRole. Typed text never becomes an item,
// so a custom label stays a label when the user presses Return.
QComboBox* newTypeBox(QWidget* parent, const QMap<int, QString>& labels, int width);

// Selects the item of `code` (the first item when none has it) and, when
// `label` is not empty, shows it as the box's text instead.
void selectType(QComboBox* box, int code, const QString& label);

// The label rule: the trimmed text of the box equal (case-sensitive) to an
// item's text gives that item's code and an empty label; any other text
// gives code 0 with the text as label.
void readType(const QComboBox* box, QVariantMap& out, const QString& codeKey, const QString& labelKey);

// A 16 x 16 icon button of a list editor.
QToolButton* newIconButton(QWidget* parent, const QString& icon);

// The first grid row below every row that still holds a widget (at least 1:
// row 0 is the title).
int nextFreeRow(const QGridLayout* grid);

// The stored fields with those key groups overwritten whose current values
// differ from the baseline; a group is written whole, so a sub-type code and
// its label always change together. Sets *changed when any group was
// written. A value the user added (empty baseline) gets every key.
pim::Entity mergeEdited(unsigned long long id, const QString& srcId, const Baseline& baseline,
                        const QVariantMap& now, const QList<QStringList>& groups, bool* changed = nullptr);

// Integer value of a key, 0 when absent or not a number.
int intField(const QVariantMap& fields, const QString& key);

} // namespace entityrows
