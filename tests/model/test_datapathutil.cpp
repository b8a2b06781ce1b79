// SPDX-License-Identifier: GPL-3.0-or-later
#include "data_path_util.h"
#include "data_path_util_p.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct OpenCall {
    QString program;
    QStringList arguments;
};
QList<OpenCall> g_calls;

void recordOpen(const QString& program, const QStringList& arguments)
{
    g_calls.append({ program, arguments });
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

// "d:name" makes a folder, "f:name" a file, "l:name>target" a symbolic link.
void build(const QString& root, const QStringList& spec)
{
    for (const QString& item : spec) {
        const QString what = item.mid(2);
        if (item.startsWith("d:")) {
            QVERIFY(QDir().mkpath(root + '/' + what));
        } else if (item.startsWith("f:")) {
            QVERIFY(writeFile(root + '/' + what, "x"));
        } else {
            const QStringList parts = what.split('>');
            QVERIFY(QFile::link(parts.at(1).startsWith('/') ? parts.at(1) : root + '/' + parts.at(1),
                root + '/' + parts.at(0)));
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

    QString tmp(const QString& rel) const { return m_tmp.path() + '/' + rel; }
    QString redirectFile() const { return m_default + "/" + kProductIdentifier + ".redirect"; }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        // Before anything asks QStandardPaths: the tests never touch the
        // real home folder.
        qputenv("HOME", tmp("home").toUtf8());
        m_xdg = tmp("xdg");
        qputenv("XDG_DATA_HOME", m_xdg.toUtf8());
        m_default = m_xdg + "/QuorVantile";
        g_setDesktopOpener(&recordOpen);
    }

    void init()
    {
        g_forgetDataSaveDir();
        g_calls.clear();
        QDir(m_xdg).removeRecursively();
        QDir(tmp("work")).removeRecursively();
        QVERIFY(QDir().mkpath(tmp("work")));
        QVERIFY(QDir::setCurrent(tmp("work")));
    }

    void shouldPlaceTheDefaultBaseFolder()
    {
        QCOMPARE(g_osAppDir().absolutePath(), m_xdg);
        QCOMPARE(g_defaultSaveDirPath(), m_default);
        QVERIFY(!QFileInfo::exists(m_xdg)); // asking creates nothing
    }

    void shouldFindTheDataFolder_data()
    {
        QTest::addColumn<bool>("hasRedirect");
        QTest::addColumn<QByteArray>("redirect"); // @W@ stands for the work folder
        QTest::addColumn<QString>("link"); // what the redirect yields, "" when not honoured
        QTest::addColumn<QString>("expectedBase"); // "" for the default base folder
        QTest::addColumn<bool>("created");

        QTest::newRow("no redirect file") << false << QByteArray() << ""
                                          << "" << true;
        QTest::newRow("redirect to an existing folder")
            << true << QByteArray("@W@/elsewhere") << "@W@/elsewhere"
            << "@W@/elsewhere" << true;
        QTest::newRow("redirect to a missing folder") << true << QByteArray("@W@/missing") << ""
                                                      << "" << true;
        QTest::newRow("empty redirect") << true << QByteArray() << ""
                                        << "" << true;
        QTest::newRow("redirect followed by a line end") << true << QByteArray("@W@/elsewhere\n") << ""
                                                         << "" << true;
        QTest::newRow("redirect ends at a zero byte")
            << true << QByteArray("@W@/elsewhere\0junk", 18) << "@W@/elsewhere"
            << "@W@/elsewhere" << true;
        QTest::newRow("relative redirect is taken from the working folder")
            << true << QByteArray("elsewhere") << "elsewhere"
            << "@W@/elsewhere" << true;
        QTest::newRow("redirect to an existing file")
            << true << QByteArray("@W@/plain-file") << "@W@/plain-file"
            << "@W@/plain-file" << false;
        QTest::newRow("non-ASCII redirect") << true << QString("@W@/Æøå 文件").toUtf8() << "@W@/Æøå 文件"
                                            << "@W@/Æøå 文件" << true;
        QTest::newRow("oversized redirect") << true << QByteArray(70000, '/') << ""
                                            << "" << true;
    }
    void shouldFindTheDataFolder()
    {
        QFETCH(bool, hasRedirect);
        QFETCH(QByteArray, redirect);
        QFETCH(QString, link);
        QFETCH(QString, expectedBase);
        QFETCH(bool, created);

        const QString work = tmp("work");
        redirect.replace("@W@", work.toUtf8());
        link.replace("@W@", work);
        expectedBase.replace("@W@", work);
        QVERIFY(QDir().mkpath(work + "/elsewhere"));
        QVERIFY(QDir().mkpath(work + "/Æøå 文件"));
        QVERIFY(writeFile(work + "/plain-file", "not a folder"));
        if (hasRedirect) {
            QVERIFY(QDir().mkpath(m_default));
            QVERIFY(writeFile(redirectFile(), redirect));
        }

        QCOMPARE(g_dataSaveDirLink(), link);
        const QString base = expectedBase.isEmpty() ? m_default : expectedBase;
        const QDir data = g_dataSaveDir();
        QCOMPARE(data.absolutePath(), base + "/" + kProductIdentifier);
        QCOMPARE(QFileInfo(data.absolutePath()).isDir(), created);
    }

    void shouldKeepTheFolderFoundFirst()
    {
        const QString first = g_dataSaveDir().absolutePath();
        QCOMPARE(first, m_default + "/" + kProductIdentifier);
        const QString other = tmp("work/other");
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

    void shouldNotWriteRedirectWithoutBaseFolder()
    {
        g_setDataSaveDirLink(tmp("work"));
        QVERIFY(!QFileInfo::exists(redirectFile()));
        QVERIFY(!QFileInfo::exists(m_default));
    }

    void shouldChooseAFreeFileName_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("input"); // @W@ = work folder, also the working folder
        QTest::addColumn<QString>("expected");

        QTest::newRow("missing file stays") << QStringList {} << "@W@/a.vcf"
                                            << "@W@/a.vcf";
        QTest::newRow("taken once") << QStringList { "f:a.vcf" } << "@W@/a.vcf"
                                    << "@W@/a(1).vcf";
        QTest::newRow("taken twice") << QStringList { "f:a.vcf", "f:a(1).vcf" } << "@W@/a.vcf"
                                     << "@W@/a(2).vcf";
        QTest::newRow("inner extension dropped") << QStringList { "f:archive.tar.gz" } << "@W@/archive.tar.gz"
                                                 << "@W@/archive(1).gz";
        QTest::newRow("no extension") << QStringList { "f:notes" } << "@W@/notes"
                                      << "@W@/notes(1)";
        QTest::newRow("name ending in a point") << QStringList { "f:x." } << "@W@/x."
                                                << "@W@/x(1)";
        QTest::newRow("hidden file") << QStringList { "f:.profile" } << "@W@/.profile"
                                     << "@W@/(1).profile";
        QTest::newRow("folder of the candidate's name is taken")
            << QStringList { "f:a.vcf", "d:a(1).vcf" } << "@W@/a.vcf"
            << "@W@/a(2).vcf";
        QTest::newRow("dangling link of the candidate's name is taken")
            << QStringList { "f:a.vcf", "l:a(1).vcf>/nonexistent/target" } << "@W@/a.vcf"
            << "@W@/a(2).vcf";
        QTest::newRow("dangling link at the path itself is taken")
            << QStringList { "l:a.vcf>/nonexistent/target" } << "@W@/a.vcf"
            << "@W@/a(1).vcf";
        QTest::newRow("relative name becomes absolute") << QStringList { "f:b.csv" } << "b.csv"
                                                        << "@W@/b(1).csv";
        QTest::newRow("missing relative name stays relative") << QStringList {} << "c.csv"
                                                              << "c.csv";
    }
    void shouldChooseAFreeFileName()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, input);
        QFETCH(QString, expected);
        const QString work = tmp("work");
        build(work, existing);
        input.replace("@W@", work);
        expected.replace("@W@", work);
        QCOMPARE(g_getValidFilePath(input), expected);
    }

    void shouldDeleteFolderTrees_data()
    {
        QTest::addColumn<QStringList>("tree"); // inside work/top
        QTest::addColumn<QStringList>("outside"); // inside work/keep
        QTest::addColumn<QStringList>("remaining"); // paths under work that must exist afterwards
        QTest::addColumn<QStringList>("gone"); // paths under work that must not

        QTest::newRow("files and folders") << QStringList { "d:a/b", "f:a/b/1.txt", "f:a/2.txt", "f:3.txt" }
                                           << QStringList {} << QStringList {} << QStringList { "top" };
        QTest::newRow("hidden file in a subfolder stays with its folders")
            << QStringList { "d:sub", "f:sub/.hidden", "f:sub/seen.txt", "f:other.txt" } << QStringList {}
            << QStringList { "top/sub/.hidden" } << QStringList { "top/sub/seen.txt", "top/other.txt" };
        QTest::newRow("link to an outside folder is removed as a link")
            << QStringList { "d:sub", "l:sub/escape>@K@" }
            << QStringList { "f:precious.txt", "d:deep", "f:deep/more.txt" }
            << QStringList { "keep/precious.txt", "keep/deep/more.txt" } << QStringList { "top" };
        QTest::newRow("link to an outside file is removed as a link")
            << QStringList { "l:file-link>@K@/precious.txt" } << QStringList { "f:precious.txt" }
            << QStringList { "keep/precious.txt" } << QStringList { "top" };
        QTest::newRow("dangling link stays like a special entry")
            << QStringList { "l:dangling>/nonexistent/x" } << QStringList {}
            << QStringList { "top/dangling", "top" } << QStringList {};
    }
    void shouldDeleteFolderTrees()
    {
        QFETCH(QStringList, tree);
        QFETCH(QStringList, outside);
        QFETCH(QStringList, remaining);
        QFETCH(QStringList, gone);
        const QString work = tmp("work");
        QVERIFY(QDir().mkpath(work + "/top"));
        QVERIFY(QDir().mkpath(work + "/keep"));
        build(work + "/keep", outside);
        build(work + "/top", tree.replaceInStrings("@K@", work + "/keep"));

        g_delDirCascade(work + "/top");
        for (const QString& p : remaining)
            QVERIFY2(
                QFileInfo::exists(work + "/" + p) || QFileInfo(work + "/" + p).isSymLink(), qPrintable(p));
        for (const QString& p : gone)
            QVERIFY2(
                !QFileInfo(work + "/" + p).exists() && !QFileInfo(work + "/" + p).isSymLink(), qPrintable(p));
        QVERIFY(QFileInfo(work + "/keep").isDir());
    }

    void shouldRemoveOnlyTheLinkWhenGivenALink()
    {
        const QString work = tmp("work");
        build(work, { "d:target", "f:target/precious.txt", "l:link>target" });
        g_delDirCascade(work + "/link");
        QVERIFY(!QFileInfo(work + "/link").isSymLink());
        QVERIFY(QFileInfo::exists(work + "/target/precious.txt"));
        g_delDirCascade(work + "/missing"); // nothing there, nothing happens
    }

    void shouldHandPathsToTheOpenerWhole_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected"); // @W@ = work folder

        QTest::newRow("path with blanks") << "@W@/My Contacts/a b.vcf"
                                          << "@W@/My Contacts/a b.vcf";
        QTest::newRow("shell command in the name") << "@W@/x\"; touch @W@/PWNED; \""
                                                   << "@W@/x\"; touch @W@/PWNED; \"";
        QTest::newRow("dollar, backquote and backslash") << "@W@/$(touch @W@/PWNED)`id`\\n"
                                                         << "@W@/$(touch @W@/PWNED)`id`\\n";
        QTest::newRow("leading dash cannot read as an option") << "-a Calculator"
                                                               << "@W@/-a Calculator";
    }
    void shouldHandPathsToTheOpenerWhole()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        const QString work = tmp("work");
        path.replace("@W@", work);
        expected.replace("@W@", work);
        g_openFileOrFolder(path);
        QCOMPARE(g_calls.size(), 1);
        QCOMPARE(g_calls.at(0).program, QStringLiteral("xdg-open"));
        QCOMPARE(g_calls.at(0).arguments, QStringList { expected });
        QVERIFY(!QFileInfo::exists(work + "/PWNED"));
    }

    void shouldOpenOnlyWebLinks_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("opened"); // "" when refused

        QTest::newRow("https") << "https://example.com/guide.html?a=1#top"
                               << "https://example.com/guide.html?a=1#top";
        QTest::newRow("http") << "http://example.com"
                              << "http://example.com";
        QTest::newRow("upper-case scheme") << "HTTP://example.com/x"
                                           << "http://example.com/x";
        QTest::newRow("javascript") << "javascript:alert(1)"
                                    << "";
        QTest::newRow("file") << "file:///etc/passwd"
                              << "";
        QTest::newRow("ftp") << "ftp://example.com/x"
                             << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("no host") << "https://"
                                 << "";
        QTest::newRow("option-like text") << "-a Calculator"
                                          << "";
        QTest::newRow("shell text after a web address") << "https://example.com/\"; touch /tmp/PWNED; \""
                                                        << "";
    }
    void shouldOpenOnlyWebLinks()
    {
        QFETCH(QString, url);
        QFETCH(QString, opened);
        g_openLink(url);
        if (opened.isEmpty()) {
            QVERIFY(g_calls.isEmpty());
        } else {
            QCOMPARE(g_calls.size(), 1);
            QCOMPARE(g_calls.at(0).arguments, QStringList { opened });
        }
    }

    // The real opener, with a stand-in "xdg-open" first on PATH that writes
    // down the arguments it received: proves no shell ever sees the path.
    void shouldStartTheRealOpenerWithoutAShell()
    {
        const QString work = tmp("work");
        const QString bin = tmp("bin");
        QVERIFY(QDir().mkpath(bin));
        const QString out = work + "/args.txt";
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
        const QString evil = work + "/x\"; touch " + work + "/PWNED; \"";
        g_openFileOrFolder(evil);
        g_setDesktopOpener(&recordOpen);
        qputenv("PATH", oldPath);

        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(out), 10000);
        QCOMPARE(readFile(out), QByteArray("1\n[") + evil.toUtf8() + "]\n");
        QVERIFY(!QFileInfo::exists(work + "/PWNED"));
    }
};

QTEST_GUILESS_MAIN(TestDataPathUtil)
#include "test_datapathutil.moc"
