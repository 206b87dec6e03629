// A library that takes the place of libhidapi-libusb.so.0 when its folder comes first on
// LD_LIBRARY_PATH. It offers hidapi's C interface with hidapi's documented behaviour, but the
// devices it lists and opens are the simulated ones served by the bench (socket named by the
// environment variable TESSERA_SIM_HID). Without a server every enumeration is empty and every
// open fails, as on a machine without readers.
#include <hidapi/hidapi.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "HidWire.h"

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

using sim::wire::Bytes;

namespace {

std::wstring widen(const std::string& utf8) {
    std::wstring out;
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        std::uint32_t cp;
        std::size_t extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else {
            out.push_back(L'?');
            ++i;
            continue;
        }
        if (i + extra >= utf8.size() && extra > 0) {  // truncated sequence at the end
            out.push_back(L'?');
            break;
        }
        bool bad = false;
        for (std::size_t k = 1; k <= extra; ++k) {
            unsigned char cc = static_cast<unsigned char>(utf8[i + k]);
            if ((cc & 0xC0) != 0x80) bad = true;
            cp = cp << 6 | (cc & 0x3F);
        }
        out.push_back(bad ? L'?' : static_cast<wchar_t>(cp));
        i += bad ? 1 : extra + 1;
    }
    return out;
}

wchar_t* dupWide(const std::string& utf8) {
    std::wstring w = widen(utf8);
    auto* p = static_cast<wchar_t*>(std::malloc((w.size() + 1) * sizeof(wchar_t)));
    if (p) std::wmemcpy(p, w.c_str(), w.size() + 1);
    return p;
}

hid_device_info* makeInfo(const sim::wire::DeviceRecord& r) {
    auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
    if (!info) return nullptr;
    info->path = strdup(r.path.c_str());
    info->vendor_id = r.vendorId;
    info->product_id = r.productId;
    info->serial_number = dupWide(r.serialNumber);
    info->release_number = r.releaseNumber;
    info->manufacturer_string = dupWide(r.manufacturer);
    info->product_string = dupWide(r.product);
    info->usage_page = r.usagePage;
    info->usage = r.usage;
    info->interface_number = r.interfaceNumber;
    info->next = nullptr;
    info->bus_type = HID_API_BUS_USB;
    return info;
}

void freeInfo(hid_device_info* d) {
    while (d) {
        hid_device_info* next = d->next;
        std::free(d->path);
        std::free(d->serial_number);
        std::free(d->manufacturer_string);
        std::free(d->product_string);
        std::free(d);
        d = next;
    }
}

std::mutex globalErrorLock;
std::wstring globalError;

void setGlobalError(const std::string& text) {
    std::lock_guard<std::mutex> g(globalErrorLock);
    globalError = widen(text);
}

// Hands out a copy that stays valid for the calling thread until its next hid_error call.
const wchar_t* errorCopy(const std::wstring& text) {
    thread_local std::wstring copy;
    copy = text.empty() ? L"Success" : text;
    return copy.c_str();
}

int connectServer(std::string& why) {
    const char* path = std::getenv(sim::wire::kSocketVariable);
    if (!path || !*path) {
        why = "no simulated HID devices: TESSERA_SIM_HID is not set";
        return -1;
    }
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof addr.sun_path) {
        why = "simulator socket path too long";
        return -1;
    }
    std::strcpy(addr.sun_path, path);
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        why = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        why = std::string("no simulator at ") + path + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendPacket(int fd, const Bytes& packet) {
    for (;;) {
        ssize_t n = ::send(fd, packet.data(), packet.size(), MSG_NOSIGNAL);
        if (n >= 0) return static_cast<std::size_t>(n) == packet.size();
        if (errno != EINTR) return false;
    }
}

// Receives one packet; false when the peer has gone.
bool receivePacket(int fd, Bytes& packet) {
    packet.resize(sim::wire::kMaxPacket);
    for (;;) {
        ssize_t n = ::recv(fd, packet.data(), packet.size(), 0);
        if (n > 0) {
            packet.resize(static_cast<std::size_t>(n));
            return true;
        }
        if (n == 0 || errno != EINTR) return false;
    }
}

bool exchange(int fd, const Bytes& request, Bytes& reply) {
    return sendPacket(fd, request) && receivePacket(fd, reply) && !reply.empty();
}

}  // namespace

struct hid_device_ {
    int requests = -1;  // request/answer connection, used under requestLock
    int input = -1;     // input reports, used by the reading thread only
    std::mutex requestLock;
    std::atomic<bool> nonblocking{false};
    std::atomic<bool> gone{false};
    hid_device_info* info = nullptr;
    std::mutex errorLock;
    std::wstring error;

    void setError(const std::string& text) {
        std::lock_guard<std::mutex> g(errorLock);
        error = widen(text);
    }
    void clearError() {
        std::lock_guard<std::mutex> g(errorLock);
        error.clear();
    }
    int disconnected() {
        gone = true;
        setError("device disconnected");
        return -1;
    }

    // One request and its Result answer; returns the result and the data that followed it.
    int request(const Bytes& packet, Bytes* data) {
        if (gone) return disconnected();
        Bytes reply;
        {
            std::lock_guard<std::mutex> g(requestLock);
            if (!exchange(requests, packet, reply)) return disconnected();
        }
        sim::wire::Reader r(reply.data(), reply.size());
        if (r.u8() != sim::wire::Result) {
            setError("unexpected answer from the simulator");
            return -1;
        }
        auto result = static_cast<std::int32_t>(r.u32());
        if (!r.ok()) {
            setError("short answer from the simulator");
            return -1;
        }
        if (data) data->assign(r.rest(), r.rest() + r.remaining());
        if (result < 0) {
            setError("the device did not accept the request");
            return -1;
        }
        clearError();
        return result;
    }
};

STANDIN_EXPORT int hid_init(void) {
    return 0;
}

STANDIN_EXPORT int hid_exit(void) {
    std::lock_guard<std::mutex> g(globalErrorLock);
    globalError.clear();
    return 0;
}

STANDIN_EXPORT hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
    std::string why;
    int fd = connectServer(why);
    if (fd < 0) {
        setGlobalError(why);
        return nullptr;
    }
    Bytes reply;
    bool ok = exchange(fd, sim::wire::Writer(sim::wire::Enumerate).bytes(), reply);
    ::close(fd);
    if (!ok) {
        setGlobalError("the simulator did not answer");
        return nullptr;
    }
    sim::wire::Reader r(reply.data(), reply.size());
    if (r.u8() != sim::wire::DeviceList) {
        setGlobalError("unexpected answer from the simulator");
        return nullptr;
    }
    hid_device_info* head = nullptr;
    hid_device_info** tail = &head;
    for (unsigned n = r.u16(); n > 0 && r.ok(); --n) {
        sim::wire::DeviceRecord rec = r.record();
        if (!r.ok()) break;
        if ((vendor_id && rec.vendorId != vendor_id) || (product_id && rec.productId != product_id))
            continue;
        hid_device_info* info = makeInfo(rec);
        if (!info) break;
        *tail = info;
        tail = &info->next;
    }
    setGlobalError(head ? "" : "No HID devices found in the system.");
    return head;
}

STANDIN_EXPORT void hid_free_enumeration(hid_device_info* devs) {
    freeInfo(devs);
}

STANDIN_EXPORT hid_device* hid_open_path(const char* path) {
    if (!path) {
        setGlobalError("no path given");
        return nullptr;
    }
    std::string why;
    int requests = connectServer(why);
    if (requests < 0) {
        setGlobalError(why);
        return nullptr;
    }
    Bytes reply;
    if (!exchange(requests, sim::wire::Writer(sim::wire::Open).str(path).bytes(), reply)) {
        ::close(requests);
        setGlobalError("the simulator did not answer");
        return nullptr;
    }
    sim::wire::Reader r(reply.data(), reply.size());
    std::uint8_t op = r.u8();
    if (op != sim::wire::Opened) {
        std::string reason = op == sim::wire::Failed ? r.str() : "unexpected answer";
        ::close(requests);
        setGlobalError(std::string("Unable to open device ") + path + ": " + reason);
        return nullptr;
    }
    std::uint64_t token = r.u64();
    sim::wire::DeviceRecord rec = r.record();
    int input = connectServer(why);
    Bytes ack;
    if (!r.ok() || input < 0 ||
        !exchange(input, sim::wire::Writer(sim::wire::Input).u64(token).bytes(), ack)) {
        ::close(requests);
        if (input >= 0) ::close(input);
        setGlobalError(std::string("Unable to open device ") + path);
        return nullptr;
    }
    auto* dev = new hid_device_();
    dev->requests = requests;
    dev->input = input;
    dev->info = makeInfo(rec);
    setGlobalError("");
    return dev;
}

STANDIN_EXPORT hid_device* hid_open(unsigned short vendor_id, unsigned short product_id,
                                    const wchar_t* serial_number) {
    hid_device_info* list = hid_enumerate(vendor_id, product_id);
    std::string path;
    for (hid_device_info* d = list; d; d = d->next) {
        if (!serial_number ||
            (d->serial_number && std::wcscmp(serial_number, d->serial_number) == 0)) {
            path = d->path;
            break;
        }
    }
    hid_free_enumeration(list);
    if (path.empty()) {
        setGlobalError("Device with requested VID/PID/(SerialNumber) not found");
        return nullptr;
    }
    return hid_open_path(path.c_str());
}

STANDIN_EXPORT int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
    if (!dev) return -1;
    if (!data || length == 0) {
        dev->setError("nothing to write");
        return -1;
    }
    return dev->request(sim::wire::Writer(sim::wire::Write).raw(data, length).bytes(), nullptr);
}

STANDIN_EXPORT int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length,
                                    int milliseconds) {
    if (!dev) return -1;
    if (dev->gone) return dev->disconnected();
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        int wait = -1;
        if (milliseconds >= 0) {
            auto left = duration_cast<std::chrono::milliseconds>(deadline - steady_clock::now());
            wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        pollfd p{dev->input, POLLIN, 0};
        int n = ::poll(&p, 1, wait);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return dev->disconnected();
        if (n == 0) return 0;
        break;
    }
    thread_local Bytes buffer;
    if (!receivePacket(dev->input, buffer)) return dev->disconnected();
    std::size_t copied = buffer.size() < length ? buffer.size() : length;
    if (copied) std::memcpy(data, buffer.data(), copied);
    return static_cast<int>(copied);
}

STANDIN_EXPORT int hid_read(hid_device* dev, unsigned char* data, size_t length) {
    if (!dev) return -1;
    return hid_read_timeout(dev, data, length, dev->nonblocking ? 0 : -1);
}

STANDIN_EXPORT int hid_set_nonblocking(hid_device* dev, int nonblock) {
    if (!dev) return -1;
    dev->nonblocking = nonblock != 0;
    return 0;
}

STANDIN_EXPORT int hid_send_feature_report(hid_device* dev, const unsigned char* data,
                                           size_t length) {
    if (!dev) return -1;
    if (!data || length == 0) {
        dev->setError("nothing to send");
        return -1;
    }
    return dev->request(sim::wire::Writer(sim::wire::SetFeature).raw(data, length).bytes(),
                        nullptr);
}

namespace {
int getReport(hid_device* dev, std::uint8_t op, unsigned char* data, size_t length) {
    if (!dev) return -1;
    if (!data || length == 0) {
        dev->setError("no buffer given");
        return -1;
    }
    Bytes report;
    int r = dev->request(
        sim::wire::Writer(op)
            .u8(data[0])
            .u32(static_cast<std::uint32_t>(length > 0xFFFFFFFFu ? 0xFFFFFFFFu : length))
            .bytes(),
        &report);
    if (r < 0) return r;
    std::size_t copied = report.size() < length ? report.size() : length;
    if (copied) std::memcpy(data, report.data(), copied);
    return static_cast<int>(copied);
}
}  // namespace

STANDIN_EXPORT int hid_get_feature_report(hid_device* dev, unsigned char* data, size_t length) {
    return getReport(dev, sim::wire::GetFeature, data, length);
}

STANDIN_EXPORT int hid_get_input_report(hid_device* dev, unsigned char* data, size_t length) {
    return getReport(dev, sim::wire::GetInput, data, length);
}

STANDIN_EXPORT void hid_close(hid_device* dev) {
    if (!dev) return;
    ::close(dev->requests);
    ::close(dev->input);
    freeInfo(dev->info);
    delete dev;
}

namespace {
int copyString(hid_device* dev, const wchar_t* s, wchar_t* string, size_t maxlen) {
    if (!dev) return -1;
    if (!string || maxlen == 0) {
        dev->setError("no buffer given");
        return -1;
    }
    if (!s) s = L"";
    std::wcsncpy(string, s, maxlen);
    string[maxlen - 1] = L'\0';
    return 0;
}
}  // namespace

STANDIN_EXPORT int hid_get_manufacturer_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    return copyString(dev, dev ? dev->info->manufacturer_string : nullptr, string, maxlen);
}

STANDIN_EXPORT int hid_get_product_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    return copyString(dev, dev ? dev->info->product_string : nullptr, string, maxlen);
}

STANDIN_EXPORT int hid_get_serial_number_string(hid_device* dev, wchar_t* string, size_t maxlen) {
    return copyString(dev, dev ? dev->info->serial_number : nullptr, string, maxlen);
}

// String descriptor indices as a simulated device lays them out: 1 manufacturer, 2 product,
// 3 serial number.
STANDIN_EXPORT int hid_get_indexed_string(hid_device* dev, int string_index, wchar_t* string,
                                          size_t maxlen) {
    if (!dev) return -1;
    switch (string_index) {
        case 1:
            return hid_get_manufacturer_string(dev, string, maxlen);
        case 2:
            return hid_get_product_string(dev, string, maxlen);
        case 3:
            return hid_get_serial_number_string(dev, string, maxlen);
        default:
            dev->setError("no string descriptor with that index");
            return -1;
    }
}

STANDIN_EXPORT hid_device_info* hid_get_device_info(hid_device* dev) {
    return dev ? dev->info : nullptr;
}

STANDIN_EXPORT const wchar_t* hid_error(hid_device* dev) {
    if (dev) {
        std::lock_guard<std::mutex> g(dev->errorLock);
        return errorCopy(dev->error);
    }
    std::lock_guard<std::mutex> g(globalErrorLock);
    return errorCopy(globalError);
}

STANDIN_EXPORT const hid_api_version* hid_version(void) {
    static const hid_api_version version{HID_API_VERSION_MAJOR, HID_API_VERSION_MINOR,
                                         HID_API_VERSION_PATCH};
    return &version;
}

STANDIN_EXPORT const char* hid_version_str(void) {
    return HID_API_VERSION_STR;
}

// Wrapping an already opened operating-system device is meaningless for simulated devices.
STANDIN_EXPORT hid_device* hid_libusb_wrap_sys_device(intptr_t, int) {
    setGlobalError("wrapping a system device is not available for simulated devices");
    return nullptr;
}
