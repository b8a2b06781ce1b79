#pragma once
// Access to a connected iOS device through the device library: per-operation device
// handles, lockdown values and the small device operations around them.
//
// Threads: every call here talks to the device and blocks until it answers or the
// link drops; call it on a worker thread, never on the GUI thread. Devices are looked
// up over the USB multiplexer only, so a device seen only on the network is not found.
// Every lockdown client is opened under the client label kMobiledeviceLabel.

#include "ios/plistcftype.h"

#include <QLoggingCategory>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>

Q_DECLARE_LOGGING_CATEGORY(lcIosDevice)

inline constexpr char kMobiledeviceLabel[] = "QUORVANTILE";

// The handles of one device for one operation. Opens nothing until asked; the
// destructor frees the lockdown client and then the device handle, when set.
class iDevice {
public:
    explicit iDevice(const QString& udid);
    ~iDevice();
    iDevice(const iDevice&) = delete;
    iDevice& operator=(const iDevice&) = delete;

    int newDevice();               // idevice_new_with_options over USB; 0 = found
    int lockdowndWithHandshake();  // lockdown client with session; 0 = opened
    int lockdown();                // lockdown client without handshake; 0 = opened
    bool open();                   // newDevice() and lockdowndWithHandshake() both 0

    QString udid;
    idevice_t device = nullptr;
    lockdownd_client_t lockdownClient = nullptr;
};

// Reads a lockdown value; an empty domain and an empty key read the device's whole
// value dictionary. Any failure (not found over USB, no lockdown client, no such
// value) gives the null value. The first form opens and releases its own handles.
PlistCFType mobiledevice_info(const QString& udid, const QString& domain, const QString& key);
PlistCFType mobiledevice_info(iDevice* dev, const QString& domain, const QString& key);

// Writes a copy of value as a lockdown value; the caller's value is untouched.
// False when the device, its lockdown client or the value is missing or the write fails.
bool mobiledevice_set(iDevice* dev, const QString& domain, const QString& key, const PlistCFType& value);
bool mobiledevice_set(const QString& udid, const QString& domain, const QString& key, const PlistCFType& value);

// Pairs the computer with one device; on failure error() says why, in words for the user.
class mobiledevice_pair {
public:
    explicit mobiledevice_pair(const QString& udid) : udid(udid) {}
    bool pair();
    QString error() const { return errorText; }

private:
    QString udid;
    QString errorText;
};

int mobiledevice_init();
int mobiledevice_loader_ini(QString& errorText, const QString& iTunesPath, const QStringList& unused);
QString mobiledevice_loader_ini_uwpiTunesPath();
QString mobiledevice_exe32_path(const QString& name, QProcessEnvironment& env);
