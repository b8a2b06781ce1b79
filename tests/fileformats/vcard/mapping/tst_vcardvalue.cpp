// SPDX-License-Identifier: GPL-3.0-or-later
#include "../onecard.h"
#include "fileformats/vcard/mapping/vcardcardmapper.h"
#include "fileformats/vcard/mapping/vcardcardtext.h"
#include "fileformats/vcard/mapping/vcardvalue.h"

#include <QTest>

class TestVCardValue : public QObject {
    Q_OBJECT

private slots:
    // Kinds are worked out once per parameter text: the same words, bare
    // or in a TYPE list, give each property its own answer.
    void readsTheKindsOfEveryProperty()
    {
        const QList<VCardProperty> card = readOneCard("TEL;TYPE=WORK,FAX;CELL:1\r\n"
                                                      "TEL;CELL:2\r\n"
                                                      "TEL;TYPE=WORK,FAX:3\r\n"
                                                      "TEL;WORK;FAX:4\r\n"
                                                      "TEL;TYPE=CELL:5\r\n"
                                                      "TEL;type=\" Home \":6\r\n");
        QCOMPARE(card.size(), 6);
        VCardCardText cardText;
        QStringList kinds;
        for (const VCardProperty& property : card)
            kinds.append(VCardValue(property, cardText, true).kinds().join(QLatin1Char(',')));
        QCOMPARE(kinds,
            QStringList({ QStringLiteral("cell,work,fax"), QStringLiteral("cell"), QStringLiteral("work,fax"),
                QStringLiteral("fax,work"), QStringLiteral("cell"), QStringLiteral("home") }));
    }

    // A parameter's value that is stored is text of its line's character
    // set, without its quotes, with its blanks: a chat service's name, a
    // relation's kind word, a phone's own label in each of its shapes.
    void storesAParametersTextAsTextOfItsLine_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("entity");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("stored");
        const auto row = [](const char* name, const QByteArray& line, int entity, const char* field, const QString& stored) {
            QTest::newRow(name) << line << entity << QString::fromLatin1(field) << stored;
        };
        row("service in quotes, in UTF-8", "IMPP;X-SERVICE-TYPE=\"Mike\xE2\x80\x99s very special, custom IM:\":x-apple:m\r\n",
            pim::ENTITY_IM, "data6", QStringLiteral("Mike\u2019s very special, custom IM:"));
        row("service's blanks inside kept, those around it not", "IMPP;X-SERVICE-TYPE=\" Team  Chat \":x-apple:m\r\n",
            pim::ENTITY_IM, "data6", QStringLiteral("Team  Chat"));
        row("service in the Western code page", "IMPP;X-SERVICE-TYPE=Caf\xE9 Chat:x-apple:m\r\n", pim::ENTITY_IM, "data6",
            QStringLiteral("Caf\u00E9 Chat"));
        row("service in the line's charset", "IMPP;CHARSET=windows-1251;X-SERVICE-TYPE=\xD7\xE0\xF2:x-apple:m\r\n",
            pim::ENTITY_IM, "data6", QStringLiteral("\u0427\u0430\u0442"));
        row("relation's kind word, quoted, in UTF-8", "RELATED;TYPE=\"Gro\xC3\x9F Onkel\",pref:Otto\r\n",
            pim::ENTITY_REL, "data3", QStringLiteral("gro\u00DF onkel"));
        row("phone's own label as written", "TEL;X-CUSTOM(Gate Code):1\r\n", pim::ENTITY_PHONE, "data3",
            QStringLiteral("Gate Code"));
        row("phone's own label in codes of its own charset",
            "TEL;X-CUSTOM(ENCODING=QUOTED-PRINTABLE,CHARSET=windows-1251,=D7=E0=F2):1\r\n", pim::ENTITY_PHONE, "data3",
            QStringLiteral("\u0427\u0430\u0442"));
        row("phone's own label in codes of the line's charset",
            "TEL;CHARSET=windows-1251;X-CUSTOM(ENCODING=QUOTED-PRINTABLE,=D7=E0=F2):1\r\n", pim::ENTITY_PHONE, "data3",
            QStringLiteral("\u0427\u0430\u0442"));
        row("phone's own label with stray equals signs, one in codes", "TEL;X-CUSTOM(ENCODING=QUOTED-PRINTABLE,=41==42 =3D c=):1\r\n",
            pim::ENTITY_PHONE, "data3", QStringLiteral("AB = c"));
        row("phone's own label beside an item's label", "item1.TEL;X-CUSTOM(Gate Code):1\r\nitem1.X-ABLabel:Lobby\r\n",
            pim::ENTITY_PHONE, "data3", QStringLiteral("Lobby"));
        row("phone's own label in an encoding not read", "TEL;X-CUSTOM(ENCODING=BASE64,R2F0ZQ==):1\r\n",
            pim::ENTITY_PHONE, "data3", QString());
        row("phone's own label of an option alone", "TEL;X-CUSTOM(CHARSET=UTF-8):1\r\n", pim::ENTITY_PHONE, "data3", QString());
        row("phone's own label of blanks", "TEL;X-CUSTOM( ):1\r\n", pim::ENTITY_PHONE, "data3", QString());
        row("phone's own label not closed", "TEL;X-CUSTOM(Gate:1\r\n", pim::ENTITY_PHONE, "data3", QString());
    }
    void storesAParametersTextAsTextOfItsLine()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, entity);
        QFETCH(QString, field);
        QFETCH(QString, stored);
        const QList<VCardProperty> card = readOneCard("N:Ray;Ann\r\n" + line);
        QVERIFY(!card.isEmpty());
        VCardCardMapper mapper;
        const pim::_Contact contact = mapper.toContact(card);
        QCOMPARE(contact.entities.value(entity).size(), 1);
        QCOMPARE(contact.entities.value(entity).first().fields.value(field).toString(), stored);
    }
};

QTEST_APPLESS_MAIN(TestVCardValue)
#include "tst_vcardvalue.moc"
