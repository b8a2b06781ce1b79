// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/export/absexport.h"

// Writes contacts as vCard 3.0, one card per contact, with nothing before,
// between or after the cards. Every value is UTF-8 text with the escapes of
// 3.0 ("\\", "\,", "\;", "\n"); nothing is quoted-printable, which 3.0
// does not know. Every sub-type goes out as a TYPE the reader maps back to
// it; a value with a label of its own goes out as a grouped item with an
// X-ABLabel. An entry whose value is blank is left out. Holds no state.
class VCardExport : public AbsExport {
public:
    VCardExport() = default;
    ~VCardExport() override = default;

    QByteArray initialize(const QList<pim::_Contact>& contacts) override;
    QByteArray ct2Bytes(const pim::_Contact& contact) override;
    bool bytesOfContactAlone() const override { return true; }
    QByteArray uninitialize() override;

    // Breaks every line of a card longer than 75 octets into continuation
    // lines (CRLF and one blank), as vCard 3.0 requires. A break never falls
    // inside a UTF-8 sequence nor inside an escape ("\n").
    static QByteArray foldLines(const QByteArray& card);
};
