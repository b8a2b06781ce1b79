// SPDX-License-Identifier: GPL-3.0-or-later
// How the contact list model copes with a long list: loading N contacts,
// appending one, and one "screen" of cells as a view asks for them (every
// display, decoration and background value of 40 rows), plus a full pass
// over every phone cell.
//   bench_contactlist [N]   (default 100000)
#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include "app/itemmodelcontacts.h"

namespace {

pim::_Contact makeContact(int i)
{
    pim::_Contact c(quint64(i + 1), QString(), QStringLiteral("Contact %1").arg(i, 6, 10, QLatin1Char('0')));
    QList<pim::Entity> phones;
    for (int p = 0; p < 3; ++p) {
        pim::Entity phone;
        phone.fields.insert(QStringLiteral("data1"), QStringLiteral("+1 555 %1%2").arg(i).arg(p));
        phone.fields.insert(QStringLiteral("data2"), p == 2 ? 2 : 1); // the Mobile one last
        phones.append(phone);
    }
    c.entities[pim::ENTITY_PHONE] = phones;
    pim::Entity email;
    email.fields.insert(QStringLiteral("data1"), QStringLiteral("c%1@example.org").arg(i));
    c.entities[pim::ENTITY_EMAIL] = {email};
    return c;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;

    QList<pim::_Contact> contacts;
    contacts.reserve(count);
    for (int i = 0; i < count; ++i)
        contacts.append(makeContact(i));

    ItemModelContacts model;
    QElapsedTimer timer;
    QTextStream out(stdout);

    timer.start();
    model.loadContacts(contacts);
    out << "loadContacts(" << count << "): " << timer.elapsed() << " ms" << Qt::endl;

    timer.restart();
    model.insertContact(makeContact(count));
    out << "insertContact: " << timer.nsecsElapsed() / 1000 << " us" << Qt::endl;

    timer.restart();
    int cells = 0;
    const int first = model.count() / 2;
    for (int row = first; row < first + 40; ++row) {
        for (int column = 0; column < model.columnCount(); ++column) {
            const QModelIndex index = model.index(row, column);
            for (int role : {int(Qt::DisplayRole), int(Qt::DecorationRole), int(Qt::BackgroundRole), int(Qt::SizeHintRole)})
                cells += index.data(role).isValid() ? 1 : 0;
        }
    }
    out << "one screen (40 rows x 4 columns x 4 roles): " << timer.nsecsElapsed() / 1000 << " us" << Qt::endl;

    timer.restart();
    qsizetype length = 0;
    for (int row = 0; row < model.count(); ++row)
        length += model.index(row, ItemModelContacts::COLUMN_PHONE).data().toString().size();
    out << "every phone cell: " << timer.elapsed() << " ms (" << length << " chars, " << cells << " cells)" << Qt::endl;
    return 0;
}
