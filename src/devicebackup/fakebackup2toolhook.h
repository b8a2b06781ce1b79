// SPDX-License-Identifier: GPL-3.0-or-later
// FakeBackup2ToolHook: a hook that keeps only part of a phone's backup. Of
// everything the phone sends it stores the backup's index and status files,
// files whose phone-side names match a pattern, and files inside the
// containers of chosen apps; every file sent, stored or not, is recorded in
// FakeDNameDb, and folder listings are answered from that record so that
// the phone sees its whole backup.
//
// The creator fills m_includeNonAppFiles, m_wantedApps and m_namePatterns
// before the run; the app tables are read from the phone's installation
// proxy at each beginThrow(). Failures: a file-name database that cannot be
// opened or created ends the run ("open dname.sqlite failed. ..."); the
// phone's app list being out of reach is not a failure.
#pragma once

#include "devicebackup/backup2toolhook.h"
#include "devicebackup/fakednamedb.h"

#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QSet>
#include <QString>

class FakeBackup2ToolHook : public Backup2ToolHook {
public:
    FakeBackup2ToolHook();
    ~FakeBackup2ToolHook() override;

    void beginThrow(QDir root, QString udid) override;
    QList<DirItem> dirContents(QDir root, QString path) override;
    void recvFileBegin(QDir root, QString udid, QString fileName, QString deviceName) override;
    int recvFileOpenWrite(QDir root, QString fileName, QFile& file, QString& errorText) override;
    void recvFileEnd(QDir root, QString fileName, unsigned long long bytes) override;
    int removeFile(QDir root, QString path, QString& errorText) override;
    // Copies and folders are not kept in a partial backup.
    int copyFile(QDir root, QString from, QString to, QString& errorText) override;
    int mkdir(QDir root, QString path, QString& errorText) override;

    // Whether a file is stored; an empty deviceName is looked up in the record.
    bool isFileIncluded(QDir root, QString fileName, QString deviceName);
    // Reads the installed user apps and their containers from the phone.
    void readAppuids(QString udid);
    // Adds the apps of an installation-proxy browse result (an array of
    // app dictionaries) to the app tables.
    void recordApps(const PlistCFType& apps);

    bool m_includeNonAppFiles = false;
    QSet<QString> m_wantedApps;
    FakeDNameDb m_dnameDb;
    QSet<QString> m_fixedNames;
    QList<QRegularExpression> m_namePatterns;
    QHash<QString, QSet<QString>> m_appContainers;
    QSet<QString> m_allContainers;
};
