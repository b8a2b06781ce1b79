// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/androidcontactsdb.h"

#include "android/iandroidconnector.h"
#include "model/localdbcombinerule.h"

AndroidContactsDb::AndroidContactsDb(QString dbPath, PAndroidConnector connector, Access access)
    : LocalDb(dbPath, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule), access)
    , m_connector(std::move(connector))
{
}

AndroidContactsDb::~AndroidContactsDb() = default;
