// The bench's USB gadget transport: a simulated HID device served through the gadget of the test
// guest and reached by the host through the real hidapi, libusb and kernel USB stack.
#include <gtest/gtest.h>
#include <hidapi/hidapi.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "GuestGadget.h"
#include "sim/Bench.h"

namespace {
using sim::Bytes;
using sim::Millis;

// Answers every output report with the same bytes as an input report.
class EchoReader : public sim::HidDevice {
  public:
    explicit EchoReader(std::string serial)
        : HidDevice({0x2F1A, 0x2023, std::move(serial), "Echo reader", "Bench maker", 0x0215}) {}

  protected:
    void onOutputReport(const Bytes& report) override {
        pushInput(Bytes(report.begin() + 1, report.end()));
    }
};

struct Listed {
    std::string path;
    unsigned short product = 0;
    unsigned short release = 0;
    std::wstring serial, productString, manufacturer;
};

std::vector<Listed> listed() {
    std::vector<Listed> out;
    hid_device_info* list = hid_enumerate(0x2F1A, 0);
    for (hid_device_info* d = list; d; d = d->next) {
        out.push_back({d->path ? d->path : "", d->product_id, d->release_number,
                       d->serial_number ? d->serial_number : L"",
                       d->product_string ? d->product_string : L"",
                       d->manufacturer_string ? d->manufacturer_string : L""});
    }
    hid_free_enumeration(list);
    return out;
}

int readSome(hid_device* dev, Bytes& out, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    out.assign(65, 0);
    while (std::chrono::steady_clock::now() < end) {
        int n = hid_read_timeout(dev, out.data(), out.size(), 100);
        if (n > 0) {
            out.resize(static_cast<std::size_t>(n));
            return n;
        }
        if (n < 0) return n;
    }
    return 0;
}

class GadgetBench : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!usbvm::inGuest()) GTEST_SKIP() << "runs inside the USB test guest (scripts/usbvm.sh)";
        ::setenv("SIM_HID_GADGET", "1", 1);
        ASSERT_TRUE(sim::HidGadget::requested());
        ASSERT_EQ(hid_init(), 0);
    }
    void TearDown() override {
        if (dev_) hid_close(dev_);
        ::unsetenv("SIM_HID_GADGET");
    }
    hid_device* dev_ = nullptr;
};

TEST_F(GadgetBench, NothingIsListedUntilADeviceIsAttached) {
    sim::Bench bench;
    ASSERT_TRUE(usbvm::waitEnumerated(false, 5000));
    for (int i = 0; i < 100 && !listed().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(listed().empty());
}

TEST_F(GadgetBench, AttachedDeviceIsListedAsTheModelDescribesIt) {
    sim::Bench bench;
    auto reader = std::make_shared<EchoReader>("GB-0001");
    const std::string path = bench.attachHid(reader);
    auto list = listed();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].path, path);
    EXPECT_EQ(list[0].product, 0x2023);
    EXPECT_EQ(list[0].release, 0x0215);
    EXPECT_EQ(list[0].serial, L"GB-0001");
    EXPECT_EQ(list[0].productString, L"Echo reader");
    EXPECT_EQ(list[0].manufacturer, L"Bench maker");
    EXPECT_TRUE(reader->attached());
    EXPECT_EQ(reader->path(), path);
}

TEST_F(GadgetBench, SeveralDevicesAtOnceEachOnItsOwnBus) {
    sim::Bench bench;
    std::vector<std::shared_ptr<EchoReader>> readers;
    std::vector<std::string> paths;
    for (const char* serial : {"GB-A", "GB-B", "GB-C", "GB-D"}) {
        readers.push_back(std::make_shared<EchoReader>(serial));
        paths.push_back(bench.attachHid(readers.back()));
    }
    EXPECT_THROW(bench.attachHid(std::make_shared<EchoReader>("GB-X")), std::runtime_error);
    auto list = listed();
    ASSERT_EQ(list.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(paths[i]);
        int matches = 0;
        for (const auto& l : list) {
            if (l.path != paths[i]) continue;
            ++matches;
            EXPECT_EQ(l.serial, std::wstring(L"GB-") + static_cast<wchar_t>(L'A' + i));
        }
        EXPECT_EQ(matches, 1);
    }
    // Each device answers on its own handle.
    for (std::size_t i = 0; i < 4; ++i) {
        hid_device* dev = hid_open_path(paths[i].c_str());
        ASSERT_NE(dev, nullptr);
        Bytes report(65, static_cast<std::uint8_t>(0xA0 + i));
        report[0] = 0;
        EXPECT_EQ(hid_write(dev, report.data(), report.size()), 65);
        Bytes in;
        EXPECT_EQ(readSome(dev, in, 5000), 64);
        EXPECT_EQ(in, Bytes(64, static_cast<std::uint8_t>(0xA0 + i)));
        hid_close(dev);
    }
    // A freed gadget takes the next device.
    readers[1]->unplug();
    EXPECT_NO_THROW(bench.attachHid(std::make_shared<EchoReader>("GB-E")));
}

TEST_F(GadgetBench, ReportsTravelBothWaysAndAreLogged) {
    sim::Bench bench;
    auto reader = std::make_shared<EchoReader>("GB-0002");
    dev_ = hid_open_path(bench.attachHid(reader).c_str());
    ASSERT_NE(dev_, nullptr);
    Bytes report(65, 0);
    for (int i = 1; i < 65; ++i) report[i] = static_cast<std::uint8_t>(i * 3);
    ASSERT_EQ(hid_write(dev_, report.data(), report.size()), 65);
    Bytes in;
    ASSERT_EQ(readSome(dev_, in, 5000), 64);
    EXPECT_EQ(in, Bytes(report.begin() + 1, report.end()));
    // The model saw what hid_write was given: report number 0 and the 64 bytes.
    auto log = reader->hostLog().of(sim::HostLog::Kind::OutputReport);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], report);
}

TEST_F(GadgetBench, FaultsApplyToWhatTheDeviceSends) {
    sim::Bench bench;
    auto reader = std::make_shared<EchoReader>("GB-0003");
    dev_ = hid_open_path(bench.attachHid(reader).c_str());
    ASSERT_NE(dev_, nullptr);
    reader->faults().dropNext(1);
    reader->faults().corruptNext(0, 0x0F);
    for (std::uint8_t n : {0x10, 0x20, 0x30}) ASSERT_TRUE(reader->pushInput(Bytes(64, n)));
    Bytes in;
    ASSERT_EQ(readSome(dev_, in, 5000), 64);
    EXPECT_EQ(in[0], 0x2F);  // the first was dropped, the second corrupted
    EXPECT_EQ(in[1], 0x20);
    ASSERT_EQ(readSome(dev_, in, 5000), 64);
    EXPECT_EQ(in, Bytes(64, 0x30));
    // Late reports keep their order.
    reader->faults().delayNext(Millis(300));
    ASSERT_TRUE(reader->pushInput(Bytes(64, 0x41)));
    ASSERT_TRUE(reader->pushInput(Bytes(64, 0x42)));
    ASSERT_EQ(readSome(dev_, in, 5000), 64);
    EXPECT_EQ(in[0], 0x41);
    ASSERT_EQ(readSome(dev_, in, 5000), 64);
    EXPECT_EQ(in[0], 0x42);
}

TEST_F(GadgetBench, UnplugFailsTheHostAndAttachingAgainPlugsBackIn) {
    sim::Bench bench;
    auto reader = std::make_shared<EchoReader>("GB-0004");
    const std::string first = bench.attachHid(reader);
    dev_ = hid_open_path(first.c_str());
    ASSERT_NE(dev_, nullptr);
    reader->unplug();
    EXPECT_FALSE(reader->attached());
    EXPECT_FALSE(reader->pushInput(Bytes(64, 1)));
    Bytes in;
    EXPECT_LT(readSome(dev_, in, 5000), 0);
    hid_close(dev_);
    dev_ = nullptr;

    const std::string second = bench.attachHid(reader);
    dev_ = hid_open_path(second.c_str());
    ASSERT_NE(dev_, nullptr);
    Bytes report(65, 0x77);
    report[0] = 0;
    ASSERT_EQ(hid_write(dev_, report.data(), report.size()), 65);
    ASSERT_EQ(readSome(dev_, in, 5000), 64);
    EXPECT_EQ(in, Bytes(64, 0x77));
}

TEST_F(GadgetBench, UnplugAfterArmedAsAFaultPullsTheDeviceOut) {
    sim::Bench bench;
    auto reader = std::make_shared<EchoReader>("GB-0005");
    dev_ = hid_open_path(bench.attachHid(reader).c_str());
    ASSERT_NE(dev_, nullptr);
    reader->faults().unplugAfter(1);
    ASSERT_TRUE(reader->pushInput(Bytes(64, 0x99)));
    Bytes in;
    int n = readSome(dev_, in, 5000);
    // The last report may or may not make it before the bus goes; the reads fail after it.
    if (n > 0) {
        EXPECT_EQ(in, Bytes(64, 0x99));
        n = readSome(dev_, in, 5000);
    }
    EXPECT_LT(n, 0);
    EXPECT_FALSE(reader->attached());
}

}  // namespace
