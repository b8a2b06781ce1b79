// SPDX-License-Identifier: GPL-3.0-or-later
#include "shots.h"
#include "shotwriter.h"

#include "app/aboutusform.h"
#include "contactui/contactdisplayer.h"
#include "app/datasourceselform.h"
#include "app/groupform.h"
#include "model/localdb.h"
#include "app/localdbselform.h"

#include <QBuffer>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

namespace {

pim::Entity entity(std::initializer_list<std::pair<const char*, QVariant>> fields)
{
    pim::Entity e;
    for (const auto& [key, value] : fields)
        e.fields.insert(QString::fromLatin1(key), value);
    return e;
}

QByteArray samplePhoto()
{
    QImage image(240, 240, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, 240);
    sky.setColorAt(0, QColor(0x8E, 0xC5, 0xFC));
    sky.setColorAt(1, QColor(0xE0, 0xC3, 0xFC));
    painter.fillRect(image.rect(), sky);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x3B, 0x4A, 0x6B));
    painter.drawEllipse(QPointF(120, 95), 48, 48);
    painter.drawEllipse(QRectF(40, 150, 160, 160));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

pim::_Contact sampleContact()
{
    pim::_Contact c(1, QString(), QStringLiteral("Annabel Leigh-Moreno"));
    c.entities[pim::ENTITY_NAME] = {entity({{"data2", "Annabel"}, {"data3", "Leigh-Moreno"}})};
    c.entities[pim::ENTITY_PHOTO] = {entity({{"data15", samplePhoto()}})};
    c.entities[pim::ENTITY_PHONE] = {entity({{"data1", "+44 20 7946 0958"}, {"data2", 2}}),
                                     entity({{"data1", "+44 20 7946 0000"}, {"data2", 3}}),
                                     entity({{"data1", "0800 123 456"}, {"data2", 0}, {"data3", "Boat"}})};
    c.entities[pim::ENTITY_EMAIL] = {entity({{"data1", "annabel@example.org"}, {"data2", 1}}),
                                     entity({{"data1", "a.leigh@acme.example"}, {"data2", 2}})};
    c.entities[pim::ENTITY_NICKNAME] = {entity({{"data1", "Bel"}})};
    c.entities[pim::ENTITY_EVENT] = {entity({{"data1", "1986-04-09"}, {"data2", 3}}),
                                     entity({{"data1", "2015-06-20T00:00:00"}, {"data2", 1}})};
    c.entities[pim::ENTITY_GROUP] = {entity({{"data1", "1"}, {"data2", "Friends"}})};
    c.entities[pim::ENTITY_IM] = {entity({{"data1", "annabel.lm"}, {"data2", 1}, {"data5", 4}}),
                                  entity({{"data1", "@bel"}, {"data2", 2}, {"data6", "Signal"}})};
    c.entities[pim::ENTITY_NOTES] = {entity({{"data1", "Met at the design conference.\nPrefers calls after 10 am."}})};
    c.entities[pim::ENTITY_ORG] = {entity({{"data1", "Acme Instruments"}, {"data4", "Lead Engineer"}, {"data5", "R&D"}}),
                                   entity({{"data1", "City Orchestra"}, {"data2", 0}, {"data4", "Cellist"}})};
    c.entities[pim::ENTITY_REL] = {entity({{"data1", "Tomas Moreno"}, {"data2", 14}})};
    c.entities[pim::ENTITY_ADDR] = {entity({{"data2", 1}, {"data4", "12 Harbour Row"}, {"data7", "Bristol"},
                                            {"data9", "BS1 5TT"}, {"data10", "United Kingdom"}})};
    c.entities[pim::ENTITY_URL] = {entity({{"data1", "https://annabel.example"}, {"data2", 1}})};
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
        const pim::_Contact contact = sampleContact();
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
