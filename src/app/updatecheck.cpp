// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/updatecheck.h"

#include "app/applog.h"
#include "app/updatecheckschedule.h"
#include "kit/messagebox.h"
#include "kit/productinfo.h"
#include "model/data_path_util.h"

#include <QDateTime>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QUrlQuery>

namespace {

const char kCheckPath[] = "/sms_check_update.php";

// The query both addresses start with: the product and its version number.
QUrlQuery productQuery()
{
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("pid"), QLatin1String(kProductIdentifier));
    query.addQueryItem(QStringLiteral("ver"), QString::number(product::kVersionNumber));
    return query;
}

QUrl withPathAndQuery(const QUrl& server, const QUrlQuery& query)
{
    if (server.isEmpty())
        return {};
    QUrl url = server;
    url.setPath(QLatin1String(kCheckPath));
    url.setQuery(query);
    return url;
}

// The system the manual page offers a download for.
QString systemName()
{
#if defined(Q_OS_MACOS)
    return QStringLiteral("macx");
#elif defined(Q_OS_WIN)
    return QStringLiteral("win");
#else
    return QStringLiteral("linux");
#endif
}

} // namespace

UpdateCheck::UpdateCheck(const QUrl& server, QObject* parent)
    : QObject(parent), m_server(server), m_now([] { return QDateTime::currentSecsSinceEpoch(); })
{
}

UpdateCheck::~UpdateCheck()
{
    // No reply is handled once the check is gone.
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

QUrl UpdateCheck::checkUrl(const QUrl& server)
{
    QUrlQuery query = productQuery();
    query.addQueryItem(QStringLiteral("q"), QStringLiteral("1"));
    return withPathAndQuery(server, query);
}

QUrl UpdateCheck::manualPageUrl(const QUrl& server)
{
    QUrlQuery query = productQuery();
    query.addQueryItem(QStringLiteral("vs"), QStringLiteral("123456"));
    query.addQueryItem(QStringLiteral("sys"), systemName());
    return withPathAndQuery(server, query);
}

QString UpdateCheck::timeFilePath() const
{
    if (!m_timeFilePath.isEmpty())
        return m_timeFilePath;
    return g_dataSaveDir().filePath(QLatin1String(UpdateCheckSchedule::kTimeFileName));
}

void UpdateCheck::start(std::function<void()> leaveProgram)
{
    // One check per run of the program, and none without a server.
    if (m_server.isEmpty() || m_sent)
        return;
    if (!UpdateCheckSchedule::isDue(timeFilePath(), m_now()))
        return;
    m_sent = true;
    m_leave = std::move(leaveProgram);

    QNetworkRequest request(checkUrl(m_server));
    // Only a 200 is read: a redirect is an answer like any other non-200.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(kTimeoutMs);
    m_reply = m_network.get(request);
    m_reply->setReadBufferSize(kMaxBodyBytes + 1);
    connect(m_reply, &QNetworkReply::readyRead, this, &UpdateCheck::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &UpdateCheck::onFinished);
}

void UpdateCheck::onReadyRead()
{
    m_body += m_reply->read(kMaxBodyBytes - m_body.size());
    if (m_reply->bytesAvailable() > 0) {
        m_bodyTooLong = true;
        m_reply->abort();
    }
}

void UpdateCheck::onFinished()
{
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status != 200 || m_bodyTooLong) {
        qCInfo(lcApp) << "update check got no answer:" << status << reply->errorString();
        return;
    }
    m_body += reply->read(kMaxBodyBytes - m_body.size());
    const int nul = m_body.indexOf('\0');
    const QString body = QString::fromLatin1(nul < 0 ? m_body : m_body.left(nul)).trimmed();

    const bool firstCheck = !QFileInfo::exists(timeFilePath());
    auto handling = [this, body, firstCheck] {
        if (body.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) && offerDownload(body, firstCheck))
            return;
        writeTime();
    };
    if (m_gate)
        m_gate(handling);
    else
        handling();
}

bool UpdateCheck::offerDownload(const QString& address, bool firstCheck)
{
    // Fixed texts: the same in every language.
    if (firstCheck) {
        g_showMessageBox(QMessageBox::Warning,
                         QStringLiteral("This version of Quorvantile software has become obsolete. Please download "
                                        "the latest version to install on your computer."),
                         { { QMessageBox::Ok, QStringLiteral("Download") } });
    } else {
        const int answer = g_showMessageBox(
            QMessageBox::Question,
            QStringLiteral("A new version of %1 is available. To support your phone, please download the latest version.")
                .arg(product::title()),
            { { QMessageBox::Ok, QStringLiteral("Download now") }, { QMessageBox::Cancel, QStringLiteral("Download later") } });
        if (answer != QMessageBox::Ok)
            return false;
    }
    // The address came from the network: g_openLink opens only http and
    // https addresses, and never through a shell.
    g_openLink(address);
    if (m_leave)
        m_leave();
    return true;
}

void UpdateCheck::writeTime() const
{
    QSaveFile file(timeFilePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(m_now())) < 0 || !file.commit())
        qCInfo(lcApp) << "could not write the update check time:" << file.errorString();
}
