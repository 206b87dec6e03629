// The real USB path under the libraries: hidapi's libusb back end, libusb and the kernel's USB
// stack, talking to the HID gadget of the test guest. These tests pin down what the libraries rely
// on (enumeration fields, report sizes, order, unplug errors) and run only inside the guest.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <hidapi/hidapi.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "GuestGadget.h"
#include "HidGadgetPort.h"

namespace {
using Bytes = std::vector<unsigned char>;

// Device side that sends every output report straight back as an input report.
class EchoDevice {
  public:
    EchoDevice() : thread_([this] { run(); }) {}
    ~EchoDevice() {
        port_.stop();
        thread_.join();
    }
    HidGadgetPort& port() { return port_; }
    int echoed() const { return echoed_; }

  private:
    void run() {
        while (auto report = port_.readReport(-1)) {
            if (!port_.writeReport(*report, 5000)) break;
            ++echoed_;
        }
    }
    HidGadgetPort port_;
    std::atomic<int> echoed_{0};
    std::thread thread_;
};

// Reads one non-empty input report. A zero-length read is the short packet that closes a
// full-size report on the wire; it carries no data and is skipped.
int readReport(hid_device* dev, Bytes& out, int timeoutMs, int* emptyReads = nullptr) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    out.assign(512, 0);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) return 0;
        const int n = hid_read_timeout(dev, out.data(), out.size(), static_cast<int>(left));
        if (n > 0) {
            out.resize(static_cast<size_t>(n));
            return n;
        }
        if (n < 0) return n;
        if (emptyReads) ++*emptyReads;
    }
}

std::string firstGadgetPath() {
    std::string path;
    hid_device_info* list = hid_enumerate(usbvm::kVendorId, usbvm::kProductId);
    if (list && list->path) path = list->path;
    hid_free_enumeration(list);
    return path;
}

class RealHidStack : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!usbvm::inGuest()) GTEST_SKIP() << "runs inside the USB test guest (scripts/usbvm.sh)";
        ASSERT_TRUE(usbvm::restoreGadget());
        ASSERT_EQ(hid_init(), 0);
    }
    void TearDown() override {
        if (dev_) hid_close(dev_);
    }
    void openGadget() {  // (through ASSERT_NO_FATAL_FAILURE)
        const std::string path = firstGadgetPath();
        ASSERT_FALSE(path.empty()) << "the gadget is not listed";
        dev_ = hid_open_path(path.c_str());
        ASSERT_NE(dev_, nullptr) << "hid_open_path(" << path << ")";
    }
    // Writes one output report: report number 0 and 64 data bytes, as the libraries do.
    void writeReport(const Bytes& data) {
        Bytes report(65, 0);
        std::copy(data.begin(), data.end(), report.begin() + 1);
        ASSERT_EQ(hid_write(dev_, report.data(), report.size()), 65);
    }
    hid_device* dev_ = nullptr;
};

TEST_F(RealHidStack, TheLibraryInUseIsTheRealLibusbBackEnd) {
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&hid_open_path), &info), 0);
    const std::string file = info.dli_fname ? info.dli_fname : "";
    EXPECT_NE(file.find("libhidapi-libusb.so"), std::string::npos) << file;
    EXPECT_TRUE(file.rfind("/usr/lib/", 0) == 0 || file.rfind("/lib/", 0) == 0) << file;
}

TEST_F(RealHidStack, EnumerationListsTheGadgetWithItsIdsAndStrings) {
    hid_device_info* list = hid_enumerate(usbvm::kVendorId, 0);
    int found = 0;
    for (hid_device_info* d = list; d; d = d->next) {
        ++found;
        EXPECT_EQ(d->vendor_id, usbvm::kVendorId);
        EXPECT_EQ(d->product_id, usbvm::kProductId);
        ASSERT_NE(d->serial_number, nullptr);
        EXPECT_STREQ(d->serial_number, usbvm::kSerialNumber);
        ASSERT_NE(d->product_string, nullptr);
        EXPECT_STREQ(d->product_string, usbvm::kProductString);
        ASSERT_NE(d->path, nullptr);
        EXPECT_GT(std::strlen(d->path), 0u);
        EXPECT_EQ(d->interface_number, 0);
    }
    hid_free_enumeration(list);
    EXPECT_EQ(found, 1);
    // Another vendor finds nothing.
    list = hid_enumerate(0x2F1B, 0);
    EXPECT_EQ(list, nullptr);
    hid_free_enumeration(list);
}

TEST_F(RealHidStack, ReportsMakeTheRoundTripUnchanged) {
    EchoDevice device;
    ASSERT_TRUE(device.port().isOpen()) << device.port().error();
    ASSERT_NO_FATAL_FAILURE(openGadget());
    Bytes counting(64), ones(64, 0xFF), lead(64, 0);
    for (int i = 0; i < 64; ++i) counting[i] = static_cast<unsigned char>(i);
    lead[0] = 0x01;
    lead[63] = 0x80;
    for (const Bytes& data : {Bytes(64, 0x00), counting, ones, lead}) {
        ASSERT_NO_FATAL_FAILURE(writeReport(data));
        Bytes in;
        ASSERT_EQ(readReport(dev_, in, 5000), 64);
        EXPECT_EQ(in, data);
    }
}

TEST_F(RealHidStack, TheDeviceReceivesWhatTheHostWroteWithoutTheReportNumber) {
    HidGadgetPort port;
    ASSERT_TRUE(port.isOpen()) << port.error();
    ASSERT_NO_FATAL_FAILURE(openGadget());
    // A short write: report number 0 and three bytes. The device sees just those bytes.
    const unsigned char shortReport[] = {0x00, 0xA1, 0xB2, 0xC3};
    ASSERT_EQ(hid_write(dev_, shortReport, sizeof shortReport), 4);
    auto got = port.readReport(5000);
    ASSERT_TRUE(got) << port.error();
    EXPECT_EQ(*got, (Bytes{0xA1, 0xB2, 0xC3}));
    // A full write arrives as 64 bytes.
    Bytes data(64, 0x5A);
    ASSERT_NO_FATAL_FAILURE(writeReport(data));
    got = port.readReport(5000);
    ASSERT_TRUE(got) << port.error();
    EXPECT_EQ(*got, data);
}

TEST_F(RealHidStack, InputReportsArriveInOrderWhenReadPromptly) {
    HidGadgetPort port;
    ASSERT_TRUE(port.isOpen()) << port.error();
    ASSERT_NO_FATAL_FAILURE(openGadget());
    constexpr int kCount = 40;
    std::thread sender([&] {
        for (int i = 0; i < kCount; ++i) {
            Bytes r(64, static_cast<unsigned char>(i));
            if (!port.writeReport(r, 5000)) return;
        }
    });
    int emptyReads = 0;
    for (int i = 0; i < kCount; ++i) {
        Bytes in;
        ASSERT_EQ(readReport(dev_, in, 5000, &emptyReads), 64) << "report " << i;
        EXPECT_EQ(in, Bytes(64, static_cast<unsigned char>(i)));
    }
    sender.join();
    RecordProperty("empty_reads", emptyReads);
    std::printf("zero-length reads between %d full reports: %d\n", kCount, emptyReads);
}

TEST_F(RealHidStack, NonBlockingReadWithNothingPendingReturnsZero) {
    HidGadgetPort port;
    ASSERT_NO_FATAL_FAILURE(openGadget());
    ASSERT_EQ(hid_set_nonblocking(dev_, 1), 0);
    unsigned char buf[65];
    EXPECT_EQ(hid_read(dev_, buf, sizeof buf), 0);
}

TEST_F(RealHidStack, UnpluggingFailsReadsAndPluggingInListsTheDeviceAgain) {
    // The gadget's node exists only while it is plugged in: each device side lives in between.
    auto device = std::make_unique<EchoDevice>();
    ASSERT_NO_FATAL_FAILURE(openGadget());
    device.reset();
    ASSERT_TRUE(usbvm::plugGadget(false));
    unsigned char buf[65];
    int n = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((n = hid_read_timeout(dev_, buf, sizeof buf, 100)) >= 0 &&
           std::chrono::steady_clock::now() < end) {
    }
    EXPECT_LT(n, 0) << "reads go on succeeding after the device was pulled out";
    // The list follows once the device manager has passed the removal on.
    bool listed = true;
    for (int i = 0; i < 250 && listed; ++i) {
        listed = !firstGadgetPath().empty();
        if (listed) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_FALSE(listed) << "the pulled-out device stays listed";
    hid_close(dev_);
    dev_ = nullptr;

    ASSERT_TRUE(usbvm::plugGadget(true));
    ASSERT_TRUE(usbvm::waitEnumerated(true, 5000));
    device = std::make_unique<EchoDevice>();
    ASSERT_TRUE(device->port().isOpen()) << device->port().error();
    std::string path;
    for (int i = 0; i < 100 && path.empty(); ++i) {
        path = firstGadgetPath();
        if (path.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_FALSE(path.empty());
    dev_ = hid_open_path(path.c_str());
    ASSERT_NE(dev_, nullptr);
    Bytes data(64, 0x3C);
    ASSERT_NO_FATAL_FAILURE(writeReport(data));
    Bytes in;
    ASSERT_EQ(readReport(dev_, in, 5000), 64) << "the device side no longer echoes";
    EXPECT_EQ(in, data);
}

// Round trips in sequence; every answer must be the one for its own request. Prints the rate.
TEST_F(RealHidStack, ManyRoundTripsStayPaired) {
    EchoDevice device;
    ASSERT_NO_FATAL_FAILURE(openGadget());
    constexpr int kTrips = 1000;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kTrips; ++i) {
        Bytes data(64, 0);
        data[0] = static_cast<unsigned char>(i >> 8);
        data[1] = static_cast<unsigned char>(i);
        ASSERT_NO_FATAL_FAILURE(writeReport(data));
        Bytes in;
        ASSERT_EQ(readReport(dev_, in, 5000), 64) << "trip " << i;
        ASSERT_EQ(in, data) << "trip " << i;
    }
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    RecordProperty("round_trips_per_second", static_cast<int>(kTrips / s));
    std::printf("raw hid_write/hid_read round trips: %d in %.2f s = %.0f/s\n", kTrips, s,
                kTrips / s);
}

}  // namespace
