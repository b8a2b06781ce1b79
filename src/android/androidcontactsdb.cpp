// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/androidcontactsdb.h"

#include "android/iandroidconnector.h"
#include "model/localdbcombinerule.h"

AndroidContactsDb::AndroidContactsDb(QString dbPath, PAndroidConnector connector)
    : LocalDb(dbPath, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule))
    , m_connector(std::move(connector))
{
}

AndroidContactsDb::~AndroidContactsDb() = default;
