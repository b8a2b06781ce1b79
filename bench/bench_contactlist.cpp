// SPDX-License-Identifier: GPL-3.0-or-later
// How the contact list model copes with a long list: loading N contacts,
// appending one, and one "screen" of cells as a view asks for them (every
// display, decoration and background value of 40 rows), plus a full pass
// over every phone cell.
//   bench_contactlist [N]   (default 100000)
//
// And the window opening a database of N contacts of gen_contacts.py
// (bench-data/contacts-N.flat, made with gen_contacts.py N --out bench-data):
// the longest pause of a 5 ms heartbeat on the GUI thread while the node
// loads, the time until the list is on screen, a search, and the resident
// memory after loading and at its peak.
//   bench_contactlist window N
//
// And a whole-database export from the window (File -> Export with no row
// selected) of that database: the longest pause of the heartbeat from the
// menu command to the end of the export, its time, the peak resident
// memory, and the vCard writer alone over the same contacts in memory.
//   bench_contactlist export N [vcf|csv|pdf]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTextStream>
#include <QTimer>

#include <sys/resource.h>

#include "app/devices/nulldevicelayer.h"
#include "app/filechooser.h"
#include "fileformats/export/vcardexport.h"
#if __has_include("model/contactpages.h")
#include "model/contactpages.h"
#define MARROWLINK_BENCH_PAGES
#endif
#include "app/itemmodelcontacts.h"
#include "app/mainwindow.h"
#include "kit/messagebox.h"
#include "model/data_path_util.h"
#include "model/localdb.h"
#include "ui_mainwindow.h"
#include "flatcontacts.h"
#include "peakmemory.h"

#ifndef MARROWLINK_BENCH_DATA
#define MARROWLINK_BENCH_DATA "bench-data"
#endif

namespace {

long peakRssMb()
{
    rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss / 1024;
}

long currentRssMb()
{
    const long long kib = peakmemory::statusKib("VmRSS");
    return kib < 0 ? -1 : long(kib / 1024);
}

// Builds the database from the .flat file, a contact at a time.
bool buildDb(const QString& flat, const QString& path)
{
    QFile f(flat);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QSharedPointer<LocalDb> db = LocalDb::openLocal(path);
    db->create();
    db->beginEdit();
    while (!f.atEnd()) {
        const pim::_Contact c = flatContact(QString::fromUtf8(f.readLine()).chopped(1));
        pim::_Contact stored;
        bool existed = false;
        db->combineContact(c, stored, existed);
    }
    db->endEdit(true);
    db->close();
    return true;
}

int benchWindow(QApplication& app, int count)
{
    QTextStream out(stdout);
    const QDir data = g_dataSaveDir();
    const QString path = data.filePath(QStringLiteral("data/contacts-%1.db").arg(count));
    if (!QFile::exists(path)) {
        data.mkpath(QStringLiteral("data"));
        out << "building " << path << "..." << Qt::endl;
        if (!buildDb(QStringLiteral(MARROWLINK_BENCH_DATA "/contacts-%1.flat").arg(count), path)) {
            out << "no contacts file; run gen_contacts.py " << count << " --out bench-data" << Qt::endl;
            return 1;
        }
        // Measured in a fresh process: the build's memory must not count.
        return QProcess::execute(app.applicationFilePath(), { QStringLiteral("window"), QString::number(count) });
    }

    setMessageBoxHandler([](QMessageBox&) { return int(QMessageBox::Ok); });
    NullDeviceLayer devices;
    MainWindow window(&devices);
    window.resize(1200, 800);
    window.show();
    QCoreApplication::processEvents();
    const long before = currentRssMb();

    QElapsedTimer beat;
    qint64 longest = 0;
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longest = qMax(longest, beat.restart());
    });
    QSignalSpy shown(&window, &MainWindow::contactListShown);
    const QAbstractItemModel* tree = window.mainTreeModel();
    const QModelIndex locals = tree->index(1, 0);
    QModelIndex node;
    for (int row = 0; row < tree->rowCount(locals); ++row) {
        if (tree->index(row, 0, locals).data().toString() == QFileInfo(path).fileName())
            node = tree->index(row, 0, locals);
    }
    QElapsedTimer timer;
    timer.start();
    beat.start();
    heartbeat.start();
    window.form()->treeMain->setCurrentIndex(node);
    longest = qMax(longest, beat.restart()); // the selection's own slot counts too
    shown.wait(30000);
    const qint64 listed = timer.elapsed();
    QCoreApplication::processEvents();
    out << "opened " << count << " contacts (" << window.contactsListModel()->count() << " listed): complete in "
        << listed << " ms, longest GUI-thread stall " << longest << " ms" << Qt::endl;
    out << "resident memory: " << before << " MB before, " << currentRssMb() << " MB after loading, peak "
        << peakRssMb() << " MB" << Qt::endl;

    window.form()->treeContacts->setCurrentIndex(window.contactsListModel()->indexOfPos(count / 2));
    QCoreApplication::processEvents();
    longest = 0;
    beat.restart();
    timer.restart();
    window.form()->txtKeyword->setText(QStringLiteral("ann"));
    window.onBtnSearchPressed();
    longest = qMax(longest, beat.restart());
    shown.wait(30000);
    out << "search \"ann\": " << window.contactsListModel()->count() << " found in " << timer.elapsed()
        << " ms, longest GUI-thread stall " << longest << " ms" << Qt::endl;
    heartbeat.stop();
    for (const QString& keyword : { QString(), QStringLiteral("ann") }) {
        timer.restart();
        const size_t rows = readContactListRows(path, 0, keyword).size();
        out << "  of which reading the rows for \"" << keyword << "\" alone: " << rows << " in " << timer.elapsed()
            << " ms" << Qt::endl;
    }
    out << "peak resident memory at the end: " << peakRssMb() << " MB" << Qt::endl;
    return 0;
}

// Answers the save dialog with one file and filter.
class FixedFileChooser : public IFileChooser {
public:
    QString path;
    QString filter;
    QString saveFileName(QWidget*, const QString&, const QStringList&, QString* selected) override
    {
        *selected = filter;
        return path;
    }
    QString openFileName(QWidget*, const QString&, const QStringList&, QString*) override { return QString(); }
};

int benchExport(QApplication& app, int count, const QString& format)
{
    QTextStream out(stdout);
    const QDir data = g_dataSaveDir();
    const QString path = data.filePath(QStringLiteral("data/contacts-%1.db").arg(count));
    if (!QFile::exists(path)) {
        out << "no database yet: run bench_contactlist window " << count << " first" << Qt::endl;
        return 1;
    }
    Q_UNUSED(app);
    setMessageBoxHandler([](QMessageBox&) { return int(QMessageBox::Ok); });
    NullDeviceLayer devices;
    MainWindow window(&devices);
    FixedFileChooser files;
    const QString file = QDir(QStringLiteral(MARROWLINK_BENCH_DATA)).absoluteFilePath(QStringLiteral("export-window.") + format);
    QFile::remove(file);
    files.path = file;
    files.filter = format == QLatin1String("csv") ? QStringLiteral("CSV Files(*.csv)")
        : format == QLatin1String("pdf")          ? QStringLiteral("PDF files(*.pdf)")
                                                  : QStringLiteral("VCard Files(*.vcf)");
    window.setFileChooser(&files);
    window.resize(1200, 800);
    window.show();
    QCoreApplication::processEvents();

    QSignalSpy shown(&window, &MainWindow::contactListShown);
    const QAbstractItemModel* tree = window.mainTreeModel();
    const QModelIndex locals = tree->index(1, 0);
    for (int row = 0; row < tree->rowCount(locals); ++row) {
        if (tree->index(row, 0, locals).data().toString() == QFileInfo(path).fileName())
            window.form()->treeMain->setCurrentIndex(tree->index(row, 0, locals));
    }
    shown.wait(30000);
    QCoreApplication::processEvents();
    const long before = currentRssMb();
    const long peakBefore = peakRssMb();

    QElapsedTimer beat;
    qint64 longest = 0;
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { longest = qMax(longest, beat.restart()); });
    QElapsedTimer timer;
    timer.start();
    beat.start();
    heartbeat.start();
    window.miFileExport();
    longest = qMax(longest, beat.restart());
    const qint64 exportMs = timer.elapsed();
    heartbeat.stop();
    const long peakAfter = peakRssMb();
    out << "export of " << count << " contacts to " << format << " from the window: " << exportMs
        << " ms, longest GUI-thread stall " << longest << " ms, " << QFileInfo(file).size() / 1000000.0 << " MB"
        << Qt::endl;
    out << "resident memory: " << before << " MB before, peak " << peakAfter << " MB (peak before the export "
        << peakBefore << " MB)" << Qt::endl;
    QFile::remove(file);

#ifdef MARROWLINK_BENCH_PAGES
    {
        // Reading the database a page at a time, alone and read ahead.
        const QSharedPointer<LocalDb> db = LocalDb::openLocal(path, LocalDb::ReadOnly);
        for (const bool ahead : { false, true }) {
            LocalDbContactPages pages(db, 0);
            ReadAheadPages readAhead(pages);
            ContactPages& walk = ahead ? static_cast<ContactPages&>(readAhead) : pages;
            timer.restart();
            qsizetype read = 0;
            QList<pim::_Contact> page;
            while (walk.nextPage(page))
                read += page.size();
            out << "reading " << read << " contacts in pages" << (ahead ? ", read ahead: " : " alone: ")
                << timer.elapsed() << " ms" << Qt::endl;
        }
    }
#endif
    if (format == QLatin1String("vcf")) {
        // The vCard writer alone, over the same contacts already in memory.
        const QList<pim::_Contact> contacts = LocalDb::openLocal(path, LocalDb::ReadOnly)->contacts();
        timer.restart();
        qint64 bytes = 0;
        VCardExport writer;
        for (const pim::_Contact& c : contacts)
            bytes += writer.ct2Bytes(c).size();
        const qint64 writerMs = timer.elapsed();
        out << "vCard writer alone: " << writerMs << " ms (" << bytes / 1000000.0 << " MB); export / writer = "
            << QString::number(double(exportMs) / double(qMax<qint64>(1, writerMs)), 'f', 2) << Qt::endl;
    }
    return 0;
}

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
    const bool windowMode = argc > 2 && (QByteArray(argv[1]) == "window" || QByteArray(argv[1]) == "export");
    if (windowMode)
        qputenv("XDG_DATA_HOME", MARROWLINK_BENCH_DATA "/contactlist");
    QApplication app(argc, argv);
    if (argc > 2 && QByteArray(argv[1]) == "window")
        return benchWindow(app, QString::fromLocal8Bit(argv[2]).toInt());
    if (argc > 2 && QByteArray(argv[1]) == "export")
        return benchExport(app, QString::fromLocal8Bit(argv[2]).toInt(),
                           argc > 3 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("vcf"));
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
