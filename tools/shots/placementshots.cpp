// SPDX-License-Identifier: GPL-3.0-or-later
// Where windows open on the screen: the whole screen is grabbed, so a
// drop-down or a dialog that leaves its place shows as it would to a user.
// Run once per screen size, with the offscreen platform given a screen of
// that size (QT_QPA_PLATFORM=offscreen:configfile=..., see shots.h); the
// file names carry the size.
#include "samplecontact.h"
#include "shots.h"
#include "shotwriter.h"

#include "app/mainwindow.h"
#include "app/mainwindow/datafolderfixture.h"
#include "app/mainwindow/fakedevicelayer.h"
#include "contactui/editcontactform.h"
#include "fileformats/print/contactsprinter.h"
#include "kit/messagebox.h"
#include "kit/tips.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QScreen>
#include <QThread>
#include <QTimer>

namespace {

QString sizeName()
{
    const QSize size = QGuiApplication::primaryScreen()->size();
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

// Lets layout, resizes and paints of every window run through.
void settle()
{
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

// The first drop-down of the editor that lists phone types.
QComboBox* phoneTypeBox(QWidget& form)
{
    for (QComboBox* box : form.findChildren<QComboBox*>()) {
        if (box->findText(QStringLiteral("Mobile")) >= 0)
            return box;
    }
    return nullptr;
}

} // namespace

void placementShots(ShotWriter& shots)
{
    const QString size = sizeName();
    DataFolderFixture folder;
    folder.writeDb(QStringLiteral("data"), QStringLiteral("home.db"),
                   { { QStringLiteral("Ann Lee"), QStringLiteral("555-0101"), {}, {} },
                     { QStringLiteral("Bob Stone"), QStringLiteral("555-0102"), {}, {} } });
    FakeDeviceLayer layer;
    MainWindow window(&layer);
    window.show();
    settle();
    window.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    settle();
    window.repaint();
    settle();
    shots.save(QStringLiteral("placement-%1-window").arg(size), window);

    const pim::_Contact contact = sampleContact();
    {
        EditContactForm form(&contact, nullptr, &window);
        form.show();
        settle();
        if (QComboBox* box = phoneTypeBox(form)) {
            box->showPopup();
            settle();
        }
        shots.saveScreen(QStringLiteral("placement-%1-editor-phone-types").arg(size));
        if (QComboBox* box = phoneTypeBox(form))
            box->hidePopup();
    }
    {
        // A box over a small window stands in the middle of that window.
        window.setGeometry(QRect(QPoint(20, 20), QSize(window.minimumWidth(), 520)));
        window.activateWindow();
        settle();
        MessageBoxHandler previous = setMessageBoxHandler([&shots, size](QMessageBox& box) {
            box.show();
            settle();
            shots.saveScreen(QStringLiteral("placement-%1-box-over-small-window").arg(size));
            box.hide();
            return int(QMessageBox::Ok);
        });
        Tips::warning(QStringLiteral("Contacts 2024.db is in use by another operation. Select it again once "
                                     "that is over."));
        setMessageBoxHandler(std::move(previous));
        window.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
        settle();
    }
    {
        // The preview runs its own loop: it is grabbed and closed from inside.
        ContactsPrinter printer;
        QTimer::singleShot(300, [&shots, size] {
            settle();
            shots.saveScreen(QStringLiteral("placement-%1-print-preview").arg(size));
            if (QWidget* preview = QApplication::activeModalWidget())
                preview->close();
        });
        printer.printContacts({ contact });
    }
}
