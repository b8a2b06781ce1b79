// SPDX-License-Identifier: GPL-3.0-or-later
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QtTest>

#include "common/contactbuilders.h"
#include "common/imagebytes.h"

#include "contactui/contactdisplayer.h"
#include "support/messageboxrecorder.h"
#include "support/timebounds.h"

namespace {

using testkit::contactOf;
using testkit::entityOf;

QByteArray imageBytes(const char* format, QColor colour = Qt::red, QSize size = QSize(64, 32))
{
    return testkit::imageBytes(size, format, colour);
}

pim::Entity photo(const QByteArray& bytes) { return entityOf({ { "data15", bytes } }); }

// A contact with one entity of every type (and three organisations).
pim::_Contact everyType()
{
    pim::_Contact c = contactOf("Ann Lee", {
        { pim::ENTITY_NAME, { { { "data2", "Ann" }, { "data3", "Lee" } } } },
        { pim::ENTITY_PHONE, { { { "data1", "555" }, { "data2", 2 } }, { { "data1", "777" }, { "data2", 1 } } } },
        { pim::ENTITY_EMAIL, { { { "data1", "ann@example.org" }, { "data2", 1 } } } },
        { pim::ENTITY_NICKNAME, { { { "data1", "Annie" } } } },
        { pim::ENTITY_EVENT, { { { "data1", "1980-05-17" }, { "data2", 3 } } } },
        { pim::ENTITY_GROUP, { { { "data1", "1" }, { "data2", "Friends" } } } },
        { pim::ENTITY_IM, { { { "data1", "ann.lee" }, { "data2", 1 }, { "data5", 4 } } } },
        { pim::ENTITY_NOTES, { { { "data1", "<b>not bold</b>" } } } },
        { pim::ENTITY_ORG, { { { "data1", "Acme" }, { "data4", "Engineer" } }, { { "data1", "Beta" }, { "data2", 1 } },
                             { { "data1", "Gamma" }, { "data2", 2 } } } },
        { pim::ENTITY_REL, { { { "data1", "Bob" }, { "data2", 1 } } } },
        { pim::ENTITY_ADDR, { { { "data2", 1 }, { "data4", "1 Main St" }, { "data7", "Springfield" } } } },
        { pim::ENTITY_URL, { { { "data1", "https://ann.example" }, { "data2", 0 } } } },
    });
    c.entities[pim::ENTITY_PHOTO] = { photo(imageBytes("PNG")) };
    return c;
}

// A contact of `n` mobile phones 5550000, 5550001, ...
pim::_Contact manyPhones(int n)
{
    QList<QVariantMap> phones;
    for (int i = 0; i < n; ++i)
        phones.append({ { "data1", QString::number(5550000 + i) }, { "data2", 2 } });
    return contactOf("Many", { { pim::ENTITY_PHONE, phones } });
}

// The phone section of a card that lists the first `shown` of `n` such phones.
QString phoneSection(int n, int shown)
{
    QStringList rows { "Phone:" };
    for (int i = 0; i < shown; ++i)
        rows.append("Mobile:" + QString::number(5550000 + i));
    if (n > shown)
        rows.append(QStringLiteral("and %1 more").arg(n - shown));
    return rows.join(QLatin1Char('|'));
}

// The texts of a widget's labels, in layout order, joined by "|".
QString labelTexts(QWidget* widget)
{
    QStringList texts;
    QLayout* layout = widget->layout();
    for (int i = 0; layout && i < layout->count(); ++i) {
        if (auto* label = qobject_cast<QLabel*>(layout->itemAt(i)->widget()))
            texts.append(label->text());
    }
    return texts.join(QLatin1Char('|'));
}

// The card as read on screen: the header's text, then one "Title|row|row"
// per section.
QStringList readCard(ContactDisplayer& card)
{
    QLayout* layout = card.widget() ? card.widget()->layout() : nullptr;
    if (!layout || layout->count() == 0)
        return {};
    QStringList text { labelTexts(layout->itemAt(0)->widget()).section(QLatin1Char('|'), 1, 1) };
    for (int i = 1; i < layout->count(); ++i) {
        if (QWidget* section = layout->itemAt(i)->widget())
            text.append(labelTexts(section));
    }
    return text;
}

QLabel* photoLabel(ContactDisplayer& card)
{
    for (QLabel* label : card.widget()->findChildren<QLabel*>()) {
        if (label->accessibleName() == QLatin1String("imgPhoto"))
            return label;
    }
    return nullptr;
}

void press(QWidget* target, Qt::MouseButton button)
{
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), button, button,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

// `size` characters: one run of letters ("run"), words on one line
// ("words") or lines of ten words ("lines").
QString longText(int size, const QString& shape)
{
    QString text;
    for (int word = 0; text.size() < size; ++word) {
        if (shape == "run") {
            text += QStringLiteral("abcdefghijklmnopqrstuvwxyz");
            continue;
        }
        text += QStringLiteral("word%1").arg(word % 1000);
        text += shape == "lines" && word % 10 == 9 ? '\n' : ' ';
    }
    text.truncate(size);
    return text;
}

} // namespace

class TestContactDisplayer : public QObject {
    Q_OBJECT
private slots:
    // A long header and values without a place to break: at every card
    // width the main window allows, each text gets the height it needs,
    // stays inside the view, and the header text never covers the photo.
    void laysOutLongTextsInsideTheView_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("note");
        // A note longer than the view brings up the scroll bar, which
        // narrows every text after the card measured it.
        const QString mail = longText(20000, "lines");
        for (const QString& note : { QString(), mail }) {
            const char* with = note.isEmpty() ? "" : ", long note";
            QTest::addRow("narrowest window%s", with) << 280 << note;
            QTest::addRow("1000 wide window%s", with) << 390 << note;
            QTest::addRow("1260 wide window%s", with) << 520 << note;
            QTest::addRow("maximised%s", with) << 850 << note;
        }
    }
    void laysOutLongTextsInsideTheView()
    {
        QFETCH(int, width);
        QFETCH(QString, note);
        pim::_Contact contact = contactOf("Maximiliane Alexandra von Hohenberg-Castellanos",
            { { pim::ENTITY_ORG, { { { "data1", "Hohenberg & Castellanos Precision Instruments International" },
                                     { "data4", "Senior Vice President of International Business Development" } } } },
              { pim::ENTITY_PHONE, { { { "data1", "+49(0)3012345678901234567890123456789" }, { "data2", 2 } } } },
              { pim::ENTITY_EMAIL, { { { "data1", "maximiliane.alexandra.von.hohenberg-castellanos@instruments.example" } } } } });
        if (!note.isEmpty())
            contact.entities[pim::ENTITY_NOTES] = { entityOf({ { "data1", note } }) };
        ContactDisplayer card;
        card.resize(width, 500);
        card.show();
        card.showContact(&contact);
        QVERIFY(QTest::qWaitForWindowExposed(&card));
        QCoreApplication::processEvents();

        const QRect view = card.viewport()->rect();
        QLabel* photo = photoLabel(card);
        const QRect photoRect(photo->mapTo(card.viewport(), QPoint()), photo->size());
        for (QLabel* label : card.widget()->findChildren<QLabel*>()) {
            if (label == photo)
                continue;
            const QRect rect(label->mapTo(card.viewport(), QPoint()), label->size());
            QVERIFY2(rect.right() <= view.right(), qPrintable(label->text()));
            QVERIFY2(!rect.intersects(photoRect), qPrintable(label->text()));
            if (label->wordWrap())
                QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(label->text()));
        }
    }

    // A long value of any kind shows its beginning and says that there is
    // more, within a bounded text, at once.
    void boundsLongValuesOfEveryKind_data()
    {
        QTest::addColumn<pim::_Contact>("contact");
        QTest::addColumn<QString>("value"); // the long one

        const auto with = [](const QString& name, int type, const QVariantMap& fields) {
            return contactOf(name, { { type, { fields } } });
        };
        const QString run = longText(10000, "run");
        QString note = longText(1000000, "run");
        QTest::newRow("note of 1 MB without a line break") << with("Ann", pim::ENTITY_NOTES, { { "data1", note } }) << note;
        note = longText(100000, "words");
        QTest::newRow("note of 100 kB of words on one line") << with("Ann", pim::ENTITY_NOTES, { { "data1", note } }) << note;
        note = longText(1000000, "lines");
        QTest::newRow("note of 1 MB in short lines") << with("Ann", pim::ENTITY_NOTES, { { "data1", note } }) << note;
        // An odd start puts a cut at any even room inside a pair.
        note = "a" + QString::fromUtf8("😀").repeated(50000);
        QTest::newRow("note of emoji, a cut inside a surrogate pair") << with("Ann", pim::ENTITY_NOTES, { { "data1", note } })
                                                                     << note;
        note = QString::fromUtf8("e\u0301").repeated(50000);
        QTest::newRow("note of accented letters") << with("Ann", pim::ENTITY_NOTES, { { "data1", note } }) << note;
        QTest::newRow("name") << contactOf(run) << run;
        QTest::newRow("nickname") << with("Ann", pim::ENTITY_NICKNAME, { { "data1", run } }) << run;
        QTest::newRow("company") << with("Ann", pim::ENTITY_ORG, { { "data1", run } }) << run;
        QTest::newRow("job title") << with("Ann", pim::ENTITY_ORG, { { "data4", run } }) << run;
        pim::_Contact twoOrgs = with("Ann", pim::ENTITY_ORG, { { "data1", "Acme" } });
        twoOrgs.entities[pim::ENTITY_ORG].append(entityOf({ { "data1", run }, { "data2", 1 } }));
        QTest::newRow("second company, in its section") << twoOrgs << run;
        QTest::newRow("street") << with("Ann", pim::ENTITY_ADDR, { { "data2", 1 }, { "data4", run }, { "data7", "Bath" } })
                                << run;
        QTest::newRow("street of many lines")
            << with("Ann", pim::ENTITY_ADDR, { { "data2", 1 }, { "data4", longText(10000, "lines") } })
            << longText(10000, "lines");
        QTest::newRow("phone") << with("Ann", pim::ENTITY_PHONE, { { "data1", run }, { "data2", 2 } }) << run;
        QTest::newRow("e-mail") << with("Ann", pim::ENTITY_EMAIL, { { "data1", run }, { "data2", 1 } }) << run;
        QTest::newRow("IM handle") << with("Ann", pim::ENTITY_IM, { { "data1", run }, { "data2", 1 } }) << run;
        QTest::newRow("related name") << with("Ann", pim::ENTITY_REL, { { "data1", run }, { "data2", 1 } }) << run;
        QTest::newRow("URL") << with("Ann", pim::ENTITY_URL, { { "data1", run }, { "data2", 1 } }) << run;
        QTest::newRow("custom label") << with("Ann", pim::ENTITY_PHONE, { { "data1", "555" }, { "data3", run } }) << run;
    }

    void boundsLongValuesOfEveryKind()
    {
        QFETCH(pim::_Contact, contact);
        QFETCH(QString, value);

        ContactDisplayer card;
        card.resize(390, 600);
        card.show();
        QElapsedTimer shown;
        shown.start();
        card.showContact(&contact);
        QCoreApplication::processEvents();
        card.grab();
        // Not a measure of speed: laid out whole, such a value froze the
        // window for minutes.
        QVERIFY2(shown.elapsed() < timebound::kStuckMs, qPrintable(QString::number(shown.elapsed())));

        const QString beginning = value.left(40);
        int cut = 0;
        for (QLabel* label : card.widget()->findChildren<QLabel*>()) {
            const QString text = label->text();
            QVERIFY2(text.size() <= 4000, qPrintable(QString::number(text.size())));
            QVERIFY(text.isValidUtf16());
            if (text.contains(beginning)) {
                QVERIFY2(text.contains(QLatin1String(" more characters; open Edit Contact to see all)")), qPrintable(text.right(80)));
                ++cut;
            }
        }
        QCOMPARE(cut, 1);
        // The card's copy stays whole: the photo click reads it.
        QCOMPARE(card.shownContact()->fullName, contact.fullName);
        for (auto it = contact.entities.cbegin(); it != contact.entities.cend(); ++it) {
            const QList<pim::Entity> kept = card.shownContact()->entities.value(it.key());
            QCOMPARE(kept.size(), it->size());
            for (qsizetype i = 0; i < kept.size(); ++i)
                QCOMPARE(kept.at(i).fields, it->at(i).fields);
        }
    }

    void showsSectionsPerKind_data()
    {
        QTest::addColumn<pim::_Contact>("contact");
        QTest::addColumn<QStringList>("card"); // header, then sections

        const QString date = QLocale::system().toString(QDate(1980, 5, 17), QLocale::ShortFormat);
        QTest::newRow("every entity type in display order")
            << everyType()
            << QStringList { "Ann Lee\n\"Annie\"\nEngineer\nAcme", "Phone:|Mobile:555|Home:777", "E-Mail:|Home:ann@example.org",
                             "Date:|Birthday:" + date, "IM:|Home:ann.lee(Skype)", "Organization:|Work:Beta|:Gamma",
                             "Relationship:|Assistant:Bob", "Address:|<b>Home</b><br/>1 Main St<br/>Springfield",
                             "Website:|Other:https://ann.example", "Notes:|<b>not bold</b>" };
        QTest::newRow("no entities: header only") << contactOf("Bare") << QStringList { "Bare" };
        QTest::newRow("empty lists and groups show nothing")
            << contactOf("E", { { pim::ENTITY_PHONE, {} }, { pim::ENTITY_GROUP, { { { "data1", "3" } } } } })
            << QStringList { "E" };
        QTest::newRow("entity with empty value still gets a row")
            << contactOf("", { { pim::ENTITY_PHONE, { { { "data2", 2 } } } } }) << QStringList { "", "Phone:|Mobile:" };
        const int most = ContactDisplayer::kMaxRowsPerKind;
        QTest::newRow("as many rows as a section lists") << manyPhones(most) << QStringList { "Many", phoneSection(most, most) };
        // A contact grown by merging to thousands of rows shows at once.
        QTest::newRow("ten thousand phones: the first ones and how many more")
            << manyPhones(10000) << QStringList { "Many", phoneSection(10000, most) };
    }

    void showsSectionsPerKind()
    {
        QFETCH(pim::_Contact, contact);
        QFETCH(QStringList, card);

        ContactDisplayer displayer;
        displayer.showContact(&contact);
        QCOMPARE(readCard(displayer), card);
    }

    void showsRowsAsPlainTextExceptAddress()
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

    void showsThePicture_data()
    {
        QTest::addColumn<QList<pim::Entity>>("photos");
        QTest::addColumn<bool>("decoded");

        QTest::newRow("JPEG photo") << QList<pim::Entity> { photo(imageBytes("JPEG")) } << true;
        QTest::newRow("PNG photo") << QList<pim::Entity> { photo(imageBytes("PNG")) } << true;
        QTest::newRow("BMP photo shows placeholder") << QList<pim::Entity> { photo(imageBytes("BMP")) } << false;
        QTest::newRow("garbage bytes") << QList<pim::Entity> { photo("\xff\xd8\xff not really a jpeg") } << false;
        QTest::newRow("photo entity without bytes") << QList<pim::Entity> { pim::Entity() } << false;
        QTest::newRow("no photo entity") << QList<pim::Entity> {} << false;
        QTest::newRow("only the first photo counts") << QList<pim::Entity> { photo("junk"), photo(imageBytes("PNG")) }
                                                     << false;
    }

    void showsThePicture()
    {
        QFETCH(QList<pim::Entity>, photos);
        QFETCH(bool, decoded);

        pim::_Contact contact = contactOf("P");
        contact.entities[pim::ENTITY_PHOTO] = photos;
        ContactDisplayer card;
        int asked = 0;
        card.setSaveFileAsker([&](const QString&) {
            ++asked;
            return QString(); // cancelled
        });
        card.showContact(&contact);
        QLabel* label = photoLabel(card);
        QVERIFY(label);
        QCOMPARE(label->size(), QSize(128, 128));
        // A photo of 64x32 is scaled to width 128, the placeholder not at all.
        QCOMPARE(label->pixmap().size(), decoded ? QSize(128, 64) : QSize(128, 128));
        QCOMPARE(label->cursor().shape() == Qt::PointingHandCursor, decoded);
        // Only a decoded photo offers to be saved, and only on a left press.
        MessageBoxRecorder boxes;
        press(label, Qt::RightButton);
        press(label, Qt::LeftButton);
        QCOMPARE(asked, decoded ? 1 : 0);
        QCOMPARE(boxes.count(), 0); // cancelling writes nothing and says nothing
    }

    // The card keeps its own copy of the contact. A left click saves the
    // photo's bytes as they are, replacing a longer file in the way whole; a
    // missing folder is told.
    void keepsItsOwnCopyAndSavesOnLeftClick()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("saved.jpg"));
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::WriteOnly) && saved.write(QByteArray(500, 'o')) == 500);
        saved.close();
        MessageBoxRecorder boxes;
        const QByteArray bytes = imageBytes("PNG", Qt::blue);
        ContactDisplayer card;
        QString proposed;
        card.setSaveFileAsker([&](const QString& p) {
            proposed = p;
            return path;
        });
        {
            // The list is replaced and freed, as the list model does on reload.
            pim::_Contact gone = contactOf("Gone Soon");
            gone.entities[pim::ENTITY_PHOTO] = { photo(bytes) };
            auto list = std::make_unique<QList<pim::_Contact>>(QList { gone });
            card.showContact(&list->first());
            list->clear();
            list->append(contactOf("Other"));
        }
        QVERIFY(card.shownContact());
        QCOMPARE(card.shownContact()->fullName, QStringLiteral("Gone Soon"));

        QLabel* label = photoLabel(card);
        QMouseEvent click(QEvent::MouseButtonPress, QPointF(5, 5), label->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(label, &click);
        QCOMPARE(proposed, QDir::home().absoluteFilePath(QStringLiteral("Gone Soon.jpg")));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), bytes); // PNG bytes unchanged under the .jpg name
        QCOMPARE(boxes.count(), 0);
        QVERIFY(!card.savePhoto(dir.filePath(QStringLiteral("missing/photo.jpg"))));
        QCOMPARE(boxes.count(), 1);
    }
};

QTEST_MAIN(TestContactDisplayer)
#include "tst_contactdisplayer.moc"
