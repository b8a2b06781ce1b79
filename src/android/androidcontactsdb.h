// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "android/pandroidconnector.h"
#include "model/localdb.h"

#include <QString>

// The contact database of one Android phone, and the way to reach the phone's
// companion app. Merges follow the rule of local databases.
class AndroidContactsDb : public LocalDb {
public:
    // Keeps dbPath and a reference to connector; opens and creates nothing
    // (call LocalDb::create() for a fresh file). A saved phone database is
    // opened ReadOnly: the program never writes into one.
    AndroidContactsDb(QString dbPath, PAndroidConnector connector, Access access = ReadWrite);
    ~AndroidContactsDb() override;

    // Another reference to the phone's connector; it outlives the database
    // while any copy is held.
    PAndroidConnector connector() const { return m_connector; }

private:
    PAndroidConnector m_connector;
};
