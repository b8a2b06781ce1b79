// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "contactui/contactchange.h"
#include "kit/winmovable.h"
#include "model/contact.h"

#include <QDialog>
#include <QSharedPointer>
#include <QList>

#include <memory>

class AbsContactCombineRule;
class LocalDb;
class Ui_EditContactForm;
class QKeyEvent;

// The modal add/edit dialog. It checks the name on Apply and afterwards
// turns the edit into a list of entity changes; it writes nothing itself.
class EditContactForm : public QDialog {
    Q_OBJECT
public:
    using _ChangeData = ::_ChangeData;
    using CHANGE_ACTION = _ChangeData::CHANGE_ACTION;
    static constexpr CHANGE_ACTION ACTION_ADDED = _ChangeData::ACTION_ADDED;
    static constexpr CHANGE_ACTION ACTION_UPDATED = _ChangeData::ACTION_UPDATED;
    static constexpr CHANGE_ACTION ACTION_DELETED = _ChangeData::ACTION_DELETED;

    // `contact`: the contact to edit, or an empty one for a new contact.
    // `db`: given only when adding; turns on the duplicate-name check. Kept
    // alive while the dialog runs, even if its tree node goes away.
    EditContactForm(const pim::_Contact* contact, QSharedPointer<LocalDb> db, QWidget* parent = nullptr);
    ~EditContactForm() override;

    // The changes that turn `stored` (the contact given to the constructor)
    // into what the editor holds: the name change first, then additions and
    // updates by ascending type, then deletions by ascending type. Emptiness
    // and equality are the rule's. Group memberships, the name and the
    // photos, nicknames, organisations and notes beyond the first (which the
    // editor does not show) are never deleted. Reads the editor only.
    QList<_ChangeData> getChanges(AbsContactCombineRule* rule, const pim::_Contact& stored) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void onBtnSavePressed();
    void onBtnCancelPressed();

private:
    std::unique_ptr<Ui_EditContactForm> m_ui;
    QSharedPointer<LocalDb> m_db;
    WinMovable m_movable;
};
