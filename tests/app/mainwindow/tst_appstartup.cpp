// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/instancelock.h"

#include <QTemporaryDir>
#include <QTest>

class TestAppStartup : public QObject {
    Q_OBJECT
private slots:
    void locksOneInstance_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("outcome");

        QTest::newRow("free folder") << "free" << int(InstanceLock::Acquired);
        QTest::newRow("second instance on the same folder") << "held" << int(InstanceLock::HeldElsewhere);
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
        InstanceLock first;
        if (situation == QLatin1String("held"))
            QCOMPARE(int(first.acquire(folder)), int(InstanceLock::Acquired));

        const QString target = situation == QLatin1String("missing") ? dir.filePath(QStringLiteral("gone/away")) : folder;
        InstanceLock second;
        QCOMPARE(int(second.acquire(target)), outcome);
        QCOMPARE(second.isHeld(), outcome == int(InstanceLock::Acquired));
    }
};

QTEST_MAIN(TestAppStartup)
#include "tst_appstartup.moc"
