// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafolderfixture.h"

#include "data_path_util.h"
#include "data_path_util_p.h"
#include "localdb.h"
#include "localdbcombinerule.h"

#include <QFile>

DataFolderFixture::DataFolderFixture()
{
    m_hadXdg = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    m_oldXdg = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
    g_forgetDataSaveDir();
}

DataFolderFixture::~DataFolderFixture()
{
    if (m_hadXdg)
        qputenv("XDG_DATA_HOME", m_oldXdg);
    else
        qunsetenv("XDG_DATA_HOME");
    g_forgetDataSaveDir();
}

QDir DataFolderFixture::dataFolder() const
{
    return g_dataSaveDir();
}

QString DataFolderFixture::baseFolder() const
{
    return g_defaultSaveDirPath();
}

pim::_Contact DataFolderFixture::contactOf(const Person& person)
{
    pim::_Contact contact;
    contact.fullName = person.name;
    pim::Entity name;
    name.fields.insert(QStringLiteral("data1"), person.name);
    name.fields.insert(QStringLiteral("data2"), person.name.section(QLatin1Char(' '), 0, 0));
    name.fields.insert(QStringLiteral("data3"), person.name.section(QLatin1Char(' '), 1));
    contact.entities[pim::ENTITY_NAME].append(name);
    if (!person.phone.isEmpty()) {
        pim::Entity phone;
        phone.fields.insert(QStringLiteral("data1"), person.phone);
        phone.fields.insert(QStringLiteral("data2"), 2);
        contact.entities[pim::ENTITY_PHONE].append(phone);
    }
    if (!person.email.isEmpty()) {
        pim::Entity email;
        email.fields.insert(QStringLiteral("data1"), person.email);
        email.fields.insert(QStringLiteral("data2"), 1);
        contact.entities[pim::ENTITY_EMAIL].append(email);
    }
    return contact;
}

QString DataFolderFixture::writeDb(const QString& folder, const QString& name, const QList<Person>& people)
{
    QDir dir = dataFolder();
    dir.mkpath(folder);
    const QString path = dir.filePath(folder + QLatin1Char('/') + name);
    LocalDb db(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
    db.create();
    db.beginEdit();
    for (const Person& person : people) {
        pim::_Contact stored;
        bool existed = false;
        db.combineContact(contactOf(person), stored, existed);
        if (!person.group.isEmpty())
            db.setGroup(stored.id, db.getGroupIdOrAdd(person.group), person.group);
    }
    db.endEdit(true);
    db.close();
    return path;
}

QString DataFolderFixture::writeGarbage(const QString& folder, const QString& name)
{
    QDir dir = dataFolder();
    dir.mkpath(folder);
    const QString path = dir.filePath(folder + QLatin1Char('/') + name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(QByteArray(4096, '\x5a'));
    return path;
}

QModelIndex DataFolderFixture::findNode(const QAbstractItemModel* model, const QString& text, const QModelIndex& parent)
{
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        if (index.data().toString() == text)
            return index;
        const QModelIndex inner = findNode(model, text, index);
        if (inner.isValid())
            return inner;
    }
    return QModelIndex();
}
