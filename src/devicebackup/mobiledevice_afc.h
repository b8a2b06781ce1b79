// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small synchronous client of the phone's file service ("com.apple.afc"):
// status and listing of paths, folders, deleting, renaming, opening files and
// copying whole files in blocks between the phone and any QIODevice.
//
// Nothing here throws or shows anything: every operation answers with a plain
// result (false, an empty value, -1). Before startService succeeds, and after
// closeService, every file operation returns its empty result without asking
// the device.
//
// Untrusted answers: the service's lists and texts are bounded (entries per
// folder, bytes per name, status pairs); a block read or written is never
// taken to be larger than what was asked for; readFileContent(path) refuses
// files above kMaxContentBytes instead of filling memory.
//
// Threads: one object, with every AfcFile opened on it, is used by one thread
// at a time; every call blocks until the device answers.

#include "ios/mobiledevice.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <libimobiledevice/afc.h>

class QIODevice;

// The file-service calls this client makes. library() holds the device
// library's functions; tests hand in a table of their own.
struct AfcCalls {
    afc_error_t (*getFileInfo)(afc_client_t, const char* path, char*** info);
    afc_error_t (*readDirectory)(afc_client_t, const char* path, char*** names);
    afc_error_t (*dictionaryFree)(char** list);
    afc_error_t (*makeDirectory)(afc_client_t, const char* path);
    afc_error_t (*removePathAndContents)(afc_client_t, const char* path);
    afc_error_t (*renamePath)(afc_client_t, const char* from, const char* to);
    afc_error_t (*fileOpen)(afc_client_t, const char* path, afc_file_mode_t mode, uint64_t* handle);
    afc_error_t (*fileRead)(afc_client_t, uint64_t handle, char* data, uint32_t length, uint32_t* got);
    afc_error_t (*fileWrite)(afc_client_t, uint64_t handle, const char* data, uint32_t length, uint32_t* sent);
    afc_error_t (*fileLock)(afc_client_t, uint64_t handle, afc_lock_op_t op);
    afc_error_t (*fileClose)(afc_client_t, uint64_t handle);
    afc_error_t (*clientFree)(afc_client_t);

    static const AfcCalls& library();
};

// The status of one device path. ifmt is the service's type text as given
// ("S_IFREG", "S_IFDIR", "S_IFLNK", ...); an empty ifmt means no status.
struct _AfcFileInfo {
    _AfcFileInfo() = default;
    explicit _AfcFileInfo(const QString& path) : path(path) {}

    bool isValid() const { return !ifmt.isEmpty(); }
    bool isFile() const { return ifmt.compare(QLatin1String("S_IFREG"), Qt::CaseInsensitive) == 0; }
    bool isDir() const { return ifmt.compare(QLatin1String("S_IFDIR"), Qt::CaseInsensitive) == 0; }
    bool isLink() const { return ifmt.compare(QLatin1String("S_IFLNK"), Qt::CaseInsensitive) == 0; }

    QString path;   // as the caller wrote it
    qint64 size = 0;
    QDateTime mtime; // local time; null when the service gave none
    QString ifmt;
};

// One open file of the service. Owns its handle (closed by close() or the
// destructor) and borrows the client of the mobiledevice_afc that opened it,
// so it must not outlive that object. Move-only: a copy would close twice.
class AfcFile {
public:
    AfcFile() = default;
    ~AfcFile();
    AfcFile(AfcFile&& other) noexcept;
    AfcFile& operator=(AfcFile&& other) noexcept;
    AfcFile(const AfcFile&) = delete;
    AfcFile& operator=(const AfcFile&) = delete;

    bool isOpen() const { return client && handle; }
    // Bytes read or written, at most len; -1 on failure, a negative len, or a
    // file that is not open.
    int read(char* buf, int len);
    int write(const char* buf, int len);
    // The library's result code (0 = success); 1 when the file is not open.
    int lock(afc_lock_op_t op);
    void close();

private:
    friend class mobiledevice_afc;

    afc_client_t client = nullptr;
    uint64_t handle = 0;
    const AfcCalls* calls = nullptr;
};

class mobiledevice_afc : public iDevice {
public:
    // Limits on what the device may hand back.
    static constexpr int kMaxNameBytes = 1024;
    static constexpr int kMaxFolderEntries = 1 << 20;
    static constexpr int kMaxStatusPairs = 64;
    static constexpr qint64 kMaxContentBytes = 256 * 1024 * 1024;
    static constexpr int kBlockBytes = 8192;

    explicit mobiledevice_afc(const QString& udid);
    // Takes over a file-service client that is already open, reached through
    // calls (tests give a table of fakes; the device is never contacted).
    mobiledevice_afc(const QString& udid, afc_client_t client, const AfcCalls& calls);
    ~mobiledevice_afc();
    mobiledevice_afc(const mobiledevice_afc&) = delete;
    mobiledevice_afc& operator=(const mobiledevice_afc&) = delete;

    // Opens the device, its lockdown client and the file service; true when
    // all three succeed. The argument is not consulted: the service is always
    // "com.apple.afc". While the service is open a further call changes nothing.
    bool startService(const QString& unused = QString());
    // Frees the file-service client; the device handles stay until destruction.
    void closeService();

    // Status of one path; _AfcFileInfo() (empty path too) when it cannot be read.
    _AfcFileInfo fileInfo(const QString& path);
    // Names in one folder in the service's order; with skipDots, "." and ".."
    // are left out. Empty for an empty folder and for a failure alike.
    QStringList ls(const QString& path, bool skipDots = true);
    // Status of every entry of one folder (one request per entry); entries
    // whose status cannot be read are left out.
    QList<_AfcFileInfo> ls_finfo(const QString& path);
    bool mkdir(const QString& path);
    // Removes a file, or a folder with everything under it.
    bool del(const QString& path);
    bool rename(const QString& from, const QString& to);

    // Opens path in a library mode into file (closing what file held before).
    bool openFile(const QString& path, afc_file_mode_t mode, AfcFile& file);
    bool readFile(const QString& path, AfcFile& file);      // read only
    bool writeFile(const QString& path, AfcFile& file);     // created or emptied
    bool readWriteFile(const QString& path, AfcFile& file); // created when missing, kept

    // Copies the whole device file into out (opened for writing by the caller)
    // in blocks of kBlockBytes. Reports nothing: a copy that fails half-way
    // leaves what arrived; callers that must know compare sizes (fileInfo).
    void readFileContent(const QString& path, QIODevice& out);
    // The whole device file; empty when it cannot be opened or is larger than
    // kMaxContentBytes.
    QByteArray readFileContent(const QString& path);
    // Replaces the device file with everything readable from in (opened for
    // reading by the caller). An empty source creates or empties the file.
    void writeFileContent(const QString& path, QIODevice& in);
    void writeFileContent(const QString& path, const QByteArray& data);

private:
    // Copies out at most maxBytes (-1: no limit); false when the file holds more.
    bool copyOut(const QString& path, QIODevice& out, qint64 maxBytes);

    afc_client_t afc = nullptr;
    const AfcCalls* calls;
};
