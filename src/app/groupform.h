// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QSharedPointer>
#include <QString>

#include <memory>

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
    // Keeps the database alive while the dialog runs, even if its tree
    // node goes away meanwhile.
    GroupForm(QSharedPointer<LocalDb> db, QWidget* parent = nullptr);
    ~GroupForm() override;

    unsigned long long groupId = 0;
    QString groupName;

private slots:
    void onBtnOKPressed();

private:
    WinMovable m_movable;
    std::unique_ptr<Ui_GroupForm> ui;
    QSharedPointer<LocalDb> m_db;
};
