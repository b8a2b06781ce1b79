// SPDX-License-Identifier: GPL-3.0-or-later
// What the contact editor takes from the mouse wheel and the photo dialog:
// scrolling the page over a box leaves the box's value alone, and the
// dialog's filter lets every PNG and JPEG file through.
#include "contactui/contacteditor.h"
#include "model/contact.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

namespace {

pim::Entity entity(unsigned long long id, const QVariantMap& fields)
{
    pim::Entity e(id, QStringLiteral("s%1").arg(id));
    e.fields = fields;
    return e;
}

// One entity in every list, each with a sub-type other than the first item
// of its box, so that a turn of the wheel up always changes it.
pim::_Contact everyList()
{
    pim::_Contact c(1, QString(), QStringLiteral("Ann Lee"));
    c.entities[pim::ENTITY_NAME] = { entity(1, { { "data2", "Ann" }, { "data3", "Lee" } }) };
    c.entities[pim::ENTITY_PHONE] = { entity(2, { { "data1", "+1 555 0101" }, { "data2", 2 } }) };
    c.entities[pim::ENTITY_EMAIL] = { entity(3, { { "data1", "ann@example.com" }, { "data2", 1 } }) };
    c.entities[pim::ENTITY_EVENT] = { entity(4, { { "data1", "1970-01-02" }, { "data2", 3 } }) };
    c.entities[pim::ENTITY_IM] = { entity(5, { { "data1", "ann.lee" }, { "data2", 1 }, { "data5", 4 } }) };
    c.entities[pim::ENTITY_REL] = { entity(6, { { "data1", "Bob" }, { "data2", 1 } }) };
    c.entities[pim::ENTITY_ADDR] = { entity(7, { { "data7", "Berlin" }, { "data2", 1 } }) };
    c.entities[pim::ENTITY_URL] = { entity(8, { { "data1", "https://ann.example" }, { "data2", 1 } }) };
    return c;
}

// What the editor hands back for one entity type.
QList<QVariantMap> shown(const ContactEditor& editor, int type)
{
    QList<QVariantMap> out;
    for (const pim::Entity& e : editor.editedEntities(type))
        out.append(e.fields);
    return out;
}

// The n-th box of a list whose value the wheel would change.
QWidget* valueBox(ContactEditor& editor, const char* list, int n)
{
    QList<QWidget*> boxes;
    const auto* owner = editor.findChild<QWidget*>(QLatin1String(list));
    for (QWidget* w : owner->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w))
            boxes.append(w);
    }
    return boxes.value(n);
}

// One notch of the wheel over the middle of `box`. The box's own edit
// field under the pointer passes a wheel event on to the box; a synthetic
// event would not be passed on, so it goes to the box itself.
void turnWheel(QWidget* box, int delta)
{
    const QPointF middle = QRectF(box->rect()).center();
    QWheelEvent event(middle, box->mapToGlobal(middle), QPoint(), QPoint(0, delta), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(box, &event);
}

// The patterns inside the parentheses of a dialog filter.
QStringList patternsOf(const QString& filter)
{
    const int open = int(filter.indexOf(QLatin1Char('(')));
    const int close = int(filter.lastIndexOf(QLatin1Char(')')));
    return filter.mid(open + 1, close - open - 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

class TestEditorInput : public QObject {
    Q_OBJECT
private slots:
    void wheelScrollsThePageOverAnUnfocusedBox_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("box");

        QTest::newRow("phone type") << int(pim::ENTITY_PHONE) << "phoneList" << 0;
        QTest::newRow("e-mail type") << int(pim::ENTITY_EMAIL) << "emailList" << 0;
        QTest::newRow("date type") << int(pim::ENTITY_EVENT) << "dateList" << 0;
        QTest::newRow("date") << int(pim::ENTITY_EVENT) << "dateList" << 1;
        QTest::newRow("IM type") << int(pim::ENTITY_IM) << "imList" << 0;
        QTest::newRow("IM protocol") << int(pim::ENTITY_IM) << "imList" << 1;
        QTest::newRow("relation type") << int(pim::ENTITY_REL) << "relationList" << 0;
        QTest::newRow("address type") << int(pim::ENTITY_ADDR) << "addressList" << 0;
        QTest::newRow("website type") << int(pim::ENTITY_URL) << "urlList" << 0;
    }

    void wheelScrollsThePageOverAnUnfocusedBox()
    {
        QFETCH(int, type);
        QFETCH(QString, list);
        QFETCH(int, box);

        const pim::_Contact contact = everyList();
        ContactEditor editor;
        editor.fillContact(&contact);
        editor.resize(460, 220);
        editor.show();
        editor.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&editor));
        QWidget* target = valueBox(editor, list.toLatin1().constData(), box);
        QVERIFY(target);
        editor.findChild<QLineEdit*>(QStringLiteral("txtFirstName"))->setFocus();
        QVERIFY(!target->hasFocus());

        const QList<QVariantMap> stored = shown(editor, type);
        editor.ensureWidgetVisible(target);
        QScrollBar* page = editor.verticalScrollBar();
        QVERIFY(page->maximum() > 0);
        const int before = page->value();
        turnWheel(target, before < page->maximum() ? -120 : 120);
        QCOMPARE(shown(editor, type), stored);
        QVERIFY(page->value() != before);
        QVERIFY(!target->hasFocus());

        // Once the user is in the box, the wheel is the box's.
        target->setFocus(Qt::TabFocusReason);
        turnWheel(target, 120);
        QVERIFY(shown(editor, type) != stored);
    }

    void photoDialogListsEveryPngAndJpeg()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QStringList pictures { "a.png", "b.PNG", "c.jpg", "d.JPG", "e.jpeg", "f.JPEG" };
        for (const QString& name : pictures + QStringList { "g.gif", "h.txt" }) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        // Matched as strictly as a dialog on a case-sensitive file system.
        const QStringList listed = QDir(dir.path())
                                       .entryList(patternsOf(ContactEditor::photoFileFilter()),
                                           QDir::Files | QDir::CaseSensitive, QDir::Name);
        QCOMPARE(listed, pictures);
    }
};

QTEST_MAIN(TestEditorInput)
#include "tst_editorinput.moc"
