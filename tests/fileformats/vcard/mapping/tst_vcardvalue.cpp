// SPDX-License-Identifier: GPL-3.0-or-later
#include "../onecard.h"
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

    // Only blanks and tabs go, at the ends of the value and of each of its
    // components; what the value keeps inside, and a note, stay as written.
    void dropsTheBlanksAtTheEndsOfAValue_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("keepsEndBlanks");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("components");
        QTest::newRow("a number, its inner blanks kept")
            << QByteArray("TEL:\t555  0100 \t\r\n") << false << "555  0100" << QStringList { "555  0100" };
        QTest::newRow("each part of an address")
            << QByteArray("ADR:; ;Storgatan  1 ;\tUppsala;;123 45 \r\n") << false
            << "; ;Storgatan  1 ;\tUppsala;;123 45"
            << QStringList { "", "", "Storgatan  1", "Uppsala", "", "123 45" };
        QTest::newRow("an escaped line break and a no-break space stay")
            << QByteArray("ORG:Acme\\n ;\xC2\xA0Sales \r\n") << false << QStringLiteral("Acme\n ;\u00A0Sales")
            << QStringList { "Acme\n", QStringLiteral("\u00A0Sales") };
        QTest::newRow("a note keeps its own")
            << QByteArray("NOTE:\t call; after six \r\n") << true << "\t call; after six "
            << QStringList { "\t call", " after six " };
    }
    void dropsTheBlanksAtTheEndsOfAValue()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, keepsEndBlanks);
        const QList<VCardProperty> card = readOneCard(line);
        QCOMPARE(card.size(), 1);
        VCardCardText cardText;
        const VCardValue value(card.first(), cardText, true, VCardCardText::Holds::Data, keepsEndBlanks);
        QTEST(value.text(), "text");
        QTEST(value.components(), "components");
    }
};

QTEST_APPLESS_MAIN(TestVCardValue)
#include "tst_vcardvalue.moc"
