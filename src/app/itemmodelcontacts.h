// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractItemModel>
#include <QPixmap>
#include <QHash>
#include <QList>
#include <QString>

#include <deque>
#include <functional>
#include <memory>

#include "app/contactlistrow.h"

#include "model/contact.h"

// The contact list of the selected tree node: one row per contact, columns
// Name, Phone, E-Mail, Address.
//
// The column-0 index of a row carries a pointer to the row's pim::_Contact
// (internalPointer()). Rows live in a deque, which never moves an element
// on append, so the pointer stays valid across insertContact() and only
// ends with loadContacts() or clear().
//
// Rows loaded from list rows (loadRows) carry a contact with only its id and
// full name: whoever needs the whole contact reads it by id (isComplete()
// tells which kind a row holds).
class ItemModelContacts : public QAbstractItemModel {
public:
    enum { COLUMN_NAME, COLUMN_PHONE, COLUMN_EMAIL, COLUMN_ADDRESS, COLUMN_COUNT };

    explicit ItemModelContacts(QObject* parent = nullptr);
    ~ItemModelContacts() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Replaces every row (model reset).
    void loadContacts(const QList<pim::_Contact>& list);
    // Rows made from list rows on any thread, for loadPrepared(): a long
    // list then costs the GUI thread only the swap.
    struct PreparedRows;
    static std::shared_ptr<PreparedRows> prepareRows(ContactListRows rows);
    static int countOf(const PreparedRows& rows);
    // Replaces every row by prepared ones (model reset); the rows replaced
    // are freed off the GUI thread when there are many.
    void loadPrepared(std::shared_ptr<PreparedRows> rows);
    // Replaces every row by these list rows (model reset).
    void loadRows(ContactListRows rows);
    // Appends one row at the end; earlier rows' pointers stay valid.
    void insertContact(const pim::_Contact& contact);
    // Replaces the contact of one row and its column texts; nothing when
    // out of range. The row's contact pointer stays valid.
    void updateContact(int row, const pim::_Contact& contact);
    // Removes every row (model reset).
    void clear();
    // Column-0 index of row pos; invalid when out of range.
    QModelIndex indexOfPos(int pos) const;

    // Replaces a listed-only row's contact by the whole one (same id); its
    // pointer stays the same.
    void completeRow(int row, const pim::_Contact& whole);
    // Whether the row's contact holds all its entities (false for rows of
    // loadRows and out of range).
    bool isComplete(int row) const;
    // Where the photo bytes of a listed-only row come from, by contact id;
    // asked once per row, the first time its icon is shown.
    void setPhotoSource(std::function<QByteArray(unsigned long long contactId)> source);

    // Number of rows.
    int count() const { return int(m_rows.size()); }
    // The contact of a row, null when out of range.
    const pim::_Contact* contactAt(int row) const;

    // The list's "Phone" text: the first Mobile number, else the first one.
    static QString phoneColumnText(const pim::_Contact& contact, bool* hasPhone = nullptr);

private:
    struct Row {
        explicit Row(const pim::_Contact& c);
        explicit Row(ContactListRow&& r);

        pim::_Contact contact;
        // Computed once: views ask for every visible cell on each repaint,
        // and scanning phone lists there is what made long lists sluggish.
        QVariant phone;
        QVariant email;
        QVariant address;
        bool complete = true;
        bool hasPhoto = false;
    };

    QPixmap iconOf(const Row& row) const;

    void replaceRows(std::deque<Row> rows);

    std::deque<Row> m_rows;
    // Decoded and scaled on first display, by row: kept apart from the
    // rows so that rows can be made and freed on other threads.
    mutable QHash<const Row*, QPixmap> m_icons;
    std::function<QByteArray(unsigned long long)> m_photoSource;
};
