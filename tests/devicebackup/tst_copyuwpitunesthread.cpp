// SPDX-License-Identifier: GPL-3.0-or-later
#include "devicebackup/copyuwpitunesthread.h"
#include "support/recordingreporter.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void put(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestCopyUWPItunesThread : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_tmp;
    QString m_src;

    // One run to its end, as the dialog's caller waits for it.
    void run(bool clearFirst, const QString& src, RecordingReporter& reporter)
    {
        CopyUWPItunesThread thread(src, clearFirst, &reporter);
        thread.start();
        thread.wait();
    }
    QStringList fileNamesShown(const RecordingReporter& reporter)
    {
        QStringList names;
        for (const RecordingReporter::Progress& p : reporter.progress())
            if (p.percent == -1)
                names.append(p.text);
        names.sort();
        return names;
    }

private slots:
    void init()
    {
        QVERIFY(m_tmp.isValid());
        QDir(m_tmp.path()).removeRecursively();
        QDir().mkpath(m_tmp.path() + "/home");
        qputenv("HOME", QFile::encodeName(m_tmp.path() + "/home"));
        m_src = m_tmp.path() + "/src/iTunes";
        put(m_src + "/iTunes Library.itl", "library");
        put(m_src + "/Music/song.m4a", "song");
        put(m_src + "/.hidden", "hidden");
        QVERIFY(QFile::link(m_src, m_src + "/Music/loop")); // a folder link back up the tree
    }

    void copiesOnlyWhatIsMissing()
    {
        const QDir copy = CopyUWPItunesThread::uwpItunesSaveDir(m_src + "/");
        QCOMPARE(copy.absolutePath(), m_tmp.path() + "/home/quorvantile_itunes/iTunes");
        QVERIFY(!CopyUWPItunesThread::isUWPItunesCopied(copy));
        put(copy.filePath("Music/song.m4a"), "mine");

        RecordingReporter first;
        run(false, m_src, first);
        QCOMPARE(first.successes(), QStringList { QString() });
        QCOMPARE(first.progress().first().status, QString("Initiating iTunes..."));
        QCOMPARE(contentOf(copy.filePath("iTunes Library.itl")), QByteArray("library"));
        QCOMPARE(contentOf(copy.filePath("Music/song.m4a")), QByteArray("mine"));
        QVERIFY(!copy.exists(".hidden"));
        QVERIFY(!copy.exists("Music/loop"));
        QVERIFY(CopyUWPItunesThread::isUWPItunesCopied(copy));

        QFile::remove(copy.filePath("iTunes Library.itl"));
        RecordingReporter second;
        run(false, m_src, second);
        QCOMPARE(second.endings(), 1);
        QCOMPARE(fileNamesShown(second), QStringList({ "iTunes Library.itl", "song.m4a" }));
        QCOMPARE(contentOf(copy.filePath("iTunes Library.itl")), QByteArray("library"));
    }

    void clearFirstEmptiesTheCopyRootButNotWhatLinksLeadTo()
    {
        const QString root = m_tmp.path() + "/home/quorvantile_itunes";
        put(root + "/Other/old.txt", "old");
        QVERIFY(QFile::link(m_tmp.path() + "/src", root + "/outside"));
        RecordingReporter reporter;
        run(true, m_src, reporter);
        QCOMPARE(reporter.successes().size(), 1);
        QVERIFY(!QFileInfo::exists(root + "/Other"));
        QVERIFY(!QFileInfo(root + "/outside").isSymLink());
        QCOMPARE(contentOf(m_src + "/Music/song.m4a"), QByteArray("song"));
    }

    void failuresAreReportedWithoutMarker_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("named");
        QTest::newRow("missing source") << "/missing/iTunes" << "/missing/iTunes";
        QTest::newRow("marker cannot be written") << "" << "__CopyUWPItunesThread";
    }
    void failuresAreReportedWithoutMarker()
    {
        QFETCH(QString, source);
        if (source.isEmpty()) {
            source = m_src;
            put(m_src + "/__CopyUWPItunesThread/inside", "a folder where the marker goes");
        }
        RecordingReporter reporter;
        run(false, source, reporter);
        QCOMPARE(reporter.successes(), QStringList());
        QCOMPARE(reporter.errors().size(), 1);
        QVERIFY2(reporter.errors()[0].startsWith("Can not copy iTunes files. "), qPrintable(reporter.errors()[0]));
        QFETCH(QString, named);
        QVERIFY2(reporter.errors()[0].contains(named), qPrintable(reporter.errors()[0]));
        QVERIFY(!CopyUWPItunesThread::isUWPItunesCopied(CopyUWPItunesThread::uwpItunesSaveDir(source)));
    }
};

QTEST_GUILESS_MAIN(TestCopyUWPItunesThread)
#include "tst_copyuwpitunesthread.moc"
