// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/iupdatecheck.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>


// The daily update check against the maker's server. start() sends one GET
// when UpdateCheckSchedule says it is due; the reply, read once it has
// finished and only with status 200, either names a download address
// ("http://...", any case) or nothing. A download address brings the
// obsolete box (first check on this computer: download and leave) or the
// new-version question (download now and leave, or later); every completed
// check that does not leave writes the time file. Failures are not
// reported: the check simply runs again at the next start. GUI thread only.
class UpdateCheck : public QObject, public IUpdateCheck {
    Q_OBJECT
public:
    // An empty server means no check at all.
    explicit UpdateCheck(const QUrl& server, QObject* parent = nullptr);
    ~UpdateCheck() override;

    void start(std::function<void()> leaveProgram) override;
    void setReplyGate(Gate gate) override { m_gate = std::move(gate); }
    // True from sending the request until its reply has been handled.
    bool isChecking() const { return m_reply != nullptr; }

    // The check request and the page the Tools menu opens in the browser;
    // empty when there is no server.
    static QUrl checkUrl(const QUrl& server);
    static QUrl manualPageUrl(const QUrl& server);

    // Seams: the clock (seconds since 1970) and the time file, which
    // otherwise lies in the data folder.
    void setClock(std::function<qint64()> now) { m_now = std::move(now); }
    void setTimeFilePath(const QString& path) { m_timeFilePath = path; }

    // Replies are bounded in time and size; a longer body is no address.
    static constexpr int kTimeoutMs = 20000;
    static constexpr qint64 kMaxBodyBytes = 4096;

private:
    void onReadyRead();
    void onFinished();
    // Shows the boxes for a download address; true when the program leaves.
    bool offerDownload(const QString& address, bool firstCheck);
    QString timeFilePath() const;
    void writeTime() const;

    QUrl m_server;
    QNetworkAccessManager m_network;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_body;
    bool m_bodyTooLong = false;
    bool m_sent = false;
    std::function<void()> m_leave;
    Gate m_gate;
    std::function<qint64()> m_now;
    QString m_timeFilePath;
};
