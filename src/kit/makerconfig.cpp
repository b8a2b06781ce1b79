// SPDX-License-Identifier: GPL-3.0-or-later
#include "kit/makerconfig.h"

#include "kit/kitlog.h"
#include "makerconfig_build.h"

namespace {

QString configured(const char* name, const char* builtIn)
{
    if (qEnvironmentVariableIsSet(name))
        return qEnvironmentVariable(name).trimmed();
    return QString::fromUtf8(builtIn).trimmed();
}

bool isWebAddress(const QUrl& url)
{
    return url.isValid() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

QUrl page(const char* name, const char* builtIn)
{
    const QString text = configured(name, builtIn);
    if (text.isEmpty())
        return {};
    const QUrl url = maker::serverUrl().resolved(QUrl(text, QUrl::StrictMode));
    return isWebAddress(url) ? url : QUrl();
}

} // namespace

QUrl maker::serverUrl()
{
    const QString text = configured(kServerUrlName, MARROWLINK_BUILD_SERVER_URL);
    if (text.isEmpty())
        return {};
    QUrl url(text, QUrl::StrictMode);
    // Only scheme, host and port count; the request paths are fixed.
    url = url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo);
    if (!isWebAddress(url)) {
        qCWarning(lcKit) << kServerUrlName << "is no http or https address; nothing is sent";
        return {};
    }
    return url;
}

QUrl maker::helpPage()
{
    return page(kHelpUrlName, MARROWLINK_BUILD_HELP_URL);
}

QUrl maker::feedbackPage()
{
    return page(kFeedbackUrlName, MARROWLINK_BUILD_FEEDBACK_URL);
}

QString maker::supportEmail()
{
    return configured(kSupportEmailName, MARROWLINK_BUILD_SUPPORT_EMAIL);
}
