#include "ios/mobiledevice.h"

#include <QCoreApplication>

Q_LOGGING_CATEGORY(lcIosDevice, "app.ios")

namespace {
QString __uwpiTunesPath;
}

iDevice::iDevice(const QString& udid) : udid(udid) {}

iDevice::~iDevice()
{
    if (lockdownClient)
        lockdownd_client_free(lockdownClient);
    if (device)
        idevice_free(device);
}

int iDevice::newDevice()
{
    return idevice_new_with_options(&device, udid.toUtf8().constData(), IDEVICE_LOOKUP_USBMUX);
}

int iDevice::lockdowndWithHandshake()
{
    return lockdownd_client_new_with_handshake(device, &lockdownClient, kMobiledeviceLabel);
}

int iDevice::lockdown()
{
    return lockdownd_client_new(device, &lockdownClient, kMobiledeviceLabel);
}

bool iDevice::open()
{
    return newDevice() == 0 && lockdowndWithHandshake() == 0;
}

PlistCFType mobiledevice_info(const QString& udid, const QString& domain, const QString& key)
{
    iDevice dev(udid);
    int code = dev.newDevice();
    if (code == 0)
        code = dev.lockdowndWithHandshake();
    if (code != 0) {
        qCWarning(lcIosDevice) << "reading a lockdown value of" << udid << "failed:" << code;
        return PlistCFType();
    }
    return mobiledevice_info(&dev, domain, key);
}

PlistCFType mobiledevice_info(iDevice* dev, const QString& domain, const QString& key)
{
    if (!dev || !dev->lockdownClient)
        return PlistCFType();
    const QByteArray d = domain.toUtf8(), k = key.toUtf8();
    plist_t value = nullptr;
    const int code = lockdownd_get_value(dev->lockdownClient, domain.isEmpty() ? nullptr : d.constData(),
                                         key.isEmpty() ? nullptr : k.constData(), &value);
    if (code != 0) {
        plist_free(value);
        return PlistCFType();
    }
    return PlistCFType(value, true);
}

bool mobiledevice_set(iDevice* dev, const QString& domain, const QString& key, const PlistCFType& value)
{
    // The library frees what it is given, so it gets a copy; a null value would be a
    // request to write nothing.
    if (!dev || !dev->lockdownClient || !value.ref())
        return false;
    const int code = lockdownd_set_value(dev->lockdownClient, domain.toUtf8().constData(), key.toUtf8().constData(),
                                         plist_copy(static_cast<plist_t>(value.ref())));
    if (code != 0)
        qCWarning(lcIosDevice) << "lockdownd_set_value" << domain << key << "failed:" << code;
    return code == 0;
}

bool mobiledevice_set(const QString& udid, const QString& domain, const QString& key, const PlistCFType& value)
{
    iDevice dev(udid);
    return dev.open() && mobiledevice_set(&dev, domain, key, value);
}

bool mobiledevice_pair::pair()
{
    iDevice dev(udid);
    if (dev.newDevice() != 0) {
        errorText = QStringLiteral("No device found.");
    } else if (dev.lockdowndWithHandshake() == 0) {
        return true;
    } else if (const int code = dev.lockdown(); code != 0) {
        errorText = QStringLiteral("Could not connect to lockdownd, error code %1\n").arg(code);
    } else if (lockdownd_pair(dev.lockdownClient, nullptr) == 0) {
        return true;
    }
    errorText = QStringLiteral("%1<br/><br/>Error detail: %2")
                    .arg(QCoreApplication::translate(
                             "mobiledevice",
                             "Please launch iTunes (Finder if MacOS 10.15 or above) first and then re-connect your "
                             "iPhone. Once your iPhone is visible in iTunes (Finder if MacOS 10.15 or above), please "
                             "restart Quorvantile software."),
                         errorText);
    return false;
}

int mobiledevice_init()
{
    QString errorText;
    const int result = mobiledevice_loader_ini(errorText, QString(), QStringList());
    if (result <= 0) {
        qCWarning(lcIosDevice) << "device library initialisation failed:" << errorText;
        return 0;
    }
    return result;
}

int mobiledevice_loader_ini(QString& /*errorText*/, const QString& iTunesPath, const QStringList& /*unused*/)
{
    // The device library is linked in, so there is nothing to load.
    __uwpiTunesPath = iTunesPath;
    return 1;
}

QString mobiledevice_loader_ini_uwpiTunesPath()
{
    return __uwpiTunesPath;
}

QString mobiledevice_exe32_path(const QString& name, QProcessEnvironment& /*env*/)
{
    return QStringLiteral("/System/Library/PrivateFrameworks/MobileDevice.framework/Versions/A/"
                          "AppleMobileDeviceHelper.app/Contents/Resources/")
           + name;
}
