// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/data_path_util.h"
#include "model/data_path_util_p.h"
#include "support/timebounds.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QList<QStringList> g_calls; // program, then its arguments

bool recordOpen(const QString& program, const QStringList& arguments)
{
    g_calls.append(QStringList { program } + arguments);
    return true;
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool existsOrIsLink(const QString& path)
{
    return QFileInfo::exists(path) || QFileInfo(path).isSymLink();
}

// Below root: "d:name" makes a folder, "f:name" a file, "l:name>target" a
// symbolic link (a relative target is taken from root).
void build(const QString& root, const QStringList& spec)
{
    for (const QString& item : spec) {
        const QString what = item.mid(2);
        if (item.startsWith("d:")) {
            QVERIFY(QDir().mkpath(root + '/' + what));
        } else if (item.startsWith("f:")) {
            QVERIFY(QDir().mkpath(QFileInfo(root + '/' + what).path()) && writeFile(root + '/' + what, "x"));
        } else {
            const QStringList parts = what.split('>');
            const QString target = parts.at(1).startsWith('/') ? parts.at(1) : root + '/' + parts.at(1);
            QVERIFY(QFile::link(target, root + '/' + parts.at(0)));
        }
    }
}

} // namespace

class TestDataPathUtil : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QString m_xdg;
    QString m_default;
    QString m_work;

    QString redirectFile() const { return m_default + "/" + kProductIdentifier + ".redirect"; }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        // Before anything asks QStandardPaths: the tests never touch the
        // real home folder.
        qputenv("HOME", (m_tmp.path() + "/home").toUtf8());
        m_xdg = m_tmp.path() + "/xdg";
        qputenv("XDG_DATA_HOME", m_xdg.toUtf8());
        m_default = m_xdg + "/QuorVantile";
        m_work = m_tmp.path() + "/work";
        g_setDesktopOpener(&recordOpen);
    }

    void init()
    {
        g_forgetDataSaveDir();
        g_calls.clear();
        QDir(m_xdg).removeRecursively();
        QDir(m_work).removeRecursively();
        QVERIFY(QDir().mkpath(m_work));
        QVERIFY(QDir::setCurrent(m_work));
    }

    void findsTheDataFolder_data()
    {
        QTest::addColumn<QByteArray>("redirect"); // null: no redirect file; @W@ = work folder
        QTest::addColumn<QString>("expectedBase"); // "" for the default base folder
        QTest::addColumn<bool>("created");

        QTest::newRow("redirect to a missing folder") << QByteArray("@W@/missing") << "" << true;
        QTest::newRow("empty redirect") << QByteArray("") << "" << true;
        QTest::newRow("redirect followed by a line end") << QByteArray("@W@/elsewhere\n") << "" << true;
        QTest::newRow("redirect ends at a zero byte") << QByteArray("@W@/elsewhere\0junk", 18) << "@W@/elsewhere" << true;
        QTest::newRow("relative redirect is taken from the working folder")
            << QByteArray("elsewhere") << "@W@/elsewhere" << true;
        QTest::newRow("redirect to an existing file") << QByteArray("@W@/plain-file") << "@W@/plain-file" << false;
        QTest::newRow("oversized redirect") << QByteArray(70000, '/') << "" << true;
    }
    void findsTheDataFolder()
    {
        QFETCH(QByteArray, redirect);
        QFETCH(QString, expectedBase);
        QFETCH(bool, created);
        build(m_work, { "d:elsewhere", "f:plain-file" });
        if (!redirect.isNull()) {
            QVERIFY(QDir().mkpath(m_default));
            QVERIFY(writeFile(redirectFile(), redirect.replace("@W@", m_work.toUtf8())));
        }
        const QString base = expectedBase.isEmpty() ? m_default : expectedBase.replace("@W@", m_work);
        const QDir data = g_dataSaveDir();
        QCOMPARE(data.absolutePath(), base + "/" + kProductIdentifier);
        QCOMPARE(QFileInfo(data.absolutePath()).isDir(), created);
    }

    void keepsTheFolderFoundFirst()
    {
        QCOMPARE(g_osAppDir().absolutePath(), m_xdg);
        const QString first = g_dataSaveDir().absolutePath();
        QCOMPARE(first, m_default + "/" + kProductIdentifier);
        const QString other = m_work + "/other";
        QVERIFY(QDir().mkpath(other));
        g_setDataSaveDirLink(other);
        QCOMPARE(readFile(redirectFile()), other.toUtf8()); // no line end, no zero
        QCOMPARE(g_dataSaveDir().absolutePath(), first);

        // Deleted during the run: created again at the same place.
        QVERIFY(QDir(first).removeRecursively());
        QCOMPARE(g_dataSaveDir().absolutePath(), first);
        QVERIFY(QFileInfo(first).isDir());

        // The next run follows the redirect.
        g_forgetDataSaveDir();
        QCOMPARE(g_dataSaveDir().absolutePath(), other + "/" + kProductIdentifier);
    }

    void choosesAFreeFileName_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("input"); // @W@ = work folder, also the working folder
        QTest::addColumn<QString>("expected");

        QTest::newRow("taken twice") << QStringList { "f:a.vcf", "f:a(1).vcf" } << "@W@/a.vcf" << "@W@/a(2).vcf";
        QTest::newRow("inner extension dropped") << QStringList { "f:archive.tar.gz" } << "@W@/archive.tar.gz"
                                                 << "@W@/archive(1).gz";
        QTest::newRow("hidden file") << QStringList { "f:.profile" } << "@W@/.profile" << "@W@/(1).profile";
        QTest::newRow("folder of the candidate's name is taken")
            << QStringList { "f:a.vcf", "d:a(1).vcf" } << "@W@/a.vcf" << "@W@/a(2).vcf";
        QTest::newRow("dangling link at the path itself is taken")
            << QStringList { "l:a.vcf>/nonexistent/target" } << "@W@/a.vcf" << "@W@/a(1).vcf";
        QTest::newRow("relative name becomes absolute") << QStringList { "f:b.csv" } << "b.csv" << "@W@/b(1).csv";
    }
    void choosesAFreeFileName()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, input);
        QFETCH(QString, expected);
        build(m_work, existing);
        QCOMPARE(g_getValidFilePath(input.replace("@W@", m_work)), expected.replace("@W@", m_work));
    }

    // Nothing outside the given folder may go, whatever links the tree holds.
    void deletesFolderTrees_data()
    {
        QTest::addColumn<QStringList>("tree"); // under the work folder; "top" is deleted
        QTest::addColumn<QStringList>("remaining");
        QTest::addColumn<QStringList>("gone");

        QTest::newRow("missing path") << QStringList { "f:keep/precious.txt" } << QStringList { "keep/precious.txt" }
                                      << QStringList {};
        QTest::newRow("hidden file in a subfolder stays with its folders")
            << QStringList { "d:top/sub", "f:top/sub/.hidden", "f:top/sub/seen.txt", "f:top/other.txt" }
            << QStringList { "top/sub/.hidden" } << QStringList { "top/sub/seen.txt", "top/other.txt" };
        QTest::newRow("link to an outside folder is removed as a link")
            << QStringList { "d:keep/deep", "f:keep/deep/more.txt", "d:top/sub", "l:top/sub/escape>keep" }
            << QStringList { "keep/deep/more.txt" } << QStringList { "top" };
        QTest::newRow("the given path is itself a link")
            << QStringList { "f:keep/precious.txt", "l:top>keep" } << QStringList { "keep/precious.txt" }
            << QStringList { "top" };
        QTest::newRow("dangling link stays like a special entry")
            << QStringList { "d:top", "l:top/dangling>/nonexistent/x" } << QStringList { "top/dangling" }
            << QStringList {};
    }
    void deletesFolderTrees()
    {
        QFETCH(QStringList, tree);
        QFETCH(QStringList, remaining);
        QFETCH(QStringList, gone);
        build(m_work, tree);
        g_delDirCascade(m_work + "/top");
        for (const QString& p : remaining)
            QVERIFY2(existsOrIsLink(m_work + "/" + p), qPrintable(p));
        for (const QString& p : gone)
            QVERIFY2(!existsOrIsLink(m_work + "/" + p), qPrintable(p));
    }

    // A leading dash cannot read as an option.
    void handsPathsToTheOpenerWhole()
    {
        g_openFileOrFolder("-a Calculator");
        QCOMPARE(g_calls, (QList<QStringList> { { "xdg-open", m_work + "/-a Calculator" } }));
    }

    void opensOnlyWebLinks_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("opened"); // "" when refused

        QTest::newRow("upper-case scheme") << "HTTP://example.com/x" << "http://example.com/x";
        QTest::newRow("javascript") << "javascript:alert(1)" << "";
        QTest::newRow("no host") << "https://" << "";
        QTest::newRow("file") << "file:///etc/passwd" << "";
        QTest::newRow("shell text after a web address") << "https://example.com/\"; touch /tmp/PWNED; \"" << "";
    }
    void opensOnlyWebLinks()
    {
        QFETCH(QString, url);
        QFETCH(QString, opened);
        g_openLink(url);
        QCOMPARE(g_calls.size(), opened.isEmpty() ? 0 : 1);
        if (!opened.isEmpty())
            QCOMPARE(g_calls.at(0).mid(1), QStringList { opened });
    }

    // The real opener, with a stand-in "xdg-open" first on PATH that writes
    // down the arguments it received: proves no shell ever sees the path.
    void startsTheRealOpenerWithoutAShell()
    {
        const QString bin = m_tmp.path() + "/bin";
        QVERIFY(QDir().mkpath(bin));
        const QString out = m_work + "/args.txt";
        const QString script = bin + "/xdg-open";
        QVERIFY(writeFile(script,
            "#!/bin/sh\n"
            "{ echo \"$#\"; for a in \"$@\"; do echo \"[$a]\"; done; } > \"$OPENER_OUT.tmp\"\n"
            "mv \"$OPENER_OUT.tmp\" \"$OPENER_OUT\"\n"));
        QVERIFY(QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", bin.toUtf8() + ':' + oldPath);
        qputenv("OPENER_OUT", out.toUtf8());

        g_setDesktopOpener(nullptr);
        const QString evil = m_work + "/x\"; touch " + m_work + "/PWNED; \"";
        g_openFileOrFolder(evil);
        g_setDesktopOpener(&recordOpen);
        qputenv("PATH", oldPath);

        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(out), timebound::kWaitMs);
        QCOMPARE(readFile(out), QByteArray("1\n[") + evil.toUtf8() + "]\n");
        QVERIFY(!QFileInfo::exists(m_work + "/PWNED"));
    }

    // A desktop without a file opener must not look like success.
    void reportsWhetherTheOpenerCouldOpen_data()
    {
        QTest::addColumn<QByteArray>("script"); // empty: no opener on PATH at all
        QTest::addColumn<bool>("opened");
        QTest::newRow("opener hands the path on") << QByteArray("exit 0\n") << true;
        QTest::newRow("no method available (exit 3)") << QByteArray("exit 3\n") << false;
        QTest::newRow("opener not installed") << QByteArray() << false;
    }
    void reportsWhetherTheOpenerCouldOpen()
    {
        QFETCH(QByteArray, script);
        QFETCH(bool, opened);
        const QString bin = m_tmp.path() + "/verdict";
        QVERIFY(QDir(bin).removeRecursively() && QDir().mkpath(bin));
        if (!script.isEmpty()) {
            QVERIFY(writeFile(bin + "/xdg-open", "#!/bin/sh\n" + script));
            QVERIFY(QFile::setPermissions(bin + "/xdg-open", QFile::ReadOwner | QFile::ExeOwner));
        }
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", bin.toUtf8()); // the opener is looked up on PATH only
        g_setDesktopOpener(nullptr);
        const bool result = g_openFileOrFolder(m_work);
        g_setDesktopOpener(&recordOpen);
        qputenv("PATH", oldPath);
        QCOMPARE(result, opened);
    }
};

QTEST_GUILESS_MAIN(TestDataPathUtil)
#include "tst_datapathutil.moc"
