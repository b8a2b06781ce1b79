// SPDX-License-Identifier: GPL-3.0-or-later
#include "devicebackup/fakebackup2toolhook.h"

#include "devicebackup/devicebackuplog.h"
#include "ios/mobiledevice.h"
#include "platform/error.h"

#include <QFileInfo>

#include <libimobiledevice/installation_proxy.h>

namespace {

const QString& dnameFile()
{
    static const QString name = QStringLiteral("/dname.sqlite");
    return name;
}

// The container UUID a path or phone-side name holds, upper case; empty when none.
QString uuidIn(const QString& text)
{
    static const QRegularExpression uuid(
        QStringLiteral("([a-f0-9]{8}-[a-f0-9]{4}-[a-f0-9]{4}-[a-f0-9]{4}-[a-f0-9]{12})"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = uuid.match(text);
    return match.hasMatch() ? match.captured(1).toUpper() : QString();
}

QString lastComponent(const QString& path)
{
    return QFileInfo(path).fileName();
}

} // namespace

FakeBackup2ToolHook::FakeBackup2ToolHook()
    : m_fixedNames({ QStringLiteral("info.plist"), QStringLiteral("status.plist"),
        QStringLiteral("manifest.mbdb"), QStringLiteral("manifest.mbdx"), QStringLiteral("manifest.db"),
        QStringLiteral("manifest.plist"), QStringLiteral("80fa782261261e54bb73c0253e5b6beefb6a2f39") })
{
}

FakeBackup2ToolHook::~FakeBackup2ToolHook() = default;

void FakeBackup2ToolHook::beginThrow(QDir root, QString udid)
{
    const QString deviceDir = root.absoluteFilePath(udid);
    const QString dbPath = deviceDir + dnameFile();
    if (!QFileInfo::exists(QDir(deviceDir).filePath(QStringLiteral("Manifest.db")))) {
        // Without the backup's own index the record describes nothing on
        // disk: start over, after letting go of the file.
        m_dnameDb.closeCommitted();
        QFile::remove(dbPath);
    }
    if (QFileInfo::exists(dbPath)) {
        QString errorText;
        if (!m_dnameDb.open(dbPath, &errorText))
            throw Error(QStringLiteral("open dname.sqlite failed. %1").arg(errorText));
    }
    readAppuids(udid);
}

void FakeBackup2ToolHook::readAppuids(QString udid)
{
    iDevice device(udid);
    if (!device.open()) {
        qCInfo(lcDeviceBackup) << "app list of" << udid << "not read: no device";
        return;
    }
    instproxy_client_t client = nullptr;
    if (instproxy_client_start_service(device.device, &client, kMobiledeviceLabel) != INSTPROXY_E_SUCCESS
        || !client) {
        qCInfo(lcDeviceBackup) << "app list of" << udid << "not read: no installation proxy";
        return;
    }
    plist_t options = instproxy_client_options_new();
    instproxy_client_options_add(options, "ApplicationType", "User", nullptr);
    instproxy_client_options_set_return_attributes(
        options, "CFBundleIdentifier", "Container", "GroupContainers", nullptr);
    plist_t apps = nullptr;
    const int r = instproxy_browse(client, options, &apps);
    instproxy_client_options_free(options);
    if (r == INSTPROXY_E_SUCCESS)
        recordApps(PlistCFType(apps, true));
    else
        plist_free(apps);
    instproxy_client_free(client);
}

void FakeBackup2ToolHook::recordApps(const PlistCFType& apps)
{
    for (quint32 i = 0; i < apps.array_size(); ++i) {
        const PlistCFType app = apps.at(int(i));
        QSet<QString> containers;
        const QString container = uuidIn(app.get(QStringLiteral("Container")).CFStringQString());
        if (!container.isEmpty())
            containers.insert(container);
        const PlistCFType groups = app.get(QStringLiteral("GroupContainers"));
        for (const PlistCFType& key : groups.dict_keys()) {
            const QString group = uuidIn(groups.get(key).CFStringQString());
            if (!group.isEmpty())
                containers.insert(group);
        }
        m_allContainers.unite(containers);
        m_appContainers.insert(app.get(QStringLiteral("CFBundleIdentifier")).CFStringQString(), containers);
    }
}

bool FakeBackup2ToolHook::isFileIncluded(QDir, QString fileName, QString deviceName)
{
    const QString name = lastComponent(fileName);
    if (m_fixedNames.contains(name.toLower()))
        return true;
    if (deviceName.isEmpty())
        deviceName = m_dnameDb.getDName(name);
    if (!deviceName.isEmpty()) {
        for (const QRegularExpression& pattern : m_namePatterns)
            if (pattern.match(deviceName).hasMatch())
                return true;
    }
    const QString uuid = uuidIn(deviceName);
    if (!uuid.isEmpty()) {
        for (const QString& app : m_wantedApps) {
            const auto it = m_appContainers.constFind(app);
            if (it != m_appContainers.constEnd() && it->contains(uuid))
                return true;
        }
    }
    if (!m_includeNonAppFiles)
        return false;
    return uuid.isEmpty() || !m_allContainers.contains(uuid);
}

QList<Backup2ToolHook::DirItem> FakeBackup2ToolHook::dirContents(QDir root, QString path)
{
    const QString last = lastComponent(path);
    if (last.compare(QLatin1String("Snapshot"), Qt::CaseInsensitive) == 0)
        return Backup2ToolHook::dirContents(root, path);
    const QString key = last.size() <= 2 ? last : QString();
    const QList<DirItem> items = m_dnameDb.items(key);
    if (key.isEmpty())
        return items;
    QList<DirItem> result;
    for (const DirItem& item : items) {
        const QString rel = path + QLatin1Char('/') + item.name;
        if (!isFileIncluded(root, rel, QString())) {
            result.append(item);
            continue;
        }
        // A stored file is reported as it is on disk, and not at all when it
        // has gone from there.
        const QString local = resolveDevicePath(root, rel);
        const QFileInfo info(local);
        if (!local.isEmpty() && info.isFile())
            result.append({ info.fileName(), 1, info.size(), info.lastModified() });
    }
    return result;
}

void FakeBackup2ToolHook::recvFileBegin(QDir root, QString udid, QString fileName, QString deviceName)
{
    const QString name = lastComponent(fileName);
    if (!m_dnameDb.isOpen()) {
        QString errorText;
        if (!m_dnameDb.open(root.absoluteFilePath(udid) + dnameFile(), &errorText))
            throw Error(QStringLiteral("open dname.sqlite failed. %1").arg(errorText));
    }
    m_dnameDb.insert(
        name, deviceName, isFileIncluded(root, fileName, deviceName), QDateTime::currentDateTime());
}

int FakeBackup2ToolHook::recvFileOpenWrite(QDir root, QString fileName, QFile& file, QString& errorText)
{
    if (isFileIncluded(root, fileName, QString()))
        return Backup2ToolHook::recvFileOpenWrite(root, fileName, file, errorText);
    return 0;
}

void FakeBackup2ToolHook::recvFileEnd(QDir, QString fileName, unsigned long long bytes)
{
    m_dnameDb.update(lastComponent(fileName), QDateTime::currentDateTime(), qint64(bytes));
}

int FakeBackup2ToolHook::removeFile(QDir root, QString path, QString& errorText)
{
    const QString name = lastComponent(path);
    if (!path.contains(QLatin1String("snapshot"), Qt::CaseInsensitive) && name.size() > 2)
        m_dnameDb.remove(name);
    Backup2ToolHook::removeFile(root, path, errorText);
    return 0;
}

int FakeBackup2ToolHook::copyFile(QDir, QString, QString, QString&)
{
    return 0;
}

int FakeBackup2ToolHook::mkdir(QDir, QString, QString&)
{
    return 0;
}
