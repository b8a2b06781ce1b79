// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry: what a phone sends over ADB, from the handshake and the
// authorisation exchange to a shell command or a package push and install.
// The input is the phone's side as chunks (a 16-bit little-endian length,
// then the bytes); chunk k is delivered once we have sent k messages (or
// after a moment of silence), so a conversation can answer what we said.
// The first byte picks the service.
#include "platform/adb/adbkey.h"
#include "platform/adb/adbmessage.h"
#include "platform/adb/adbservices.h"
#include "platform/adb/adbtransport.h"
#include "platform/adb/adbusbhandle.h"

#include <QCoreApplication>
#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

constexpr int kWaitMs = 100;
constexpr int kUnaskedMs = 5;

class ScriptTransport : public AdbTransport {
public:
    explicit ScriptTransport(const QByteArray& script)
    {
        for (qsizetype at = 0; at + 2 <= script.size();) {
            const int length = quint8(script[at]) | quint8(script[at + 1]) << 8;
            m_chunks.append(script.mid(at + 2, length));
            at += 2 + length;
        }
    }
    qint64 read(char* buffer, qint64 maxLen, int timeoutMs) override
    {
        std::unique_lock lock(m_mutex);
        // A phone may also speak unasked: a chunk not released by our next
        // message within a moment comes anyway, so no run waits out a
        // timeout for it.
        const bool released = m_changed.wait_for(lock, std::chrono::milliseconds(qMin(timeoutMs, kUnaskedMs)), [this] {
            return m_closed || !m_pending.isEmpty() || m_taken >= m_chunks.size() || m_taken <= m_written;
        });
        if (m_closed)
            throw AdbError(AdbErrorCode::Transport, QStringLiteral("closed"));
        if (m_pending.isEmpty() && m_taken < m_chunks.size() && (released || timeoutMs >= kUnaskedMs))
            m_pending = m_chunks.at(m_taken++);
        if (m_pending.isEmpty()) {
            if (m_taken >= m_chunks.size())
                throw AdbError(AdbErrorCode::Transport, QStringLiteral("the phone has nothing more to say"));
            return 0;
        }
        const qint64 n = qMin<qint64>(maxLen, m_pending.size());
        std::memcpy(buffer, m_pending.constData(), size_t(n));
        m_pending.remove(0, n);
        return n;
    }
    void write(const QByteArray&, const QByteArray&, int) override
    {
        const std::lock_guard lock(m_mutex);
        if (m_closed)
            throw AdbError(AdbErrorCode::Transport, QStringLiteral("closed"));
        ++m_written;
        m_changed.notify_all();
    }
    void close() override
    {
        const std::lock_guard lock(m_mutex);
        m_closed = true;
        m_changed.notify_all();
    }
    QString describe() const override { return QStringLiteral("fuzz"); }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    QList<QByteArray> m_chunks;
    QByteArray m_pending;
    qsizetype m_taken = 0;
    qsizetype m_written = 0;
    bool m_closed = false;
};

struct Fixture {
    QTemporaryDir dir;
    std::shared_ptr<AdbKey> key;
    QString apk;
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    Fixture& f = fixture();
    AdbSettings settings;
    settings.keyFolder = f.dir.path();
    settings.ioTimeoutMs = kWaitMs;
    settings.maxShellOutput = 1024 * 1024;
    adbSetSettings(settings);
    f.key = AdbKey::loadOrCreate(f.dir.path());
    f.apk = f.dir.filePath(QStringLiteral("package.apk"));
    QFile apk(f.apk);
    if (!apk.open(QIODevice::WriteOnly) || apk.write(QByteArray(3000, 'k')) != 3000)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 64 * 1024)
        return 0;
    Fixture& f = fixture();
    const QByteArray script(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    PAdbUSBHandle handle(new AdbUSBHandle(QStringLiteral("fuzz"), std::make_unique<ScriptTransport>(script), f.key));
    if (handle->waitForAuth2(kWaitMs)) {
        QString error;
        if (data[0] % 2 == 0)
            adbShell(handle, QStringLiteral("getprop ro.product.model"), nullptr, &error);
        else
            adbInstallLegacy(handle, f.apk, QStringLiteral("-r"), &error);
    }
    handle->state();
    handle->errorString();
    handle->close();
    return 0;
}
