// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/print/contactsprinter.h"

#include "fileformats/print/cardlayout.h"
#include "fileformats/print/cardpainter_p.h"
#include "fileformats/fileformatslog.h"
#include "fileformats/workercancelled_p.h"
#include "kit/contactprogress.h"
#include "kit/progressform.h"
#include "kit/workerrun.h"
#include "model/contactpages.h"
#include "kit/screenfit.h"
#include "platform/error.h"

#include <QCoreApplication>
#include <QDir>
#include <QPageLayout>
#include <QPaintEngine>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QThread>

namespace {

// Space between the page margins and the cards, in points.
constexpr int kCardInsetPoints = 20;
// A PDF has no screen: it is laid out at the usual screen resolution, so
// it looks like the preview and its numbers do not depend on the machine.
constexpr int kPdfResolution = 96;

QPageLayout cardPageLayout()
{
    return QPageLayout(
        QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 20, 20, 20), QPageLayout::Point);
}

} // namespace

ContactsPrinter::ContactsPrinter(QObject* parent)
    : QObject(parent)
{
}

ContactsPrinter::~ContactsPrinter() = default;

void ContactsPrinter::printContacts(const QList<pim::_Contact>& contacts)
{
    printContacts(contacts, contacts.size(), std::make_shared<ContactListPages>(contacts));
}

void ContactsPrinter::printContacts(const QList<pim::_Contact>& firstCards, qsizetype shown,
                                    std::shared_ptr<ContactPages> all)
{
    m_contacts = firstCards.mid(0, kPreviewCards);
    m_all = std::move(all);
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::NativeFormat);
    // Without a printer in the system the preview can still save a PDF.
    if (!printer.isValid())
        printer.setOutputFormat(QPrinter::PdfFormat);
    // After the format: a new output format may bring its own defaults.
    const QPageLayout page = cardPageLayout();
    printer.setPageOrientation(page.orientation());
    printer.setPageSize(page.pageSize());
    printer.setPageMargins(page.margins(), page.units());

    QPrintPreviewDialog dialog(&printer);
    // On a small screen the preview gives way, title bar included, so
    // that its buttons stay in reach.
    dialog.setFixedSize(g_sizeOnScreen(&dialog, QSize(900, 700), QSize(10, 40)));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setModal(true);
    QString title = tr("IDS_PRINT_CONTACTS");
    if (shown > m_contacts.size())
        title = tr("%1 (the first %2 of %3 cards shown; printing prints them all)")
                    .arg(title)
                    .arg(m_contacts.size())
                    .arg(shown);
    dialog.setWindowTitle(title);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, &ContactsPrinter::onPaintRequested);
    dialog.exec();
    m_all.reset();
}

int ContactsPrinter::printToPDF(const QList<pim::_Contact>& contacts, const QString& fileName)
{
    m_contacts = contacts;
    ContactListPages pages(contacts);
    return writePdf(pages, fileName, [](int, bool pageStarted) {
        if (pageStarted)
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
}

// Before each card of a worker's pass: stop once cancelled, else report.
ContactsPrinter::BeforeCard ContactsPrinter::reportedCards(IWorkerReporter& reporter, ContactProgress& progress)
{
    return [&reporter, &progress](int card, bool) {
        if (reporter.isCancelled())
            throw WorkerCancelled();
        progress.step(card + 1);
    };
}

int ContactsPrinter::printPagesToPDF(ContactPages& pages, const QString& fileName, IWorkerReporter& reporter)
{
    pages.rewind();
    ContactProgress progress(&reporter, tr("Writing the contact cards..."), int(pages.count()));
    return writePdf(pages, fileName, reportedCards(reporter, progress));
}

bool ContactsPrinter::printPages(ContactPages& pages, QPrinter& printer, IWorkerReporter& reporter)
{
    pages.rewind();
    ContactProgress progress(&reporter, tr("Printing the contact cards..."), int(pages.count()));
    return paintCards(printer, pages, reportedCards(reporter, progress));
}

int ContactsPrinter::writePdf(ContactPages& pages, const QString& fileName, const BeforeCard& beforeCard)
{
    const QString shownName = QDir::toNativeSeparators(fileName);
    // Written beside the target and renamed over it only when complete,
    // so a full disk or a cancel never leaves half a PDF or costs the user
    // an old one.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw Error(tr("Cannot create the PDF file \"%1\": %2").arg(shownName, file.errorString()));
    {
        QPdfWriter writer(&file);
        writer.setResolution(kPdfResolution);
        writer.setPageLayout(cardPageLayout());
        if (!paintCards(writer, pages, beforeCard))
            throw Error(tr("Cannot write the PDF file \"%1\".").arg(shownName));
    }
    if (!file.commit())
        throw Error(tr("Cannot write the PDF file \"%1\": %2").arg(shownName, file.errorString()));
    return m_cardCount;
}

bool ContactsPrinter::isPreviewPass(QPrinter& printer)
{
    // The preview records its pages as pictures through an engine of its
    // own; a print or a PDF file gets the printer's real engine.
    const QPaintEngine* engine = printer.paintEngine();
    return engine && engine->type() == QPaintEngine::Picture;
}

void ContactsPrinter::onPaintRequested(QPrinter* printer)
{
    Q_ASSERT(printer);
    if (m_all && !isPreviewPass(*printer)) {
        printOnWorker(*printer);
        return;
    }
    ContactListPages pages(m_contacts);
    if (!paintCards(*printer, pages, {}))
        qCWarning(lcExport) << "cannot paint on the printer" << printer->printerName()
                            << printer->outputFileName();
}

void ContactsPrinter::printOnWorker(QPrinter& printer)
{
    ProgressForm form(tr("IDS_PRINT_CONTACTS"));
    std::unique_ptr<QThread> worker(QThread::create([&] {
        runWorkerJob<WorkerCancelled>(form, tr("Unknown error while printing the contact cards."), [&] {
            if (!printPages(*m_all, printer, form))
                throw Error(tr("The printer \"%1\" cannot be printed on.").arg(printer.printerName()));
            form.invokeSucceed(QString());
        });
    }));
    form.runWorker(*worker);
}

// Paints every contact of the walk as a card; returns false when the device
// cannot be painted on (nothing is drawn then).
bool ContactsPrinter::paintCards(QPagedPaintDevice& device, ContactPages& pages, const BeforeCard& beforeCard)
{
    m_cardCount = 0;
    const int dpi = device.logicalDpiY();
    const QRect paintArea = device.pageLayout().paintRectPixels(dpi);
    const CardLayout layout = cardLayout(paintArea.size(), kCardInsetPoints * dpi / 72);

    QPainter painter;
    if (!painter.begin(&device))
        return false;
    painter.setRenderHint(QPainter::Antialiasing);
    CardPainter cards(QSize(layout.cardWidth, layout.cardHeight));
    QList<pim::_Contact> page;
    pages.rewind();
    try {
        while (pages.nextPage(page)) {
            for (const pim::_Contact& contact : std::as_const(page)) {
                const int onPage = m_cardCount % layout.cardsPerPage();
                const bool pageStarted = m_cardCount > 0 && onPage == 0;
                if (beforeCard)
                    beforeCard(m_cardCount, pageStarted);
                if (pageStarted)
                    device.newPage();
                cards.paint(painter, layout.cardPosition(onPage), contact);
                ++m_cardCount;
            }
        }
    } catch (...) {
        // Ending the painter would hand the pages drawn so far to the
        // printer: a cancelled or failed print job prints nothing.
        if (auto* printer = dynamic_cast<QPrinter*>(&device))
            printer->abort();
        throw;
    }
    return painter.end();
}
