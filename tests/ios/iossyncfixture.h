#pragma once
// A device database in a temporary folder, read back over a second connection,
// and records written as JSON ({"$date": ISO} and {"$data": base64} as in iphonesim.py).

#include "common/sqlprobe.h"
#include "ios/ioscontactcombinerule.h"
#include "ios/plistcftype.h"
#include "model/localdb.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

struct DeviceDb {
    QTemporaryDir dir;
    QSharedPointer<LocalDb> db{new LocalDb(dir.filePath("ios.db"), QSharedPointer<IOSContactCombineRule>::create())};
    DeviceDb() { db->create(); }

    // One line per data row in row order: "contact|type|data1|data2|data3|src_id".
    QStringList rows(const QString& where = "1")
    {
        return SqlProbe(db->path()).column(
            "select c.full_name||'|'||d.type||'|'||d.data1||'|'||d.data2||'|'||d.data3||'|'||ifnull(d.src_id,'') "
            "from data d join contact c on c._id = d.contact_id where " + where + " order by d._id");
    }
    QStringList contacts() { return SqlProbe(db->path()).column("select full_name||'|'||ifnull(src_id,'') from contact order by _id"); }
};

inline PlistCFType plistOf(const QJsonValue& v)
{
    if (v.isArray()) {
        PlistCFType a = PlistCFType::createCFArray();
        for (const QJsonValue& item : v.toArray())
            a.append(plistOf(item));
        return a;
    }
    if (!v.isObject())
        return PlistCFType::createCFString(v.toString());
    const QJsonObject o = v.toObject();
    if (o.contains("$date"))
        return PlistCFType::createCFDate(QDateTime::fromString(o["$date"].toString(), Qt::ISODate));
    if (o.contains("$data"))
        return PlistCFType::createCFData(QByteArray::fromBase64(o["$data"].toString().toLatin1()));
    PlistCFType d = PlistCFType::createCFDictionary();
    for (auto it = o.begin(); it != o.end(); ++it)
        d.put(it.key(), plistOf(it.value()));
    return d;
}

inline QJsonObject record(const char* kind, QJsonObject fields)
{
    fields["com.apple.syncservices.RecordEntityName"] = QString("com.apple.contacts.") + kind;
    return fields;
}
