// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactfixture.h"
#include "fileformats/exporttofilethread.h"
#include "fileformats/htmlexport.h"
#include "platform/error.h"
#include "support/recordingreporter.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

using fixture::contact;
using fixture::entity;

namespace {

// What an XML parser sees of a page: its elements, its text and its
// picture sources, or the parser's complaint.
struct ParsedPage {
    QString error;
    QSet<QString> elements;
    QString text;
    QStringList pictures;
};

ParsedPage parse(const QByteArray& page)
{
    ParsedPage parsed;
    QXmlStreamReader xml(page);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            parsed.elements.insert(xml.name().toString());
            if (xml.name() == QLatin1String("img"))
                parsed.pictures.append(xml.attributes().value(QLatin1String("src")).toString());
        } else if (xml.isCharacters()) {
            parsed.text += xml.text();
        }
    }
    if (xml.hasError())
        parsed.error = QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
    return parsed;
}

QByteArray exportPage(const QString& folder, const QList<pim::_Contact>& contacts)
{
    HtmlExport writer { QDir(folder) };
    QByteArray page = writer.initialize(contacts);
    for (const pim::_Contact& c : contacts)
        page += writer.ct2Bytes(c);
    return page + writer.uninitialize();
}

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage filled(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

pim::_Contact withPhoto(unsigned long long id, const QByteArray& bytes)
{
    pim::_Contact c = contact(QStringLiteral("Photo %1").arg(id), { { pim::ENTITY_PHOTO, entity({ { "data15", bytes } }) } });
    c.id = id;
    return c;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QString kHostile = QStringLiteral("<img src=x onerror=alert(1)>&amp;\"'</li></ul>");

} // namespace

class TestHtmlExport : public QObject {
    Q_OBJECT
private slots:
    void shouldShowHostileTextAsText_data();
    void shouldShowHostileTextAsText();
    void shouldKeepEveryPhotoUnderItsOwnName();
    void shouldWritePageThroughExportThread();
    void shouldFailWhenPicturesCannotBeWritten();
};

void TestHtmlExport::shouldShowHostileTextAsText_data()
{
    QTest::addColumn<pim::_Contact>("hostile");

    const QString h = kHostile;
    const QString control = kHostile + QChar(0x01) + QChar(0xD800);
    const QDateTime date(QDate(1990, 5, 17), QTime(0, 0));
    QTest::newRow("full name") << contact(h);
    QTest::newRow("full name with control characters and a lone surrogate") << contact(control);
    QTest::newRow("nickname") << contact("N", { { pim::ENTITY_NICKNAME, entity({ { "data1", h } }) } });
    QTest::newRow("organisation in the header")
        << contact("N", { { pim::ENTITY_ORG, entity({ { "data1", h }, { "data4", h }, { "data5", h } }) } });
    QTest::newRow("second organisation")
        << contact("N", { { pim::ENTITY_ORG, entity({ { "data1", "Firm" } }) },
                          { pim::ENTITY_ORG, entity({ { "data1", h }, { "data3", h } }) } });
    QTest::newRow("phone number and custom label")
        << contact("N", { { pim::ENTITY_PHONE, entity({ { "data1", h }, { "data3", h } }) } });
    QTest::newRow("e-mail") << contact("N", { { pim::ENTITY_EMAIL, entity({ { "data1", h } }) } });
    QTest::newRow("date label") << contact("N", { { pim::ENTITY_EVENT, entity({ { "data1", date }, { "data3", h } }) } });
    QTest::newRow("instant messaging handle and protocol")
        << contact("N", { { pim::ENTITY_IM, entity({ { "data1", h }, { "data6", h } }) } });
    QTest::newRow("relation") << contact("N", { { pim::ENTITY_REL, entity({ { "data1", h } }) } });
    QTest::newRow("address parts and label")
        << contact("N", { { pim::ENTITY_ADDR, entity({ { "data3", h }, { "data4", h }, { "data7", control } }) } });
    QTest::newRow("website") << contact("N", { { pim::ENTITY_URL, entity({ { "data1", h } }) } });
    QTest::newRow("notes over several lines")
        << contact("N", { { pim::ENTITY_NOTES, entity({ { "data1", h + "\r\n" + h } }) } });
}

void TestHtmlExport::shouldShowHostileTextAsText()
{
    QFETCH(pim::_Contact, hostile);

    QTemporaryDir dir;
    const ParsedPage page = parse(exportPage(dir.path(), { contact("Before"), hostile, contact("After") }));

    QCOMPARE(page.error, QString());
    const QSet<QString> markup { "html", "head", "meta", "title", "style", "body", "div", "img", "h2", "ul", "li", "br", "b" };
    QCOMPARE(page.elements - markup, QSet<QString>());
    QCOMPARE(page.pictures.size(), 3);
    QVERIFY2(page.text.contains(kHostile), qPrintable(page.text));
    QVERIFY(page.text.contains("Before") && page.text.contains("After"));
}

void TestHtmlExport::shouldKeepEveryPhotoUnderItsOwnName()
{
    QImage png = filled(QSize(40, 30), QColor(0, 0, 255));
    png.setPixelColor(0, 0, Qt::transparent);
    const QByteArray jpeg = encoded(filled(QSize(20, 10), Qt::red), "JPG");
    const QByteArray otherJpeg = encoded(filled(QSize(10, 20), Qt::green), "JPG");

    const QList<pim::_Contact> contacts = {
        contact("No photo"),
        withPhoto(7, encoded(png, "PNG")),
        withPhoto(9, jpeg),
        withPhoto(11, "neither JPEG nor PNG"),
        withPhoto(0, jpeg),
        withPhoto(0, otherJpeg),
        withPhoto(5, jpeg),
        withPhoto(5, otherJpeg),
    };
    QTemporaryDir dir;
    const ParsedPage page = parse(exportPage(dir.path(), contacts));

    QCOMPARE(page.error, QString());
    QCOMPARE(page.pictures, QStringList({ "photos/contact.png", "photos/7.jpg", "photos/9.jpg", "photos/contact.png",
                                          "photos/0.jpg", "photos/0-2.jpg", "photos/5.jpg", "photos/5-2.jpg" }));
    QDir photos(dir.filePath("photos"));
    QCOMPARE(photos.entryList(QDir::Files, QDir::Name),
             QStringList({ "0-2.jpg", "0.jpg", "5-2.jpg", "5.jpg", "7.jpg", "9.jpg", "contact.png" }));
    QCOMPARE(readAll(photos.filePath("contact.png")), readAll(":res/empty_contact.png"));
    // JPEG photos are kept byte for byte, each under its own name.
    QCOMPARE(readAll(photos.filePath("9.jpg")), jpeg);
    QCOMPARE(readAll(photos.filePath("0.jpg")), jpeg);
    QCOMPARE(readAll(photos.filePath("0-2.jpg")), otherJpeg);
    QCOMPARE(readAll(photos.filePath("5-2.jpg")), otherJpeg);
    // The PNG becomes a JPEG of its own size; transparency turns white.
    QImage converted;
    QVERIFY(converted.loadFromData(readAll(photos.filePath("7.jpg")), "JPG"));
    QCOMPARE(converted.size(), png.size());
    QVERIFY(qGray(converted.pixel(0, 0)) > 230);
    QVERIFY(qBlue(converted.pixel(20, 15)) > 200 && qRed(converted.pixel(20, 15)) < 60);
}

void TestHtmlExport::shouldWritePageThroughExportThread()
{
    QTemporaryDir dir;
    const QString chosen = dir.filePath("contacts.html");
    RecordingReporter reporter;
    ExportToFileThread thread({ contact("Ada"), withPhoto(3, encoded(filled(QSize(8, 8), Qt::red), "PNG")) },
                              ExportToFileThread::TYPE_HTML, chosen, &reporter);
    thread.start();
    QVERIFY(thread.wait(60000));

    QCOMPARE(reporter.errors(), QStringList());
    QCOMPARE(reporter.successes().size(), 1);
    const ParsedPage page = parse(readAll(QDir(chosen).filePath("contacts.html")));
    QCOMPARE(page.error, QString());
    QCOMPARE(page.pictures, QStringList({ "photos/contact.png", "photos/3.jpg" }));
    QVERIFY(QFileInfo(QDir(chosen).filePath("photos/3.jpg")).size() > 0);
}

void TestHtmlExport::shouldFailWhenPicturesCannotBeWritten()
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath("photos"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    HtmlExport writer { QDir(dir.path()) };
    try {
        writer.initialize({});
        QFAIL("a page without its pictures was reported as written");
    } catch (const Error& e) {
        QVERIFY2(e.text().contains(QDir::toNativeSeparators(dir.filePath("photos/contact.png"))), qPrintable(e.text()));
    }
}

QTEST_GUILESS_MAIN(TestHtmlExport)
#include "tst_htmlexport.moc"
