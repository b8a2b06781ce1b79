// SPDX-License-Identifier: GPL-3.0-or-later
// Every Android road of the main window - the WiFi dialog, reading a phone,
// writing to it, a phone arriving on USB - against the simulated companion
// app and adbd with each of their fault knobs (the rows of
// phonefaultroads.cpp). A probe pings the GUI thread all the while:
// whatever the phone does, the window never freezes (how long it paused is
// printed here and by bench_phone_stalls), a stalled phone is cancelled at
// once, and each failure ends in one box.
#include "actionscene.h"
#include "app/devices/devicecache.h"
#include "phonefaultroads.h"
#include "support/timebounds.h"

#include <QTcpServer>
#include <QTest>

class TestAndroidRoads : public QObject {
    Q_OBJECT
    std::unique_ptr<DataFolderFixture> data;
    std::unique_ptr<MessageBoxRecorder> boxes;

private slots:
    void initTestCase() { preparePhoneFaultRoads(); }
    void init()
    {
        data = std::make_unique<DataFolderFixture>();
        boxes = std::make_unique<MessageBoxRecorder>();
    }
    void cleanup() { boxes.reset(), data.reset(); }

    // A port another program listens on is never handed out: over USB it
    // would lead to that program's phone. The counter comes round to it
    // within 99 ports.
    void companionPortsPassOverTakenOnes()
    {
        const int port = portAlloc();
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, quint16(port)));
        for (int i = 0; i < 120; ++i)
            QVERIFY(portAlloc() != port);
    }

    void windowKeepsDrawing_data()
    {
        QTest::addColumn<int>("row");
        const QList<PhoneFaultRow> rows = androidFaultRows();
        for (int i = 0; i < rows.size(); ++i)
            QTest::newRow(rows[i].name) << i;
    }
    void windowKeepsDrawing()
    {
        QFETCH(int, row);
        const PhoneFaultRow fault = androidFaultRows().at(row);
        const PhoneFaultRun run = runPhoneFaultRow(fault, *data, *boxes);
        QVERIFY2(run.problem.isEmpty(), qPrintable(run.problem));
        qInfo().noquote() << QTest::currentDataTag() << "- longest GUI-thread stall" << run.longestStallMs << "ms";
        const QStringList expected = fault.cancel ? QStringList { "Are You Sure You Want To Cancel?" } : QStringList();
        if (fault.ending.isEmpty())
            QCOMPARE(run.boxes, expected);
        else
            QVERIFY2(run.boxes.size() == expected.size() + 1 && run.boxes.constLast().contains(fault.ending),
                     qPrintable(run.boxes.join('|')));
        QVERIFY2(run.longestStallMs < timebound::kFreezeMs, qPrintable(QString::number(run.longestStallMs)));
    }
};

QTEST_MAIN(TestAndroidRoads)
#include "tst_androidroads.moc"
