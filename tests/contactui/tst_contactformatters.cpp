// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>

#include "common/contactbuilders.h"

#include "contactui/contactformatters.h"

using Formatter = QString (*)(const pim::Entity&);
Q_DECLARE_METATYPE(Formatter)

namespace {

using testkit::contactOf;
using testkit::entityOf;

} // namespace

class TestContactFormatters : public QObject {
    Q_OBJECT
private slots:
    void formatsRowText_data()
    {
        QTest::addColumn<Formatter>("formatter");
        QTest::addColumn<QVariantMap>("fields");
        QTest::addColumn<QString>("expected");

        const Formatter phone = &contactformatters::phoneDisplay;
        QTest::newRow("phone without number keeps colon") << phone << QVariantMap{{"data2", 2}} << "Mobile:";
        QTest::newRow("phone code missing from table") << phone << QVariantMap{{"data1", "9"}, {"data2", 7}} << ":9";
        QTest::newRow("phone custom label wins") << phone << QVariantMap{{"data1", "9"}, {"data2", 2}, {"data3", "Boat"}} << "Boat:9";
        QTest::newRow("phone non-numeric sub-type is Other") << phone << QVariantMap{{"data1", "9"}, {"data2", "cell"}} << "Other:9";

        const Formatter email = &contactformatters::emailDisplay;
        QTest::newRow("email mobile code 4") << email << QVariantMap{{"data1", "a@b.c"}, {"data2", 4}} << "Mobile:a@b.c";

        const Formatter im = &contactformatters::imDisplay;
        QTest::newRow("im custom protocol") << im << QVariantMap{{"data1", "ann.lee"}, {"data2", 1}, {"data5", 4}, {"data6", "Signal"}}
                                            << "Home:ann.lee(Signal)";
        QTest::newRow("im unknown protocol code") << im << QVariantMap{{"data1", "x"}, {"data2", 2}, {"data5", 99}} << "Work:x()";

        const Formatter org = &contactformatters::orgDisplay;
        QTest::newRow("org company only") << org << QVariantMap{{"data1", "Acme"}, {"data2", 1}} << "Work:Acme";
        QTest::newRow("org surrounding blanks trimmed") << org << QVariantMap{{"data4", "  Boss "}} << "Other:Boss";
        QTest::newRow("org all parts") << org << QVariantMap{{"data1", "Acme"}, {"data2", 1}, {"data4", "Engineer"}, {"data5", "R&D"}}
                                       << "Work:Engineer R&D Acme";

        const Formatter rel = &contactformatters::relDisplay;
        QTest::newRow("relation custom label") << rel << QVariantMap{{"data1", "Bob"}, {"data3", "Mentor"}} << "Mentor:Bob";

        const Formatter event = &contactformatters::eventDisplay;
        const QString may17 = QLocale::system().toString(QDate(1980, 5, 17), QLocale::ShortFormat);
        QTest::newRow("date with a time") << event << QVariantMap{{"data1", "1980-05-17T08:30:00"}, {"data2", 3}}
                                          << "Birthday:" + may17;
        QTest::newRow("date that does not parse") << event << QVariantMap{{"data1", "May 17"}, {"data2", 3}} << "Birthday:";

        const Formatter addr = &contactformatters::addrDisplay;
        QTest::newRow("address markup is escaped")
            << addr << QVariantMap{{"data2", 2}, {"data4", "<img src=x> & Co"}, {"data3", ""}}
            << "<b>Work</b><br/>&lt;img src=x&gt; &amp; Co";
        QTest::newRow("address custom label escaped") << addr << QVariantMap{{"data3", "<i>Boat</i>"}, {"data4", "Pier 3"}}
                                                      << "<b>&lt;i&gt;Boat&lt;/i&gt;</b><br/>Pier 3";
    }

    void formatsRowText()
    {
        QFETCH(Formatter, formatter);
        QFETCH(QVariantMap, fields);
        QFETCH(QString, expected);
        QCOMPARE(formatter(entityOf(fields)), expected);
    }

    void formatsHeaderText_data()
    {
        QTest::addColumn<pim::_Contact>("contact");
        QTest::addColumn<QString>("expected");

        QTest::newRow("department only") << contactOf("Ann Lee", {{pim::ENTITY_ORG, {{{"data5", "Sales"}}}}})
                                         << "Ann Lee - Sales";
        QTest::newRow("only the first nickname")
            << contactOf("A", {{pim::ENTITY_NICKNAME, {{{"data1", "One"}}, {{"data1", "Two"}}}}}) << "A\n\"One\"";
        QTest::newRow("nickname and full organisation")
            << contactOf("Ann Lee", {{pim::ENTITY_NICKNAME, {{{"data1", "Annie"}}}},
                                     {pim::ENTITY_ORG, {{{"data1", "Acme"}, {"data4", "Engineer"}, {"data5", "R&D"}}}}})
            << "Ann Lee\n\"Annie\"\nEngineer - R&D\nAcme";
        QTest::newRow("empty first nickname adds nothing")
            << contactOf("A", {{pim::ENTITY_NICKNAME, {QVariantMap(), {{"data1", "Two"}}}}}) << "A";
    }

    void formatsHeaderText()
    {
        QFETCH(pim::_Contact, contact);
        QFETCH(QString, expected);
        QCOMPARE(contactformatters::headerText(contact), expected);
    }
};

QTEST_GUILESS_MAIN(TestContactFormatters)
#include "tst_contactformatters.moc"
