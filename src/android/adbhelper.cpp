// SPDX-License-Identifier: GPL-3.0-or-later
#include "android/adbhelper.h"

#include "platform/adb/adbservices.h"
#include "platform/error.h"

#include <QRegularExpression>

namespace adbhelper {

namespace {

QByteArray untilNul(const QByteArray& bytes)
{
    const int nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.left(nul);
}

// Output as 8-bit text, one byte one character.
QString shellLatin1(const PAdbUSBHandle& handle, const QString& command)
{
    return QString::fromLatin1(shellOutput(handle, command));
}

bool isTrue(const QString& value)
{
    return value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

}  // namespace

QByteArray shellOutput(const PAdbUSBHandle& handle, const QString& command)
{
    bool ok = false;
    QString why;
    const QByteArray out = adbShell(handle, command, &ok, &why, nullptr);
    // Output cut short by a link that failed is no shorter answer but a
    // failure: a package listing missing its tail would say the companion
    // app is not installed.
    if (!ok)
        throw Error(QStringLiteral("The phone did not finish the command \"%1\". %2").arg(command, why));
    return untilNul(out);
}

QString logcatd(PAdbUSBHandle handle)
{
    return QString::fromUtf8(shellOutput(handle, QStringLiteral("logcat -d")));
}

void killProcess(PAdbUSBHandle handle, QString package)
{
    shellOutput(handle, QStringLiteral("am force-stop ") + adbShellQuote(package));
}

QString cpFile(PAdbUSBHandle handle, QString from, QString to)
{
    return shellLatin1(handle, QStringLiteral("cp %1 %2").arg(adbShellQuote(from), adbShellQuote(to)));
}

int getDevAppVersion(PAdbUSBHandle handle, const QString& package, QString& output)
{
    output = shellLatin1(handle, QStringLiteral("dumpsys package ") + adbShellQuote(package));
    return parseVersionCode(output);
}

QList<_AdbAppState> appStates(PAdbUSBHandle handle, const QString& package)
{
    QString dump;
    getDevAppVersion(handle, package, dump);
    return parseAppStates(dump);
}

QHash<QString, QString> adbSysBuildInfo(PAdbUSBHandle handle)
{
    return parseBuildProperties(shellLatin1(handle, QStringLiteral("cat /system/build.prop")));
}

QSet<QString> packages(PAdbUSBHandle handle, LIST_PACKAGE_FLAGS flags)
{
    QString command = QStringLiteral("pm list packages");
    if (flags == PACKAGES_SYSTEM)
        command += QStringLiteral(" -s");
    else if (flags == PACKAGES_THIRD_PARTY)
        command += QStringLiteral(" -3");
    return parsePackages(shellLatin1(handle, command));
}

QSet<QString> parsePackages(const QString& output)
{
    static const QLatin1String prefix("package:");
    QSet<QString> names;
    for (const QString& raw : output.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (!line.startsWith(prefix))
            continue;
        const QString name = line.mid(prefix.size()).trimmed();
        if (!name.isEmpty())
            names.insert(name);
    }
    return names;
}

int parseVersionCode(const QString& output)
{
    static const QRegularExpression pattern(QStringLiteral("versionCode=(\\d+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(output);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

QList<_AdbAppState> parseAppStates(const QString& output)
{
    static const QRegularExpression userLine(QStringLiteral("^user (\\w+): +"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression pair(QStringLiteral("(\\w+)=(\\w+)"));
    QList<_AdbAppState> states;
    for (const QString& raw : output.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        const QRegularExpressionMatch user = userLine.match(line);
        if (!user.hasMatch())
            continue;
        _AdbAppState state;
        state.userId = user.captured(1);
        QRegularExpressionMatchIterator it = pair.globalMatch(line);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            const QString key = m.captured(1).trimmed();
            const QString value = m.captured(2).trimmed();
            auto is = [&key](const char* name) { return key.compare(QLatin1String(name), Qt::CaseInsensitive) == 0; };
            if (is("installed"))
                state.installed = isTrue(value);
            else if (is("hidden"))
                state.hidden = isTrue(value);
            else if (is("stopped"))
                state.stopped = isTrue(value);
            else if (is("notLaunched"))
                state.notLaunched = isTrue(value);
            else if (is("enabled"))
                state.enabled = value.toInt();
        }
        states.append(state);
    }
    return states;
}

QHash<QString, QString> parseBuildProperties(const QString& output)
{
    static const QRegularExpression property(QStringLiteral("([^\\r\\n=]+)=([^\\r\\n=]+)"));
    QHash<QString, QString> properties;
    QRegularExpressionMatchIterator it = property.globalMatch(output);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        properties.insert(m.captured(1), m.captured(2));
    }
    return properties;
}

}  // namespace adbhelper
