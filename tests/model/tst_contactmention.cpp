// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/contactmention.h"

#include <QTest>

namespace {

using Entities = QMap<int, QStringList>;

// A contact of this full name holding these "data1" values by type.
pim::_Contact contactOf(const QString& fullName, const Entities& values)
{
    pim::_Contact contact(1, QString(), fullName);
    for (auto it = values.begin(); it != values.end(); ++it) {
        for (const QString& value : it.value()) {
            pim::Entity entity;
            entity.fields.insert(QStringLiteral("data1"), value);
            contact.entities[it.key()].append(entity);
        }
    }
    return contact;
}

} // namespace

class TestContactMention : public QObject {
    Q_OBJECT

private slots:
    void namesAContactByWhatItHolds_data()
    {
        QTest::addColumn<pim::_Contact>("contact");
        QTest::addColumn<QString>("shown");
        const Entities all{{pim::ENTITY_ORG, {"Acme"}}, {pim::ENTITY_PHONE, {"+1 555"}}, {pim::ENTITY_EMAIL, {"a@b.example"}}};
        QTest::newRow("its name before all") << contactOf("Anna Berg", all) << "Anna Berg";
        QTest::newRow("a blank name: its company") << contactOf("  ", all) << "Acme";
        QTest::newRow("a blank company: its first phone number")
            << contactOf("", {{pim::ENTITY_ORG, {" "}}, {pim::ENTITY_PHONE, {"", " +1 555 ", "+2"}}, {pim::ENTITY_EMAIL, {"a@b.example"}}})
            << "+1 555";
        QTest::newRow("only an e-mail address") << contactOf("", {{pim::ENTITY_EMAIL, {"a@b.example"}}}) << "a@b.example";
        QTest::newRow("none of them") << contactOf("", {{pim::ENTITY_NOTES, {"likes tea"}}, {pim::ENTITY_URL, {"https://x.example"}}})
                                      << "";
    }
    void namesAContactByWhatItHolds()
    {
        QFETCH(pim::_Contact, contact);
        QTEST(pim::shownName(contact), "shown");
    }

    void listsContactsWithoutANameLast_data()
    {
        QTest::addColumn<QStringList>("shownNames");
        QTest::addColumn<QString>("text");
        QTest::newRow("named ones") << QStringList{"A", "B"} << "\"A\", \"B\"";
        QTest::newRow("one without a name") << QStringList{""} << "a contact without a name";
        QTest::newRow("two without a name, after the named")
            << QStringList{"", "A", "", "B"} << "\"A\", \"B\" and 2 contacts without a name";
        QTest::newRow("the last place taken by those without a name")
            << QStringList{"A", "B", "", "C"} << "\"A\", \"B\", \"C\" and a contact without a name";
        QTest::newRow("no place left for those without a name")
            << QStringList{"A", "B", "C", "D", ""} << "\"A\", \"B\", \"C\", \"D\", ...";
        QTest::newRow("more named ones than places") << QStringList{"A", "B", "C", "D", "E"} << "\"A\", \"B\", \"C\", \"D\", ...";
    }
    void listsContactsWithoutANameLast()
    {
        QFETCH(QStringList, shownNames);
        QTEST(pim::mentionAll(shownNames, 4), "text");
    }
};

QTEST_GUILESS_MAIN(TestContactMention)
#include "tst_contactmention.moc"
