// SPDX-License-Identifier: GPL-3.0-or-later
#include "devicebackup/mobiledevice_afc.h"

#include <QBuffer>
#include <QDir>
#include <QIODevice>

#include <cmath>
#include <cstring>

namespace {

const AfcCalls kLibraryCalls = {
    afc_get_file_info,
    afc_read_directory,
    afc_dictionary_free,
    afc_make_directory,
    afc_remove_path_and_contents,
    afc_rename_path,
    afc_file_open,
    afc_file_read,
    afc_file_write,
    afc_file_lock,
    afc_file_close,
    afc_client_free,
};

// The text of one entry of a list the library built from the device's
// answer, or a null QByteArray when it is longer than maxBytes.
QByteArray boundedText(const char* text, int maxBytes)
{
    const size_t length = strnlen(text, size_t(maxBytes) + 1);
    if (length > size_t(maxBytes))
        return QByteArray();
    return QByteArray(text, int(length));
}

// The service gives nanoseconds since 1970-01-01 UTC as decimal text.
QDateTime mtimeFromNanoseconds(const QByteArray& text)
{
    const double ms = std::trunc(double(text.toLongLong()) / 1000000.0);
    return QDateTime::fromMSecsSinceEpoch(qint64(ms));
}

// Joined as QDir::absoluteFilePath joins a cleaned absolute folder and a name.
QString childPath(const QString& folder, const QString& name)
{
    const QString clean = QDir::cleanPath(folder);
    return clean == QLatin1String("/") ? clean + name : clean + QLatin1Char('/') + name;
}

} // namespace

const AfcCalls& AfcCalls::library()
{
    return kLibraryCalls;
}

// --- AfcFile

AfcFile::~AfcFile()
{
    close();
}

AfcFile::AfcFile(AfcFile&& other) noexcept
    : client(other.client), handle(other.handle), calls(other.calls)
{
    other.handle = 0;
}

AfcFile& AfcFile::operator=(AfcFile&& other) noexcept
{
    if (this != &other) {
        close();
        client = other.client;
        handle = other.handle;
        calls = other.calls;
        other.handle = 0;
    }
    return *this;
}

int AfcFile::read(char* buf, int len)
{
    if (!isOpen() || len < 0)
        return -1;
    uint32_t got = 0;
    if (calls->fileRead(client, handle, buf, uint32_t(len), &got) != AFC_E_SUCCESS)
        return -1;
    // More than was asked for would mean bytes written past buf.
    return got <= uint32_t(len) ? int(got) : -1;
}

int AfcFile::write(const char* buf, int len)
{
    if (!isOpen() || len < 0)
        return -1;
    uint32_t sent = 0;
    if (calls->fileWrite(client, handle, buf, uint32_t(len), &sent) != AFC_E_SUCCESS)
        return -1;
    return sent <= uint32_t(len) ? int(sent) : -1;
}

int AfcFile::lock(afc_lock_op_t op)
{
    if (!isOpen())
        return 1;
    return calls->fileLock(client, handle, op);
}

void AfcFile::close()
{
    if (!isOpen())
        return;
    calls->fileClose(client, handle);
    handle = 0;
}

// --- mobiledevice_afc

mobiledevice_afc::mobiledevice_afc(const QString& udid)
    : iDevice(udid), calls(&AfcCalls::library())
{
}

mobiledevice_afc::mobiledevice_afc(const QString& udid, afc_client_t client, const AfcCalls& calls)
    : iDevice(udid), afc(client), calls(&calls)
{
}

mobiledevice_afc::~mobiledevice_afc()
{
    closeService();
}

bool mobiledevice_afc::startService(const QString&)
{
    // A second start would open new device handles over the held ones.
    if (afc)
        return true;
    if (!open())
        return false;
    lockdownd_service_descriptor_t descriptor = nullptr;
    if (lockdownd_start_service(lockdownClient, AFC_SERVICE_NAME, &descriptor) != LOCKDOWN_E_SUCCESS) {
        qCWarning(lcIosDevice) << "lockdownd_start_service failed for the file service of" << udid;
        return false;
    }
    const afc_error_t code = afc_client_new(device, descriptor, &afc);
    lockdownd_service_descriptor_free(descriptor);
    if (code != AFC_E_SUCCESS) {
        qCWarning(lcIosDevice) << "afc_client_new failed. return" << code;
        afc = nullptr;
        return false;
    }
    return true;
}

void mobiledevice_afc::closeService()
{
    if (!afc)
        return;
    calls->clientFree(afc);
    afc = nullptr;
}

_AfcFileInfo mobiledevice_afc::fileInfo(const QString& path)
{
    if (!afc)
        return _AfcFileInfo();
    char** pairs = nullptr;
    if (calls->getFileInfo(afc, path.toUtf8().constData(), &pairs) != AFC_E_SUCCESS || !pairs)
        return _AfcFileInfo();

    _AfcFileInfo info(path);
    for (int i = 0; i < 2 * kMaxStatusPairs && pairs[i] && pairs[i + 1]; i += 2) {
        const QByteArray key = boundedText(pairs[i], kMaxNameBytes);
        const QByteArray value = boundedText(pairs[i + 1], kMaxNameBytes);
        if (key == "st_ifmt")
            info.ifmt = QString::fromUtf8(value);
        else if (key == "st_size")
            info.size = qMax<qint64>(0, value.toLongLong());
        else if (key == "st_mtime")
            info.mtime = mtimeFromNanoseconds(value);
    }
    calls->dictionaryFree(pairs);
    return info;
}

QStringList mobiledevice_afc::ls(const QString& path, bool skipDots)
{
    QStringList names;
    if (!afc)
        return names;
    char** list = nullptr;
    if (calls->readDirectory(afc, path.toUtf8().constData(), &list) != AFC_E_SUCCESS || !list)
        return names;

    int refused = 0;
    int i = 0;
    for (; list[i] && i < kMaxFolderEntries; ++i) {
        const QByteArray name = boundedText(list[i], kMaxNameBytes);
        if (name.isEmpty()) {
            ++refused;
            continue;
        }
        if (skipDots && (name == "." || name == ".."))
            continue;
        names.append(QString::fromUtf8(name));
    }
    if (list[i])
        qCWarning(lcIosDevice) << "folder" << path << "lists more than" << kMaxFolderEntries << "entries; the rest is left out";
    if (refused)
        qCWarning(lcIosDevice) << "folder" << path << ":" << refused << "entries with an empty or over-long name left out";
    calls->dictionaryFree(list);
    return names;
}

QList<_AfcFileInfo> mobiledevice_afc::ls_finfo(const QString& path)
{
    QList<_AfcFileInfo> infos;
    for (const QString& name : ls(path, true)) {
        const _AfcFileInfo info = fileInfo(childPath(path, name));
        if (info.isValid())
            infos.append(info);
    }
    return infos;
}

bool mobiledevice_afc::mkdir(const QString& path)
{
    return afc && calls->makeDirectory(afc, path.toUtf8().constData()) == AFC_E_SUCCESS;
}

bool mobiledevice_afc::del(const QString& path)
{
    return afc && calls->removePathAndContents(afc, path.toUtf8().constData()) == AFC_E_SUCCESS;
}

bool mobiledevice_afc::rename(const QString& from, const QString& to)
{
    return afc && calls->renamePath(afc, from.toUtf8().constData(), to.toUtf8().constData()) == AFC_E_SUCCESS;
}

bool mobiledevice_afc::openFile(const QString& path, afc_file_mode_t mode, AfcFile& file)
{
    if (!afc)
        return false;
    file.close();
    uint64_t handle = 0;
    if (calls->fileOpen(afc, path.toUtf8().constData(), mode, &handle) != AFC_E_SUCCESS)
        return false;
    file.client = afc;
    file.handle = handle;
    file.calls = calls;
    return true;
}

bool mobiledevice_afc::readFile(const QString& path, AfcFile& file)
{
    return openFile(path, AFC_FOPEN_RDONLY, file);
}

bool mobiledevice_afc::writeFile(const QString& path, AfcFile& file)
{
    return openFile(path, AFC_FOPEN_WRONLY, file);
}

bool mobiledevice_afc::readWriteFile(const QString& path, AfcFile& file)
{
    return openFile(path, AFC_FOPEN_RW, file);
}

bool mobiledevice_afc::copyOut(const QString& path, QIODevice& out, qint64 maxBytes)
{
    AfcFile file;
    if (!readFile(path, file))
        return true;
    QByteArray block(kBlockBytes, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        const int got = file.read(block.data(), kBlockBytes);
        if (got < 1)
            return true;
        total += got;
        if (maxBytes >= 0 && total > maxBytes)
            return false;
        out.write(block.constData(), got);
    }
}

void mobiledevice_afc::readFileContent(const QString& path, QIODevice& out)
{
    if (afc)
        copyOut(path, out, -1);
}

QByteArray mobiledevice_afc::readFileContent(const QString& path)
{
    QByteArray bytes;
    if (!afc)
        return bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!copyOut(path, buffer, kMaxContentBytes)) {
        qCWarning(lcIosDevice) << "device file" << path << "is larger than" << kMaxContentBytes << "bytes; not read";
        buffer.close();
        return QByteArray();
    }
    buffer.close();
    return bytes;
}

void mobiledevice_afc::writeFileContent(const QString& path, QIODevice& in)
{
    AfcFile file;
    if (!writeFile(path, file))
        return;
    QByteArray block(kBlockBytes, Qt::Uninitialized);
    for (;;) {
        const qint64 got = in.read(block.data(), kBlockBytes);
        if (got < 1)
            return;
        // The rest of a block the service took only in part is sent again,
        // so a short write never leaves a gap in the device file.
        for (int sent = 0; sent < got;) {
            const int n = file.write(block.constData() + sent, int(got) - sent);
            if (n < 1)
                return;
            sent += n;
        }
    }
}

void mobiledevice_afc::writeFileContent(const QString& path, const QByteArray& data)
{
    if (!afc)
        return;
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    writeFileContent(path, buffer);
}
