// SPDX-License-Identifier: GPL-3.0-or-later
#include "shots.h"
#include "shotwriter.h"

#include "kit/messagebox.h"
#include "kit/progressform.h"
#include "kit/tips.h"

#include <QCoreApplication>

void kitShots(ShotWriter& shots)
{
    QString name;
    MessageBoxHandler previous = setMessageBoxHandler([&](QMessageBox& box) {
        shots.save(name, box);
        return int(QMessageBox::Ok);
    });

    name = QStringLiteral("kit-box-info");
    Tips::info(QCoreApplication::translate("MainWindow", "IDS_SUC_IMPORT_%1_TO_LOCALDB").arg(128));
    name = QStringLiteral("kit-box-warning");
    Tips::warning(QCoreApplication::translate("LocalDbSelForm", "IDS_INVALID_LOCALDB_NAME"));
    name = QStringLiteral("kit-box-question");
    Tips::question(QCoreApplication::translate("MainWindow", "IDS_CONFIRM_DEL_SELECTIONS"));
    name = QStringLiteral("kit-box-error");
    Tips::error(QCoreApplication::translate("QObject", "IDS_ANDROID_CONNECT_FAIL%0:%1")
                    .arg(QStringLiteral("127.0.0.1"))
                    .arg(12345));
    name = QStringLiteral("kit-box-long-path");
    {
        // A path of 300 characters with no blank in it: it wraps inside the box.
        QString path = QStringLiteral("/Users/someone/Library/Application Support/");
        while (path.size() < 296)
            path += QStringLiteral("VeryLongFolderNameWithoutAnyBreaks_");
        path = path.left(296) + QStringLiteral(".vcf");
        Tips::error(BoxText("load %1 error. %2").arg(path, QStringLiteral("The file cannot be read.")));
    }
    name = QStringLiteral("kit-box-retry-abort");
    g_showMessageBox(QMessageBox::Warning,
        BoxText::markup(QStringLiteral("Can't connect to your Android Phone: %1.<br/><br/>If you are presented with the pop up to "
                       "allow debugging with the computer on your Android device screen. Please simply check "
                       "\"Always allow from this computer\" and then click \"OK\" to finish.<br/><br/>"
                       "<img src=\":res/trust-android.png\"/>"))
            .arg(QStringLiteral("R58M41ABCDE")),
        QMessageBox::Retry | QMessageBox::Abort, true);
    name = QStringLiteral("kit-box-sync-tips");
    Tips::info(BoxText::markup(QCoreApplication::translate("MainWindow", "IDS_IPHONE_CONNECTIONS_CONTACTS_SYNC_TIPS")));

    setMessageBoxHandler(std::move(previous));

    ProgressForm form(QCoreApplication::translate("MainWindow", "IDS_STARTING_IMPORT_CONTACTS_FROM_DEVICE"));
    shots.save(QStringLiteral("kit-progress-start"), form);
    form.updateProgress(QCoreApplication::translate("IOSSyncToDeviceThread", "IDS_MERGING_CONTACTS"), 42,
        QStringLiteral("Contacts:42/100"));
    shots.save(QStringLiteral("kit-progress-running"), form);
    form.hide();
}
