// Round trips per second of ORBX_SendAndReceiveMessage against the simulated message-schema
// reader: over the USB stand-in (run with the stand-in's folder first on LD_LIBRARY_PATH) and over
// loopback TCP (and the serial pseudo-terminal, for comparison).
//
//   LD_LIBRARY_PATH=build/sim/standin build/bin/orbapi_roundtrip [ROUND_TRIPS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "orbx.h"
#include "sim/Bench.h"
#include "sim/orb/OrbLinks.h"

namespace {

// Measures `count` exchanges of a small command on an open device; returns round trips per
// second, or a negative value when an exchange failed.
double measure(void* device, int count) {
    std::string command = ORBX_GetFormattedCommandBytesInHex("1F01,81=01");
    for (int i = 0; i < 50; ++i)
        ORBX_SendAndReceiveMessage(device, command.c_str(), 1000);  // warm-up
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        const char* response = ORBX_SendAndReceiveMessage(device, command.c_str(), 1000);
        if (response == nullptr || *response == '\0') return -1;
    }
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return count / took.count();
}

void run(const char* name, sim::orb::OrbReader& reader, ORBX_DEVICE_CONNECTION_TYPE type,
         const std::string& path, int count) {
    reader.onCommand(0x1F01, [](const sim::orb::Message&) {
        return std::optional<sim::orb::Reply>(sim::orb::Reply{});
    });
    void* device = ORBX_OpenDevice(type, path.c_str());
    if (device == reinterpret_cast<void*>(-1)) {
        std::printf("%-8s could not open %s (for USB, is the stand-in on LD_LIBRARY_PATH?)\n", name,
                    path.c_str());
        return;
    }
    double rate = measure(device, count);
    ORBX_CloseDevice(device);
    if (rate < 0) {
        std::printf("%-8s an exchange failed\n", name);
    } else {
        std::printf("%-8s %8.0f round trips/s  (%.1f us each, %d round trips)\n", name, rate,
                    1e6 / rate, count);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int count = argc > 1 ? std::atoi(argv[1]) : 5000;
    sim::Bench bench;
    bench.exportHidSocket();

    auto usb = std::make_shared<sim::orb::HidOrbReader>();
    std::string usbPath = bench.attachHid(usb);
    run("USB", usb->reader(), USB, usbPath, count);

    auto tcp = std::make_shared<sim::orb::TcpOrbReader>();
    std::string tcpPath = bench.serveTcp(tcp).address();
    run("TCP", tcp->reader(), TCP, tcpPath, count);

    auto serial = std::make_shared<sim::orb::SerialOrbReader>();
    std::string serialPath = "PORT=" + bench.servePty(serial).slavePath() + ",BAUDRATE=115200";
    run("serial", serial->reader(), SERIAL, serialPath, count);
    return 0;
}
