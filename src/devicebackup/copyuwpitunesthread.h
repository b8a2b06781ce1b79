// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QThread>

class IWorkerReporter;

// Copies a folder of iTunes files into the copy root "quorvantile_itunes" in
// the user's home folder, on a worker thread reporting to a progress dialog.
// The copy is incremental: files already in the copy are kept as they are,
// unless clearFirst empties the copy root first. A complete copy holds the
// empty marker file "__CopyUWPItunesThread"; a failed run writes none.
//
// Hidden and system entries are not copied; links to files are copied as the
// files they lead to; links to folders are never followed (a link leading
// back up the tree would otherwise never end). An entry that cannot be
// reached by its name - a name that is not valid UTF-8, or a link leading
// nowhere - is left out and named in the run's error: a copy that misses a
// file never gets the marker.
//
// The caller starts the thread, runs the dialog and waits for the thread;
// the run ends with exactly one success or one error on the reporter.
class CopyUWPItunesThread : public QThread {
    Q_OBJECT
public:
    CopyUWPItunesThread(const QString& srcPath, bool clearFirst, IWorkerReporter* form,
                        QObject* parent = nullptr);
    ~CopyUWPItunesThread() override;

    // Where the copy of srcPath goes: the copy root joined with its last name.
    static QDir uwpItunesSaveDir(const QString& srcPath);
    // Whether dir holds the marker of a complete copy.
    static bool isUWPItunesCopied(const QDir& dir);

    // Copies the entry src into the folder dst; false, with err naming the
    // file and the reason, at the first file that cannot be copied. Entries
    // that cannot be reached by their names are skipped and listed in
    // leftOut().
    bool copyFiles(const QFileInfo& src, const QDir& dst, QString& err);
    const QStringList& leftOut() const { return m_leftOut; }

protected:
    void run() override;

private:
    // True, with err naming them, when entries were left out.
    bool reportLeftOut(QString& err) const;
    // Writes the marker into the copy; false, with err set, when it cannot.
    bool writeMarker(QString& err) const;

    QString srcPath;
    bool clearFirst;
    IWorkerReporter* form;
    QStringList m_leftOut;
};
