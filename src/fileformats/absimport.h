// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QString>
#include <QStringList>

// What a reader left out or changed, each in words with its place in the
// file ("Line 12: ..."), in the order met. Only the first kMaxListed are
// kept; all are counted, so a huge broken file cannot exhaust memory.
class ImportProblems {
public:
    static constexpr int kMaxListed = 1000;

    void add(const QString& text)
    {
        ++m_count;
        if (m_listed.size() < kMaxListed)
            m_listed.append(text);
    }
    // Problems counted but not worded, beyond what a reader keeps.
    void addUnlisted(int n) { m_count += n; }
    void clear()
    {
        m_listed.clear();
        m_count = 0;
    }
    const QStringList& listed() const { return m_listed; }
    int count() const { return m_count; }

private:
    QStringList m_listed;
    int m_count = 0;
};

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
    // The number of records the file holds (the progress denominator).
    virtual int total() = 0;
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
};
