#pragma once
// Runs tests/ios/iphonesim.py on a socket in a temporary folder and points the device
// library at it (USBMUXD_SOCKET_ADDRESS) for as long as the object lives; throws
// std::runtime_error when the simulator does not start.

#include "support/timebounds.h"

#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

class IPhoneSimulator {
public:
    static constexpr const char* kUdid = "00008030-0011223344556677";

    explicit IPhoneSimulator(const QJsonObject& scenario);
    ~IPhoneSimulator();

    bool isReady() const { return ready; }
    // Sends a control line ("attach UDID", "detach UDID") and waits until it was handled.
    bool control(const QString& line);
    // Received messages, one "channel name json" line each; channel filters when set.
    QStringList log(const QString& channel = QString()) const;
    // Only the message names of one channel, in order.
    QStringList messageNames(const QString& channel) const;
    // Every record the phone holds, as the simulator dumped it last.
    QJsonObject phoneRecords() const;
    // Waits until every contact sync session begun so far has ended on the phone's
    // side (and its records were dumped); false when one is still open after `ms`.
    bool waitForSessionsEnded(int ms = timebound::kWaitMs) const;

private:
    QTemporaryDir dir;
    QProcess process;
    bool ready = false;
};

// Points the device library at a multiplexer socket that never answers, for as long
// as the object lives: a socket file nobody listens on, as a stopped daemon leaves
// behind, or with `hung` one that takes connections and never replies.
class DeadMultiplexer {
public:
    explicit DeadMultiplexer(bool hung = false);
    ~DeadMultiplexer();

private:
    QTemporaryDir dir;
    int fd = -1;
};
