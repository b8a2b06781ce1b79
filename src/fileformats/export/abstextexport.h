// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileformats/export/absexport.h"

#include <QHash>
#include <QMap>
#include <QStringList>

// The column model of the tabular writers (CSV and fixed-width text). The
// columns follow from the data: a column exists when some contact has a
// value for it, and is named after the entity kind and its sub-type label
// (Tel:Mobile, Addr:Home:City, IM:Work:Skype), with the same names the CSV
// reader knows.
// The name's display name has a column ("Display Name") only where it is
// not the one its parts build, the reader's reading of an empty cell.
//
// Every value has a cell of its own: a contact's second value of a column
// (a second home phone, a second home address, a second note) goes to the
// numbered column of that name ("Tel:Home 2", "Addr:Home 2:Street",
// "Notes 2"), which the CSV reader maps back to a second entity. A code
// without a label is named by its number ("Tel:7").
class AbsTextExport : public AbsExport {
public:
    ~AbsTextExport() override = default;

    // Scans every contact, fixes the columns and returns the header line.
    QByteArray initialize(const QList<pim::_Contact>& contacts) override;
    bool scansEveryContact() const override { return true; }
    void scan(const pim::_Contact& contact) override;
    // The line of one contact of the list initialize() received.
    QByteArray ct2Bytes(const pim::_Contact& contact) override;
    // The columns are fixed by then; a line only reads them.
    bool bytesOfContactAlone() const override { return true; }
    // Nothing follows the last line.
    QByteArray uninitialize() override;

    static QString telCol(const pim::Entity& e);
    static QString emailCol(const pim::Entity& e);
    static QString eventCol(const pim::Entity& e);
    static QString imCol(const pim::Entity& e);
    static QString relCol(const pim::Entity& e);
    static QString urlCol(const pim::Entity& e);
    static QString addrCountryCol(const pim::Entity& e);
    static QString addrStateCol(const pim::Entity& e);
    static QString addrCityCol(const pim::Entity& e);
    static QString addrStreetCol(const pim::Entity& e);
    static QString addrPostcodeCol(const pim::Entity& e);

    // Sort rank of a column name; lower comes first.
    static int colPriority(const QString& name);
    // By rank, then by name, so the header never depends on hash order.
    static bool compareColNameLess(const QString& a, const QString& b);

protected:
    virtual QByteArray cols2Bytes(QStringList cols) = 0;
    // cells holds count texts in column order.
    virtual QByteArray rowData2Bytes(QString* cells, int count) = 0;

private:
    struct Column {
        QString base;
        int instance = 0;
    };
    // Every column a scanned contact fills, by its name.
    QHash<QString, Column> scanned;
    // Column name to its position.
    QMap<QString, int> colIndex;
    int colCount = 0;
};
