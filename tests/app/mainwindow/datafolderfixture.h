// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractItemModel>
#include <QDir>
#include <QList>
#include <QString>
#include <QTemporaryDir>

// A data folder of its own in a temporary directory: the per-user data
// location is pointed there, and databases are written with the real
// LocalDb, so the window reads what it would read on a user's machine.
class DataFolderFixture {
public:
    DataFolderFixture();
    ~DataFolderFixture();

    QDir dataFolder() const;

    // One contact; it may name a group. One without a name has no name
    // entry, as a company's card has none.
    struct Person {
        QString name;
        QString phone;
        QString email;
        QString group;
        QString company = {};
    };
    // A database with these contacts at folder/name ("ios_virtual",
    // "android_virtual" or "data").
    QString writeDb(const QString& folder, const QString& name, const QList<Person>& people);
    // A copy of the database file `source` at folder/name: a large database
    // written once serves rows that each change their own copy.
    QString copyDb(const QString& source, const QString& folder, const QString& name);
    // A file that is no database at all.
    QString writeGarbage(const QString& folder, const QString& name);

    // The first node shown with this text, depth first; invalid when none.
    static QModelIndex findNode(const QAbstractItemModel* model, const QString& text,
                                const QModelIndex& parent = QModelIndex());

private:
    QTemporaryDir m_home;
    QByteArray m_oldXdg;
    bool m_hadXdg = false;
};
