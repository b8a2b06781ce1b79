// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactui/editcontactform.h"

#include "contactui/boundedtext.h"
#include "contactui/contacteditor.h"
#include "contactui/contactuilog.h"
#include "kit/stylesheet.h"
#include "kit/tips.h"
#include "model/abscontactcombinerule.h"
#include "model/databaseerrortext.h"
#include "model/localdb.h"
#include "ui_editcontactform.h"

#include <QHash>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSet>

namespace {

const QStringList kNameKeys{QStringLiteral("data5"), QStringLiteral("data2"), QStringLiteral("data4"),
                            QStringLiteral("data3"), QStringLiteral("data6")};

// The types the editor shows besides the name, in ascending code order.
const int kEditedTypes[] = {pim::ENTITY_PHOTO, pim::ENTITY_PHONE, pim::ENTITY_EMAIL, pim::ENTITY_NICKNAME,
                            pim::ENTITY_EVENT, pim::ENTITY_IM,    pim::ENTITY_NOTES, pim::ENTITY_ORG,
                            pim::ENTITY_REL,   pim::ENTITY_ADDR,  pim::ENTITY_URL};

// Of a contact's name, the title shows this many characters at most.
constexpr qsizetype kTitleNameChars = 40;

// Kinds of which the editor shows only the first stored entity.
bool showsFirstOnly(int type)
{
    return type == pim::ENTITY_PHOTO || type == pim::ENTITY_NICKNAME || type == pim::ENTITY_ORG
        || type == pim::ENTITY_NOTES;
}

const char* actionName(EditContactForm::CHANGE_ACTION action)
{
    switch (action) {
    case EditContactForm::ACTION_ADDED:
        return "ACTION_ADDED";
    case EditContactForm::ACTION_UPDATED:
        return "ACTION_UPDATED";
    case EditContactForm::ACTION_DELETED:
        return "ACTION_DELETED";
    }
    return "?";
}

} // namespace

EditContactForm::EditContactForm(const pim::_Contact* contact, QSharedPointer<LocalDb> db, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui_EditContactForm>())
    , m_db(std::move(db))
    , m_movable(this)
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet(QStringLiteral(":res/style.css")));
    connect(m_ui->btnSave, &QPushButton::pressed, this, &EditContactForm::onBtnSavePressed);
    connect(m_ui->btnCancel, &QPushButton::pressed, this, &EditContactForm::onBtnCancelPressed);
    if (contact) {
        m_ui->wdEditContact->fillContact(contact);
        // A name of thousands of characters would widen the dialog past
        // any screen; the boxes below hold it whole.
        setWindowTitle(contact->fullName.isEmpty()
                           ? tr("IDS_NEW_CONTACT")
                           : tr("IDS_EDIT_CONTACT_%1").arg(boundedtext::elided(contact->fullName, kTitleNameChars)));
    }
    // The name is data: shown as written, never as markup.
    m_ui->lbTitle->setTextFormat(Qt::PlainText);
    m_ui->lbTitle->setText(windowTitle());
    // Typing goes to the name from the start.
    if (auto* first = findChild<QLineEdit*>(QStringLiteral("txtFirstName")))
        first->setFocus();
}

EditContactForm::~EditContactForm() = default;

void EditContactForm::onBtnSavePressed()
{
    ContactEditor* editor = m_ui->wdEditContact;
    if (!editor->hasFirstOrLastName()) {
        Tips::warning(tr("IDS_ENTER_FIRSTNAME_OR_LASTNAME"));
        return;
    }
    if (m_db) {
        const QString name = editor->nameEntity().fullName();
        unsigned long long existing = 0;
        try {
            existing = m_db->isContactBaseExist(name);
        } catch (const std::exception& e) {
            // An unreadable database cannot take the contact either: say why
            // and keep the dialog, with the user's input, open.
            qCWarning(lcContactUi) << "duplicate-name lookup failed:" << e.what();
            Tips::warning(g_databaseErrorText(m_db->path(), QString::fromUtf8(e.what())));
            return;
        }
        if (existing != 0) {
            Tips::warning(BoxText::markup(tr("IDS_CONTACT_NAME_%1_EXIST")).arg(name));
            return;
        }
    }
    accept();
}

void EditContactForm::onBtnCancelPressed()
{
    if (Tips::question(tr("IDS_CANCEL_EDIT_CONTACT_WILL_LOST_CHANGES_CONTINUE")))
        reject();
}

void EditContactForm::keyPressEvent(QKeyEvent* event)
{
    // Only Cancel, with its question, may close the dialog.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

QList<EditContactForm::_ChangeData> EditContactForm::getChanges(AbsContactCombineRule* rule,
                                                                const pim::_Contact& stored) const
{
    Q_ASSERT(rule);
    const ContactEditor* editor = m_ui->wdEditContact;
    QList<_ChangeData> changes;

    pim::Entity name = editor->nameEntity();
    const QList<pim::Entity> storedNames = stored.entities.value(pim::ENTITY_NAME);
    if (storedNames.isEmpty()) {
        qCDebug(lcContactUi, "action=ACTION_ADDED, type=pim::ENTITY_NAME, fullName=%s",
                qUtf8Printable(name.fullName()));
        changes.append(_ChangeData(pim::ENTITY_NAME, ACTION_ADDED, name));
    } else if (!AbsContactCombineRule::isEntityEqual(name, storedNames.constFirst(), kNameKeys)) {
        qCDebug(lcContactUi, "action=ACTION_UPDATED, type=pim::ENTITY_NAME, fullName=%s",
                qUtf8Printable(name.fullName()));
        changes.append(_ChangeData(pim::ENTITY_NAME, ACTION_UPDATED, name));
    }

    QSet<unsigned long long> kept;
    for (int type : kEditedTypes) {
        const QStringList emptyKeys = rule->checkEmptyFields(type);
        const QStringList fullKeys = rule->checkEqualFieldsFull(type);
        const QList<pim::Entity> storedOfType = stored.entities.value(type);
        // By id, so that a contact of thousands of rows is compared in one pass.
        QHash<unsigned long long, const pim::Entity*> storedById;
        storedById.reserve(storedOfType.size());
        for (const pim::Entity& row : storedOfType) {
            if (!storedById.contains(row.id))
                storedById.insert(row.id, &row);
        }
        for (const pim::Entity& e : editor->editedEntities(type)) {
            if (AbsContactCombineRule::isEntityEmpty(e, emptyKeys)) {
                qCDebug(lcContactUi, "EditContactForm::getChanges, Empty Entity: type=%d, _id=%llu, srcId=%s", type,
                        e.id, qUtf8Printable(e.srcId));
                continue;
            }
            kept.insert(e.id);
            if (e.id == 0) {
                qCDebug(lcContactUi, "action=ACTION_ADDED, type=%d", type);
                changes.append(_ChangeData(type, ACTION_ADDED, e));
                continue;
            }
            const pim::Entity* s = storedById.value(e.id);
            if (!s || AbsContactCombineRule::isEntityEqual(e, *s, fullKeys))
                continue;
            qCDebug(lcContactUi, "action=ACTION_UPDATED, type=%d {", type);
            for (const QString& key : fullKeys) {
                qCDebug(lcContactUi, "%s(cur)=%s", qUtf8Printable(key), qUtf8Printable(pim::fieldText(e.fields.value(key))));
                qCDebug(lcContactUi, "%s(src)=%s", qUtf8Printable(key), qUtf8Printable(pim::fieldText(s->fields.value(key))));
            }
            qCDebug(lcContactUi, "}");
            changes.append(_ChangeData(type, ACTION_UPDATED, e));
        }
    }

    for (auto it = stored.entities.cbegin(); it != stored.entities.cend(); ++it) {
        const int type = it.key();
        if (type == pim::ENTITY_NAME || type == pim::ENTITY_GROUP || !pim::isValidEntityType(type))
            continue;
        for (int i = 0; i < it.value().size(); ++i) {
            const pim::Entity& s = it.value().at(i);
            // The editor never showed these, so the user cannot have removed them.
            if (i > 0 && showsFirstOnly(type))
                continue;
            if (kept.contains(s.id))
                continue;
            qCDebug(lcContactUi, "action=%s, type=%d, _id=%llu, srcId=%s", actionName(ACTION_DELETED), type, s.id,
                    qUtf8Printable(s.srcId));
            changes.append(_ChangeData(type, ACTION_DELETED, s));
        }
    }
    return changes;
}
