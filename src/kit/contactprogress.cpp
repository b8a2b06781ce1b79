// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/contactprogress.h"

#include "kit/workerreporter.h"

#include <QCoreApplication>

ContactProgress::ContactProgress(IWorkerReporter* reporter, QString status, int total)
    : m_reporter(reporter), m_status(std::move(status)), m_total(total)
{
}

void ContactProgress::step(int done)
{
    if (m_total <= 0)
        return;
    const int percent = int(double(done) / double(m_total) * 100.0);
    if (percent == m_lastPercent && done != m_total)
        return;
    m_lastPercent = percent;
    m_reporter->invokeUpdateProgress(
        m_status, percent,
        QCoreApplication::translate("ContactProgress", "Contacts:%1/%2").arg(done).arg(m_total));
}
