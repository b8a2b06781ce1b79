// SPDX-License-Identifier: GPL-3.0-or-later
#include "samplecontact.h"
#include "shots.h"
#include "shotwriter.h"

#include "app/aboutusform.h"
#include "contactui/contactdisplayer.h"
#include "app/datasourceselform.h"
#include "app/groupform.h"
#include "model/localdb.h"
#include "app/localdbselform.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// The editor's sample plus what only the card shows: a group and a
// second organisation.
pim::_Contact cardContact()
{
    pim::_Contact c = sampleContact();
    c.entities[pim::ENTITY_GROUP] = {sampleEntity(18, {{"data1", "1"}, {"data2", "Friends"}})};
    c.entities[pim::ENTITY_ORG].append(
        sampleEntity(19, {{"data1", "City Orchestra"}, {"data2", 0}, {"data4", "Cellist"}}));
    return c;
}

QSharedPointer<LocalDb> newDb(const QString& path)
{
    return LocalDb::openLocal(path);
}

} // namespace

void cardShots(ShotWriter& shots)
{
    QTemporaryDir home;
    // Sample databases go into a folder of our own, never the user's.
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));

    {
        const pim::_Contact contact = cardContact();
        ContactDisplayer card;
        card.setStyleSheet(QStringLiteral("background-color:#F1F5FB;"));
        card.resize(520, 760);
        card.showContact(&contact);
        shots.save(QStringLiteral("card-every-type"), card);

        const pim::_Contact bare(2, QString(), QStringLiteral("Kim"));
        card.resize(520, 260);
        card.showContact(&bare);
        shots.save(QStringLiteral("card-placeholder"), card);
    }
    {
        // A contact grown by merging, at the end of its phones: the first
        // rows and how many more there are.
        pim::_Contact many(3, QString(), QStringLiteral("Many Phones"));
        for (int i = 0; i < 250; ++i)
            many.entities[pim::ENTITY_PHONE].append(sampleEntity(100 + i, {{"data1", QString::number(5550100 + i)}, {"data2", 2}}));
        many.entities[pim::ENTITY_EMAIL] = {sampleEntity(400, {{"data1", "many@example.org"}, {"data2", 1}})};
        ContactDisplayer card;
        card.setStyleSheet(QStringLiteral("background-color:#F1F5FB;"));
        card.resize(520, 400);
        card.showContact(&many);
        card.show();
        QCoreApplication::processEvents();
        card.verticalScrollBar()->setValue(card.verticalScrollBar()->maximum());
        shots.save(QStringLiteral("card-many-rows"), card);
    }

    {
        // Long values: a name, a street and a pasted mail of a megabyte;
        // each shows its beginning and how much more there is.
        const QString name = QStringLiteral("Maximiliane Alexandra ").repeated(300);
        pim::_Contact longOne(4, QString(), name.trimmed());
        QString mail;
        for (int i = 0; mail.size() < 1000000; ++i)
            mail += QStringLiteral("Line %1 of the forwarded mail, with the words it carried.\n").arg(i + 1);
        longOne.entities[pim::ENTITY_PHONE] = {sampleEntity(500, {{"data1", "+44 20 7946 0958"}, {"data2", 2}})};
        longOne.entities[pim::ENTITY_ADDR] = {sampleEntity(501, {{"data2", 1},
            {"data4", QStringLiteral("Harbour Row ").repeated(900)}, {"data7", "Bristol"}})};
        longOne.entities[pim::ENTITY_NOTES] = {sampleEntity(502, {{"data1", mail}})};
        ContactDisplayer card;
        card.setStyleSheet(QStringLiteral("background-color:#F1F5FB;"));
        card.resize(520, 760);
        card.showContact(&longOne);
        card.show();
        QCoreApplication::processEvents();
        shots.save(QStringLiteral("card-long-values"), card);
        card.verticalScrollBar()->setValue(card.verticalScrollBar()->maximum());
        shots.save(QStringLiteral("card-long-note-end"), card);
    }

    const QDir dbDir = LocalDb::dbDir();
    if (dbDir.absolutePath().startsWith(home.path())) {
        for (const char* name : {"home.db", "work-phones.db", "iPhone-2019-backup.db"})
            newDb(dbDir.filePath(QString::fromLatin1(name)))->create();
    }
    {
        LocalDbSelForm form(nullptr, QStringLiteral("Annabel's iPhone-backup.db"));
        shots.save(QStringLiteral("dialog-localdbsel"), form);
    }
    {
        DataSourceSelForm form;
        int a = 0, b = 0;
        QTimer::singleShot(0, &form, [&] { form.reject(); });
        form.execSel(QCoreApplication::translate("MainWindow", "IDS_SELECT_ANDROID_TO_TRANSFER"),
                     {DataSourceSelForm::_SelItem(":res/icon_android.png", "Pixel 7 (R58M41ABCDE)", &a),
                      DataSourceSelForm::_SelItem(":res/icon_android.png", "Galaxy S21", &b)});
        shots.save(QStringLiteral("dialog-datasourcesel"), form);
    }
    {
        QSharedPointer<LocalDb> db = newDb(home.filePath(QStringLiteral("groups.db")));
        db->create();
        for (const char* name : {"Family", "Friends", "Work"})
            db->getGroupIdOrAdd(QString::fromLatin1(name));
        GroupForm form(db);
        shots.save(QStringLiteral("dialog-group"), form);
    }
    {
        AboutUsForm about;
        shots.save(QStringLiteral("dialog-about"), about);
    }
}
