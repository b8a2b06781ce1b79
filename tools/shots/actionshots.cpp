// SPDX-License-Identifier: GPL-3.0-or-later
#include "shots.h"
#include "shotwriter.h"

#include "app/itemmodelcontacts.h"
#include "app/localdbselform.h"
#include "app/mainwindow.h"
#include "app/mainwindow/datafolderfixture.h"
#include "app/mainwindow/fakedevicelayer.h"
#include "contactui/editcontactform.h"
#include "kit/messagebox.h"
#include "support/modaldialoganswerer.h"
#include "ui_mainwindow.h"

#include <QDialog>
#include <QItemSelectionModel>

namespace {

// Pictures the next modal dialog of type T, then closes it.
template <typename T>
void shootNext(ShotWriter& shots, const QString& name, QObject* owner)
{
    auto* answerer = new ModalDialogAnswerer(
        [&shots, name](QWidget* dialog) {
            shots.save(name, *dialog);
            qobject_cast<QDialog*>(dialog)->reject();
        },
        10000, owner);
    answerer->setMatch([](QWidget* w) { return qobject_cast<T*>(w) != nullptr; });
}

} // namespace

void actionShots(ShotWriter& shots)
{
    DataFolderFixture folder;
    MessageBoxHandler previous = setMessageBoxHandler([](QMessageBox&) { return int(QMessageBox::Ok); });
    FakeDeviceLayer layer;
    QObject owner;
    {
        // A first-time user: no database yet, a new one proposed by name.
        MainWindow window(&layer);
        window.resize(1200, 720);
        shootNext<LocalDbSelForm>(shots, QStringLiteral("actions-new-database"), &owner);
        window.selOrCreateLocalDb(QStringLiteral("friends.vcf"));
    }

    folder.writeDb(QStringLiteral("data"), QStringLiteral("Contacts 2024.db"),
                   { { QStringLiteral("Amelia Zimmermann"), QStringLiteral("+49 30 1234567"),
                       QStringLiteral("amelia@zimmermann.example"), QStringLiteral("Family") },
                     { QStringLiteral("Bob Berg"), QStringLiteral("+1 555 1001"), QString(), QString() } });
    MainWindow window(&layer);
    window.resize(1200, 720);
    window.show();
    Ui_MainWindow* ui = window.form();
    ui->treeMain->setCurrentIndex(DataFolderFixture::findNode(window.mainTreeModel(), QStringLiteral("Contacts 2024.db")));
    shootNext<LocalDbSelForm>(shots, QStringLiteral("actions-backup-database"), &owner);
    window.miTreeBackup();
    shootNext<EditContactForm>(shots, QStringLiteral("actions-new-contact"), &owner);
    window.miNewContact();
    ui->treeContacts->selectionModel()->select(window.contactsListModel()->indexOfPos(0),
                                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ui->treeContacts->setCurrentIndex(window.contactsListModel()->indexOfPos(0));
    shootNext<EditContactForm>(shots, QStringLiteral("actions-edit-contact"), &owner);
    window.miContactEdit();
    window.hide();
    setMessageBoxHandler(std::move(previous));
}
