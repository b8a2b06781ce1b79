// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/contactbuilders.h"
#include "fileformats/print/cardlayout.h"
#include "fileformats/print/contactsprinter.h"
#include "fileformats/print/pdfexportthread.h"
#include "model/contactpages.h"
#include "platform/error.h"
#include "support/modaldialoganswerer.h"
#include "support/recordingreporter.h"
#include "support/timebounds.h"

#include <QBuffer>
#include <QImage>
#include <QLocale>
#include <QPageLayout>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using testkit::contactOf;
using testkit::entityOf;
using Fields = QVariantMap;

namespace {

QByteArray tallPng()
{
    QImage image(160, 200, QImage::Format_RGB32);
    image.fill(QColor(70, 110, 160));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Cards as people have them: a full one (six phones, of which four show),
// a photo, and broken photo bytes with a name and a number too long.
QList<pim::_Contact> sampleContacts(int n)
{
    pim::_Contact full = contactOf("Margarethe Oberholzer",
        { { pim::ENTITY_ORG,
              { Fields { { "data1", "Northwind" }, { "data4", "Engineer" }, { "data5", "R&D" } } } },
            { pim::ENTITY_EVENT, { Fields { { "data1", "1984-02-29T00:00:00" }, { "data2", 3 } } } },
            { pim::ENTITY_EMAIL, { Fields { { "data1", "m.oberholzer@northwind.example" } } } },
            { pim::ENTITY_ADDR,
                { Fields { { "data4", "Bahnhofstrasse 12" }, { "data7", "Zurich" },
                    { "data10", "Switzerland" } } } } });
    for (const int type : { 1, 2, 3, 4, 0, 7 })
        full.entities[pim::ENTITY_PHONE].append(
            entityOf({ { "data1", QStringLiteral("+41 44 555 00 0%1").arg(type) }, { "data2", type } }));
    const pim::_Contact kinds[] = {
        full,
        contactOf("Ada Lovelace",
            { { pim::ENTITY_PHOTO, { Fields { { "data15", tallPng() } } } },
                { pim::ENTITY_EMAIL, { Fields { { "data1", "ada@example.org" } } } } }),
        contactOf("Bartholomew Maximilian Alexander von Hohenzollern-Sigmaringen",
            { { pim::ENTITY_PHOTO, { Fields { { "data15", QByteArray("not a picture") } } } },
                { pim::ENTITY_PHONE, { Fields { { "data1", "+1 555 0100 0199 0123 4567 8910 1112" } } } } }),
    };
    QList<pim::_Contact> contacts;
    for (int i = 0; i < n; ++i)
        contacts.append(kinds[i % 3]);
    return contacts;
}

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

CardLayout layoutOf(QPageSize::PageSizeId paper, QPageLayout::Orientation orientation, QRect* area)
{
    *area = QPageLayout(QPageSize(paper), orientation, QMarginsF(20, 20, 20, 20), QPageLayout::Point)
                .paintRectPixels(96);
    return cardLayout(area->size(), 20 * 96 / 72);
}

} // namespace

class TestContactsPrinter : public QObject {
    Q_OBJECT
private slots:
    void shouldFitEveryCardOnThePage_data();
    void shouldFitEveryCardOnThePage();
    void shouldWriteOnePagePerEightCards_data();
    void shouldWriteOnePagePerEightCards();
    void shouldFailWhenFileCannotBeCreated();
    void shouldRenderCardsWherePlaced();
    void shouldPrintWhatACardHolds();
    void shouldPreviewTheFirstCardsAndPrintThemAll();
    void shouldWritePdfOnAWorkerAndStopOnCancel_data();
    void shouldWritePdfOnAWorkerAndStopOnCancel();
};

void TestContactsPrinter::shouldFitEveryCardOnThePage_data()
{
    QTest::addColumn<QPageSize::PageSizeId>("paper");
    QTest::addColumn<QPageLayout::Orientation>("orientation");
    QTest::addColumn<QSize>("card");
    QTest::addColumn<int>("rows");

    QTest::newRow("A4 portrait") << QPageSize::A4 << QPageLayout::Portrait << QSize(335, 209) << 4;
    QTest::newRow("Letter portrait") << QPageSize::Letter << QPageLayout::Portrait << QSize(346, 216) << 3;
    QTest::newRow("A4 landscape") << QPageSize::A4 << QPageLayout::Landscape << QSize(496, 310) << 1;
    QTest::newRow("Letter landscape") << QPageSize::Letter << QPageLayout::Landscape << QSize(463, 289) << 2;
}

void TestContactsPrinter::shouldFitEveryCardOnThePage()
{
    QFETCH(QPageSize::PageSizeId, paper);
    QFETCH(QPageLayout::Orientation, orientation);
    QFETCH(QSize, card);
    QFETCH(int, rows);

    QRect area;
    const CardLayout layout = layoutOf(paper, orientation, &area);
    QCOMPARE(QSize(layout.cardWidth, layout.cardHeight), card);
    QCOMPARE(layout.rows, rows);
    const QRect inner = QRect(QPoint(0, 0), area.size()).adjusted(26, 26, -26, -26);
    for (int i = 0; i < layout.cardsPerPage(); ++i)
        QVERIFY2(inner.contains(QRect(layout.cardPosition(i), card)),
            qPrintable(QStringLiteral("card %1").arg(i)));
}

void TestContactsPrinter::shouldWriteOnePagePerEightCards_data()
{
    QTest::addColumn<int>("contacts");
    QTest::addColumn<int>("pages");

    QTest::newRow("no contacts, one empty page") << 0 << 1;
    QTest::newRow("eight fill one page") << 8 << 1;
    QTest::newRow("the ninth starts a page") << 9 << 2;
    QTest::newRow("seventeen") << 17 << 3;
}

void TestContactsPrinter::shouldWriteOnePagePerEightCards()
{
    QFETCH(int, contacts);
    QFETCH(int, pages);

    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&ticks] { ++ticks; });
    timer.start(0);
    QTemporaryDir dir;
    QCOMPARE(ContactsPrinter().printToPDF(sampleContacts(contacts), dir.filePath("cards.pdf")), contacts);
    QVERIFY2(ticks >= pages - 1, "windows must keep painting between pages");
    QCOMPARE(pageObjects(dir.filePath("cards.pdf")), pages);
}

void TestContactsPrinter::shouldFailWhenFileCannotBeCreated()
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("missing/cards.pdf");
    try {
        ContactsPrinter().printToPDF(sampleContacts(3), pdf);
        QFAIL("a PDF that was never written was reported as written");
    } catch (const Error& e) {
        QVERIFY2(e.text().contains(QDir::toNativeSeparators(pdf)), qPrintable(e.text()));
    }
}

// Renders the PDF with an independent reader and looks for each card's
// border where the layout puts it. The pages stay in the build folder
// (shots/contact-cards-<page>.png) for looking at.
void TestContactsPrinter::shouldRenderCardsWherePlaced()
{
    const QDir shots(
        qEnvironmentVariable("MARROWLINK_BINARY_DIR", QDir::currentPath()) + QStringLiteral("/shots"));
    QVERIFY(shots.mkpath(QStringLiteral(".")));
    const QString pdf = shots.filePath(QStringLiteral("contact-cards.pdf"));
    QCOMPARE(ContactsPrinter().printToPDF(sampleContacts(9), pdf), 9);
    if (QProcess::execute(
            QStringLiteral("pdftoppm"), { "-png", "-r", "96", pdf, shots.filePath("contact-cards") })
        < 0)
        QSKIP("pdftoppm (poppler-utils) is not installed");

    QRect area;
    const CardLayout layout = layoutOf(QPageSize::A4, QPageLayout::Portrait, &area);
    const QImage pages[]
        = { QImage(shots.filePath("contact-cards-1.png")), QImage(shots.filePath("contact-cards-2.png")) };
    for (int card = 0; card < 10; ++card) {
        const QImage& image = pages[card / 8];
        QVERIFY(!image.isNull());
        // Half-way down the card's left border.
        const QPoint border
            = area.topLeft() + layout.cardPosition(card % 8) + QPoint(0, layout.cardHeight / 2);
        const bool drawn
            = qGray(image.pixel(border)) < 235 || qGray(image.pixel(border + QPoint(1, 0))) < 235;
        QVERIFY2(drawn == (card < 9), qPrintable(QStringLiteral("card %1").arg(card)));
    }
}

// The text of each card, as a PDF reader extracts it: the name, the first
// organisation, the birthday, the four best phones (a mobile first), the
// first e-mail and the first address, and nothing else of the contact.
void TestContactsPrinter::shouldPrintWhatACardHolds()
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("cards.pdf");
    QList<pim::_Contact> contacts = sampleContacts(1);
    pim::_Contact& full = contacts.first();
    full.entities[pim::ENTITY_EMAIL].first().fields.insert("data1", "mo@nw.example");
    full.entities[pim::ENTITY_ORG].append(entityOf({ { "data1", "Second Org" } }));
    full.entities[pim::ENTITY_EMAIL].append(entityOf({ { "data1", "second@example.org" } }));
    full.entities[pim::ENTITY_EVENT].prepend(entityOf({ { "data1", "2001-05-06T00:00:00" }, { "data2", 1 } }));
    full.entities[pim::ENTITY_NOTES].append(entityOf({ { "data1", "Private note" } }));
    full.entities[pim::ENTITY_NICKNAME].append(entityOf({ { "data1", "Gretl" } }));
    QCOMPARE(ContactsPrinter().printToPDF(contacts, pdf), 1);
    QProcess text;
    text.start(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), pdf, QStringLiteral("-") });
    if (!text.waitForFinished(timebound::kWaitMs) || text.exitCode() != 0)
        QSKIP("pdftotext (poppler-utils) is not installed");
    const QString card = QString::fromUtf8(text.readAllStandardOutput());

    QStringList lines;
    for (const QString& line : card.split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty())
            lines << line.simplified();
    }
    const QDate born(1984, 2, 29);
    const QStringList expected { "Margarethe Oberholzer", "Engineer R&D Northwind",
        "Birthday: " + QLocale::system().toString(born, QLocale::ShortFormat), "Mobile: +41 44 555 00 02",
        "Home: +41 44 555 00 01", "Work: +41 44 555 00 03", "Work Fax: +41 44 555 00 04",
        "E-Mail: mo@nw.example", "Address: Bahnhofstrasse 12", "Zurich", "Switzerland" };
    for (const QString& want : expected)
        QVERIFY2(lines.contains(want) || card.contains(want), qPrintable(want + " in:\n" + card));
    // The order on the card.
    qsizetype at = -1;
    for (const QString& want : expected) {
        const qsizetype next = card.indexOf(want.section(QLatin1Char(' '), -1));
        QVERIFY2(next > at, qPrintable(want));
        at = next;
    }
    for (const char* absent : { "+41 44 555 00 00", "+41 44 555 00 07", "Second Org", "second@example.org",
             "Private note", "Gretl", "2001" })
        QVERIFY2(!card.contains(QLatin1String(absent)), absent);
}

// The preview holds the first cards only; printing from it walks every
// contact on a worker, under a progress dialog.
void TestContactsPrinter::shouldPreviewTheFirstCardsAndPrintThemAll()
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath("printed.pdf");
    const QList<pim::_Contact> all = sampleContacts(ContactsPrinter::kPreviewCards + 10);
    int previewPages = -1;
    QString title;
    ModalDialogAnswerer answer([&](QWidget* dialog) {
        auto* preview = dialog->findChild<QPrintPreviewWidget*>();
        previewPages = preview->pageCount();
        title = dialog->windowTitle();
        QPrinter* printer = static_cast<QPrintPreviewDialog*>(dialog)->printer();
        printer->setOutputFileName(pdf);
        printer->setPageSize(QPageSize(QPageSize::A4));
        preview->print();
        dialog->close();
    });
    answer.setMatch([](QWidget* dialog) { return dialog->inherits("QPrintPreviewDialog"); });
    ContactsPrinter printer;
    printer.printContacts(all.mid(0, ContactsPrinter::kPreviewCards), all.size(),
                          std::make_shared<ContactListPages>(all));
    QVERIFY(answer.answered());
    QCOMPARE(previewPages, ContactsPrinter::kPreviewCards / 8);
    QVERIFY2(title.contains(QStringLiteral("%1 of %2").arg(ContactsPrinter::kPreviewCards).arg(all.size())),
             qPrintable(title));
    QCOMPARE(pageObjects(pdf), int(all.size() + 7) / 8);
}

void TestContactsPrinter::shouldWritePdfOnAWorkerAndStopOnCancel_data()
{
    QTest::addColumn<int>("cancelAfter"); // progress reports; 0: none
    QTest::addColumn<bool>("oldFile");
    QTest::newRow("written") << 0 << false;
    QTest::newRow("cancelled: no file") << 3 << false;
    QTest::newRow("cancelled: the old file kept") << 3 << true;
}

void TestContactsPrinter::shouldWritePdfOnAWorkerAndStopOnCancel()
{
    QFETCH(int, cancelAfter);
    QFETCH(bool, oldFile);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("cards.pdf");
    if (oldFile) {
        QFile old(pdf);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    }
    RecordingReporter reporter;
    if (cancelAfter)
        reporter.cancelAfterProgress(cancelAfter);
    PdfExportThread thread(std::make_shared<ContactListPages>(sampleContacts(40), 16), pdf, &reporter);
    thread.start();
    QVERIFY(thread.wait(timebound::kWaitMs));
    QCOMPARE(reporter.errors(), QStringList());
    if (cancelAfter) {
        QCOMPARE(reporter.endings(), 0);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), oldFile ? QStringList { "cards.pdf" } : QStringList {});
        if (oldFile)
            QCOMPARE(QFileInfo(pdf).size(), 3);
        return;
    }
    QCOMPARE(reporter.successes(), QStringList { "IDS_SUC_EXPORT_40_CONTACTS_TO_FILE" });
    QVERIFY(reporter.progressCount() >= 2);
    QCOMPARE(pageObjects(pdf), 5);
}

QTEST_MAIN(TestContactsPrinter)
#include "tst_contactsprinter.moc"
