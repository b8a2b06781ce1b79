// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "kit/messagetext.h"
#include "kit/winmovable.h"

#include <QDialog>
#include <QSharedPointer>

class BackupManifest;
class ItemModelLoadBk;
class Ui_LoadItunesBackupDlg;

// The chooser of one backup folder: lists the backups of the standard
// location (newest first), lets the user add any other folder, and hands
// back the chosen one with its Manifest.plist summary read. GUI thread only.
class LoadItunesBackupDlg : public QDialog {
    Q_OBJECT
public:
    // Scans the standard location before returning; a folder that cannot
    // be read is reported and left out, an empty list is warned about.
    explicit LoadItunesBackupDlg(QWidget* parent);
    ~LoadItunesBackupDlg() override;

    // The loaded backup; never null after exec() returned Accepted.
    QSharedPointer<BackupManifest> selectedBackup;

    ItemModelLoadBk* model() const { return m_model; }

public slots:
    // Asks for another folder and lists it (the link text is not used).
    void btnAddOtherClicked(QString link);
    // Accepts with the current row, or warns when no row is current.
    void btnLoadClicked();

protected:
    void resizeEvent(QResizeEvent* event) override;
    // The folder to add, or empty when the user cancelled.
    virtual QString askForFolder();

private:
    // The warning about an empty list, with the link that adds a folder by
    // hand (rich text).
    static BoxText noBackupText();
    // Reads a folder's summary and lists it; a failure is reported and
    // nothing is listed.
    void addFolder(const QString& path, bool makeCurrent);

    Ui_LoadItunesBackupDlg* ui;
    WinMovable m_movable;
    ItemModelLoadBk* m_model;
};
