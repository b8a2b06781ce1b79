// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/adb/adbusbtransport.h"

#include "platform/adb/adbmessage.h"

#include <atomic>
#include <mutex>

namespace {

constexpr int kAdbClass = 0xff;
constexpr int kAdbSubclass = 0x42;
constexpr int kAdbProtocol = 1;
// A blocked bulk read gives the reader a chance to see close() this often.
constexpr int kReadSliceMs = 200;

}  // namespace

struct AdbUsbScanner::Context {
    AdbLibusbApi api;
    libusb_context* ctx = nullptr;
    ~Context()
    {
        if (ctx)
            api.exit(ctx);
    }
};

namespace {

using ContextPtr = std::shared_ptr<AdbUsbScanner::Context>;

QString usbError(const AdbLibusbApi& api, const char* call, int code)
{
    return QStringLiteral("%1 failed. return %2 (%3).")
        .arg(QLatin1String(call))
        .arg(code)
        .arg(QLatin1String(api.error_name ? api.error_name(code) : "?"));
}

class UsbTransport : public AdbTransport {
public:
    UsbTransport(ContextPtr context, libusb_device_handle* handle, int interface, uint8_t in,
                 uint8_t out, int packetSize, QString where)
        : m_context(std::move(context)), m_handle(handle), m_interface(interface), m_in(in),
          m_out(out), m_packetSize(packetSize), m_where(std::move(where))
    {
    }

    ~UsbTransport() override
    {
        m_context->api.release_interface(m_handle, m_interface);
        m_context->api.close(m_handle);
    }

    qint64 read(char* buffer, qint64 maxLen, int timeoutMs) override
    {
        int waited = 0;
        do {
            if (m_closed)
                throw AdbError(AdbErrorCode::Transport, QStringLiteral("The USB link to %1 was closed.").arg(m_where));
            int got = 0;
            const int slice = qMin(kReadSliceMs, qMax(1, timeoutMs - waited));
            const int r = m_context->api.bulk_transfer(m_handle, m_in, reinterpret_cast<unsigned char*>(buffer),
                                                       static_cast<int>(maxLen), &got, static_cast<unsigned>(slice));
            if (got > 0)
                return got;
            if (r != LIBUSB_SUCCESS && r != LIBUSB_ERROR_TIMEOUT)
                throw AdbError(AdbErrorCode::Transport,
                               QStringLiteral("USB read from %1: %2").arg(m_where, usbError(m_context->api, "libusb_bulk_transfer", r)));
            waited += slice;
        } while (waited < timeoutMs);
        return 0;
    }

    void write(const QByteArray& header, const QByteArray& payload, int timeoutMs) override
    {
        std::lock_guard<std::mutex> lock(m_writeMutex);
        send(header, timeoutMs);
        if (!payload.isEmpty()) {
            send(payload, timeoutMs);
            // A payload that fills its last packet needs a zero-length packet
            // so the phone sees where the transfer ends.
            if (m_packetSize > 0 && payload.size() % m_packetSize == 0)
                send(QByteArray(), timeoutMs);
        }
    }

    void close() override { m_closed = true; }
    QString describe() const override { return m_where; }

private:
    void send(const QByteArray& data, int timeoutMs)
    {
        if (m_closed)
            throw AdbError(AdbErrorCode::Transport, QStringLiteral("The USB link to %1 was closed.").arg(m_where));
        int done = 0;
        QByteArray copy = data;  // libusb wants a mutable buffer
        const int r = m_context->api.bulk_transfer(m_handle, m_out, reinterpret_cast<unsigned char*>(copy.data()),
                                                   static_cast<int>(copy.size()), &done, static_cast<unsigned>(timeoutMs));
        if (r != LIBUSB_SUCCESS || done != copy.size())
            throw AdbError(r == LIBUSB_ERROR_TIMEOUT ? AdbErrorCode::Timeout : AdbErrorCode::Transport,
                           QStringLiteral("USB write to %1: %2").arg(m_where, usbError(m_context->api, "libusb_bulk_transfer", r)));
    }

    ContextPtr m_context;
    libusb_device_handle* m_handle;
    int m_interface;
    uint8_t m_in;
    uint8_t m_out;
    int m_packetSize;
    QString m_where;
    std::atomic<bool> m_closed{false};
    std::mutex m_writeMutex;
};

struct AdbInterface {
    int number = -1;
    uint8_t in = 0;
    uint8_t out = 0;
    int packetSize = 0;
};

AdbInterface findAdbInterface(const AdbLibusbApi& api, libusb_device* device)
{
    AdbInterface found;
    libusb_config_descriptor* config = nullptr;
    if (api.get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS || !config)
        return found;
    for (int i = 0; i < config->bNumInterfaces && found.number < 0; ++i) {
        const libusb_interface& iface = config->interface[i];
        for (int a = 0; a < iface.num_altsetting && found.number < 0; ++a) {
            const libusb_interface_descriptor& d = iface.altsetting[a];
            if (d.bInterfaceClass != kAdbClass || d.bInterfaceSubClass != kAdbSubclass
                || d.bInterfaceProtocol != kAdbProtocol || d.bNumEndpoints != 2)
                continue;
            AdbInterface candidate;
            for (int e = 0; e < 2; ++e) {
                const libusb_endpoint_descriptor& ep = d.endpoint[e];
                if ((ep.bmAttributes & 0x03) != LIBUSB_TRANSFER_TYPE_BULK)
                    continue;
                if (ep.bEndpointAddress & LIBUSB_ENDPOINT_IN)
                    candidate.in = ep.bEndpointAddress;
                else
                    candidate.out = ep.bEndpointAddress;
                candidate.packetSize = ep.wMaxPacketSize;
            }
            if (candidate.in && candidate.out) {
                candidate.number = d.bInterfaceNumber;
                found = candidate;
            }
        }
    }
    api.free_config_descriptor(config);
    return found;
}

QString locationOf(const AdbLibusbApi& api, libusb_device* device)
{
    uint8_t ports[8] = {};
    const int count = api.get_port_numbers(device, ports, 8);
    QString where = QStringLiteral("usb %1-").arg(api.get_bus_number(device));
    for (int i = 0; i < count; ++i)
        where += (i ? QStringLiteral(".") : QString()) + QString::number(ports[i]);
    return where;
}

}  // namespace

AdbLibusbApi adbRealLibusb()
{
    return AdbLibusbApi{
        [](libusb_context** c) { return libusb_init(c); },
        libusb_exit,
        libusb_get_device_list,
        libusb_free_device_list,
        libusb_get_device_descriptor,
        libusb_get_active_config_descriptor,
        libusb_free_config_descriptor,
        libusb_get_bus_number,
        libusb_get_port_numbers,
        libusb_open,
        libusb_close,
        libusb_get_string_descriptor_ascii,
        libusb_set_auto_detach_kernel_driver,
        libusb_claim_interface,
        libusb_release_interface,
        libusb_bulk_transfer,
        libusb_error_name,
    };
}

AdbUsbScanner::AdbUsbScanner(const AdbLibusbApi& api) : m_context(std::make_shared<Context>())
{
    m_context->api = api;
    const int r = api.init(&m_context->ctx);
    if (r != LIBUSB_SUCCESS) {
        m_context->ctx = nullptr;
        m_initError = usbError(api, "libusb_init", r);
    }
}

AdbUsbScanner::~AdbUsbScanner() = default;

std::vector<AdbUsbFound> AdbUsbScanner::scan(const QSet<QString>& known, QSet<QString>* present)
{
    std::vector<AdbUsbFound> result;
    if (!m_initError.isEmpty())
        return result;
    const AdbLibusbApi& api = m_context->api;
    libusb_device** list = nullptr;
    const ssize_t count = api.get_device_list(m_context->ctx, &list);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device* device = list[i];
        const AdbInterface iface = findAdbInterface(api, device);
        if (iface.number < 0)
            continue;
        const QString location = locationOf(api, device);
        present->insert(location);
        if (known.contains(location))
            continue;
        AdbUsbFound found;
        found.location = location;
        libusb_device_descriptor desc{};
        libusb_device_handle* handle = nullptr;
        int r = api.get_device_descriptor(device, &desc);
        if (r == LIBUSB_SUCCESS)
            r = api.open(device, &handle);
        if (r == LIBUSB_ERROR_ACCESS) {
            found.error = QStringLiteral("%1: %2 (%3)")
                              .arg(location, QLatin1String(kAdbUsbNoPermission), usbError(api, "libusb_open", r));
            result.push_back(std::move(found));
            continue;
        }
        if (r != LIBUSB_SUCCESS) {
            found.error = QStringLiteral("%1: %2").arg(location, usbError(api, "libusb_open", r));
            result.push_back(std::move(found));
            continue;
        }
        unsigned char serial[256] = {};
        const int n = desc.iSerialNumber
            ? api.get_string_descriptor_ascii(handle, desc.iSerialNumber, serial, sizeof serial - 1)
            : 0;
        found.serial = n > 0 ? QString::fromLatin1(reinterpret_cast<char*>(serial), n) : location;
        api.set_auto_detach_kernel_driver(handle, 1);
        r = api.claim_interface(handle, iface.number);
        if (r != LIBUSB_SUCCESS) {
            api.close(handle);
            found.error = QStringLiteral("%1: %2").arg(location, usbError(api, "libusb_claim_interface", r));
        } else {
            found.transport = std::make_unique<UsbTransport>(m_context, handle, iface.number, iface.in,
                                                             iface.out, iface.packetSize, location);
        }
        result.push_back(std::move(found));
    }
    if (count >= 0)
        api.free_device_list(list, 1);
    return result;
}
