// SPDX-License-Identifier: GPL-3.0-or-later
#include "itunesbackup/passcodedlg.h"

#include "itunesbackup/backupmanifest.h"
#include "kit/messagetext.h"
#include "kit/progressform.h"
#include "kit/stylesheet.h"
#include "kit/tips.h"
#include "ui_passcodedlg.h"

#include <QThread>

#include <atomic>

namespace {

// Derives the keys (seconds with a real keybag) away from the GUI thread.
class UnlockThread : public QThread {
public:
    UnlockThread(BackupManifest& backup, QString password, ProgressForm& form)
        : m_backup(backup)
        , m_password(std::move(password))
        , m_form(form)
    {
    }

    std::atomic<bool> unlocked { false };

protected:
    void run() override
    {
        try {
            unlocked = m_backup.setPasscodeNoUIThrow(m_password, [this] { return m_form.isCancelled(); });
            m_form.invokeSucceed(QString());
        } catch (const std::exception& e) {
            m_form.invokeErrorOccurred(g_messageText(QString::fromUtf8(e.what())));
        }
    }

private:
    BackupManifest& m_backup;
    QString m_password;
    ProgressForm& m_form;
};

} // namespace

PasscodeDlg::PasscodeDlg(BackupManifest* backup, QWidget* parent)
    : QDialog(parent)
    , m_movable(this)
    , ui(std::make_unique<Ui_PasscodeDlg>())
    , m_backup(backup)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet(QStringLiteral(":/res/style.css")));
    ui->lbInfo->setTextFormat(Qt::PlainText);
    ui->lbInfo->setText(ui->lbInfo->text().arg(backup->displayName()));
    connect(ui->btnOK, &QPushButton::pressed, this, &PasscodeDlg::btnOkPressed);
}

PasscodeDlg::~PasscodeDlg() = default;

void PasscodeDlg::btnOkPressed()
{
    const QString password = ui->txtPassword->text();
    if (password.isEmpty()) {
        Tips::warning(tr("IDS_PWD_IS_NULL"));
        return;
    }
    ProgressForm form(tr("Checking the password..."), this);
    form.setCancelable(true);
    form.updateProgress(QString(), 0, QStringLiteral(" "));
    UnlockThread thread(*m_backup, password, form);
    thread.start(QThread::InheritPriority);
    const int result = form.exec();
    thread.wait();
    if (result != 1 || form.isCancelled())
        return; // the error was shown by the progress dialog, or the user cancelled
    if (!thread.unlocked) {
        Tips::warning(tr("IDS_INVALID_PASSWORD"));
        ui->txtPassword->selectAll();
        ui->txtPassword->setFocus();
        return;
    }
    accept();
}
