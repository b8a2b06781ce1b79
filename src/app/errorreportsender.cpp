// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/errorreportsender.h"

#include "kit/makerconfig.h"
#include "kit/productinfo.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>

QString base64_var(const QString& text)
{
    QString encoded = QString::fromLatin1(text.toUtf8().toBase64());
    encoded.replace(QLatin1Char('/'), QLatin1Char('!'));
    encoded.replace(QLatin1Char('='), QLatin1Char('-'));
    return encoded;
}

ErrorReportSender::ErrorReportSender(QObject* parent) : QObject(parent) {}

ErrorReportSender::~ErrorReportSender()
{
    if (m_installed)
        setErrorReportHook(std::move(m_previous));
}

void ErrorReportSender::install()
{
    if (m_installed)
        return;
    m_previous = setErrorReportHook([this](const QString& err) { send(err); });
    m_installed = true;
}

QString ErrorReportSender::reportText(const QString& err)
{
    static const QRegularExpression lineBreak(QStringLiteral("< *br */?>"), QRegularExpression::CaseInsensitiveOption);
    QString text = err;
    text.replace(lineBreak, QStringLiteral("\r\n"));
    text.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    text.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return text;
}

QByteArray ErrorReportSender::body(const QString& err)
{
    const QString version = QStringLiteral("%1(%2)").arg(QLatin1String(product::kVersion)).arg(product::kVersionNumber);
    return (QStringLiteral("prod=") + base64_var(product::title()) + QStringLiteral("&ver=") + base64_var(version)
            + QStringLiteral("&err=") + base64_var(reportText(err)))
        .toUtf8();
}

void ErrorReportSender::send(const QString& err)
{
    QUrl url = maker::serverUrl();
    if (url.isEmpty())
        return;
    url.setPath(QStringLiteral("/err_report.php"));
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(kTimeoutMs);
    QNetworkReply* reply = m_network.post(request, body(err));
    // The answer is not read; the reply only has to go away.
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
}
