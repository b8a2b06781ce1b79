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
};

QTEST_APPLESS_MAIN(TestVCardValue)
#include "tst_vcardvalue.moc"
