// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class IWorkerReporter;

// Reports a worker's way through a list of contacts as "Contacts:%1/%2".
// One report per percent keeps the GUI thread's queue short on large lists;
// the first and the last contact are always reported.
class ContactProgress {
public:
    ContactProgress(IWorkerReporter* reporter, QString status, int total);

    // `done` counts from 1 to the total.
    void step(int done);

private:
    IWorkerReporter* m_reporter;
    QString m_status;
    int m_total;
    int m_lastPercent = -1;
};
