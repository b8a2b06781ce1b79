// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/adbconnector.h"

#include "android/adbhelper.h"
#include "android/androidlog.h"
#include "model/data_path_util.h"
#include "platform/adb/adbforwardserver.h"
#include "platform/adb/adbservices.h"
#include "platform/error.h"
#include "platform/threadcancel.h"

#include <QFile>

#include <atomic>

namespace {

std::atomic<int> g_afterInstallMs { AdbConnector::Waits().afterInstallMs };
std::atomic<int> g_afterStartMs { AdbConnector::Waits().afterStartMs };

QString installFailure(const QString& reason)
{
    return QStringLiteral("Can not install %1. %2").arg(QLatin1String(AdbConnector::kPackage), reason);
}

// The embedded package in the data folder, where the install reads it from.
// The copy stays there afterwards.
QString copyPackageToDataFolder()
{
    const QString target = g_dataSaveDir().filePath(QLatin1String(AdbConnector::kApkFileName));
    if (QFile::exists(target))
        QFile::remove(target);
    QFile source { QLatin1String(AdbConnector::kApkResource) };
    if (!source.copy(target))
        throw Error(installFailure(QStringLiteral("Can not copy it to %1: %2").arg(target, source.errorString())));
    QFile::setPermissions(target, QFile::ReadUser | QFile::WriteUser);
    return target;
}

} // namespace

quint16 adbForward(PAdbUSBHandle handle, quint16 localPort, quint16 remotePort, QString* error)
{
    return AdbForwardServer::forward(handle, localPort, remotePort, error);
}

void AdbConnector::setWaits(const Waits& waits)
{
    g_afterInstallMs = waits.afterInstallMs;
    g_afterStartMs = waits.afterStartMs;
}

AdbConnector::Waits AdbConnector::waits()
{
    return Waits { g_afterInstallMs, g_afterStartMs };
}

AdbConnector::AdbConnector(PAdbUSBHandle handle)
    : m_handle(std::move(handle))
{
}

AdbConnector::~AdbConnector() = default;

void AdbConnector::initialCheck()
{
    if (!m_handle)
        return;
    const QSet<QString> installed = adbhelper::packages(m_handle, adbhelper::PACKAGES_THIRD_PARTY);
    // A phone that lists no third-party package at all is one whose listing
    // cannot be trusted (some refuse the option); installing blindly there
    // could replace a newer app.
    if (installed.isEmpty() || installed.contains(QLatin1String(kPackage)))
        return;
    if (!QFile::exists(QLatin1String(kApkResource)))
        throw Error(installFailure(QStringLiteral("The companion app package is not included in this build.")));
    const QString apk = copyPackageToDataFolder();
    QString error;
    if (!adbInstallLegacy(m_handle, apk, QStringLiteral("-r"), &error))
        throw Error(installFailure(error));
    qCInfo(lcAndroid) << "installed" << kPackage;
    ThreadCancelScope::sleep(g_afterInstallMs);
}

QString AdbConnector::startBackup(int port)
{
    return startService(QStringLiteral("backup"), port);
}

QString AdbConnector::startRestore(int port)
{
    return startService(QStringLiteral("restore"), port);
}

QString AdbConnector::startService(const QString& direction, int port)
{
    if (!m_handle)
        throw Error(QLatin1String(kNotConnectedText));
    const QString package = QLatin1String(kPackage);
    // The shell's output says nothing reliable about the app; a service that
    // did not start shows up as the caller's failed connection. A link that
    // failed on the way is said as such.
    adbhelper::shellOutput(m_handle, QStringLiteral("am start -n %1/.ContactsSync").arg(package));
    QString error;
    // Without the forward, 127.0.0.1:port would reach whatever else listens
    // there, and the contacts would go to it.
    if (adbForward(m_handle, quint16(port), quint16(port), &error) != port)
        throw Error(QStringLiteral("Can not reach port %1 of the phone. %2").arg(port).arg(error));
    adbhelper::shellOutput(m_handle,
        QStringLiteral("am broadcast -n %1/.AdbSyncBroadcastReceiver -d sync://%2:%3/").arg(package, direction).arg(port));
    ThreadCancelScope::sleep(g_afterStartMs);
    return QLatin1String(kHost);
}

QString AdbConnector::logcat()
{
    return m_handle ? adbhelper::logcatd(m_handle) : QString();
}
