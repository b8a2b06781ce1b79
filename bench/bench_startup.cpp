// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up with a large data folder: 50 local databases of 10,000 contacts
// and one saved iPhone database of 10,000. Measures the window's
// construction (which must not read the local databases) and the load of
// the first current node, separately.
//   bench_startup [CONTACTS_PER_DB]
// Data goes to bench-data/startup/ (kept between runs).
#include "model/data_path_util.h"
#include "app/devices/nulldevicelayer.h"
#include "app/itemmodelcontacts.h"
#include "model/localdb.h"
#include "app/mainwindow.h"
#include "kit/messagebox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

namespace {

void buildDb(const QString& path, int contacts)
{
    const QSharedPointer<LocalDb> db = LocalDb::openLocal(path);
    db->create();
    db->beginEdit();
    for (int i = 0; i < contacts; ++i) {
        pim::_Contact contact;
        contact.fullName = QStringLiteral("Person %1").arg(i, 6, 10, QLatin1Char('0'));
        pim::Entity name;
        name.fields.insert(QStringLiteral("data1"), contact.fullName);
        contact.entities[pim::ENTITY_NAME] << name;
        pim::Entity phone;
        phone.fields.insert(QStringLiteral("data1"), QStringLiteral("+1 555 %1").arg(i));
        phone.fields.insert(QStringLiteral("data2"), 2);
        contact.entities[pim::ENTITY_PHONE] << phone;
        pim::_Contact stored;
        bool existed = false;
        db->combineContact(contact, stored, existed);
    }
    db->endEdit(true);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString home = QStringLiteral(MARROWLINK_BENCH_DATA "/startup");
    qputenv("XDG_DATA_HOME", home.toUtf8());
    QApplication app(argc, argv);
    const int perDb = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    QTextStream out(stdout);

    const QDir data = g_dataSaveDir();
    data.mkpath(QStringLiteral("data"));
    data.mkpath(QStringLiteral("ios_virtual"));
    const QString first = data.filePath(QStringLiteral("data/db00.db"));
    if (!QFile::exists(first)) {
        out << "building " << perDb << " contacts..." << Qt::endl;
        buildDb(first, perDb);
    }
    for (int i = 1; i < 50; ++i) {
        const QString copy = data.filePath(QStringLiteral("data/db%1.db").arg(i, 2, 10, QLatin1Char('0')));
        if (!QFile::exists(copy))
            QFile::copy(first, copy);
    }
    const QString iPhone = data.filePath(QStringLiteral("ios_virtual/iPhone.db"));
    if (!QFile::exists(iPhone))
        QFile::copy(first, iPhone);

    setMessageBoxHandler([](QMessageBox&) { return int(QMessageBox::Ok); });
    NullDeviceLayer devices;
    QElapsedTimer timer;
    timer.start();
    MainWindow window(&devices);
    window.show();
    const qint64 built = timer.elapsed();
    QCoreApplication::processEvents(); // the first current node starts loading here
    while (window.isListLoading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 loaded = timer.elapsed();
    out << "50 local databases + 1 saved iPhone, " << perDb << " contacts each" << Qt::endl;
    out << "window built and shown: " << built << " ms" << Qt::endl;
    out << "first node listed (" << window.contactsListModel()->count() << " contacts): " << loaded - built << " ms"
        << Qt::endl;
    return 0;
}
