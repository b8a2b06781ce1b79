// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include <memory>

#include "kit/winmovable.h"

class Ui_DataSourceSelForm;

// Lets the user pick one item of a list (the target phone of a transfer).
class DataSourceSelForm : public QDialog {
    Q_OBJECT
public:
    // One choice: the icon's resource path, the text shown and the opaque
    // pointer handed back when it is chosen.
    class _SelItem {
    public:
        _SelItem(QString icon, QString text, void* data)
            : icon(std::move(icon)), text(std::move(text)), data(data) {}

        QString icon;
        QString text;
        void* data;
    };

    explicit DataSourceSelForm(QWidget* parent = nullptr);
    ~DataSourceSelForm() override;

    // Shows title as the prompt and the items in order, runs the dialog and
    // returns the chosen item's data, or null when the user cancelled.
    void* execSel(QString title, QList<DataSourceSelForm::_SelItem> items);

private slots:
    // Accepts when an item is chosen; otherwise warns and stays open.
    void onBtnOkPressed();

private:
    WinMovable m_movable;
    std::unique_ptr<Ui_DataSourceSelForm> ui;
};
