// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the program's windows offscreen to PNG files for review:
//   render_shots [FOLDER [AREA...]]
// FOLDER defaults to the shots/ folder of the source tree; with AREA names
// only those areas are rendered. Asserts nothing; not run by ctest.
#include "shots.h"
#include "shotwriter.h"

#include "kit/fallbacktranslator.h"

#include <QApplication>
#include <QDir>
#include <QTextStream>

namespace {

struct Area {
    const char* name;
    void (*render)(ShotWriter&);
};

// Add a line here for each area's shots function.
const Area kAreas[] = {
    { "kit", kitShots },
    { "mainwindow", mainWindowShots },
    { "card", cardShots },
    { "editor", editorShots },
    { "actions", actionShots },
    { "android", androidShots },
    { "itunes", itunesShots },
    { "files", fileShots },
    { "placement", placementShots },
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    FallbackTranslator translator;
    if (translator.load(QStringLiteral(":/en.qm")))
        QCoreApplication::installTranslator(&translator);

    const QStringList args = QCoreApplication::arguments().mid(1);
    const QString folder = args.isEmpty() ? QStringLiteral(MARROWLINK_SHOTS_DIR) : args.first();
    const QStringList only = args.mid(1);
    if (!QDir().mkpath(folder)) {
        QTextStream(stderr) << "cannot create " << folder << Qt::endl;
        return 1;
    }

    ShotWriter shots(folder);
    for (const Area& area : kAreas) {
        // Whole-screen pictures only when asked for: they depend on the
        // screen the platform was given.
        const bool wanted = only.isEmpty() ? qstrcmp(area.name, "placement") != 0 : only.contains(QLatin1String(area.name));
        if (wanted)
            area.render(shots);
    }
    QTextStream(stdout) << shots.written() << " written, " << shots.failed() << " failed, in " << folder
                        << Qt::endl;
    return shots.failed() == 0 ? 0 : 1;
}
