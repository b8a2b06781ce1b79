// SPDX-License-Identifier: GPL-3.0-or-later
// The contact editor and its list editors: what is filled comes back as
// entities, untouched values exactly as stored, edited ones by the label rule.
#include "contactui/contacteditor.h"
#include "contactui/dateentitieseditor.h"
#include "model/pimlabels.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

namespace {

const QMap<int, QString> kLists{{pim::ENTITY_PHONE, "phoneList"}, {pim::ENTITY_EMAIL, "emailList"},
                                {pim::ENTITY_EVENT, "dateList"},  {pim::ENTITY_IM, "imList"},
                                {pim::ENTITY_REL, "relationList"}, {pim::ENTITY_ADDR, "addressList"},
                                {pim::ENTITY_URL, "urlList"}};

template <class T>
QList<T*> direct(const QWidget* parent)
{
    return parent->findChildren<T*>(QString(), Qt::FindDirectChildrenOnly);
}

// "txtName" names a box of the editor; "line1", "combo0", "text0" the n-th
// box of that kind in the type's list.
QWidget* locate(ContactEditor& editor, int type, const QString& where)
{
    if (where.startsWith("txt") || where.startsWith("lb"))
        return editor.findChild<QWidget*>(where);
    const auto* list = editor.findChild<QWidget*>(kLists.value(type));
    const int n = where.right(1).toInt();
    if (where.startsWith("combo"))
        return direct<QComboBox>(list).value(n);
    if (where.startsWith("text"))
        return direct<QTextEdit>(list).value(n);
    return direct<QLineEdit>(list).value(n);
}

void type(QWidget* w, const QString& text)
{
    if (auto* line = qobject_cast<QLineEdit*>(w))
        line->setText(text);
    else if (auto* box = qobject_cast<QComboBox*>(w))
        box->setEditText(text);
    else
        qobject_cast<QTextEdit*>(w)->setPlainText(text);
}

pim::Entity readBack(const ContactEditor& editor, int type)
{
    return type == pim::ENTITY_NAME ? editor.nameEntity() : editor.editedEntities(type).value(0);
}

void pressButton(QToolButton* button)
{
    QTest::mousePress(button, Qt::LeftButton);
    QTest::mouseRelease(button, Qt::LeftButton);
}

} // namespace

class TestContactEditor : public QObject {
    Q_OBJECT
private slots:
    void roundTripsEachType_data();
    void roundTripsEachType();
    void keepsDatesUnlessEdited();
};

void TestContactEditor::roundTripsEachType_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariantMap>("stored"); // empty: nothing stored, a new value
    QTest::addColumn<QString>("where");      // empty: left alone
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariantMap>("expected"); // empty: exactly as stored

    const QVariantMap name{{"data1", "Ann Lee"}, {"data2", "Ann"}, {"data3", "Lee"}, {"data7", "an"}, {"data8", "li"}};
    QVariantMap renamed = name;
    renamed["data2"] = "Anna";
    renamed["data1"] = "Anna Lee";
    QTest::newRow("name edit keeps phonetic keys") << 1 << name << "txtFirstName" << "  Anna " << renamed;
    QTest::newRow("phone custom label typed") << 3 << QVariantMap{{"data1", "0123"}, {"data2", 2}, {"data3", ""}}
        << "combo0" << "Boat" << QVariantMap{{"data1", "0123"}, {"data2", 0}, {"data3", "Boat"}};
    QTest::newRow("stored custom label equal to a table label") << 4
        << QVariantMap{{"data1", "a@b.example"}, {"data2", 0}, {"data3", "Home"}} << "" << "" << QVariantMap();
    const QVariantMap im{{"data1", "bel"}, {"data2", 1}, {"data5", 0}, {"data6", "Signal"}};
    QTest::newRow("IM protocol typed as a label") << 8 << im << "combo1" << "Skype"
        << QVariantMap{{"data1", "bel"}, {"data2", 1}, {"data5", 4}, {"data6", ""}};
    QTest::newRow("IM new account") << 8 << QVariantMap() << "" << "" << QVariantMap();
    const QVariantMap addr{{"data1", "stored text"}, {"data2", 1}, {"data4", "1 Road"}, {"data7", "Bristol"},
                           {"data10", "UK"}, {"data11", "PO Box 5"}};
    QVariantMap moved = addr;
    moved["data7"] = "Bath";
    QTest::newRow("address city edited keeps extra keys") << 12 << addr << "line2" << "Bath" << moved;
    QVariantMap marked = addr;
    marked["data4"] = "a <b>c</b>\nx<y";
    QTest::newRow("street is plain text") << 12 << addr << "text0" << " a <b>c</b>\nx<y\n" << marked;
    QTest::newRow("notes trimmed when edited") << 9 << QVariantMap{{"data1", "x"}} << "txtNotes"
                                               << "\n  a\n\n<b>c</b>  \n" << QVariantMap{{"data1", "a\n\n<b>c</b>"}};
    QTest::newRow("organisation keeps sub-type") << 10 << QVariantMap{{"data1", "Acme"}, {"data2", 1}, {"data4", "Eng"}}
        << "txtDepartment" << "R&D" << QVariantMap{{"data1", "Acme"}, {"data2", 1}, {"data4", "Eng"}, {"data5", "R&D"}};
}

void TestContactEditor::roundTripsEachType()
{
    QFETCH(int, type);
    QFETCH(QVariantMap, stored);
    QFETCH(QString, where);
    QFETCH(QString, text);
    QFETCH(QVariantMap, expected);

    pim::_Contact contact(9, "c9", "Ann");
    pim::Entity entity(stored.isEmpty() ? 0 : 42, stored.isEmpty() ? "" : "src-42");
    entity.fields = stored;
    if (!stored.isEmpty())
        contact.entities[type] = {entity};
    ContactEditor editor;
    editor.fillContact(&contact);
    if (stored.isEmpty() && kLists.contains(type)) {
        pressButton(direct<QToolButton>(editor.findChild<QWidget*>(kLists.value(type))).first());
        if (type == pim::ENTITY_IM)
            expected = {{"data1", ""}, {"data2", 1}, {"data3", ""}, {"data5", 0}, {"data6", ""}};
    }
    if (!where.isEmpty())
        ::type(locate(editor, type, where), text);

    const pim::Entity back = readBack(editor, type);
    QCOMPARE(back.id, entity.id);
    QCOMPARE(back.srcId, entity.srcId);
    if (type == pim::ENTITY_ADDR && expected != stored && !expected.isEmpty()) {
        pim::Entity formatted;
        formatted.fields = expected;
        expected["data1"] = formatted.formattedAddr();
    }
    QCOMPARE(back.fields, expected.isEmpty() ? stored : expected);
}

void TestContactEditor::keepsDatesUnlessEdited()
{
    DateEntitiesEditor dates("Date:", pim::eventTypeMap(), 3);
    const QVariantMap timed{{"data1", "2015-06-20T13:45:00"}, {"data2", 1}};
    dates.addItem(1, "", 1, "", QDateTime::fromString("2015-06-20T13:45:00", Qt::ISODate), timed);
    dates.addItem(2, "", 3, "", QDateTime(), {{"data1", "--05-17"}, {"data2", 3}});
    dates.add();
    const QList<QDateTimeEdit*> boxes = direct<QDateTimeEdit>(&dates);

    QList<pim::Entity> rows = dates.toEntityList("data2", "data3", "data1");
    QCOMPARE(rows.at(0).fields, timed);
    QCOMPARE(rows.at(1).fields.value("data1").toString(), QString("--05-17"));

    // The hidden time survives an edit of the day.
    boxes.at(0)->setDate(QDate(2015, 6, 21));
    boxes.at(1)->setDate(QDate(1980, 5, 17));
    rows = dates.toEntityList("data2", "data3", "data1");
    QCOMPARE(rows.at(0).fields.value("data1").toString(), QString("2015-06-21T13:45:00"));
    QCOMPARE(rows.at(1).fields.value("data1").toString(), QString("1980-05-17T00:00:00"));
}

QTEST_MAIN(TestContactEditor)
#include "tst_contacteditor.moc"
