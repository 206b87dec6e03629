// The hidapi stand-in driven through hidapi's own C interface, against devices on the bench.
#include <cwchar>
#include <thread>

#include "SimTestSupport.h"

using namespace simtest;

namespace {

class HidStandin : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(loadedHidapi().find("sim/standin"), std::string::npos)
            << "hidapi came from " << loadedHidapi();
        bench.exportHidSocket();
    }
    std::shared_ptr<LoopbackDevice> attach(std::uint16_t pid, const std::string& serial) {
        auto dev = std::make_shared<LoopbackDevice>(identity(pid, serial));
        bench.attachHid(dev);
        return dev;
    }
    sim::Bench bench;
};

std::vector<std::string> listPaths(unsigned short vid, unsigned short pid) {
    std::vector<std::string> out;
    hid_device_info* list = hid_enumerate(vid, pid);
    for (auto* d = list; d; d = d->next) out.push_back(d->path);
    hid_free_enumeration(list);
    return out;
}

}  // namespace

TEST(HidStandinWithoutBench, NothingIsListedAndOpensFail) {
    ::unsetenv("TESSERA_SIM_HID");
    EXPECT_EQ(hid_init(), 0);
    EXPECT_EQ(hid_enumerate(0, 0), nullptr);
    EXPECT_EQ(hid_open_path("0001:0001:00"), nullptr);
    EXPECT_EQ(hid_open(0x2F1A, 0x2020, nullptr), nullptr);
    EXPECT_GT(std::wcslen(hid_error(nullptr)), 0u);
    // A socket path nobody listens on behaves the same.
    ::setenv("TESSERA_SIM_HID", "/nonexistent/sim.sock", 1);
    EXPECT_EQ(hid_enumerate(0, 0), nullptr);
    EXPECT_EQ(hid_open_path("0001:0001:00"), nullptr);
    EXPECT_EQ(hid_exit(), 0);
}

TEST_F(HidStandin, EnumerationListsAttachedDevicesWithTheirStrings) {
    auto a = attach(0x2020, "A1B2C3");
    auto b = attach(0x0011, "");
    hid_device_info* list = hid_enumerate(0, 0);
    ASSERT_NE(list, nullptr);
    ASSERT_NE(list->next, nullptr);
    EXPECT_EQ(list->next->next, nullptr);
    EXPECT_EQ(std::string(list->path), a->path());
    EXPECT_EQ(list->vendor_id, 0x2F1A);
    EXPECT_EQ(list->product_id, 0x2020);
    EXPECT_STREQ(list->serial_number, L"A1B2C3");
    EXPECT_STREQ(list->product_string, L"Test Reader");
    EXPECT_STREQ(list->manufacturer_string, L"Bench");
    EXPECT_EQ(list->bus_type, HID_API_BUS_USB);
    EXPECT_STREQ(list->next->serial_number, L"");
    // libusb-style path: bus:address:interface in hex.
    EXPECT_EQ(a->path().size(), 12u);
    EXPECT_EQ(a->path().substr(0, 5), "0001:");
    hid_free_enumeration(list);

    EXPECT_EQ(listPaths(0x2F1A, 0x0011), std::vector<std::string>{b->path()});
    EXPECT_EQ(listPaths(0x1234, 0), std::vector<std::string>{});
    EXPECT_EQ(listPaths(0, 0x2020), std::vector<std::string>{a->path()});

    // Unplugged devices leave the list; plugged in again they get a new address.
    std::string old = a->path();
    a->unplug();
    EXPECT_FALSE(a->attached());
    EXPECT_EQ(listPaths(0, 0), std::vector<std::string>{b->path()});
    std::string again = bench.attachHid(a);
    EXPECT_NE(again, old);
    EXPECT_EQ(listPaths(0, 0x2020), std::vector<std::string>{again});
}

TEST_F(HidStandin, NonAsciiStringsArriveAsWideCharacters) {
    auto id = identity(0x2020, "SN\xC3\xA9\xE2\x82\xAC");  // "SNé€"
    auto dev = std::make_shared<LoopbackDevice>(id);
    bench.attachHid(dev);
    hid_device_info* list = hid_enumerate(0, 0);
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list->serial_number, L"SN\u00E9\u20AC");
    hid_free_enumeration(list);
}

TEST_F(HidStandin, WriteReachesTheDeviceAndInputComesBack) {
    auto dev = attach(0x2020, "S1");
    hid_device* h = hid_open_path(dev->path().c_str());
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(dev->waitOpened(1s));

    unsigned char out[65] = {0x00, 0x00, 0x03, 0xAA, 0xBB, 0xCC};
    EXPECT_EQ(hid_write(h, out, sizeof out), 65);
    auto written = dev->hostLog().of(sim::HostLog::Kind::OutputReport);
    ASSERT_EQ(written.size(), 1u);  // hid_write returns after the device took the report
    EXPECT_EQ(written[0], Bytes(out, out + 65));

    Bytes in = readReport(h);
    EXPECT_EQ(in, Bytes(out + 1, out + 65));

    // A short buffer gets the first bytes of the report, as hidapi does.
    ASSERT_EQ(hid_write(h, out, sizeof out), 65);
    unsigned char small[4];
    EXPECT_EQ(hid_read_timeout(h, small, sizeof small, 2000), 4);
    EXPECT_EQ(Bytes(small, small + 4), Bytes(out + 1, out + 5));
    hid_close(h);
    EXPECT_TRUE(dev->waitClosed(1s));
}

TEST_F(HidStandin, ReadsHonourTimeoutsAndNonBlockingMode) {
    auto dev = attach(0x2020, "S1");
    hid_device* h = hid_open_path(dev->path().c_str());
    ASSERT_NE(h, nullptr);
    unsigned char buf[64];
    EXPECT_EQ(hid_read_timeout(h, buf, sizeof buf, 20), 0);
    EXPECT_EQ(hid_set_nonblocking(h, 1), 0);
    EXPECT_EQ(hid_read(h, buf, sizeof buf), 0);

    // Blocking mode waits for the report.
    EXPECT_EQ(hid_set_nonblocking(h, 0), 0);
    std::thread pusher([&] {
        std::this_thread::sleep_for(50ms);
        dev->pushInput({1, 2, 3});
    });
    EXPECT_EQ(hid_read(h, buf, sizeof buf), 3);
    pusher.join();
    hid_close(h);
}

TEST_F(HidStandin, InputBeforeOpenIsLost) {
    auto dev = attach(0x2020, "S1");
    EXPECT_FALSE(dev->pushInput({9, 9}));
    hid_device* h = hid_open_path(dev->path().c_str());
    ASSERT_NE(h, nullptr);
    unsigned char buf[8];
    EXPECT_EQ(hid_read_timeout(h, buf, sizeof buf, 50), 0);
    hid_close(h);
}

TEST_F(HidStandin, FeatureReportsCarryTheReportIdInByteZero) {
    auto dev = attach(0x0011, "F1");
    hid_device* h = hid_open_path(dev->path().c_str());
    ASSERT_NE(h, nullptr);
    unsigned char set[8] = {0x01, 0x10, 0x20, 0x30};
    EXPECT_EQ(hid_send_feature_report(h, set, sizeof set), 8);
    unsigned char get[61] = {0x01};
    EXPECT_EQ(hid_get_feature_report(h, get, sizeof get), 8);
    EXPECT_EQ(Bytes(get, get + 8), Bytes(set, set + 8));
    // The device refuses or does not know: -1 with an error text, the handle stays usable.
    unsigned char refused[2] = {0xEE, 0};
    EXPECT_EQ(hid_send_feature_report(h, refused, sizeof refused), -1);
    EXPECT_GT(std::wcslen(hid_error(h)), 0u);
    unsigned char unknown[61] = {0x07};
    EXPECT_EQ(hid_get_feature_report(h, unknown, sizeof unknown), -1);
    EXPECT_EQ(hid_get_feature_report(h, get, sizeof get), 8);
    // A buffer shorter than the report is filled up to its size.
    unsigned char shortBuf[3] = {0x01};
    EXPECT_EQ(hid_get_feature_report(h, shortBuf, sizeof shortBuf), 3);
    EXPECT_EQ(Bytes(shortBuf, shortBuf + 3), Bytes(set, set + 3));
    auto log = dev->hostLog().entries();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0].kind, sim::HostLog::Kind::SetFeature);
    EXPECT_EQ(log[1].kind, sim::HostLog::Kind::GetFeature);
    EXPECT_EQ(log[1].data, Bytes{0x01});
    // No input-report handler: hid_get_input_report fails.
    unsigned char input[8] = {0};
    EXPECT_EQ(hid_get_input_report(h, input, sizeof input), -1);
    hid_close(h);
}

TEST_F(HidStandin, StringGettersAndDeviceInfo) {
    auto dev = attach(0x2024, "SERIAL-123456");
    hid_device* h = hid_open(0x2F1A, 0x2024, L"SERIAL-123456");
    ASSERT_NE(h, nullptr);
    wchar_t s[64];
    EXPECT_EQ(hid_get_serial_number_string(h, s, 64), 0);
    EXPECT_STREQ(s, L"SERIAL-123456");
    EXPECT_EQ(hid_get_product_string(h, s, 64), 0);
    EXPECT_STREQ(s, L"Test Reader");
    EXPECT_EQ(hid_get_manufacturer_string(h, s, 64), 0);
    EXPECT_STREQ(s, L"Bench");
    wchar_t tiny[4];
    EXPECT_EQ(hid_get_serial_number_string(h, tiny, 4), 0);
    EXPECT_STREQ(tiny, L"SER");  // truncated and terminated
    EXPECT_EQ(hid_get_indexed_string(h, 3, s, 64), 0);
    EXPECT_STREQ(s, L"SERIAL-123456");
    EXPECT_EQ(hid_get_indexed_string(h, 9, s, 64), -1);
    hid_device_info* info = hid_get_device_info(h);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->product_id, 0x2024);
    EXPECT_EQ(std::string(info->path), dev->path());
    hid_close(h);
    EXPECT_EQ(hid_open(0x2F1A, 0x2024, L"OTHER"), nullptr);
    EXPECT_EQ(hid_version()->major, HID_API_VERSION_MAJOR);
    EXPECT_STREQ(hid_version_str(), HID_API_VERSION_STR);
}

TEST_F(HidStandin, ADeviceIsOpenedByOneHandleAtATime) {
    auto dev = attach(0x2020, "S1");
    hid_device* first = hid_open_path(dev->path().c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(hid_open_path(dev->path().c_str()), nullptr);
    EXPECT_EQ(hid_open_path("0001:00ff:00"), nullptr);
    hid_close(first);
    ASSERT_TRUE(dev->waitClosed(1s));
    hid_device* second = hid_open_path(dev->path().c_str());
    ASSERT_NE(second, nullptr);
    hid_close(second);
    ASSERT_TRUE(dev->waitClosed(1s));
    EXPECT_EQ(dev->opened.load(), 2);
    EXPECT_EQ(dev->closed.load(), 2);
}

TEST_F(HidStandin, UnplugFailsAWaitingReadAndEveryLaterCall) {
    auto dev = attach(0x2020, "S1");
    hid_device* h = hid_open_path(dev->path().c_str());
    ASSERT_NE(h, nullptr);
    std::thread unplugger([&] {
        std::this_thread::sleep_for(50ms);
        dev->unplug();
    });
    unsigned char buf[64];
    EXPECT_EQ(hid_read(h, buf, sizeof buf), -1);  // blocking read wakes up with an error
    unplugger.join();
    unsigned char out[65] = {0};
    EXPECT_EQ(hid_write(h, out, sizeof out), -1);
    EXPECT_EQ(hid_read_timeout(h, buf, sizeof buf, 0), -1);
    EXPECT_EQ(hid_send_feature_report(h, out, 8), -1);
    EXPECT_GT(std::wcslen(hid_error(h)), 0u);
    EXPECT_EQ(dev->closed.load(), 1);
    hid_close(h);
    EXPECT_EQ(hid_enumerate(0, 0), nullptr);
}

TEST_F(HidStandin, BenchShutdownLooksLikeUnplug) {
    hid_device* h;
    {
        sim::Bench local;
        auto dev = std::make_shared<LoopbackDevice>(identity(0x2020, "X"));
        ::setenv("TESSERA_SIM_HID", local.hid().socketPath().c_str(), 1);
        local.attachHid(dev);
        h = hid_open_path(dev->path().c_str());
        ASSERT_NE(h, nullptr);
    }
    unsigned char buf[8];
    EXPECT_EQ(hid_read_timeout(h, buf, sizeof buf, 1000), -1);
    hid_close(h);
}

// One thread reads while another writes, as a reader library's reading thread and its callers do.
TEST_F(HidStandin, ConcurrentReadAndWriteKeepEveryReportInOrder) {
    auto dev = attach(0x2020, "S1");
    hid_device* h = hid_open_path(dev->path().c_str());
    ASSERT_NE(h, nullptr);
    constexpr int kReports = 300;
    std::vector<int> seen;
    std::thread reader([&] {
        while (static_cast<int>(seen.size()) < kReports) {
            Bytes r = readReport(h, 5000);
            if (r.empty()) break;
            seen.push_back(r[0] << 8 | r[1]);
        }
    });
    for (int i = 0; i < kReports; ++i) {
        unsigned char out[65] = {0, static_cast<unsigned char>(i >> 8),
                                 static_cast<unsigned char>(i & 0xFF)};
        ASSERT_EQ(hid_write(h, out, sizeof out), 65);
    }
    reader.join();
    ASSERT_EQ(static_cast<int>(seen.size()), kReports);
    for (int i = 0; i < kReports; ++i) EXPECT_EQ(seen[i], i);
    hid_close(h);
}

// Faults on what the device sends, seen through hid_read.
struct FaultCase {
    const char* name;
    std::function<void(sim::FaultInjector&)> arm;
    std::vector<int> expected;  // first byte of each report read, in order
};

class HidFaults : public HidStandin, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(HidFaults, ShapeTheReportsTheHostReads) {
    auto dev = attach(0x2020, "S1");
    hid_device* h = hid_open_path(dev->path().c_str());
    ASSERT_NE(h, nullptr);
    GetParam().arm(dev->faults());
    for (std::uint8_t i = 1; i <= 4; ++i) ASSERT_TRUE(dev->pushInput({i, 0x55}));
    std::vector<int> got;
    for (;;) {
        Bytes r = readReport(h, 300);
        if (r.empty()) break;
        got.push_back(r[0]);
        if (r.size() > 1 && r[1] != 0x55) got.back() += 1000;  // marks a corrupted report
    }
    EXPECT_EQ(got, GetParam().expected);
    hid_close(h);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HidFaults,
    ::testing::Values(
        FaultCase{"none", [](sim::FaultInjector&) {}, {1, 2, 3, 4}},
        FaultCase{"drop", [](sim::FaultInjector& f) { f.dropNext(2); }, {3, 4}},
        FaultCase{"duplicate", [](sim::FaultInjector& f) { f.duplicateNext(); }, {1, 1, 2, 3, 4}},
        FaultCase{"swap", [](sim::FaultInjector& f) { f.swapNextTwo(); }, {2, 1, 3, 4}},
        FaultCase{
            "corrupt", [](sim::FaultInjector& f) { f.corruptNext(1, 0x0F); }, {1001, 2, 3, 4}},
        FaultCase{"in order",
                  [](sim::FaultInjector& f) {
                      f.dropNext();
                      f.corruptNext(1);
                  },
                  {1002, 3, 4}},
        FaultCase{"garbage",
                  [](sim::FaultInjector& f) { f.garbageBeforeNext({0x99}); },
                  {0x99, 1, 2, 3, 4}},
        FaultCase{"late answer keeps order",
                  [](sim::FaultInjector& f) { f.delayNext(100ms); },
                  {1, 2, 3, 4}},
        FaultCase{"silent", [](sim::FaultInjector& f) { f.setSilent(true); }, {}}),
    [](const ::testing::TestParamInfo<FaultCase>& info) {
        std::string n = info.param.name;
        for (auto& c : n)
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        return n;
    });

TEST_F(HidStandin, UnplugAfterSomeReportsCutsAMessageShort) {
    auto dev = attach(0x2020, "S1");
    hid_device* h = hid_open_path(dev->path().c_str());
    ASSERT_NE(h, nullptr);
    dev->faults().unplugAfter(2);
    ASSERT_TRUE(dev->pushInput({1}));
    ASSERT_TRUE(dev->pushInput({2}));
    dev->pushInput({3});  // refused or lost: the device is going away
    EXPECT_EQ(readReport(h), Bytes{1});
    EXPECT_EQ(readReport(h), Bytes{2});
    unsigned char buf[8];
    EXPECT_EQ(hid_read_timeout(h, buf, sizeof buf, 2000), -1);
    EXPECT_FALSE(dev->attached());
    hid_close(h);
}

TEST_F(HidStandin, DelayedReportArrivesLate) {
    auto dev = attach(0x2020, "S1");
    hid_device* h = hid_open_path(dev->path().c_str());
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(dev->pushInput({7}, 300ms));
    unsigned char buf[8];
    EXPECT_EQ(hid_read_timeout(h, buf, sizeof buf, 50), 0);  // not there yet
    EXPECT_EQ(readReport(h, 5000), Bytes{7});
    hid_close(h);
}
