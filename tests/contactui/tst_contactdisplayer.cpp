// SPDX-License-Identifier: GPL-3.0-or-later
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QtTest>

#include "contactbuilders.h"

#include "contactdisplayer.h"
#include "messageboxrecorder.h"

namespace {

using testkit::entityOf;

QByteArray imageBytes(const char* format, QColor colour = Qt::red, QSize size = QSize(64, 32))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

pim::Entity photo(const QByteArray& bytes)
{
    pim::Entity e;
    e.fields.insert(QStringLiteral("data15"), bytes);
    return e;
}

// A contact with one entity of every type (and three organisations).
pim::_Contact everyType()
{
    pim::_Contact c(7, QString(), QStringLiteral("Ann Lee"));
    c.entities[pim::ENTITY_NAME] = {entityOf({{"data2", "Ann"}, {"data3", "Lee"}})};
    c.entities[pim::ENTITY_PHOTO] = {photo(imageBytes("PNG"))};
    c.entities[pim::ENTITY_PHONE] = {entityOf({{"data1", "555"}, {"data2", 2}}), entityOf({{"data1", "777"}, {"data2", 1}})};
    c.entities[pim::ENTITY_EMAIL] = {entityOf({{"data1", "ann@example.org"}, {"data2", 1}})};
    c.entities[pim::ENTITY_NICKNAME] = {entityOf({{"data1", "Annie"}})};
    c.entities[pim::ENTITY_EVENT] = {entityOf({{"data1", "1980-05-17"}, {"data2", 3}})};
    c.entities[pim::ENTITY_GROUP] = {entityOf({{"data1", "1"}, {"data2", "Friends"}})};
    c.entities[pim::ENTITY_IM] = {entityOf({{"data1", "ann.lee"}, {"data2", 1}, {"data5", 4}})};
    c.entities[pim::ENTITY_NOTES] = {entityOf({{"data1", "<b>not bold</b>"}})};
    c.entities[pim::ENTITY_ORG] = {entityOf({{"data1", "Acme"}, {"data4", "Engineer"}}), entityOf({{"data1", "Beta"}, {"data2", 1}}),
                                   entityOf({{"data1", "Gamma"}, {"data2", 2}})};
    c.entities[pim::ENTITY_REL] = {entityOf({{"data1", "Bob"}, {"data2", 1}})};
    c.entities[pim::ENTITY_ADDR] = {entityOf({{"data2", 1}, {"data4", "1 Main St"}, {"data7", "Springfield"}})};
    c.entities[pim::ENTITY_URL] = {entityOf({{"data1", "https://ann.example"}, {"data2", 0}})};
    return c;
}

struct CardText {
    QString header;
    QStringList sections; // "Title|row|row"
};

QList<QLabel*> labelsInLayoutOrder(QWidget* widget)
{
    QList<QLabel*> labels;
    QLayout* layout = widget->layout();
    for (int i = 0; layout && i < layout->count(); ++i) {
        if (auto* label = qobject_cast<QLabel*>(layout->itemAt(i)->widget()))
            labels.append(label);
    }
    return labels;
}

CardText readCard(ContactDisplayer& card)
{
    CardText text;
    QWidget* content = card.widget();
    QLayout* layout = content ? content->layout() : nullptr;
    if (!layout || layout->count() == 0)
        return text;
    const QList<QLabel*> headerLabels = labelsInLayoutOrder(layout->itemAt(0)->widget());
    text.header = headerLabels.value(1) ? headerLabels.value(1)->text() : QString();
    for (int i = 1; i < layout->count(); ++i) {
        QStringList parts;
        for (QLabel* label : labelsInLayoutOrder(layout->itemAt(i)->widget()))
            parts.append(label->text());
        text.sections.append(parts.join(QLatin1Char('|')));
    }
    return text;
}

QLabel* photoLabel(ContactDisplayer& card)
{
    const QList<QLabel*> labels = card.widget()->findChildren<QLabel*>();
    for (QLabel* label : labels) {
        if (label->accessibleName() == QLatin1String("imgPhoto"))
            return label;
    }
    return nullptr;
}

bool press(QWidget* target, Qt::MouseButton button)
{
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), button, button,
                      Qt::NoModifier);
    return QCoreApplication::sendEvent(target, &event) && event.isAccepted();
}

} // namespace

class TestContactDisplayer : public QObject {
    Q_OBJECT
private slots:
    void sections_data();
    void sections();
    void rowsArePlainTextExceptAddress();
    void picture_data();
    void picture();
    void keepsItsOwnCopy();
    void photoClick();
    void savePhoto_data();
    void savePhoto();
    void clearLeavesBlankCard();
    void widensWithTheCard();
};

void TestContactDisplayer::sections_data()
{
    QTest::addColumn<pim::_Contact>("contact");
    QTest::addColumn<QString>("header");
    QTest::addColumn<QStringList>("sections");

    const QString date = QLocale::system().toString(QDate(1980, 5, 17), QLocale::ShortFormat);
    QTest::newRow("every entity type in display order")
        << everyType() << "Ann Lee\n\"Annie\"\nEngineer\nAcme"
        << QStringList{"Phone:|Mobile:555|Home:777",
                       "E-Mail:|Home:ann@example.org",
                       "Date:|Birthday:" + date,
                       "IM:|Home:ann.lee(Skype)",
                       "Organization:|Work:Beta|:Gamma",
                       "Relationship:|Assistant:Bob",
                       "Address:|<b>Home</b><br/>1 Main St<br/>Springfield",
                       "Website:|Other:https://ann.example",
                       "Notes:|<b>not bold</b>"};

    pim::_Contact bare(1, QString(), QStringLiteral("Bare"));
    QTest::newRow("no entities: header only") << bare << "Bare" << QStringList{};

    pim::_Contact oneOrg(1, QString(), QStringLiteral("Ann Lee"));
    oneOrg.entities[pim::ENTITY_ORG] = {entityOf({{"data5", "Sales"}})};
    QTest::newRow("single organisation only in header") << oneOrg << "Ann Lee - Sales" << QStringList{};

    pim::_Contact emptyLists(1, QString(), QStringLiteral("E"));
    emptyLists.entities[pim::ENTITY_PHONE] = {};
    emptyLists.entities[pim::ENTITY_GROUP] = {entityOf({{"data1", "3"}})};
    QTest::newRow("empty lists and groups show nothing") << emptyLists << "E" << QStringList{};

    pim::_Contact emptyValue(1, QString(), QString());
    emptyValue.entities[pim::ENTITY_PHONE] = {entityOf({{"data2", 2}})};
    QTest::newRow("entity with empty value still gets a row") << emptyValue << "" << QStringList{"Phone:|Mobile:"};
}

void TestContactDisplayer::sections()
{
    QFETCH(pim::_Contact, contact);
    QFETCH(QString, header);
    QFETCH(QStringList, sections);

    ContactDisplayer card;
    card.showContact(&contact);
    const CardText text = readCard(card);
    QCOMPARE(text.header, header);
    QCOMPARE(text.sections, sections);
}

void TestContactDisplayer::rowsArePlainTextExceptAddress()
{
    const pim::_Contact contact = everyType();
    ContactDisplayer card;
    card.showContact(&contact);
    for (QLabel* label : card.widget()->findChildren<QLabel*>()) {
        if (label->accessibleName() == QLatin1String("imgPhoto"))
            continue;
        const bool isAddress = label->text().startsWith(QLatin1String("<b>Home</b>"));
        QCOMPARE(label->textFormat(), isAddress ? Qt::RichText : Qt::PlainText);
    }
}

void TestContactDisplayer::picture_data()
{
    QTest::addColumn<QList<pim::Entity>>("photos");
    QTest::addColumn<bool>("decoded");

    QTest::newRow("JPEG photo") << QList<pim::Entity>{photo(imageBytes("JPEG"))} << true;
    QTest::newRow("PNG photo") << QList<pim::Entity>{photo(imageBytes("PNG"))} << true;
    QTest::newRow("BMP photo shows placeholder") << QList<pim::Entity>{photo(imageBytes("BMP"))} << false;
    QTest::newRow("garbage bytes") << QList<pim::Entity>{photo("\xff\xd8\xff not really a jpeg")} << false;
    QTest::newRow("photo entity without bytes") << QList<pim::Entity>{pim::Entity()} << false;
    QTest::newRow("no photo entity") << QList<pim::Entity>{} << false;
    QTest::newRow("only the first photo counts")
        << QList<pim::Entity>{photo("junk"), photo(imageBytes("PNG"))} << false;
}

void TestContactDisplayer::picture()
{
    QFETCH(QList<pim::Entity>, photos);
    QFETCH(bool, decoded);

    pim::_Contact contact(1, QString(), QStringLiteral("P"));
    contact.entities[pim::ENTITY_PHOTO] = photos;
    ContactDisplayer card;
    card.showContact(&contact);
    QLabel* label = photoLabel(card);
    QVERIFY(label);
    QCOMPARE(label->size(), QSize(128, 128));
    const QPixmap pixmap = label->pixmap();
    QVERIFY(!pixmap.isNull());
    if (decoded) {
        QCOMPARE(pixmap.width(), 128);
        QCOMPARE(pixmap.height(), 64); // 64x32 scaled to width 128, aspect kept
        QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
    } else {
        QCOMPARE(pixmap.size(), QSize(128, 128)); // the placeholder, unscaled
        QVERIFY(label->cursor().shape() != Qt::PointingHandCursor);
    }
}

void TestContactDisplayer::keepsItsOwnCopy()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray bytes = imageBytes("PNG", Qt::blue);

    ContactDisplayer card;
    QString proposed;
    card.setSaveFileAsker([&](const QString& p) {
        proposed = p;
        return dir.filePath(QStringLiteral("saved.jpg"));
    });
    {
        auto* list = new QList<pim::_Contact>();
        pim::_Contact c(3, QString(), QStringLiteral("Gone Soon"));
        c.entities[pim::ENTITY_PHOTO] = {photo(bytes)};
        list->append(c);
        card.showContact(&list->first());
        // The list is replaced and freed, as the list model does on reload.
        list->clear();
        list->append(pim::_Contact(4, QString(), QStringLiteral("Other")));
        delete list;
    }
    QVERIFY(card.shownContact());
    QCOMPARE(card.shownContact()->fullName, QStringLiteral("Gone Soon"));

    QLabel* label = photoLabel(card);
    QVERIFY(label);
    QVERIFY(press(label, Qt::LeftButton));
    QCOMPARE(proposed, QDir::home().absoluteFilePath(QStringLiteral("Gone Soon.jpg")));
    QFile saved(dir.filePath(QStringLiteral("saved.jpg")));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), bytes); // PNG bytes unchanged under the .jpg name
}

void TestContactDisplayer::photoClick()
{
    int asked = 0;
    ContactDisplayer card;
    card.setSaveFileAsker([&](const QString&) {
        ++asked;
        return QString(); // cancelled
    });

    pim::_Contact withPhoto(1, QString(), QStringLiteral("A"));
    withPhoto.entities[pim::ENTITY_PHOTO] = {photo(imageBytes("JPEG"))};
    card.showContact(&withPhoto);
    QLabel* label = photoLabel(card);
    QVERIFY(label);

    // A right press is swallowed and does nothing.
    MessageBoxRecorder boxes;
    press(label, Qt::RightButton);
    QCOMPARE(asked, 0);
    // A left press asks; cancelling writes nothing and says nothing.
    press(label, Qt::LeftButton);
    QCOMPARE(asked, 1);
    QCOMPARE(boxes.count(), 0);

    // The placeholder is not clickable.
    pim::_Contact noPhoto(2, QString(), QStringLiteral("B"));
    card.showContact(&noPhoto);
    press(photoLabel(card), Qt::LeftButton);
    QCOMPARE(asked, 1);
}

void TestContactDisplayer::savePhoto_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<bool>("ok");

    QTest::newRow("new file") << "photo.jpg" << true;
    QTest::newRow("replaces existing file") << "existing.jpg" << true;
    QTest::newRow("folder does not exist") << "missing/photo.jpg" << false;
    QTest::newRow("path is a folder") << "folder" << false;
}

void TestContactDisplayer::savePhoto()
{
    QFETCH(QString, relativePath);
    QFETCH(bool, ok);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    {
        QFile existing(dir.filePath(QStringLiteral("existing.jpg")));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("older and longer content than the photo itself, by quite a margin.................");
    }
    const QString path = dir.filePath(relativePath);
    const QByteArray bytes = imageBytes("JPEG");

    pim::_Contact contact(1, QString(), QStringLiteral("S"));
    contact.entities[pim::ENTITY_PHOTO] = {photo(bytes)};
    ContactDisplayer card;
    card.showContact(&contact);

    MessageBoxRecorder boxes;
    QCOMPARE(card.savePhoto(path), ok);
    if (ok) {
        QCOMPARE(boxes.count(), 0);
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), bytes);
    } else {
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.boxes().constFirst().icon, QMessageBox::Warning);
        QVERIFY(!boxes.boxes().constFirst().text.isEmpty());
        QVERIFY(!QFileInfo(path).isFile());
    }
}

void TestContactDisplayer::clearLeavesBlankCard()
{
    const pim::_Contact contact = everyType();
    ContactDisplayer card;
    card.showContact(&contact);
    card.clear();
    QVERIFY(card.widget());
    QVERIFY(card.widget()->findChildren<QLabel*>().isEmpty());
    QVERIFY(!card.shownContact());
    QVERIFY(!card.savePhoto(QDir::temp().filePath(QStringLiteral("never.jpg"))));
}

void TestContactDisplayer::widensWithTheCard()
{
    const pim::_Contact contact = everyType();
    ContactDisplayer card;
    card.resize(300, 200);
    card.show();
    QVERIFY(QTest::qWaitForWindowExposed(&card));
    card.showContact(&contact);
    QCOMPARE(card.widget()->width(), 300);
    const int height = card.widget()->height();
    QVERIFY(height >= card.widget()->sizeHint().height()); // nothing cut off
    card.resize(520, 200);
    QCoreApplication::processEvents();
    QCOMPARE(card.widget()->width(), 520);
    QCOMPARE(card.widget()->height(), height);
}

QTEST_MAIN(TestContactDisplayer)
#include "tst_contactdisplayer.moc"
