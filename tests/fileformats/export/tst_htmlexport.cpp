// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/contactbuilders.h"
#include "fileformats/export/exporttofilethread.h"
#include "fileformats/export/htmlexport.h"
#include "kit/productinfo.h"
#include "../scratchfiles.h"
#include "support/recordingreporter.h"
#include "support/timebounds.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// What an XML parser sees of a page, or its complaint.
struct ParsedPage {
    QString error;
    QSet<QString> elements;
    QString text;
    QStringList pictures;
};

ParsedPage parse(const QByteArray& page)
{
    ParsedPage parsed;
    for (QXmlStreamReader xml(page); !xml.atEnd();) {
        xml.readNext();
        if (xml.hasError())
            parsed.error = QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
        if (xml.isStartElement())
            parsed.elements.insert(xml.name().toString());
        if (xml.isStartElement() && xml.name() == QLatin1String("img"))
            parsed.pictures.append(xml.attributes().value(QLatin1String("src")).toString());
        if (xml.isCharacters())
            parsed.text += xml.text();
    }
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

QByteArray encoded(QSize size, QColor colour, const char* format)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    image.setPixelColor(0, 0, Qt::transparent);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

pim::_Contact withPhoto(unsigned long long id, const QByteArray& bytes)
{
    pim::_Contact c
        = testkit::contactOf("Photo", { { pim::ENTITY_PHOTO, { QVariantMap { { "data15", bytes } } } } });
    c.id = id;
    return c;
}

const QString kHostile = QStringLiteral("<img src=x onerror=alert(1)>&amp;\"'</li></ul>");

} // namespace

class TestHtmlExport : public QObject {
    Q_OBJECT
private slots:
    void shouldShowHostileTextAsText_data();
    void shouldShowHostileTextAsText();
    void shouldKeepEveryPhotoUnderItsOwnName();
    void shouldNamePictureThatCannotBeWritten();
    void shouldNameWhyThePageFolderCannotBeMade_data();
    void shouldNameWhyThePageFolderCannotBeMade();
};

void TestHtmlExport::shouldShowHostileTextAsText_data()
{
    QTest::addColumn<int>("type"); // 0: the full name
    QTest::addColumn<QStringList>("keys");

    QTest::newRow("full name") << 0 << QStringList();
    QTest::newRow("nickname") << int(pim::ENTITY_NICKNAME) << QStringList { "data1" };
    QTest::newRow("organisations: header and section")
        << int(pim::ENTITY_ORG) << QStringList { "data1", "data3", "data4", "data5" };
    QTest::newRow("phone") << int(pim::ENTITY_PHONE) << QStringList { "data1", "data3" };
    QTest::newRow("e-mail") << int(pim::ENTITY_EMAIL) << QStringList { "data1", "data3" };
    QTest::newRow("date") << int(pim::ENTITY_EVENT) << QStringList { "data1", "data3" };
    QTest::newRow("instant messaging") << int(pim::ENTITY_IM) << QStringList { "data1", "data3", "data6" };
    QTest::newRow("relation") << int(pim::ENTITY_REL) << QStringList { "data1", "data3" };
    QTest::newRow("address") << int(pim::ENTITY_ADDR) << QStringList { "data3", "data4", "data7", "data10" };
    QTest::newRow("website") << int(pim::ENTITY_URL) << QStringList { "data1", "data3" };
    QTest::newRow("notes") << int(pim::ENTITY_NOTES) << QStringList { "data1" };
}

void TestHtmlExport::shouldShowHostileTextAsText()
{
    QFETCH(int, type);
    QFETCH(QStringList, keys);

    // Markup, line breaks, control characters and a lone surrogate.
    const QString value = kHostile + QChar(0x01) + QChar(0xD800) + QStringLiteral("\r\n") + kHostile;
    pim::_Contact hostile = testkit::contactOf(type ? QStringLiteral("Name") : value);
    for (int copy = 0; type && copy < 2; ++copy) {
        pim::Entity e;
        for (const QString& key : keys)
            e.fields.insert(key, value);
        hostile.entities[type].append(e);
    }
    QTemporaryDir dir;
    const ParsedPage page = parse(
        exportPage(dir.path(), { testkit::contactOf("Before"), hostile, testkit::contactOf("After") }));

    QCOMPARE(page.error, QString());
    const QSet<QString> markup { "html", "head", "meta", "title", "style", "body", "div", "img", "h2", "ul",
        "li", "br", "b" };
    QCOMPARE(page.elements - markup, QSet<QString>());
    QCOMPARE(page.pictures.size(), 3);
    QVERIFY2(page.text.contains(kHostile), qPrintable(page.text));
    QVERIFY(page.text.contains("Before") && page.text.contains("After"));
    // The page is titled with the product's name for the system it runs on.
    QVERIFY2(page.text.trimmed().startsWith(product::title()), qPrintable(page.text.left(80)));
#ifndef Q_OS_MACOS
    QVERIFY(!page.text.contains(QLatin1String("for Mac")));
#endif
}

void TestHtmlExport::shouldKeepEveryPhotoUnderItsOwnName()
{
    const QByteArray png = encoded(QSize(40, 30), Qt::blue, "PNG");
    const QByteArray jpeg = encoded(QSize(20, 10), Qt::red, "JPG");
    const QByteArray otherJpeg = encoded(QSize(10, 20), Qt::green, "JPG");
    QTemporaryDir dir;
    const ParsedPage page = parse(exportPage(dir.path(),
        { testkit::contactOf("No photo"), withPhoto(7, png), withPhoto(9, jpeg),
            withPhoto(11, "neither JPEG nor PNG"), withPhoto(0, jpeg), withPhoto(0, otherJpeg) }));

    QCOMPARE(page.pictures,
        QStringList({ "photos/contact.png", "photos/7.jpg", "photos/9.jpg", "photos/contact.png",
            "photos/0.jpg", "photos/0-2.jpg" }));
    const QDir photos(dir.filePath("photos"));
    QCOMPARE(photos.entryList(QDir::Files, QDir::Name),
        QStringList({ "0-2.jpg", "0.jpg", "7.jpg", "9.jpg", "contact.png" }));
    // JPEG photos are kept byte for byte, each under its own name.
    for (const auto& [name, bytes] :
        { std::pair { "9.jpg", jpeg }, { "0.jpg", jpeg }, { "0-2.jpg", otherJpeg } })
        QCOMPARE(readScratch(photos.filePath(name)), bytes);
    // The PNG becomes a JPEG of its own size; transparency turns white.
    const QImage converted = QImage::fromData(readScratch(photos.filePath("7.jpg")), "JPG");
    QCOMPARE(converted.size(), QSize(40, 30));
    QVERIFY(qGray(converted.pixel(0, 0)) > 230);
}

// A photos folder blocked by a file: an error naming the picture, no success.
void TestHtmlExport::shouldNamePictureThatCannotBeWritten()
{
    QTemporaryDir dir;
    const QDir chosen(dir.filePath("contacts.html"));
    QVERIFY(QDir().mkpath(chosen.path()));
    QFile blocker(chosen.filePath("photos"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    RecordingReporter reporter;
    ExportToFileThread thread(
        { testkit::contactOf("Ada"), withPhoto(3, encoded(QSize(8, 8), Qt::red, "PNG")) },
        ExportToFileThread::TYPE_HTML, chosen.path(), &reporter);
    thread.start();
    QVERIFY(thread.wait(timebound::kWaitMs));

    QCOMPARE(reporter.successes(), QStringList());
    QCOMPARE(reporter.errors().size(), 1);
    QVERIFY2(reporter.errors().first().contains(QDir::toNativeSeparators(chosen.filePath("photos/contact.png"))),
        qPrintable(reporter.errors().first()));
}

// The page goes into a folder of the chosen name: when that folder cannot
// be made, the error names it and the system's reason, not a missing page
// inside it; nothing is left behind.
void TestHtmlExport::shouldNameWhyThePageFolderCannotBeMade_data()
{
    QTest::addColumn<QString>("blocker");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QString>("reason");
    QTest::newRow("read-only folder") << "" << "locked/out.html" << "locked/out.html" << "Permission denied";
    QTest::newRow("read-only folder, missing parents") << "" << "locked/a/out.html" << "locked/a" << "Permission denied";
    QTest::newRow("a file where a parent folder goes") << "file" << "file/out.html" << "file" << "This is a file, not a folder.";
    QTest::newRow("a file of the chosen name") << "out.html" << "out.html" << "out.html" << "This is a file, not a folder.";
}

void TestHtmlExport::shouldNameWhyThePageFolderCannotBeMade()
{
    QFETCH(QString, blocker);
    QFETCH(QString, chosen);
    QFETCH(QString, failing);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (blocker.isEmpty()) {
        // Permissions do not stop the superuser.
        if (::geteuid() == 0)
            QSKIP("running as root: a read-only folder does not stop writes");
        QVERIFY(QDir(dir.path()).mkdir("locked"));
        QCOMPARE(::chmod(QFile::encodeName(dir.filePath("locked")).constData(), 0555), 0);
    } else {
        QFile file(dir.filePath(blocker));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("kept");
    }
    RecordingReporter reporter;
    ExportToFileThread thread({ testkit::contactOf("Ada") }, ExportToFileThread::TYPE_HTML, dir.filePath(chosen), &reporter);
    thread.start();
    QVERIFY(thread.wait(timebound::kWaitMs));
    if (blocker.isEmpty())
        ::chmod(QFile::encodeName(dir.filePath("locked")).constData(), 0755);

    QCOMPARE(reporter.successes(), QStringList());
    QCOMPARE(reporter.errors(), QStringList { QDir::toNativeSeparators(dir.filePath(failing)) + ": " + reason });
    const QStringList left = QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    QCOMPARE(left, blocker.isEmpty() ? QStringList { "locked" } : QStringList { blocker });
    if (!blocker.isEmpty())
        QCOMPARE(readScratch(dir.filePath(blocker)), QByteArray("kept"));
}

QTEST_GUILESS_MAIN(TestHtmlExport)
#include "tst_htmlexport.moc"
