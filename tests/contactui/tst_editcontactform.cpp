// SPDX-License-Identifier: GPL-3.0-or-later
// The edit dialog: its checks on Apply, its keys, its Cancel question and the
// change list that the phone send threads replay.
#include "common/sqlprobe.h"
#include "contactui/contacteditor.h"
#include "contactui/editcontactform.h"
#include "kit/fallbacktranslator.h"
#include "model/localdb.h"
#include "model/localdbcombinerule.h"
#include "support/messageboxrecorder.h"
#include "support/timebounds.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QScreen>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

using Change = std::tuple<int, int, unsigned long long>; // type, action, id

pim::Entity ent(unsigned long long id, const QString& srcId, const QVariantMap& fields)
{
    pim::Entity e(id, srcId);
    e.fields = fields;
    return e;
}

QList<Change> summary(const QList<EditContactForm::_ChangeData>& changes)
{
    QList<Change> out;
    for (const auto& c : changes)
        out.append({c.type, int(c.action), c.entity.id});
    return out;
}

// One contact of every shown kind, shaped like what each source stores.
pim::_Contact sourceContact(const QString& source)
{
    const bool labels = source == "local" || source == "iPhone";
    const auto sid = [&source](int n) {
        return source == "iPhone" ? QString("%1/ABMultiValue").arg(n)
                                  : source == "Android" ? QString::number(n) : QString();
    };
    const QVariant code2 = source == "Android" ? QVariant("2") : QVariant(2);
    auto valued = [&](unsigned long long id, const QString& value, QVariantMap extra = {}) {
        extra.insert("data1", value);
        extra.insert("data2", code2);
        if (labels)
            extra.insert("data3", "");
        return ent(id, sid(id), extra);
    };
    pim::_Contact c(1, sid(1), "Ann Lee");
    c.entities[pim::ENTITY_NAME] = {source == "vCard"
        ? ent(2, sid(2), {{"data1", "Ann Lee"}, {"data2", "Ann"}, {"data3", "Lee"}, {"data7", "an"}})
        : ent(2, sid(2), {{"data1", "Ann Lee"}, {"data2", "Ann"}, {"data3", "Lee"}, {"data4", ""}, {"data5", ""},
                          {"data6", ""}})};
    c.entities[pim::ENTITY_PHOTO] = {ent(3, sid(3), {{"data15", QByteArray("not a picture")}, {"data4", "h1"}}),
                                     ent(4, sid(4), {{"data15", QByteArray("second")}, {"data4", "h2"}})};
    c.entities[pim::ENTITY_PHONE] = {valued(5, "+44 20 7946 0958", {{"data4", "+442079460958"}}),
                                     ent(6, sid(6), {{"data1", "0800"}, {"data2", 0}, {"data3", "Boat"}})};
    c.entities[pim::ENTITY_EMAIL] = {ent(7, sid(7), {{"data1", "a@b.example"}, {"data2", 0}, {"data3", "Home"}})};
    c.entities[pim::ENTITY_NICKNAME] = {ent(8, sid(8), {{"data1", "Bel"}}), ent(9, sid(9), {{"data1", "Bee"}})};
    c.entities[pim::ENTITY_EVENT] = {valued(10, "--05-17"), valued(11, "1980-05-17"),
                                     valued(12, "2015-06-20T13:45:00Z")};
    c.entities[pim::ENTITY_GROUP] = {ent(13, sid(13), {{"data1", "1"}})};
    c.entities[pim::ENTITY_IM] = {ent(14, sid(14), {{"data1", " bel "}, {"data5", 0}, {"data6", "Signal"}})};
    c.entities[pim::ENTITY_NOTES] = {ent(15, sid(15), {{"data1", "a <b>c</b>\n"}}), ent(16, "", {{"data1", "2nd"}})};
    c.entities[pim::ENTITY_ORG] = {ent(17, sid(17), {{"data1", "Acme"}, {"data2", 1}}),
                                   ent(18, sid(18), {{"data1", "Orchestra"}})};
    c.entities[pim::ENTITY_REL] = {valued(19, "Tom")};
    c.entities[pim::ENTITY_ADDR] = {ent(20, sid(20), {{"data1", "Harbour Row\nBristol"}, {"data4", "x<y\n"},
                                                      {"data7", "Bristol"}, {"data11", "PO Box 5"}, {"data2", 1}})};
    c.entities[pim::ENTITY_URL] = {valued(21, "https://a.example")};
    return c;
}

template <class T>
QList<T*> direct(const QWidget* parent)
{
    return parent->findChildren<T*>(QString(), Qt::FindDirectChildrenOnly);
}

void pressAdd(ContactEditor* editor, const char* list)
{
    QTest::mousePress(direct<QToolButton>(editor->findChild<QWidget*>(list)).first(), Qt::LeftButton);
}

} // namespace

class TestEditContactForm : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void yieldsNothingForUnchangedContact_data();
    void yieldsNothingForUnchangedContact();
    void listsChangesInOrder();
    void addsEveryFilledValueOfNewContact();
    void checksNameOnApply();
    void swallowsEscapeAndKeypadEnter();
    void asksBeforeCancel();
    void fitsTheScreenAndOpensListsUnderTheirBox();
    void opensALongContactAndKeepsItsValues_data();
    void opensALongContactAndKeepsItsValues();

private:
    FallbackTranslator m_translator;
    LocalDbCombineRule m_rule;
};

void TestEditContactForm::initTestCase()
{
    QVERIFY(m_translator.load(":/en.qm"));
    QCoreApplication::installTranslator(&m_translator);
}

void TestEditContactForm::yieldsNothingForUnchangedContact_data()
{
    QTest::addColumn<QString>("source");
    for (const char* source : {"local", "vCard", "CSV", "iPhone", "Android"})
        QTest::newRow(source) << QString(source);
    // Stored and loaded again: the address comes back with its country code.
    QTest::newRow("read back from a database") << QString("database");
    // The editor shows only the first rows of each list: the others must
    // not come back as deleted.
    QTest::newRow("local, grown by merging to 10,000 rows") << QString("large");
}

void TestEditContactForm::yieldsNothingForUnchangedContact()
{
    QFETCH(QString, source);
    pim::_Contact contact = sourceContact(source == "database" ? "iPhone" : source == "large" ? "local" : source);
    for (int i = 0; source == "large" && i < 9980; ++i)
        contact.entities[pim::ENTITY_PHONE].append(ent(100 + i, "", {{"data1", QString::number(5550000 + i)}, {"data2", 2}, {"data3", ""}}));
    QTemporaryDir dir;
    if (source == "database") {
        LocalDb db(dir.filePath("a.db"), QSharedPointer<LocalDbCombineRule>::create());
        db.create();
        pim::_Contact stored(0, contact.srcId, contact.fullName);
        db.insertContactBase(stored);
        for (auto it = contact.entities.cbegin(); it != contact.entities.cend(); ++it)
            for (pim::Entity e : it.value())
                if (it.key() != pim::ENTITY_GROUP)
                    db.insertEntity(stored.id, it.key(), e);
        contact = db.contact(stored.id);
        QCOMPARE(contact.entities.value(pim::ENTITY_ADDR).value(0).fields.value("data11").toString(), QString("PO Box 5"));
    }
    EditContactForm form(&contact, nullptr);
    QCOMPARE(form.windowTitle(), QString("Edit Contact Ann Lee"));
    QCOMPARE(summary(form.getChanges(&m_rule, contact)), QList<Change>());
}

void TestEditContactForm::listsChangesInOrder()
{
    pim::_Contact stored(1, "", "Ann Lee");
    stored.entities[pim::ENTITY_NAME] = {ent(1, "n", {{"data2", "Ann"}, {"data3", "Lee"}})};
    stored.entities[pim::ENTITY_PHONE] = {ent(10, "p", {{"data1", "111"}, {"data2", 2}}),
                                          ent(11, "", {{"data1", "222"}, {"data2", 2}})};
    stored.entities[pim::ENTITY_EMAIL] = {ent(20, "", {{"data1", "a@b.example"}, {"data2", 1}})};
    stored.entities[pim::ENTITY_NICKNAME] = {ent(30, "", {{"data1", "Bel"}}), ent(31, "", {{"data1", "Bee"}})};
    stored.entities[pim::ENTITY_GROUP] = {ent(50, "", {{"data1", "1"}})};
    EditContactForm form(&stored, nullptr);
    auto* editor = form.findChild<ContactEditor*>("wdEditContact");
    editor->findChild<QLineEdit*>("txtLastName")->setText("Lea");
    editor->findChild<QLineEdit*>("txtNickname")->setText("  ");
    auto* phones = editor->findChild<QWidget*>("phoneList");
    direct<QLineEdit>(phones).first()->setText("333");
    pressAdd(editor, "phoneList"); // left empty: skipped
    pressAdd(editor, "urlList");
    direct<QLineEdit>(editor->findChild<QWidget*>("urlList")).first()->setText("https://x.example");
    auto* emails = editor->findChild<QWidget*>("emailList");
    QTest::mousePress(direct<QToolButton>(emails).at(1), Qt::LeftButton);

    const QList<Change> expected{{1, 2, 1}, {3, 2, 10}, {13, 1, 0}, {4, 3, 20}, {5, 3, 30}};
    const auto changes = form.getChanges(&m_rule, stored);
    QCOMPARE(summary(changes), expected);
    QCOMPARE(summary(form.getChanges(&m_rule, stored)), expected);
    QCOMPARE(changes.at(0).entity.fields.value("data1").toString(), QString("Ann Lea"));
    QCOMPARE(changes.at(1).entity.srcId, QString("p"));
    QCOMPARE(changes.at(1).entity.fields.value("data1").toString(), QString("333"));
    QCOMPARE(changes.at(3).entity.fields, stored.entities[pim::ENTITY_EMAIL].first().fields);
}

void TestEditContactForm::addsEveryFilledValueOfNewContact()
{
    const pim::_Contact empty;
    EditContactForm form(&empty, nullptr);
    QCOMPARE(form.windowTitle(), QString("Add New Contact"));
    auto* editor = form.findChild<ContactEditor*>("wdEditContact");
    editor->findChild<QLineEdit*>("txtFirstName")->setText("Ann");
    pressAdd(editor, "phoneList");
    direct<QLineEdit>(editor->findChild<QWidget*>("phoneList")).first()->setText("123");
    pressAdd(editor, "emailList"); // empty
    QCOMPARE(summary(form.getChanges(&m_rule, empty)), (QList<Change>{{1, 1, 0}, {3, 1, 0}}));
}

void TestEditContactForm::checksNameOnApply()
{
    QTemporaryDir dir;
    const QSharedPointer<LocalDb> db = LocalDb::openLocal(dir.filePath("local.db"));
    db->create();
    pim::_Contact existing(0, "", "Ann Lee");
    db->insertContactBase(existing);
    const QSharedPointer<LocalDb> broken = LocalDb::openLocal(dir.filePath("missing/none.db"));

    const pim::_Contact empty;
    for (const QSharedPointer<LocalDb>& target : {db, broken}) {
        MessageBoxRecorder boxes;
        EditContactForm form(&empty, target);
        form.show();
        auto* editor = form.findChild<ContactEditor*>("wdEditContact");
        auto* apply = form.findChild<QPushButton*>("btnSave");
        editor->findChild<QLineEdit*>("txtPrefix")->setText("Dr");
        QTest::mousePress(apply, Qt::LeftButton);
        editor->findChild<QLineEdit*>("txtFirstName")->setText("ann");
        editor->findChild<QLineEdit*>("txtLastName")->setText(" lee ");
        editor->findChild<QLineEdit*>("txtPrefix")->clear();
        QTest::mousePress(apply, Qt::LeftButton);
        QCOMPARE(boxes.count(), 2);
        QCOMPARE(boxes.texts().at(0), QString("First name or Last name can't be blank."));
        QVERIFY(form.isVisible());
        if (target == broken)
            continue; // the second box names the unreadable file
        QCOMPARE(boxes.texts().at(1), QString("Contact ann lee has already existed."));
        editor->findChild<QLineEdit*>("txtLastName")->setText("Lea");
        QTest::mousePress(apply, Qt::LeftButton);
        QCOMPARE(boxes.count(), 2);
        QCOMPARE(form.result(), int(QDialog::Accepted));
    }
}

void TestEditContactForm::swallowsEscapeAndKeypadEnter()
{
    MessageBoxRecorder boxes;
    const pim::_Contact empty;
    EditContactForm form(&empty, nullptr);
    form.show();
    QTest::keyClick(&form, Qt::Key_Escape);
    QTest::keyClick(&form, Qt::Key_Enter, Qt::KeypadModifier);
    QVERIFY(form.isVisible());
    QCOMPARE(boxes.count(), 0);
}

void TestEditContactForm::asksBeforeCancel()
{
    MessageBoxRecorder boxes;
    const pim::_Contact empty;
    EditContactForm form(&empty, nullptr);
    form.show();
    auto* cancel = form.findChild<QPushButton*>("btnCancel");
    boxes.answerNext(QMessageBox::No);
    QTest::mousePress(cancel, Qt::LeftButton);
    QVERIFY(form.isVisible());
    boxes.answerNext(QMessageBox::Yes);
    QTest::mousePress(cancel, Qt::LeftButton);
    QVERIFY(!form.isVisible());
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QCOMPARE(boxes.texts(), QStringList(2, "Discard the editing?"));
}

// The dialog lies on its screen; a sub-type list opens right under its box
// and shows its labels whole.
void TestEditContactForm::fitsTheScreenAndOpensListsUnderTheirBox()
{
    pim::_Contact contact;
    contact.entities[pim::ENTITY_PHONE] << ent(1, "", { { "data1", "555" }, { "data2", 2 } });
    EditContactForm form(&contact, nullptr);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QRect area = form.screen()->availableGeometry();
    QVERIFY2(area.contains(form.frameGeometry()), qPrintable(QString("%1,%2 %3x%4").arg(form.x()).arg(form.y())
                                                                  .arg(form.width()).arg(form.height())));

    QComboBox* box = nullptr;
    for (QComboBox* candidate : form.findChildren<QComboBox*>()) {
        if (candidate->findText("Company Main") >= 0)
            box = candidate;
    }
    QVERIFY(box);
    box->showPopup();
    QWidget* popup = box->view()->window();
    QTRY_VERIFY(popup->isVisible());
    const QPoint under = box->mapToGlobal(QPoint(0, box->height()));
    const QPoint above = box->mapToGlobal(QPoint(0, 0)) - QPoint(0, popup->height());
    QCOMPARE(popup->x(), under.x());
    QVERIFY(popup->y() == under.y() || popup->y() == above.y());
    const int label = box->view()->fontMetrics().horizontalAdvance("Company Main");
    QVERIFY2(box->view()->viewport()->width() >= label, qPrintable(QString::number(box->view()->viewport()->width())));
    box->hidePopup();
}

void TestEditContactForm::opensALongContactAndKeepsItsValues_data()
{
    QTest::addColumn<QString>("note");
    QTest::addColumn<QString>("street");
    QString run;
    while (run.size() < 1000000)
        run += "abcdefghijklmnopqrstuvwxyz";
    // What a box may give back in another form than stored: blanks at the
    // ends, CR LF, a no-break space, a line separator.
    const QString edges = QString("  leading\r\nline%1no-break%2separated\n\n").arg(QChar(0x00A0), QChar(0x2028));
    const QString long10k = QString("Long").repeated(2500);
    QTest::newRow("1 MB without a line break") << edges + run + edges << long10k;
    QString words;
    for (int i = 0; words.size() < 1000000; ++i)
        words += QString("word%1%2").arg(i % 1000).arg(i % 12 == 11 ? '\n' : ' ');
    QTest::newRow("1 MB of words and lines") << edges + words + edges << long10k;
    // Broken at words only, half a megabyte took half a minute to open.
    QTest::newRow("street of a megabyte without a blank") << QString("A short note.")
                                                          << QString("1 ") + run + "\r\nFlat 2";
}

// A contact with a note or a street of a megabyte and a name,
// street and company of 10,000 characters opens at once, fits the screen,
// and comes back unchanged: Apply alone changes nothing, and an edit of the
// phone stores the phone only, the note and the street kept byte for byte.
void TestEditContactForm::opensALongContactAndKeepsItsValues()
{
    QFETCH(QString, note);
    QFETCH(QString, street);
    const QString long10k = QString("Long").repeated(2500);
    QTemporaryDir dir;
    const QString path = dir.filePath("long.db");
    unsigned long long id = 0;
    {
        LocalDb db(path, QSharedPointer<LocalDbCombineRule>::create());
        db.create();
        pim::_Contact stored(0, "", long10k + " Lee");
        db.insertContactBase(stored);
        id = stored.id;
        const QList<std::pair<int, QVariantMap>> rows{
            {pim::ENTITY_NAME, {{"data1", long10k + " Lee"}, {"data2", long10k}, {"data3", "Lee"}}},
            {pim::ENTITY_PHONE, {{"data1", "555"}, {"data2", 2}, {"data3", ""}}},
            {pim::ENTITY_ORG, {{"data1", long10k}, {"data4", "Engineer"}}},
            {pim::ENTITY_ADDR, {{"data1", street + "\nBath"}, {"data2", 1}, {"data4", street}, {"data7", "Bath"}}},
            {pim::ENTITY_NOTES, {{"data1", note}}}};
        for (const auto& [type, fields] : rows) {
            pim::Entity e = ent(0, "", fields);
            db.insertEntity(id, type, e);
        }
    }
    const QString noteSql = QString("select data1 from data where type=9 and contact_id=%1").arg(id);
    QCOMPARE(SqlProbe(path).value(noteSql).toString(), note);

    LocalDb db(path, QSharedPointer<LocalDbCombineRule>::create());
    const pim::_Contact contact = db.contact(id);
    QElapsedTimer opening;
    opening.start();
    EditContactForm form(&contact, nullptr);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCoreApplication::processEvents();
    form.grab();
    // Not a measure of speed: a megabyte laid out at word boundaries took
    // minutes.
    QVERIFY2(opening.elapsed() < timebound::kStuckMs, qPrintable(QString::number(opening.elapsed())));
    QVERIFY(form.windowTitle().startsWith("Edit Contact LongLong"));
    QVERIFY(form.windowTitle().endsWith(QChar(0x2026)));
    QVERIFY2(form.screen()->availableGeometry().contains(form.frameGeometry()),
             qPrintable(QString("%1x%2").arg(form.width()).arg(form.height())));

    QCOMPARE(summary(form.getChanges(&m_rule, contact)), QList<Change>());
    auto* editor = form.findChild<ContactEditor*>("wdEditContact");
    direct<QLineEdit>(editor->findChild<QWidget*>("phoneList")).first()->setText("556");
    const QList<EditContactForm::_ChangeData> changes = form.getChanges(&m_rule, contact);
    const unsigned long long phoneId = contact.entities.value(pim::ENTITY_PHONE).first().id;
    QCOMPARE(summary(changes), (QList<Change>{{pim::ENTITY_PHONE, EditContactForm::ACTION_UPDATED, phoneId}}));
    db.beginEdit();
    for (const auto& change : changes)
        db.updateEntity(change.type, change.entity);
    db.endEdit(true);

    SqlProbe probe(path);
    QCOMPARE(probe.value(noteSql).toString(), note);
    QCOMPARE(probe.column(QString("select data1 from data where contact_id=%1 and type in (1,3,10,12) order by type")
                              .arg(id)),
             (QStringList{long10k + " Lee", "556", long10k, street + "\nBath"}));
    QCOMPARE(probe.value(QString("select data4 from data where type=12 and contact_id=%1").arg(id)).toString(), street);
    QCOMPARE(probe.value(QString("select data2 from data where type=1 and contact_id=%1").arg(id)).toString(), long10k);
}

QTEST_MAIN(TestEditContactForm)
#include "tst_editcontactform.moc"
