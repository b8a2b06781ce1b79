// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>

#include "kit/winmovable.h"

class LocalDb;
class Ui_GroupForm;

// Lets the user pick a group of a database, name a new one, or (with an
// empty name, after confirming) take contacts out of their group.
//
// After an accepted run: empty groupName = ungroup; groupId != 0 = that
// existing group; groupId 0 with a name = a group not in the list.
class GroupForm : public QDialog {
    Q_OBJECT
public:
    // Lists the database's groups by name; a failure to read them is shown
    // as an error box and leaves the list empty (the dialog still opens).
    GroupForm(LocalDb* db, QWidget* parent = nullptr);
    ~GroupForm() override;

    unsigned long long groupId = 0;
    QString groupName;

private slots:
    void onBtnOKPressed();

private:
    WinMovable m_movable;
    Ui_GroupForm* ui;
    LocalDb* m_db;
};
