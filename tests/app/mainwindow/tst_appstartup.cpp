// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/appstartup.h"
#include "app/instancelock.h"
#include "app/startupsteps.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestAppStartup : public QObject {
    Q_OBJECT
private slots:
    void findsWritableStorage()
    {
        QTemporaryDir home;
        QVERIFY(AppStartup::isStorageWritable(home.path()));
        QVERIFY(!AppStartup::isStorageWritable(home.filePath(QStringLiteral("QuorVantile"))));
        QVERIFY(!AppStartup::isStorageWritable(QString()));
    }

    void locksOneInstance_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("outcome");

        QTest::newRow("free folder") << "free" << int(InstanceLock::Acquired);
        QTest::newRow("second instance on the same folder") << "held" << int(InstanceLock::HeldElsewhere);
        QTest::newRow("lock of a process that died is taken over") << "dead owner" << int(InstanceLock::Acquired);
        // Not mistaken for a second instance: start-up goes on to the storage
        // warning instead of refusing to run.
        QTest::newRow("missing folder is no other instance") << "missing" << int(InstanceLock::Unavailable);
    }

    void locksOneInstance()
    {
        QFETCH(QString, situation);
        QFETCH(int, outcome);

        QTemporaryDir dir;
        const QString folder = dir.path();
        const QString lockPath = QDir(folder).filePath(QLatin1String(InstanceLock::kFileName));
        InstanceLock first;
        if (situation == QLatin1String("held"))
            QCOMPARE(int(first.acquire(folder)), int(InstanceLock::Acquired));
        if (situation == QLatin1String("dead owner")) {
            // A lock file exactly as a crashed instance leaves it, naming a
            // process that no longer exists.
            QProcess finished;
            finished.start(QStringLiteral("true"), {});
            QVERIFY(finished.waitForStarted(5000));
            const qint64 deadPid = finished.processId();
            QVERIFY(finished.waitForFinished(5000));
            QLockFile model(lockPath);
            QVERIFY(model.tryLock(0));
            QFile file(lockPath);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QList<QByteArray> lines = file.readAll().split('\n');
            file.close();
            model.unlock(); // removes the file: it is written back as the dead one's
            lines[0] = QByteArray::number(deadPid);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(lines.join('\n'));
        }

        const QString target = situation == QLatin1String("missing") ? dir.filePath(QStringLiteral("gone/away")) : folder;
        InstanceLock second;
        QCOMPARE(int(second.acquire(target)), outcome);
        QCOMPARE(second.isHeld(), outcome == int(InstanceLock::Acquired));
    }
};

QTEST_MAIN(TestAppStartup)
#include "tst_appstartup.moc"
