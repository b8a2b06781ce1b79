// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/export/absexport.h"

#include <QDir>
#include <QSet>
#include <QString>

// Writes contacts as one XHTML 1.0 page, a block per contact, and keeps
// their photos as JPEG files in a folder "photos" beside the page. The page
// refers to every picture relative to its own folder; a contact without a
// usable photo shows "photos/contact.png", the empty-contact picture.
//
// Every text taken from a contact is escaped before it enters the markup,
// and characters that XML does not allow are dropped, so hostile data shows
// as text and the page always parses as XML.
//
// Runs on the export thread: pictures are handled with QImage only.
// Throws Error when a picture cannot be written, so the export does not
// report success for a page that refers to missing files.
class HtmlExport : public AbsExport {
public:
    // pageFolder: the folder that receives the page. Creates its "photos"
    // sub-folder (and the page folder itself when missing).
    explicit HtmlExport(const QDir& pageFolder);
    ~HtmlExport() override;

    // The page head; writes "photos/contact.png".
    QByteArray initialize(const QList<pim::_Contact>& contacts) override;
    // The contact's block; writes its photo, if it has a usable one.
    QByteArray ct2Bytes(const pim::_Contact& contact) override;
    // "</body></html>".
    QByteArray uninitialize() override;

private:
    QString savePhoto(const pim::_Contact& contact);
    QString freshPhotoName(unsigned long long id);
    void writeFile(const QString& name, const QByteArray& bytes) const;

    QDir m_photos;
    // Photo names already written by this page: contacts that share an id
    // (every unsaved contact has id 0) must not overwrite each other.
    QSet<QString> m_usedNames;
};
