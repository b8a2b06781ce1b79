// SPDX-License-Identifier: GPL-3.0-or-later
#include "samplecontact.h"

#include <QBuffer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

pim::Entity sampleEntity(unsigned long long id, std::initializer_list<std::pair<const char*, QVariant>> fields)
{
    pim::Entity e(id, QString());
    for (const auto& [key, value] : fields)
        e.fields.insert(QString::fromLatin1(key), value);
    return e;
}

QByteArray samplePhoto()
{
    QImage image(240, 240, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, 240);
    sky.setColorAt(0, QColor(0xF6, 0xD3, 0x65));
    sky.setColorAt(1, QColor(0xFD, 0xA0, 0x85));
    painter.fillRect(image.rect(), sky);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x5B, 0x3A, 0x29));
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
    pim::_Contact c(1, QString(), QStringLiteral("Dr Annabel Leigh-Moreno"));
    c.entities[pim::ENTITY_NAME] = {sampleEntity(1, {{"data2", "Annabel"}, {"data3", "Leigh-Moreno"}, {"data5", "Dr"},
                                               {"data4", "Rose"}, {"data6", "PhD"}})};
    c.entities[pim::ENTITY_PHOTO] = {sampleEntity(2, {{"data15", samplePhoto()}})};
    c.entities[pim::ENTITY_NICKNAME] = {sampleEntity(3, {{"data1", "Bel"}})};
    c.entities[pim::ENTITY_ORG] = {sampleEntity(4, {{"data1", "Acme Instruments"}, {"data4", "Lead Engineer"},
                                              {"data5", "Research & Development"}})};
    c.entities[pim::ENTITY_PHONE] = {sampleEntity(5, {{"data1", "+44 20 7946 0958"}, {"data2", 2}}),
                                     sampleEntity(6, {{"data1", "+44 20 7946 0000"}, {"data2", 3}}),
                                     sampleEntity(7, {{"data1", "0800 123 456"}, {"data2", 0}, {"data3", "Boat"}})};
    c.entities[pim::ENTITY_EMAIL] = {sampleEntity(8, {{"data1", "annabel@example.org"}, {"data2", 1}}),
                                     sampleEntity(9, {{"data1", "a.leigh-moreno@acme-instruments.example"}, {"data2", 2}})};
    c.entities[pim::ENTITY_EVENT] = {sampleEntity(10, {{"data1", "1986-04-09"}, {"data2", 3}}),
                                     sampleEntity(11, {{"data1", "2015-06-20T00:00:00"}, {"data2", 1}})};
    c.entities[pim::ENTITY_IM] = {sampleEntity(12, {{"data1", "annabel.lm"}, {"data2", 1}, {"data5", 4}}),
                                  sampleEntity(13, {{"data1", "@bel"}, {"data2", 2}, {"data6", "Signal"}})};
    c.entities[pim::ENTITY_REL] = {sampleEntity(14, {{"data1", "Tomas Moreno"}, {"data2", 14}})};
    c.entities[pim::ENTITY_ADDR] = {sampleEntity(15, {{"data2", 1}, {"data4", "Flat 3\n12 Harbour Row"}, {"data7", "Bristol"},
                                                {"data8", "Avon"}, {"data9", "BS1 5TT"}, {"data10", "United Kingdom"}})};
    c.entities[pim::ENTITY_URL] = {sampleEntity(16, {{"data1", "https://annabel.example"}, {"data2", 1}})};
    c.entities[pim::ENTITY_NOTES] = {sampleEntity(17, {{"data1", "Met at the design conference.\nPrefers calls after 10 am."}})};
    return c;
}
