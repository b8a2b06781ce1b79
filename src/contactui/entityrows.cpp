// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/entityrows_p.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QScreen>
#include <QScrollBar>
#include <QCompleter>
#include <QGridLayout>
#include <QIcon>
#include <QLayoutItem>
#include <QToolButton>

namespace {

// A sub-type box whose list opens right under the box (above it when the
// screen ends below), at least as wide as its longest label, whatever the
// style and the window manager would make of it: a list that opens away
// from its box, or cuts its labels, cannot be read beside it.
class TypeBox : public QComboBox {
public:
    using QComboBox::QComboBox;

    void showPopup() override
    {
        QComboBox::showPopup();
        QAbstractItemView* list = view();
        QWidget* popup = list->window();
        if (!popup || popup == window())
            return;
        const int labels = list->sizeHintForColumn(0) + 2 * list->frameWidth()
            + (list->verticalScrollBar()->isVisible() ? list->verticalScrollBar()->width() : 0) + 4;
        const QSize size(qMax(qMax(popup->width(), width()), labels), popup->height());
        const QRect area = screen() ? screen()->availableGeometry() : QRect(QPoint(), size);
        const QPoint top = mapToGlobal(QPoint(0, 0));
        int y = top.y() + height();
        if (y + size.height() > area.bottom() + 1 && top.y() - size.height() >= area.top())
            y = top.y() - size.height();
        const int x = qMax(area.left(), qMin(top.x(), area.right() + 1 - size.width()));
        popup->setGeometry(QRect(QPoint(x, y), size));
    }
};

} // namespace

namespace entityrows {

QComboBox* newTypeBox(QWidget* parent, const QMap<int, QString>& labels, int width)
{
    auto* box = new TypeBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    // Return picks an item only on an exact match, as the label rule reads it.
    box->completer()->setCaseSensitivity(Qt::CaseSensitive);
    box->setFixedWidth(width);
    // Taken before the items go in, so a long label cannot make rows uneven.
    box->setFixedHeight(box->sizeHint().height());
    box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    for (auto it = labels.cbegin(); it != labels.cend(); ++it)
        box->addItem(it.value(), it.key());
    return box;
}

void selectType(QComboBox* box, int code, const QString& label)
{
    const int index = box->findData(code, Qt::UserRole);
    box->setCurrentIndex(index < 0 ? 0 : index);
    if (!label.isEmpty())
        box->setEditText(label);
}

void readType(const QComboBox* box, QVariantMap& out, const QString& codeKey, const QString& labelKey)
{
    const QString text = box->currentText().trimmed();
    const int index = box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0) {
        out.insert(codeKey, box->itemData(index, Qt::UserRole).toInt());
        out.insert(labelKey, QStringLiteral(""));
    } else {
        out.insert(codeKey, 0);
        out.insert(labelKey, text);
    }
}

QToolButton* newIconButton(QWidget* parent, const QString& icon)
{
    auto* button = new QToolButton(parent);
    button->setIcon(QIcon(icon));
    button->setIconSize(QSize(16, 16));
    return button;
}

int nextFreeRow(const QGridLayout* grid)
{
    int next = 1;
    for (int i = 0; i < grid->count(); ++i) {
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
        next = qMax(next, row + rowSpan);
    }
    return next;
}

pim::Entity mergeEdited(unsigned long long id, const QString& srcId, const Baseline& baseline,
                        const QVariantMap& now, const QList<QStringList>& groups, bool* changed)
{
    pim::Entity entity(id, srcId);
    entity.fields = baseline.stored;
    bool any = false;
    for (const QStringList& group : groups) {
        bool differs = false;
        for (const QString& key : group)
            differs = differs || !baseline.shown.contains(key) || baseline.shown.value(key) != now.value(key);
        if (!differs)
            continue;
        any = true;
        for (const QString& key : group)
            entity.fields.insert(key, now.value(key));
    }
    if (changed)
        *changed = any;
    return entity;
}

pim::Entity Record::merged(const QVariantMap& now, const QList<QStringList>& groups, bool* changed) const
{
    return mergeEdited(id, srcId, baseline, now, groups, changed);
}

int intField(const QVariantMap& fields, const QString& key)
{
    bool ok = false;
    const int value = fields.value(key).toInt(&ok);
    return ok ? value : 0;
}

} // namespace entityrows
