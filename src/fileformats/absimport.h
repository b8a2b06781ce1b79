// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

// What a reader left out or changed. Three parts, so that the many values
// of one unknown kind or a file full of harmless notices never hide a real
// loss:
// - the problems, each in words with its place in the file ("Line 12:
//   ..."), in the order met: what was lost or may have been read wrongly;
// - the values of kinds the reader has no field for, counted by the kind's
//   name;
// - harmless notices, where the file was read otherwise than written but
//   nothing a user keeps was lost, counted by what happened.
// Only the first kMaxListed problems and kinds are kept; all are counted,
// so a huge broken file cannot exhaust memory.
class ImportProblems {
public:
    static constexpr int kMaxListed = 1000;
    // Lines kept of each kind of notice.
    static constexpr int kMaxPlaces = 5;

    void add(const QString& text) { add(text, 0); }
    // With its place in the order of the file, for a reader whose records
    // were read in parts (see merged()): problems must be added in
    // ascending order.
    void add(const QString& text, qint64 order)
    {
        ++m_count;
        if (m_listed.size() < kMaxListed) {
            m_listed.append(text);
            m_order.append(order);
        }
    }
    // Problems counted but not worded, beyond what a reader keeps.
    void addUnlisted(int n) { m_count += n; }
    // A value of a kind without a field here ("GEO"), met on the line.
    void addLeftOutKind(const QString& name, qint64 line);
    // A harmless notice on the line; what says what happened, in the same
    // words for every notice of its kind.
    void addNotice(const QString& what, qint64 line);
    void clear() { *this = ImportProblems(); }
    // The problems of several parts of one file as one list in file order
    // (at an equal place, in the order of `parts`), as if one reader had
    // met them all; each part's own list must be in ascending order.
    static ImportProblems merged(const QList<const ImportProblems*>& parts);
    // The lines a sentence names ("3, 8, 12"): those kept of a kind, then
    // how many more there were of `count` ("3, 8, 12 and 4 more").
    static QString places(const QList<qint64>& lines, int count);
    const QStringList& listed() const { return m_listed; }
    int count() const { return m_count; }

    // The values of one kind left out, or the notices of one kind.
    struct Tally {
        // The kind's name (at most kMaxNameLength characters) or what
        // happened.
        QString text;
        int count = 0;
        qint64 firstLine = 0;
        // Notices: the first kMaxPlaces lines, in file order.
        QList<qint64> lines;
    };
    // The kinds left out, the most values first, then in the order met.
    QList<Tally> leftOutKinds() const;
    // Values left out, also those of kinds beyond the kMaxListed kept.
    int leftOutCount() const { return m_leftOut.total; }
    // The notices by kind, in the order met.
    const QList<Tally>& notices() const { return m_notices.tallies; }
    int noticeCount() const { return m_notices.total; }

    static constexpr int kMaxNameLength = 64;

private:
    // Counted by text; beyond kMaxListed texts only the total grows.
    struct Tallies {
        QList<Tally> tallies;
        QHash<QString, qsizetype> index;
        int total = 0;
        void add(const Tally& more);
    };

    QStringList m_listed;
    QList<qint64> m_order;
    int m_count = 0;
    Tallies m_leftOut;
    Tallies m_notices;
};

// The places (lines or rows) that one sentence of a reader names once its
// last record was read: the first ImportProblems::kMaxPlaces in file order
// and how many there were.
class NamedPlaces {
public:
    // Places come in the order of the file; one named again right after
    // is counted once.
    void add(qint64 place);
    // Those of another reader of the same file (a lane's).
    void add(const NamedPlaces& more);
    int count() const { return m_count; }
    // "3, 8, 12 and 4 more" (ImportProblems::places()).
    QString text() const { return ImportProblems::places(m_first, m_count); }
    void clear() { *this = NamedPlaces(); }

private:
    QList<qint64> m_first;
    int m_count = 0;
    qint64 m_last = -1;
};

// The name a contact read from a file is listed under when the file gives
// it none: its company, else its first phone number, else its first e-mail
// address, trimmed; empty when it holds none of them. Both readers name such
// a contact so, and leave out only one that holds none of them.
QString standInName(const pim::_Contact& contact);

// The key a reader sets on the last group of a record that names more
// groups than the reader keeps: how many other groups the record names, so
// that the import's ending counts them with those the merge leaves out.
// Not a column: never stored.
const QString& groupsNotReadKey();

// A contact-file reader, driven by the import thread on its own thread:
// initialize(path) once, total() once, then hasNext()/nextContact() in turn,
// uninitialize() once every record is read. A cancel or a failure destroys
// the reader instead, so what it holds is released by its destructor.
class AbsImport {
public:
    virtual ~AbsImport() = default;

    // Loads the file. Throws Error when the file cannot be read; a failed
    // call leaves an earlier load as it was.
    virtual void initialize(QString path) = 0;
    // The number of records the file holds (the progress denominator). A
    // reader that counts them on a thread of its own waits for the count.
    virtual int total() = 0;
    // Whether total() would answer at once.
    virtual bool totalKnown() { return true; }
    // total(), or while the count is still going on an estimate from the
    // part of the file counted so far: for choices that only affect speed.
    virtual int expectedTotal() { return total(); }
    // Stops what the reader and its lanes still read on threads of their
    // own, so that a cancel does not wait for it; the reader is then good
    // only for its destructor.
    virtual void abandon() {}
    virtual bool hasNext() = 0;
    // Converts the record at the cursor and moves on. Only while hasNext().
    virtual pim::_Contact nextContact() = 0;
    virtual void uninitialize() = 0;

    // Lines or records the reader could not use and left out, so the caller
    // can tell the user that something was dropped. Readers that never skip
    // anything keep the default.
    virtual int skippedCount() const { return 0; }
    // Everything left out or changed in the records read so far, each with
    // its line or row, so the user can find it in the file.
    virtual const ImportProblems& problems() const
    {
        static const ImportProblems none;
        return none;
    }

    // A reader whose records can be decoded on several threads at once:
    // lane `index` of `lanes` is a reader of its own (own file handle) that
    // yields the records of batches index, index + lanes, ... of `batch`
    // records each, in order. Null when the file cannot be read so. Only
    // after initialize() and before any record was read; a lane may start
    // while the file is still being counted, and then waits for its records.
    virtual std::unique_ptr<AbsImport> lane(int index, int lanes, int batch)
    {
        Q_UNUSED(index);
        Q_UNUSED(lanes);
        Q_UNUSED(batch);
        return nullptr;
    }
    // Takes over what the lanes, each read to its end, left out or
    // changed, as if this reader had read their records itself.
    virtual void gatherLanes(const QList<const AbsImport*>& lanes) { Q_UNUSED(lanes); }
};
