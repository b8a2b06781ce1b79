// SPDX-License-Identifier: GPL-3.0-or-later
// The generator's .flat files: one contact per line, the full name, then
// TAB-separated entities, each "type<US>data1<US>data2..." with line feeds
// written as "\n". A photo's last field is the base64 of its bytes and goes
// to data15; the sub-type (data2) is a number, but for a name (its given
// name); empty fields are left out.
#pragma once

#include "model/contact.h"

#include <QFile>

inline pim::_Contact flatContact(const QString& line)
{
    const QStringList columns = line.split(u'\t');
    pim::_Contact c;
    c.fullName = columns.value(0);
    for (qsizetype i = 1; i < columns.size(); ++i) {
        const QStringList fields = columns.at(i).split(QChar(0x1f));
        const int type = fields.value(0).toInt();
        pim::Entity e;
        for (qsizetype k = 1; k < fields.size(); ++k) {
            QString value = fields.at(k);
            value.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
            if (type == pim::ENTITY_PHOTO && k == fields.size() - 1)
                e.fields.insert(QStringLiteral("data15"), QByteArray::fromBase64(value.toLatin1()));
            else if (k == 2 && type != pim::ENTITY_NAME)  // a name's data2 is its given name
                e.fields.insert(QStringLiteral("data2"), value.toInt());
            else if (!value.isEmpty())
                e.fields.insert(QStringLiteral("data%1").arg(k), value);
        }
        c.entities[type].append(e);
    }
    return c;
}

// Every contact of the file; none when it cannot be read.
inline QList<pim::_Contact> loadFlatContacts(const QString& path)
{
    QList<pim::_Contact> contacts;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return contacts;
    while (!file.atEnd())
        contacts.append(flatContact(QString::fromUtf8(file.readLine()).chopped(1)));
    return contacts;
}
