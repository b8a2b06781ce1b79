// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QThread>

#include <atomic>
#include <optional>

class AbsContactCombineRule;
class IWorkerReporter;
class ImportProblems;
class LocalDb;
namespace pim {
class _Contact;
}

// Imports one vCard or CSV file into a local database in a single edit:
// every contact with a full name is merged into a stored contact of the
// same name or added. A cancel or any failure rolls the whole import back.
class ImportContactsToLocalThread : public QThread {
    Q_OBJECT

public:
    enum TYPE {
        TYPE_VCARD = 1,
        TYPE_CSV = 2,
    };

    // db and reporter are not owned and must outlive the thread's run.
    ImportContactsToLocalThread(QString path, TYPE type, LocalDb* db, IWorkerReporter* reporter,
                                QObject* parent = nullptr);

    // After the run: lines the reader could not use, and contacts left out
    // because they had no name at all.
    int skippedLines() const { return m_skippedLines.load(); }
    int skippedContacts() const { return m_skippedContacts.load(); }
    // After the run: how many contacts were added or merged (0 after a
    // failure or a cancel, when the edit was rolled back).
    int storedContacts() const { return m_stored.load(); }
    // The format the run read the file as: the type given to the
    // constructor is only a hint, the file's content decides.
    TYPE type() const { return m_type; }

    // vCard when a line of head is "BEGIN:VCARD" (any case, blanks around
    // it, in UTF-8, an 8-bit encoding or UTF-16 with or without a
    // byte-order mark; lines end in LF, CR LF or CR alone)
    // before any line with a cell separator, or when such a line at a
    // line's very start, wherever it ends, starts in the first
    // kDamagedCardsProbeBytes after bytes that no text holds (a damaged
    // backup's binary blocks before its cards) and the first line that is
    // not blank does not read as a table's header (the line, its control
    // bytes set aside, names two known columns); none for other binary
    // content (a picture, a document, random bytes); CSV when there is no
    // line that is not blank. Of a file named as cards (`namedAsCards`):
    // CSV when the first line that is not blank reads as a table's header
    // (the program's own "Tel:Mobile,Email:Work"), else vCard when it is a
    // line of a card or a calendar ("TEL;TYPE=CELL:...",
    // "DTSTART;VALUE=DATE:...") or holds a cell separator ("NAME;ARG=..."
    // cut before its colon), none for any other text. Of any other file:
    // CSV when that line can be a table's header (it holds a separator, or
    // names one known column), none for any other text.
    static std::optional<TYPE> typeOfContent(const QByteArray& head, bool namedAsCards);
    // Whether lines of head begin objects other than cards ("BEGIN:VCALENDAR",
    // "BEGIN:VEVENT") and none begins a card, as typeOfContent() reads them.
    static bool beginsOnlyOtherObjects(const QByteArray& head);
    // How much of the file typeOfContent() looks at.
    static constexpr qint64 kTypeProbeBytes = 1024 * 1024;
    // How far into the file the first card after damage may begin.
    static constexpr qint64 kDamagedCardsProbeBytes = 64 * 1024;

    // The import's final message: the success text, then, when anything was
    // left out or changed, the first ten problems and how many more there
    // were, one line that counts the values of kinds no field holds by the
    // kind's name (most first), and one that counts the harmless notices.
    // A file with bytes in it of which no contact was stored is a failure
    // (isError), its text saying why in words of the format it was read as.
    struct Outcome {
        QString text;
        bool isError = false;
    };
    static Outcome outcome(int added, int merged, int records, bool fileEmpty, const ImportProblems& problems,
                           TYPE format);

    // Adds to `problems` what merging the contact under the rule leaves out
    // of the values it names: of a type a contact holds one of (a group, a
    // nickname), the merge lays each value over the one before, so the
    // contact keeps the last one named and none of the others; so too the
    // titles of organisations without a company. The groups the reader did
    // not read (groupsNotReadKey()) are counted with them.
    static void noteOneKept(const pim::_Contact& contact, AbsContactCombineRule& rule, ImportProblems& problems);

    // More entries than this in one contact (a card with a million phone
    // lines) are left out and reported: nobody keeps that many, and each
    // one costs the merge time and memory.
    static constexpr int kMaxEntitiesPerContact = 10000;

protected:
    void run() override;

private:
    static QString leftOutText(const ImportProblems& problems);
    static QString noticesText(const ImportProblems& problems);

    void importAll();
    void rollBack();

    QString m_path;
    std::atomic<TYPE> m_type;
    LocalDb* m_db;
    IWorkerReporter* m_reporter;
    bool m_editing = false;
    std::atomic<int> m_skippedLines { 0 };
    std::atomic<int> m_skippedContacts { 0 };
    std::atomic<int> m_stored { 0 };
};
