// SPDX-License-Identifier: GPL-3.0-or-later
// The longest pause of the window's thread in each fault row of the phones
// (the table of tests/app/mainwindow/phonefaultroads.cpp that tst_phones and
// tst_androidroads check), against the simulated iPhone, companion app and adbd:
//   bench_phone_stalls [rounds] [part of a row's name]
// Prints, per row, the longest pause over the rounds and their median, and the
// machine's load average before and after: the figures grow with the load of
// other work, which is why the tests only fail on a freeze of seconds.
#include "datafolderfixture.h"
#include "phonefaultroads.h"
#include "support/messageboxrecorder.h"

#include <QApplication>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// The roads' own warnings (the faults they meet) would bury the figures.
void quietBelowCritical(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray("unknown");
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("MARROWLINK_SOURCE_DIR"))
        qputenv("MARROWLINK_SOURCE_DIR", MARROWLINK_SOURCE_DIR);
    qInstallMessageHandler(quietBelowCritical);
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    preparePhoneFaultRoads();

    std::printf("load average before: %s\n", loadAverage().constData());
    std::printf("%-8s %-45s %10s %10s\n", "phone", "fault row", "longest", "median");
    int failed = 0;
    for (const PhoneFaultRow& row : iphoneFaultRows() + androidFaultRows()) {
        if (!only.isEmpty() && !QString::fromLatin1(row.name).contains(only))
            continue;
        QList<qint64> stalls;
        QString problem;
        for (int round = 0; round < rounds && problem.isEmpty(); ++round) {
            DataFolderFixture data;
            MessageBoxRecorder boxes;
            const PhoneFaultRun run = runPhoneFaultRow(row, data, boxes);
            problem = run.problem;
            stalls << run.longestStallMs;
        }
        const char* phone = row.isIphone() ? "iPhone" : "Android";
        if (!problem.isEmpty()) {
            ++failed;
            std::printf("%-8s %-45s   not run: %s\n", phone, row.name, qPrintable(problem));
            continue;
        }
        std::sort(stalls.begin(), stalls.end());
        std::printf("%-8s %-45s %7lld ms %7lld ms\n", phone, row.name, stalls.constLast(), stalls.at(stalls.size() / 2));
        std::fflush(stdout);
    }
    std::printf("load average after: %s\n", loadAverage().constData());
    return failed == 0 ? 0 : 1;
}
