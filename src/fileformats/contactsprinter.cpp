// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileformats/contactsprinter.h"

#include "fileformats/cardlayout.h"
#include "fileformats/cardpainter_p.h"
#include "fileformats/fileformatslog.h"
#include "kit/screenfit.h"
#include "platform/error.h"

#include <QCoreApplication>
#include <QDir>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSaveFile>

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
    m_contacts = contacts;
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
    dialog.setWindowTitle(tr("IDS_PRINT_CONTACTS"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, &ContactsPrinter::onPaintRequested);
    dialog.exec();
}

int ContactsPrinter::printToPDF(const QList<pim::_Contact>& contacts, const QString& fileName)
{
    m_contacts = contacts;
    const QString shownName = QDir::toNativeSeparators(fileName);
    // Written beside the target and renamed over it only when complete,
    // so a full disk never leaves half a PDF or costs the user an old one.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw Error(tr("Cannot create the PDF file \"%1\": %2").arg(shownName, file.errorString()));
    {
        QPdfWriter writer(&file);
        writer.setResolution(kPdfResolution);
        writer.setPageLayout(cardPageLayout());
        if (!paintCards(writer, true))
            throw Error(tr("Cannot write the PDF file \"%1\".").arg(shownName));
    }
    if (!file.commit())
        throw Error(tr("Cannot write the PDF file \"%1\": %2").arg(shownName, file.errorString()));
    return m_cardCount;
}

void ContactsPrinter::onPaintRequested(QPrinter* printer)
{
    Q_ASSERT(printer);
    if (!paintCards(*printer, false))
        qCWarning(lcExport) << "cannot paint on the printer" << printer->printerName()
                            << printer->outputFileName();
}

// Paints every stored contact as a card; returns false when the device
// cannot be painted on (nothing is drawn then).
bool ContactsPrinter::paintCards(QPagedPaintDevice& device, bool keepWindowsPainting)
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
    for (const pim::_Contact& contact : std::as_const(m_contacts)) {
        const int onPage = m_cardCount % layout.cardsPerPage();
        if (m_cardCount > 0 && onPage == 0) {
            device.newPage();
            if (keepWindowsPainting)
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
        cards.paint(painter, layout.cardPosition(onPage), contact);
        ++m_cardCount;
    }
    return painter.end();
}
