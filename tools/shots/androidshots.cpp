// SPDX-License-Identifier: GPL-3.0-or-later
#include "shots.h"
#include "shotwriter.h"

#include "android/androidwifiform.h"
#include "kit/messagebox.h"
#include "kit/progressform.h"

#include <QLineEdit>

void androidShots(ShotWriter& shots)
{
    AndroidWIFIForm form(nullptr);
    shots.save(QStringLiteral("android-wifi-empty"), form);
    form.findChild<QLineEdit*>(QStringLiteral("txtWifiSocket"))->setText(QStringLiteral("192.168.1.23"));
    shots.save(QStringLiteral("android-wifi-typed"), form);

    MessageBoxHandler previous = setMessageBoxHandler([&](QMessageBox& box) {
        shots.save(QStringLiteral("android-wifi-input-error"), box);
        return int(QMessageBox::Ok);
    });
    form.findChild<QLineEdit*>(QStringLiteral("txtWifiSocket"))->setText(QStringLiteral("192.168.1.23:48888"));
    form.onBtnConnect();
    setMessageBoxHandler(std::move(previous));
    form.hide();

    ProgressForm connecting(QString(), nullptr);
    connecting.updateProgress(AndroidWIFIForm::connectingText(QStringLiteral("192.168.1.23")), -1, QStringLiteral(" "));
    shots.save(QStringLiteral("android-wifi-connecting"), connecting);
    connecting.hide();
}
