// SPDX-License-Identifier: GPL-3.0-or-later
#include "itunesbackup/importcontactsfromitunesthread.h"

#include "itunesbackup/addressbookreader.h"
#include "itunesbackup/backupmanifest.h"
#include "itunesbackup/itunesbackuplog.h"
#include "kit/contactprogress.h"
#include "kit/messagetext.h"
#include "kit/workerreporter.h"
#include "kit/workerrun.h"
#include "model/localdb.h"
#include "model/localdbedit.h"
#include "platform/error.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <optional>

namespace {

const QString kDomain = QStringLiteral("HomeDomain");
const QString kBook = QStringLiteral("Library/AddressBook/AddressBook.sqlitedb");
const QString kImages = QStringLiteral("Library/AddressBook/AddressBookImages.sqlitedb");

// Unwinds to run(), which rolls back and shows nothing.
struct Cancelled {};

} // namespace

ImportContactsFromiTunesThread::ImportContactsFromiTunesThread(BackupManifest& backup, LocalDb* db,
    IWorkerReporter* form, QObject* parent)
    : QThread(parent)
    , m_backup(backup)
    , m_db(db)
    , m_form(form)
{
}

void ImportContactsFromiTunesThread::run()
{
    // The modal dialog always gets its ending.
    runWorkerJob<Cancelled>(*m_form, tr("The import stopped on an unexpected error."), [this] { importAll(); });
}

void ImportContactsFromiTunesThread::importAll()
{
    m_form->invokeUpdateProgress(tr("IDS_READING_CONTACTS_FROM_ITUNES"), 0, QString());
    const MBDBParser::_MBDBItem* book = m_backup.findItem(kDomain, kBook);
    if (!book)
        throw Error(tr("The backup holds no address book (%1 of %2): %3")
                        .arg(kBook, kDomain, QDir::toNativeSeparators(m_backup.dir().absolutePath())));

    // The copies hold the user's contacts: a private folder (mode 0700),
    // removed with everything in it when the import ends.
    QTemporaryDir work(QDir(m_backup.workFolder()).absoluteFilePath(QStringLiteral("addressbook-XXXXXX")));
    if (!work.isValid())
        throw Error(tr("Cannot create a temporary folder in %1: %2")
                        .arg(QDir::toNativeSeparators(m_backup.workFolder()), work.errorString()));
    // Each database goes with its write-ahead log, which holds the newest
    // changes until the phone folds them into the file.
    auto copyWithLog = [&](const MBDBParser::_MBDBItem& item, const QString& relativePath) {
        const QString dest = work.filePath(QFileInfo(relativePath).fileName());
        m_backup.copyItemThrow(item, dest, nullptr, nullptr);
        if (const MBDBParser::_MBDBItem* log = m_backup.findItem(kDomain, relativePath + QStringLiteral("-wal")))
            m_backup.copyItemThrow(*log, dest + QStringLiteral("-wal"), nullptr, nullptr);
        return dest;
    };
    const QString bookCopy = copyWithLog(*book, kBook);
    QString imagesCopy;
    if (const MBDBParser::_MBDBItem* images = m_backup.findItem(kDomain, kImages))
        imagesCopy = copyWithLog(*images, kImages);
    if (m_form->isCancelled())
        throw Cancelled();

    std::optional<ContactProgress> reading; // the total is known once the reading starts
    AddressBookContents contents;
    try {
        contents = readAddressBookThrow(bookCopy, imagesCopy, [&](int done, int total) {
            if (!reading)
                reading.emplace(m_form, tr("IDS_READING_CONTACTS_FROM_ITUNES"), total);
            reading->step(done);
            return !m_form->isCancelled();
        });
    } catch (const std::exception& e) {
        // The copies are gone when the user reads this: name the backup's files.
        QString text = QString::fromUtf8(e.what());
        const QString backup = QDir::toNativeSeparators(m_backup.dir().absolutePath());
        text.replace(QDir::toNativeSeparators(bookCopy), tr("%1 of the backup %2").arg(kBook, backup));
        if (!imagesCopy.isEmpty())
            text.replace(QDir::toNativeSeparators(imagesCopy), tr("%1 of the backup %2").arg(kImages, backup));
        throw Error(text);
    }
    if (!contents.complete)
        throw Cancelled();
    if (contents.nameless > 0)
        qCInfo(lcBackup) << contents.nameless << "persons without a name, phone or e-mail left out";

    LocalDbEdit edit(*m_db, lcBackup(), "rollback of the import");
    ContactProgress writing(m_form, tr("IDS_WRITING_CONTACTS_FROM_ITUNES_TO_LOCALDB"), int(contents.contacts.size()));
    int added = 0, merged = 0, done = 0;
    for (const pim::_Contact& contact : contents.contacts) {
        if (m_form->isCancelled())
            throw Cancelled();
        writing.step(++done);
        bool existed = false;
        m_db->mergeContact(contact, existed);
        ++(existed ? merged : added);
    }
    edit.commit();

    // A success that left something out says so where the user reads it,
    // not only in the log.
    QStringList lines { merged == 0 ? tr("IDS_SUC_IMPORT_%1_CONTACTS_FROM_ITUNES").arg(added)
                                    : tr("IDS_SUC_IMPORT_%1_CONTACTS_FROM_ITUNES_%2_MERGED").arg(added).arg(merged) };
    if (contents.nameless > 0)
        lines << tr("%1 entries without a name, phone number or e-mail address were left out.").arg(contents.nameless);
    const int refused = m_backup.refusedItems();
    if (refused > 0)
        lines << (refused == 1 ? tr("One record of the backup's file list could not be read and was left out: "
                                    "its file path holds a NUL character.")
                               : tr("%1 records of the backup's file list could not be read and were left out: "
                                    "their file paths hold a NUL character.")
                                     .arg(refused));
    m_form->invokeSucceed(g_messageText(lines.join(QLatin1Char('\n'))));
}
