// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QByteArray>
#include <QList>

// A contact-file writer. The export thread uses one writer for one file:
// initialize() once with the whole list, ct2Bytes() once per contact in list
// order, uninitialize() once, and writes every result as it comes. An empty
// result means there is nothing to write. Any of the three may throw an
// exception derived from std::exception (UTF-8 text); the export then fails
// with that text.
class AbsExport {
public:
    virtual ~AbsExport() = default;

    // The head of the file. Gets the whole list first, for writers whose
    // head depends on every contact (the columns of a table).
    virtual QByteArray initialize(const QList<pim::_Contact>& contacts) = 0;

    // For a walk that never holds every contact at once: a writer whose head
    // depends on every contact says so here, is shown each of them through
    // scan() first, and then makes its head from the contacts scanned and
    // those initialize() gets (an empty list after a scan).
    virtual bool scansEveryContact() const { return false; }
    virtual void scan(const pim::_Contact& contact) { Q_UNUSED(contact); }
    // The bytes of one contact.
    virtual QByteArray ct2Bytes(const pim::_Contact& contact) = 0;
    // Whether ct2Bytes(), once initialize() returned, changes nothing and
    // reads nothing but the contact and what initialize() fixed, so that
    // several threads may call it at once, for contacts in any order; the
    // export then makes the bytes where it reads the contacts.
    virtual bool bytesOfContactAlone() const { return false; }
    // The tail of the file.
    virtual QByteArray uninitialize() = 0;
};
