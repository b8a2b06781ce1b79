// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

#include <functional>

class ContactPages;
class ContactProgress;
class IWorkerReporter;
class QPagedPaintDevice;
class QPrinter;

// Lays contacts out as cards, two a row, as many rows as the page holds
// (4 on A4 portrait), and shows them in a print preview or writes them to a
// PDF file. Pages are A4 portrait with margins of 20 points; cards keep
// another 20 points from the margins. The preview belongs to the GUI
// thread; the PDF and the paint passes onto a printer run on any one thread
// (a worker), reading the contacts a page at a time.
class ContactsPrinter : public QObject {
    Q_OBJECT
public:
    explicit ContactsPrinter(QObject* parent = nullptr);
    ~ContactsPrinter() override;

    // Shows the cards in an application-modal print preview, from which the
    // user may print; returns when the preview closes.
    void printContacts(const QList<pim::_Contact>& contacts);

    // Writes the cards to the PDF file fileName and returns the number of
    // cards written. The file appears only once it is complete: an existing
    // file is replaced then, and kept when writing fails. Events are
    // processed after each page, so windows keep painting.
    // Throws Error, naming the file and the cause, when it cannot be
    // created or written.
    int printToPDF(const QList<pim::_Contact>& contacts, const QString& fileName);

    // The same, for every contact of a walk, reading one page of contacts
    // at a time, so that a whole database passes through bounded memory.
    // Reports "Contacts:%1/%2" to reporter and stops with WorkerCancelled
    // (nothing is left at fileName then) once it is cancelled.
    int printPagesToPDF(ContactPages& pages, const QString& fileName, IWorkerReporter& reporter);
    // One paint pass of every contact of the walk onto printer, reported
    // and cancelled the same way; false when the printer cannot be painted
    // on. For printing from the preview, on a worker.
    bool printPages(ContactPages& pages, QPrinter& printer, IWorkerReporter& reporter);

    // Cards a preview shows at most: a preview holds every page it shows,
    // so a whole database is previewed by its first pages; printing from
    // the preview prints every card.
    static constexpr int kPreviewCards = 400;
    // Shows the first kPreviewCards of `shown` contacts in the preview; a
    // print from it gets every contact of `all` on a worker thread, under a
    // progress dialog. `all` is walked on that thread only.
    void printContacts(const QList<pim::_Contact>& firstCards, qsizetype shown, std::shared_ptr<ContactPages> all);

    // The cards drawn by the latest paint pass.
    int cardCount() const { return m_cardCount; }

public slots:
    // One paint pass of every stored contact onto printer.
    void onPaintRequested(QPrinter* printer);

private:
    // Called before each card with its number from 0 and whether it starts
    // a page; may throw to stop the pass.
    using BeforeCard = std::function<void(int card, bool pageStarted)>;
    bool paintCards(QPagedPaintDevice& device, ContactPages& pages, const BeforeCard& beforeCard);
    int writePdf(ContactPages& pages, const QString& fileName, const BeforeCard& beforeCard);
    static BeforeCard reportedCards(IWorkerReporter& reporter, ContactProgress& progress);
    // Whether the pass is the preview's (recorded pages) rather than a print.
    static bool isPreviewPass(QPrinter& printer);
    void printOnWorker(QPrinter& printer);

    QList<pim::_Contact> m_contacts;
    std::shared_ptr<ContactPages> m_all;
    int m_cardCount = 0;
};
