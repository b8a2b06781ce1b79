// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "kit/winmovable.h"

#include <QDialog>

#include <memory>

class BackupManifest;
class Ui_PasscodeDlg;

// Asks the password of an encrypted backup. Accepted only once the password
// has unlocked the backup; an empty or wrong password is warned about and
// the dialog stays open. The key derivation runs on a worker thread under
// the progress dialog, which can cancel it.
class PasscodeDlg : public QDialog {
    Q_OBJECT
public:
    // backup is not owned and must outlive the dialog.
    PasscodeDlg(BackupManifest* backup, QWidget* parent);
    ~PasscodeDlg() override;

private slots:
    void btnOkPressed();

private:
    WinMovable m_movable;
    std::unique_ptr<Ui_PasscodeDlg> ui;
    BackupManifest* m_backup;
};
