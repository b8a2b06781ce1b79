// SPDX-License-Identifier: GPL-3.0-or-later
// Every fault knob of the simulated phones, met on the road of the main
// window that reaches it: an iPhone read on arrival or written to, an
// Android phone over WiFi or USB. One table and one way of running a row
// serve the tests that check each row's ending (tst_phones,
// tst_androidroads) and the benchmark that prints how long the window's
// thread paused in each (bench_phone_stalls).
#pragma once

#include "app/devices/phonedevicelayer.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

class DataFolderFixture;
class MessageBoxRecorder;

struct PhoneFaultRow {
    // IphoneAdd and IphoneEdit save a contact of the iPhone in the editor: a
    // new one, or the first one listed, renamed.
    enum Road { IphoneRead, IphoneWrite, IphoneAdd, IphoneEdit, AndroidWifi, AndroidRead, AndroidWrite, AndroidUsb };

    const char* name;  // the test's data tag
    Road road;
    QJsonObject phone; // the simulated iPhone's or companion app's scenario
    QString listen;    // how the companion app's WiFi service listens ("wifi", "silent", ...)
    QJsonObject adbd;  // the simulated adbd of a USB road
    bool cancel;       // the user cancels the road's progress dialog
    // The last box's text contains it; empty: no box but the cancel question.
    // "node" (iPhone): the phone's node is shown.
    QString ending;
    // The contact that IphoneWrite sends from Home.db: Ann Lee, or one
    // without a name that holds a company, or only a phone number. The
    // editor of the other roads takes no contact without a name.
    enum Written { AnnLee, CompanyOnly, NumberOnly };
    Written written = AnnLee;

    bool isIphone() const { return road <= IphoneEdit; }
    // The road sends contacts to the iPhone: it is read again after a failure.
    bool writesIphone() const { return isIphone() && road != IphoneRead; }
    // What the iPhone's endings name the contact sent by, and its phone number.
    QString writtenName() const;
    QString writtenNumber() const;
};

QList<PhoneFaultRow> iphoneFaultRows();
QList<PhoneFaultRow> androidFaultRows();

// What running one row showed.
struct PhoneFaultRun {
    QString problem;             // why the row could not be run at all; empty when it ran
    qint64 longestStallMs = -1;  // the longest pause of the GUI thread while the road ran
    qint64 cancelToCloseMs = -1; // from the confirmed cancel to the dialog's close (iPhone)
    QStringList boxes;           // the texts of the boxes the road showed
    bool iphoneShown = false;    // the iPhone's node is in the tree at the end
    // A road that sends to the iPhone: the records the phone holds at the
    // end, and the record ids its database claims once the road (with its
    // re-read) ended.
    QJsonObject iphoneRecords;
    QStringList iphoneClaimedIds;
};

// Sets the short waits the Android rows are written for; once per process.
void preparePhoneFaultRoads();
// Runs one row in a fresh window over `data`, boxes answered by `boxes`.
PhoneFaultRun runPhoneFaultRow(const PhoneFaultRow& row, DataFolderFixture& data, MessageBoxRecorder& boxes);

// The real device layer whose USB poller looks at a simulated adbd.
class SimulatedAdbLayer : public PhoneDeviceLayer {
public:
    quint16 adbdPort = 1;

protected:
    std::unique_ptr<AbsAdbPoll> createAdbPoll(int) override;
};
