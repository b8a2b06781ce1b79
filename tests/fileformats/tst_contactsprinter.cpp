// SPDX-License-Identifier: GPL-3.0-or-later
#include "contactfixture.h"
#include "fileformats/cardlayout.h"
#include "fileformats/contactsprinter.h"
#include "platform/error.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QPageLayout>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using fixture::contact;
using fixture::entity;

namespace {

QByteArray gradientPng()
{
    QImage image(160, 200, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(60 + x / 2, 90 + y / 3, 160));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

pim::Entity phone(const char* number, int type)
{
    return entity({ { "data1", number }, { "data2", type } });
}

// Cards as people have them: full ones, a photo, broken photo bytes, a name
// too long for the card, one with nothing but a name.
QList<pim::_Contact> sampleContacts(int n)
{
    const QList<pim::_Contact> kinds = {
        contact("Margarethe Oberholzer-Fitzgerald",
                { { pim::ENTITY_ORG, entity({ { "data1", "Northwind" }, { "data4", "Engineer" }, { "data5", "R&D" } }) },
                  { pim::ENTITY_EVENT, entity({ { "data1", "1984-02-29T00:00:00" }, { "data2", 3 } }) },
                  { pim::ENTITY_PHONE, phone("+41 44 123 45 67", 1) },
                  { pim::ENTITY_PHONE, phone("+41 79 765 43 21", 2) },
                  { pim::ENTITY_PHONE, phone("+41 44 555 00 00", 3) },
                  { pim::ENTITY_PHONE, phone("+41 44 555 00 01", 4) },
                  { pim::ENTITY_PHONE, phone("+41 44 555 00 02", 0) },
                  { pim::ENTITY_EMAIL, entity({ { "data1", "m.oberholzer@northwind.example" } }) },
                  { pim::ENTITY_ADDR, entity({ { "data4", "Bahnhofstrasse 12" }, { "data7", "Zurich" },
                                               { "data9", "8001" }, { "data10", "Switzerland" } }) } }),
        contact("Ada Lovelace", { { pim::ENTITY_PHOTO, entity({ { "data15", gradientPng() } }) },
                                  { pim::ENTITY_PHONE, phone("+44 20 7946 0018", 2) },
                                  { pim::ENTITY_EMAIL, entity({ { "data1", "ada@example.org" } }) } }),
        contact("Broken Photo", { { pim::ENTITY_PHOTO, entity({ { "data15", QByteArray("not a picture") } }) },
                                  { pim::ENTITY_PHONE, phone("+1 555 0100 0199 0123 4567 8910 1112", 12) } }),
        contact("Bartholomew Maximilian Alexander von Hohenzollern-Sigmaringen"),
    };
    QList<pim::_Contact> contacts;
    for (int i = 0; i < n; ++i)
        contacts.append(kinds.at(i % kinds.size()));
    return contacts;
}

// The page objects of a PDF file, counted in its bytes.
int pageObjects(const QString& pdf)
{
    QFile file(pdf);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"));
    int count = 0;
    for (auto it = page.globalMatch(QString::fromLatin1(file.readAll())); it.hasNext(); it.next())
        ++count;
    return count;
}

} // namespace

class TestContactsPrinter : public QObject {
    Q_OBJECT
private slots:
    void shouldFitEveryCardOnThePage_data();
    void shouldFitEveryCardOnThePage();
    void shouldWriteOnePagePerEightCards_data();
    void shouldWriteOnePagePerEightCards();
    void shouldKeepWindowsPaintingBetweenPages();
    void shouldFailWhenFileCannotBeCreated();
    void shouldPaintCardsInPreview();
    void shouldRenderCardsWherePlaced();
};

void TestContactsPrinter::shouldFitEveryCardOnThePage_data()
{
    QTest::addColumn<QPageSize::PageSizeId>("paper");
    QTest::addColumn<QPageLayout::Orientation>("orientation");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cardWidth");
    QTest::addColumn<int>("cardHeight");

    QTest::newRow("A4 portrait: 4 rows") << QPageSize::A4 << QPageLayout::Portrait << 4 << 335 << 209;
    QTest::newRow("Letter portrait: 3 rows") << QPageSize::Letter << QPageLayout::Portrait << 3 << 346 << 216;
    QTest::newRow("A4 landscape: 1 row") << QPageSize::A4 << QPageLayout::Landscape << 1 << 496 << 310;
    QTest::newRow("Letter landscape: 2 rows") << QPageSize::Letter << QPageLayout::Landscape << 2 << 463 << 289;
}

void TestContactsPrinter::shouldFitEveryCardOnThePage()
{
    QFETCH(QPageSize::PageSizeId, paper);
    QFETCH(QPageLayout::Orientation, orientation);
    QFETCH(int, rows);
    QFETCH(int, cardWidth);
    QFETCH(int, cardHeight);

    const QPageLayout page(QPageSize(paper), orientation, QMarginsF(20, 20, 20, 20), QPageLayout::Point);
    const QRect area = page.paintRectPixels(96);
    const CardLayout layout = cardLayout(area.size(), 20 * 96 / 72);

    QCOMPARE(layout.rows, rows);
    QCOMPARE(layout.cardWidth, cardWidth);
    QCOMPARE(layout.cardHeight, cardHeight);
    const QRect inner = QRect(QPoint(0, 0), area.size()).adjusted(26, 26, -26, -26);
    for (int i = 0; i < layout.cardsPerPage(); ++i) {
        const QRect card(layout.cardPosition(i), QSize(layout.cardWidth, layout.cardHeight));
        QVERIFY2(inner.contains(card), qPrintable(QStringLiteral("card %1 leaves the page").arg(i)));
    }
}

void TestContactsPrinter::shouldWriteOnePagePerEightCards_data()
{
    QTest::addColumn<int>("contacts");
    QTest::addColumn<int>("pages");
    QTest::addColumn<bool>("throughPrinter");

    for (const bool printer : { false, true }) {
        const char* const path = printer ? "printer's paint pass" : "PDF file";
        QTest::addRow("%s: no contacts, one empty page", path) << 0 << 1 << printer;
        QTest::addRow("%s: eight fill one page", path) << 8 << 1 << printer;
        QTest::addRow("%s: the ninth starts a page", path) << 9 << 2 << printer;
        QTest::addRow("%s: seventeen", path) << 17 << 3 << printer;
    }
}

void TestContactsPrinter::shouldWriteOnePagePerEightCards()
{
    QFETCH(int, contacts);
    QFETCH(int, pages);
    QFETCH(bool, throughPrinter);

    QTemporaryDir dir;
    const QString pdf = dir.filePath("cards.pdf");
    ContactsPrinter printer;
    if (throughPrinter) {
        // What the preview and printing from it run.
        QPrinter device(QPrinter::ScreenResolution);
        device.setOutputFormat(QPrinter::PdfFormat);
        device.setOutputFileName(pdf);
        device.setPageSize(QPageSize(QPageSize::A4));
        device.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
        // The list is stored by the call that shows a preview or writes a file.
        printer.printToPDF(sampleContacts(contacts), dir.filePath("first.pdf"));
        printer.onPaintRequested(&device);
        QCOMPARE(printer.cardCount(), contacts);
    } else {
        QCOMPARE(printer.printToPDF(sampleContacts(contacts), pdf), contacts);
    }
    QCOMPARE(pageObjects(pdf), pages);
}

void TestContactsPrinter::shouldKeepWindowsPaintingBetweenPages()
{
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&ticks] { ++ticks; });
    timer.start(0);

    QTemporaryDir dir;
    ContactsPrinter printer;
    printer.printToPDF(sampleContacts(17), dir.filePath("cards.pdf"));
    QCOMPARE(ticks, 2);
}

void TestContactsPrinter::shouldFailWhenFileCannotBeCreated()
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("missing/cards.pdf");
    ContactsPrinter printer;
    try {
        printer.printToPDF(sampleContacts(3), pdf);
        QFAIL("a PDF that was never written was reported as written");
    } catch (const Error& e) {
        QVERIFY2(e.text().contains(QDir::toNativeSeparators(pdf)), qPrintable(e.text()));
    }
    QVERIFY(!QFileInfo::exists(pdf));
}

void TestContactsPrinter::shouldPaintCardsInPreview()
{
    ContactsPrinter printer;
    QString title;
    QTimer::singleShot(0, this, [&] {
        auto* preview = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
        QVERIFY(preview);
        title = preview->windowTitle();
        preview->reject();
    });
    printer.printContacts(sampleContacts(5));
    QCOMPARE(title, QStringLiteral("IDS_PRINT_CONTACTS"));
    QCOMPARE(printer.cardCount(), 5);
}

// Renders the PDF with an independent reader and looks for each card's
// border where the layout puts it. The pages stay in the build folder
// (shots/contact-cards-<page>.png) for looking at.
void TestContactsPrinter::shouldRenderCardsWherePlaced()
{
    const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    if (pdftoppm.isEmpty())
        QSKIP("pdftoppm (poppler-utils) is not installed");
    const QDir shots(qEnvironmentVariable("MARROWLINK_BINARY_DIR", QDir::currentPath()) + QStringLiteral("/shots"));
    QVERIFY(shots.mkpath(QStringLiteral(".")));
    const QString pdf = shots.filePath(QStringLiteral("contact-cards.pdf"));
    ContactsPrinter printer;
    QCOMPARE(printer.printToPDF(sampleContacts(9), pdf), 9);

    QProcess render;
    render.start(pdftoppm, { "-png", "-r", "96", pdf, shots.filePath(QStringLiteral("contact-cards")) });
    QVERIFY(render.waitForFinished(60000));
    QCOMPARE(render.exitCode(), 0);

    const QPageLayout page(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 20, 20, 20), QPageLayout::Point);
    const QRect area = page.paintRectPixels(96);
    const CardLayout layout = cardLayout(area.size(), 20 * 96 / 72);
    const QImage pages[] = { QImage(shots.filePath("contact-cards-1.png")), QImage(shots.filePath("contact-cards-2.png")) };
    for (int card = 0; card < 10; ++card) {
        const QImage& image = pages[card / 8];
        QVERIFY(!image.isNull());
        // Half-way down the card's left border.
        const QPoint border = area.topLeft() + layout.cardPosition(card % 8) + QPoint(0, layout.cardHeight / 2);
        const bool drawn = qGray(image.pixel(border)) < 235 || qGray(image.pixel(border + QPoint(1, 0))) < 235;
        QVERIFY2(drawn == (card < 9), qPrintable(QStringLiteral("card %1").arg(card)));
    }
}

QTEST_MAIN(TestContactsPrinter)
#include "tst_contactsprinter.moc"
