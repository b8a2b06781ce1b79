// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "contactui/entityrows_p.h"
#include "model/contact.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QScrollArea>
#include <QString>

#include <functional>

class QLabel;
class QLineEdit;
class QTextEdit;
class QVBoxLayout;
class GenericEntitiesEditor;
class DateEntitiesEditor;
class IMEntitiesEditor;
class AddrEntitiesEditor;

// The editable form of one contact: photo, name, nickname and organisation
// boxes, the seven lists and the notes. It holds no database and writes
// nothing; it hands back pim::Entity values that carry the id and srcId of
// the stored entity they were filled from (0 and "" for values the user
// added). A value the user left alone comes back exactly as stored, and keys
// the editor does not show are never dropped from a stored entity.
class ContactEditor : public QScrollArea {
    Q_OBJECT
public:
    explicit ContactEditor(QWidget* parent = nullptr);
    ~ContactEditor() override;

    // Shows the contact; call once, on a freshly built editor. Only the
    // first name, photo, nickname, organisation and notes are shown, and
    // the first kMaxRowsPerKind rows of each list: the rest are named by
    // their number and come back from editedEntities() as they were.
    void fillContact(const pim::_Contact* contact);
    static constexpr int kMaxRowsPerKind = 100;

    // The name as edited: "data2".."data6" trimmed, "data1" the full name.
    pim::Entity nameEntity() const;
    // True when the first-name or the last-name box holds more than blanks.
    bool hasFirstOrLastName() const;
    // The editor's entities of one type, in screen order: the photo only
    // while one is shown; one nickname, organisation and notes entity (even
    // empty); every row of a list, then the ones not shown. Empty for the
    // name and group types.
    QList<pim::Entity> editedEntities(int type) const;

    // Replaces the open-file dialog of a photo click (tests, screenshots):
    // returns the chosen path, empty to cancel.
    void setOpenFileAsker(std::function<QString()> asker);
    // The open-file dialog's filter of a photo click: PNG and JPEG files,
    // their extensions in lower or upper case.
    static QString photoFileFilter();

public slots:
    // The "Delete Photo" link; the argument is ignored.
    void resetPhoto(QString);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct _NameEdit : entityrows::Record {
        QLineEdit* first = nullptr;
        QLineEdit* last = nullptr;
        QLineEdit* prefix = nullptr;
        QLineEdit* middle = nullptr;
        QLineEdit* suffix = nullptr;
        void fillEntity(const pim::Entity& entity);
        pim::Entity toEntity() const;
        QVariantMap shown() const;
    };
    struct _PhotoEdit : entityrows::Record {
        QLabel* label = nullptr;
        QByteArray bytes;
        void fillEntity(const pim::Entity& entity);
        pim::Entity toEntity() const;
        void setPhoto(QByteArray photo);
        void reset();
    };
    struct _NicknameEdit : entityrows::Record {
        QLineEdit* nickname = nullptr;
        void fillEntity(const pim::Entity& entity);
        pim::Entity toEntity() const;
        QVariantMap shown() const;
    };
    struct _OrgEdit : entityrows::Record {
        QLineEdit* title = nullptr;
        QLineEdit* department = nullptr;
        QLineEdit* company = nullptr;
        void fillEntity(const pim::Entity& entity);
        pim::Entity toEntity() const;
        QVariantMap shown() const;
    };
    struct _NotesEdit : entityrows::Record {
        QTextEdit* notes = nullptr;
        void fillEntity(const pim::Entity& entity);
        pim::Entity toEntity() const;
        QVariantMap shown() const;
    };

    void pickPhoto();
    QLineEdit* newLineEdit(QWidget* parent, const char* placeholder, const char* objectName);
    QList<pim::Entity> shownEntities(int type) const;
    // The first kMaxRowsPerKind entities of `type`; the rest are kept aside
    // and named below `list`.
    QList<pim::Entity> shownPart(const pim::_Contact* contact, int type, QWidget* list);

    QWidget* m_content;
    QWidget* m_header;
    QVBoxLayout* m_layout;
    _NameEdit m_name;
    _PhotoEdit m_photo;
    _NicknameEdit m_nickname;
    _OrgEdit m_org;
    _NotesEdit m_notes;
    GenericEntitiesEditor* m_phones;
    GenericEntitiesEditor* m_emails;
    DateEntitiesEditor* m_dates;
    IMEntitiesEditor* m_ims;
    GenericEntitiesEditor* m_relations;
    AddrEntitiesEditor* m_addresses;
    GenericEntitiesEditor* m_websites;
    std::function<QString()> m_openFileAsker;
    QMap<int, QList<pim::Entity>> m_notShown;
};
