// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/contact.h"

#include <QList>
#include <QObject>
#include <QString>

class QPagedPaintDevice;
class QPrinter;

// Lays contacts out as cards, two a row, as many rows as the page holds
// (4 on A4 portrait), and shows them in a print preview or writes them to a
// PDF file. Pages are A4 portrait with margins of 20 points; cards keep
// another 20 points from the margins. GUI thread only.
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

    // The cards drawn by the latest paint pass.
    int cardCount() const { return m_cardCount; }

public slots:
    // One paint pass of every stored contact onto printer.
    void onPaintRequested(QPrinter* printer);

private:
    bool paintCards(QPagedPaintDevice& device, bool keepWindowsPainting);

    QList<pim::_Contact> m_contacts;
    int m_cardCount = 0;
};
