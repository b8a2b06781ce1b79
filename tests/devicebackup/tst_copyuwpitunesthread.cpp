// SPDX-License-Identifier: GPL-3.0-or-later
#include "devicebackup/copyuwpitunesthread.h"
#include "support/recordingreporter.h"

#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

namespace {

void put(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// One run to its end, as the dialog's caller waits for it.
void run(bool clearFirst, const QString& src, RecordingReporter& reporter)
{
    CopyUWPItunesThread thread(src, clearFirst, &reporter);
    thread.start();
    thread.wait();
}

} // namespace

class TestCopyUWPItunesThread : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    QString m_src, m_root;

private slots:
    void init()
    {
        QDir(m_tmp.path()).removeRecursively();
        qputenv("HOME", QFile::encodeName(m_tmp.path() + "/home"));
        m_src = m_tmp.path() + "/src/iTunes";
        m_root = m_tmp.path() + "/home/quorvantile_itunes";
        put(m_src + "/iTunes Library.itl", "library");
        put(m_src + "/Music/song.m4a", "song");
        put(m_src + "/.hidden", "hidden");
        QVERIFY(QFile::link(m_src, m_src + "/Music/loop")); // a folder link back up the tree
    }

    void copiesOnlyWhatIsMissing()
    {
        const QDir copy = CopyUWPItunesThread::uwpItunesSaveDir(m_src + "/");
        QCOMPARE(copy.absolutePath(), m_root + "/iTunes");
        put(copy.filePath("Music/song.m4a"), "mine");
        QVERIFY(!CopyUWPItunesThread::isUWPItunesCopied(copy));

        RecordingReporter first, cleared;
        run(false, m_src, first);
        QCOMPARE(first.successes(), QStringList { QString() });
        QCOMPARE(contentOf(copy.filePath("iTunes Library.itl")), QByteArray("library"));
        QCOMPARE(contentOf(copy.filePath("Music/song.m4a")), QByteArray("mine"));
        QVERIFY(!copy.exists(".hidden") && !copy.exists("Music/loop"));
        QVERIFY(CopyUWPItunesThread::isUWPItunesCopied(copy));

        // Clearing removes a link in the copy root, never what it leads to.
        QVERIFY(QFile::link(m_tmp.path() + "/src", m_root + "/outside"));
        run(true, m_src, cleared);
        QCOMPARE(cleared.successes(), QStringList { QString() });
        QCOMPARE(contentOf(copy.filePath("Music/song.m4a")), QByteArray("song"));
        QVERIFY(!QFileInfo(m_root + "/outside").isSymLink() && QFileInfo::exists(m_src + "/Music/song.m4a"));
    }

    // A name that is not UTF-8 cannot be reached through its decoded form: it
    // and a link leading nowhere are named, the rest is copied, and the copy
    // is never marked complete.
    void namesWhatItLeftOut()
    {
        const QByteArray bad = QFile::encodeName(m_src) + "/Music/bad\xff\xfe.m4a";
        const int fd = ::open(bad.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, "bad", 3), ssize_t(3));
        ::close(fd);
        QVERIFY(QFile::link(m_src + "/nowhere", m_src + "/dangling.itl"));

        RecordingReporter reporter;
        run(false, m_src, reporter);
        const QString error = reporter.errors().value(0);
        QVERIFY2(reporter.endings() == 1 && error.startsWith("Can not copy iTunes files. 2 of the files could not be copied")
                     && error.contains(QDir::toNativeSeparators(m_src + "/Music/bad")) && error.contains("dangling.itl"),
                 qPrintable(error));
        const QDir copy = CopyUWPItunesThread::uwpItunesSaveDir(m_src);
        const bool marked = CopyUWPItunesThread::isUWPItunesCopied(copy);
        // The toolkit cannot see the name to remove it with the folder.
        QCOMPARE(::unlink(bad.constData()), 0);
        QCOMPARE(contentOf(copy.filePath("Music/song.m4a")), QByteArray("song"));
        QVERIFY(!marked);
    }

    void failuresAreReportedWithoutMarker()
    {
        put(m_src + "/__CopyUWPItunesThread/inside", "x"); // a folder stands where the marker goes
        for (const QString& source : { QString("/missing/iTunes"), m_src }) {
            RecordingReporter reporter;
            run(false, source, reporter);
            const QString error = reporter.errors().value(0);
            const QString named = source == m_src ? "__CopyUWPItunesThread:" : source;
            QVERIFY2(reporter.endings() == 1 && error.startsWith("Can not copy iTunes files. ") && error.contains(named),
                     qPrintable(error));
            QVERIFY(!CopyUWPItunesThread::isUWPItunesCopied(CopyUWPItunesThread::uwpItunesSaveDir(source)));
        }
    }
};

QTEST_GUILESS_MAIN(TestCopyUWPItunesThread)
#include "tst_copyuwpitunesthread.moc"
