// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/files/safefilewriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

// Links are planted the way another user would plant them: owned by another
// uid, which only a privileged test run can arrange.
class TestSafeFileWriter : public QObject {
    Q_OBJECT
private slots:
    void followsOnlyTrustedLinks_data()
    {
        QTest::addColumn<bool>("sharedFolder");
        QTest::addColumn<bool>("othersLink");
        QTest::addColumn<bool>("followed");

        QTest::newRow("another user's link in a sticky folder everyone may write to") << true << true << false;
        QTest::newRow("the user's own link there") << true << false << true;
        QTest::newRow("another user's link in a private folder") << false << true << true;
    }

    void followsOnlyTrustedLinks()
    {
        QFETCH(bool, sharedFolder);
        QFETCH(bool, othersLink);
        QFETCH(bool, followed);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString shared = dir.filePath(QStringLiteral("shared"));
        QVERIFY(QDir().mkpath(shared));
        QCOMPARE(::chmod(QFile::encodeName(shared).constData(), sharedFolder ? 01777 : 0700), 0);
        const QString target = dir.filePath(QStringLiteral("precious"));
        {
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("precious");
        }
        const QString link = shared + QStringLiteral("/export.vcf");
        QVERIFY(QFile::link(target, link));
        if (othersLink && ::lchown(QFile::encodeName(link).constData(), ::geteuid() + 1, gid_t(-1)) != 0)
            QSKIP("planting another user's link needs privileges");

        SafeFileWriter out(link);
        const bool written = out.open() && out.write(QByteArrayLiteral("new")) && out.commit();
        QCOMPARE(written, followed);
        QFile f(target);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), followed ? QByteArrayLiteral("new") : QByteArrayLiteral("precious"));
        if (!followed)
            QVERIFY2(out.errorString().contains(QLatin1String("another user")), qPrintable(out.errorString()));
    }
};

QTEST_GUILESS_MAIN(TestSafeFileWriter)
#include "tst_safefilewriter.moc"
