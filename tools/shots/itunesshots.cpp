// SPDX-License-Identifier: GPL-3.0-or-later
#include "shots.h"
#include "shotwriter.h"

#include "backupfixture.h"
#include "itunesbackup/backupmanifest.h"
#include "itunesbackup/loaditunesbackupdlg.h"
#include "itunesbackup/passcodedlg.h"
#include "kit/messagebox.h"

#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeView>

void itunesShots(ShotWriter& shots)
{
    QTemporaryDir home;
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    const QDir location = BackupManifest::iTunesBackupDirs().first();

    QString name;
    MessageBoxHandler previous = setMessageBoxHandler([&](QMessageBox& box) {
        shots.save(name, box);
        return int(QMessageBox::Ok);
    });

    name = QStringLiteral("itunes-chooser-empty-warning");
    {
        LoadItunesBackupDlg empty(nullptr);
        shots.save(QStringLiteral("itunes-chooser-empty"), empty);
        empty.hide();
    }

    const struct {
        const char* device;
        int daysAgo;
        bool encrypted;
    } backups[] = { { "Anna's iPhone", 2, true }, { "Work iPhone", 40, false }, { "Old iPhone 6", 400, false } };
    for (const auto& b : backups) {
        backupfixture::BackupSpec spec;
        spec.deviceName = QString::fromUtf8(b.device);
        spec.password = b.encrypted ? QStringLiteral("secret") : QString();
        const QString folder = location.filePath(QString::number(qHash(spec.deviceName), 16).repeated(5).left(40));
        backupfixture::writeBackup(folder, spec);
        QFile status(QDir(folder).filePath(QStringLiteral("Status.plist")));
        status.open(QIODevice::ReadWrite);
        status.setFileTime(QDateTime(QDate(2026, 12, 7), QTime(9, 30)).addDays(-b.daysAgo), QFileDevice::FileModificationTime);
    }

    name = QStringLiteral("itunes-chooser-load-without-row");
    LoadItunesBackupDlg chooser(nullptr);
    chooser.resize(680, 400);
    shots.save(QStringLiteral("itunes-chooser"), chooser);
    chooser.btnLoadClicked();
    auto* view = chooser.findChild<QTreeView*>(QStringLiteral("listBackups"));
    view->setCurrentIndex(view->model()->index(0, 0));
    shots.save(QStringLiteral("itunes-chooser-selected"), chooser);
    chooser.btnLoadClicked();
    chooser.hide();

    PasscodeDlg passcode(chooser.selectedBackup.data(), nullptr);
    shots.save(QStringLiteral("itunes-password"), passcode);
    passcode.findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(QStringLiteral("wrong"));
    shots.save(QStringLiteral("itunes-password-typed"), passcode);
    name = QStringLiteral("itunes-password-invalid");
    QMetaObject::invokeMethod(&passcode, "btnOkPressed");
    passcode.hide();

    setMessageBoxHandler(std::move(previous));
    qputenv("XDG_DATA_HOME", oldData);
}
