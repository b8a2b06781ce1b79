// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QScrollArea>
#include <QString>

#include <functional>

#include "model/contact.h"

class QBoxLayout;
class QVBoxLayout;
class QLabel;

// The read-only card of one contact: photo, a header (name, nickname,
// organisation) and one section per kind of entity. A click on a real
// photo saves its bytes to a file the user picks.
class ContactDisplayer : public QScrollArea {
    Q_OBJECT
public:
    explicit ContactDisplayer(QWidget* parent = nullptr);
    ~ContactDisplayer() override;

    // Empties the card: no picture frame, no header.
    void clear();
    // Rebuilds the card for the contact. The card keeps its own copy, so the
    // caller may drop or replace its contact at once.
    void showContact(const pim::_Contact* contact);

    // Row texts; see contactformatters.h.
    static QString g_phoneDisplay(const pim::Entity& entity);
    static QString g_emailDisplay(const pim::Entity& entity);
    static QString g_eventDisplay(const pim::Entity& entity);
    static QString g_imDisplay(const pim::Entity& entity);
    static QString g_orgDisplay(const pim::Entity& entity);
    static QString g_relDisplay(const pim::Entity& entity);
    static QString g_addrDisplay(const pim::Entity& entity);
    static QString g_urlDisplay(const pim::Entity& entity);
    static QString g_notesDisplay(const pim::Entity& entity);

    // The picture of photo bytes: JPEG first, then PNG; null when neither.
    static QImage decodePhoto(const QByteArray& bytes);
    // A section lists at most this many rows, then says how many more the
    // contact holds: a contact of thousands of rows still shows at once.
    static constexpr int kMaxRowsPerKind = 100;

    // Writes the shown contact's first photo, bytes unchanged, to path.
    // Returns false and shows a warning when the file cannot be written;
    // an existing file is only replaced once the new one is complete.
    bool savePhoto(const QString& path);

    // Replaces the save-file question of a photo click (tests). The asker
    // gets the proposed path and returns the chosen one, empty to cancel.
    void setSaveFileAsker(std::function<QString(const QString& proposed)> asker);

    // The shown contact's copy; null after construction or clear().
    const pim::_Contact* shownContact() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void showEntities(const QString& title, const QList<pim::Entity>& entities,
                      QString (*formatter)(const pim::Entity&));
    void replaceContentWidget();
    // Header text beside the photo, or below it in a narrow card.
    void updateHeaderDirection();
    QString askSaveFileName(const QString& proposed);

    pim::_Contact m_contact;
    bool m_hasContact = false;
    QWidget* m_content = nullptr;
    QVBoxLayout* m_contentLayout = nullptr;
    QBoxLayout* m_headerLayout = nullptr;
    std::function<QString(const QString&)> m_saveFileAsker;
};
