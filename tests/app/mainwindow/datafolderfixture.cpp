// SPDX-License-Identifier: GPL-3.0-or-later
#include "datafolderfixture.h"

#include "common/contactbuilders.h"
#include "model/data_path_util.h"
#include "model/data_path_util_p.h"
#include "model/localdb.h"

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

QString DataFolderFixture::writeDb(const QString& folder, const QString& name, const QList<Person>& people)
{
    dataFolder().mkpath(folder);
    const QSharedPointer<LocalDb> db = LocalDb::openLocal(dataFolder().filePath(folder + QLatin1Char('/') + name));
    db->create();
    db->beginEdit();
    for (const Person& p : people) {
        QMap<int, QList<QVariantMap>> entities;
        if (!p.name.isEmpty())
            entities[pim::ENTITY_NAME]
                = { { { "data1", p.name }, { "data2", p.name.section(' ', 0, 0) }, { "data3", p.name.section(' ', 1) } } };
        if (!p.company.isEmpty())
            entities[pim::ENTITY_ORG] = { { { "data1", p.company }, { "data2", 1 } } };
        if (!p.phone.isEmpty())
            entities[pim::ENTITY_PHONE] = { { { "data1", p.phone }, { "data2", 2 } } };
        if (!p.email.isEmpty())
            entities[pim::ENTITY_EMAIL] = { { { "data1", p.email }, { "data2", 1 } } };
        pim::_Contact stored;
        bool existed = false;
        db->combineContact(testkit::contactOf(p.name, entities), stored, existed);
        if (!p.group.isEmpty())
            db->setGroup(stored.id, db->getGroupIdOrAdd(p.group), p.group);
    }
    db->endEdit(true);
    db->close();
    return db->path();
}

QString DataFolderFixture::copyDb(const QString& source, const QString& folder, const QString& name)
{
    dataFolder().mkpath(folder);
    const QString path = dataFolder().filePath(folder + QLatin1Char('/') + name);
    QFile::remove(path);
    return QFile::copy(source, path) ? path : QString();
}

QString DataFolderFixture::writeGarbage(const QString& folder, const QString& name)
{
    dataFolder().mkpath(folder);
    QFile file(dataFolder().filePath(folder + QLatin1Char('/') + name));
    if (file.open(QIODevice::WriteOnly))
        file.write(QByteArray(4096, '\x5a'));
    return file.fileName();
}

QModelIndex DataFolderFixture::findNode(const QAbstractItemModel* model, const QString& text, const QModelIndex& parent)
{
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        const QModelIndex found = index.data().toString() == text ? index : findNode(model, text, index);
        if (found.isValid())
            return found;
    }
    return QModelIndex();
}
