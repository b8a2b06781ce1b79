// SPDX-License-Identifier: GPL-3.0-or-later
#include "shots.h"
#include "shotwriter.h"

#include "fileformats/importcontactstolocalthread.h"
#include "kit/messagebox.h"
#include "kit/progressform.h"
#include "kit/tips.h"
#include "model/localdb.h"
#include "model/localdbcombinerule.h"
#include "support/recordingreporter.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

// A phone's export as users bring it: a real loss (a card of nothing), kinds
// the program keeps no field for, more groups and nicknames than a contact
// keeps, and line ends that only need a notice.
const char kCards[] =
    "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Lee;Ann;;;\r\nTEL;CELL:+1 555 0100\r\nGEO:37.386;-122.083\r\n"
    "NOTE;ENCODING=QUOTED-PRINTABLE:Call after six=\r\n"
    "END:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:2.1\r\nN:;;;;\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Ray;Bob;;;\r\nFN:Bob Ray\r\nX-CUSTOM-THING:something\r\n"
    "CATEGORIES:Family,Tennis,Book club\r\nNICKNAME:Bobby\r\nNICKNAME:Rob\r\n"
    "KEY;TYPE=PGP:https://keys.example/bob\r\nSOUND:https://example.org/bob.ogg\r\n"
    "NOTE;ENCODING=QUOTED-PRINTABLE:Met at the fair=\r\nEND:VCARD\r\n";

} // namespace

void fileShots(ShotWriter& shots)
{
    QString name;
    MessageBoxHandler previous = setMessageBoxHandler([&](QMessageBox& box) {
        shots.save(name, box);
        return int(QMessageBox::Ok);
    });

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("phone-export.vcf"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(kCards);
        file.close();
    }
    LocalDb db(dir.filePath(QStringLiteral("contacts.db")), QSharedPointer<LocalDbCombineRule>::create());
    db.create();
    db.open_check();
    RecordingReporter reporter;
    ImportContactsToLocalThread thread(path, ImportContactsToLocalThread::TYPE_VCARD, &db, &reporter);
    thread.start();
    thread.wait();
    db.close();
    // The ending as the progress dialog shows it.
    ProgressForm form(QStringLiteral("Importing"));
    name = QStringLiteral("files-import-ending-left-out");
    for (const QString& ending : reporter.successes() + reporter.errors())
        form.succeed(ending);

    name = QStringLiteral("files-iphone-write-unconfirmed");
    Tips::error(BoxText(QStringLiteral(
        "The iPhone was disconnected while contacts were written to it. 10 contacts were written to the iPhone and "
        "kept. 10 contacts were sent to the iPhone, which did not confirm them; they may be on the phone. Changes "
        "to \"Kim Park\" were sent to the iPhone, which did not confirm them; they may be on the phone. The rest "
        "were not written. Some details of \"Ann Lee\" were not written. The iPhone is read again to show what it "
        "holds.")));
    setMessageBoxHandler(std::move(previous));
}
