#pragma once
// The HID gadget of the USB test guest (scripts/usbvm.sh): whether this process runs in that guest,
// and plugging the gadget out of and back into the dummy host controller.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <utility>

namespace usbvm {

constexpr std::uint16_t kVendorId = 0x2F1A;
constexpr std::uint16_t kProductId = 0x2020;
constexpr const wchar_t* kSerialNumber = L"USBVM0001";
constexpr const wchar_t* kProductString = L"Simulated reader";
constexpr const char* kGadgetDevice = "/dev/hidg0";

inline bool inGuest() {
    return std::getenv("USBVM_GUEST") != nullptr;
}

// Writes the gadget's UDC file: the controller name plugs it in, an empty line pulls it out.
inline bool plugGadget(bool in) {
    std::ofstream udc("/sys/kernel/config/usb_gadget/usbvm/UDC");
    udc << (in ? "dummy_udc.0" : "") << '\n';
    udc.flush();
    return static_cast<bool>(udc);
}

// Whether the gadget is bound to its controller (plugged in).
inline bool gadgetBound() {
    std::ifstream udc("/sys/kernel/config/usb_gadget/usbvm/UDC");
    std::string name;
    return static_cast<bool>(udc >> name) && !name.empty();
}

// Whether the host side currently lists a USB device with the gadget's product ID.
inline bool gadgetEnumerated() {
    for (int port = 1; port <= 8; ++port) {
        std::ifstream pid("/sys/bus/usb/devices/1-" + std::to_string(port) + "/idProduct");
        std::string value;
        if (pid >> value && value == "2020") return true;
    }
    return false;
}

// Waits up to timeoutMs until the host side has (or no longer has) the gadget.
inline bool waitEnumerated(bool present, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (gadgetEnumerated() != present) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Puts the gadget back as the guest set it up (identity above, plugged in, enumerated by the host
// and known to the device manager), after tests that changed it. False when that fails.
inline bool restoreGadget() {
    const std::string g = "/sys/kernel/config/usb_gadget/usbvm/";
    if (!gadgetBound()) {
        const std::pair<const char*, const char*> identity[] = {
            {"idVendor", "0x2F1A"},
            {"idProduct", "0x2020"},
            {"bcdDevice", "0x0100"},
            {"strings/0x409/serialnumber", "USBVM0001"},
            {"strings/0x409/product", "Simulated reader"},
            {"strings/0x409/manufacturer", "Test gadget"},
        };
        for (const auto& [file, value] : identity) {
            std::ofstream f(g + file);
            f << value << '\n';
            if (!f.flush()) return false;
        }
        if (!plugGadget(true)) return false;
    }
    if (!waitEnumerated(true, 10000)) return false;
    return std::system("udevadm settle --timeout=20 >/dev/null 2>&1") == 0;
}

}  // namespace usbvm
