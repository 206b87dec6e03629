// Swipe readers on USB HID, through the hidapi stand-in and the simulated readers: enumeration
// and naming, opening by serial-number prefix or path, the command transaction, card swipes and
// notifications through the engine, unplugging and closing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ErrorCodes.h"
#include "HIDConnection.h"
#include "SwipeCard.h"
#include "SwipeHidDevice.h"
#include "engine_fixture.h"
#include "sim/Bench.h"

namespace {

using namespace std::chrono_literals;
using sim::swipe::SwipeHidDevice;

// A HID device of the readers' vendor that is not one of the listed reader models, or of
// another vendor altogether.
class OtherHidDevice : public sim::HidDevice {
  public:
    OtherHidDevice(uint16_t vendor, uint16_t product)
        : sim::HidDevice(sim::HidIdentity{vendor, product, "OTHER0001", "Other", "Other"}) {}
};

struct Listed {
    std::string name;
    int size;
    unsigned productId;
    std::string serial, prefix, path;
};

std::vector<Listed> listReaders() {
    std::vector<Listed> out;
    HIDConnection::enumerate([&](const char* name, DeviceExtraInfo* info) {
        out.push_back(
            {name, info->size, info->InfoId, info->SerialNumber, info->TypePrefix, info->Path});
        return true;
    });
    return out;
}

class HidReaders : public ::testing::Test {
  protected:
    void SetUp() override { bench.exportHidSocket(); }

    std::shared_ptr<SwipeHidDevice> attach(uint16_t pid, const std::string& serial,
                                           std::string* path = nullptr) {
        auto d = std::make_shared<SwipeHidDevice>(pid, serial);
        std::string p = bench.attachHid(d);
        if (path != nullptr) *path = p;
        return d;
    }

    sim::Bench bench;
};

TEST_F(HidReaders, EnumerationListsOnlyTheReaderModels) {
    std::string noSerialPath;
    attach(0x0019, "B1000000000000A1");
    bench.attachHid(std::make_shared<OtherHidDevice>(0x2F1A, 0x0099));
    attach(0x0011, "C2000000000000B2");
    bench.attachHid(std::make_shared<OtherHidDevice>(0x1234, 0x0019));
    attach(0x001C, "", &noSerialPath);

    std::vector<Listed> listed = listReaders();
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].name, "HID://B1000000000000A1");
    EXPECT_EQ(listed[0].productId, 0x0019u);
    EXPECT_EQ(listed[0].serial, "B1000000000000A1");
    EXPECT_EQ(listed[1].name, "HID://C2000000000000B2");
    EXPECT_EQ(listed[1].productId, 0x0011u);
    EXPECT_EQ(listed[2].name, "HID://" + noSerialPath);
    EXPECT_EQ(listed[2].serial, "");
    EXPECT_EQ(listed[2].path, noSerialPath);
    for (const Listed& l : listed) {
        EXPECT_EQ(l.size, 32);
        EXPECT_EQ(l.prefix, "HID://");
    }

    // The C-callback form ends when the callback answers false.
    static int calls;
    calls = 0;
    EXPECT_EQ(iConnection::enumDevices([](const char*, void*) { return ++calls < 2; }), 1);
    EXPECT_EQ(calls, 2);
}

TEST_F(HidReaders, EveryListedModelIsEnumerated) {
    const uint16_t pids[] = {0x0001, 0x0011, 0x0012, 0x0013, 0x0019, 0x001A,
                             0x001C, 0x001D, 0x001E, 0x001F, 0x0020, 0x0021};
    for (uint16_t pid : pids) attach(pid, "S" + std::to_string(pid));
    std::vector<Listed> listed = listReaders();
    ASSERT_EQ(listed.size(), 12u);
    for (size_t i = 0; i < 12; ++i) EXPECT_EQ(listed[i].productId, pids[i]);
}

TEST_F(HidReaders, NoReadersNoList) {
    EXPECT_TRUE(listReaders().empty());
    EXPECT_EQ(iConnection::enumDevices(&iConnection::iConnectionDefEnumDevice), 0);
}

TEST_F(HidReaders, OpensBySerialPrefixOrPath) {
    std::string firstPath, secondPath, thirdPath;
    attach(0x0019, "B1000000000000A1", &firstPath);
    attach(0x0019, "C2000000000000B2", &secondPath);
    attach(0x001D, "", &thirdPath);
    const struct {
        std::string name;
        const std::string* path;  // null: nothing opens
    } cases[] = {
        {"HID://C2", &secondPath},  // search goes on past a non-matching first reader
        {"hid://c2000000000000b2", &secondPath},
        {"HID://B1", &firstPath},
        {"HID://" + thirdPath, &thirdPath},  // exact path of a reader without serial number
        {"hid://" + firstPath, &firstPath},
        {"HID://C2000000000000B23", nullptr},  // longer than the serial number
        {"HID://D", nullptr},
        {"HID://", nullptr},
        {"HID://" + thirdPath.substr(0, 4), nullptr},  // a path matches only exactly
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<HIDConnection> connection(HIDConnection::open(c.name.c_str()));
        if (c.path == nullptr) {
            EXPECT_EQ(connection, nullptr);
            continue;
        }
        ASSERT_NE(connection, nullptr);
        EXPECT_STREQ(connection->getScheme(), c.path->c_str());
        EXPECT_TRUE(connection->IsDeviceConnected());
    }
    // The factory takes the same names.
    std::unique_ptr<iConnection> viaFactory(iConnection::open("HID://B1"));
    ASSERT_NE(viaFactory, nullptr);
    EXPECT_STREQ(viaFactory->getScheme(), firstPath.c_str());
}

TEST_F(HidReaders, FeatureReportsAndClosing) {
    std::string path;
    auto reader = attach(0x0019, "B1000000000000A1", &path);
    std::unique_ptr<HIDConnection> c(HIDConnection::open(("HID://" + path).c_str()));
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(reader->waitOpened(2000ms));

    char command[] = {0x01, 0x48, 0x00};
    EXPECT_EQ(c->send(command, 3, 1), ERROR_NO_ERR);
    EXPECT_EQ(c->send(command, 3, 2), -1);
    unsigned char answer[64];
    std::memset(answer, 0xEE, sizeof answer);
    answer[0] = 1;
    int length = 3;  // the answer is always the full feature report
    ASSERT_EQ(c->receive(answer, &length), ERROR_NO_ERR);
    EXPECT_EQ(length, 61);
    EXPECT_EQ(answer[0], 1);
    EXPECT_EQ(answer[1], 0x00);  // start-up handshake accepted
    EXPECT_EQ(answer[61], 0xEE);

    std::atomic<int> packets{0};
    c->registerOnDataEvent(
        [](iConnection*, unsigned char*, int, void* p) { ++*static_cast<std::atomic<int>*>(p); },
        &packets);
    c->close();
    EXPECT_FALSE(c->IsDeviceConnected());
    EXPECT_EQ(c->send(command, 3, 1), ERROR_DEVICE_NOT_OPEN);
    EXPECT_EQ(c->receive(answer, &length), ERROR_DEVICE_NOT_OPEN);
    EXPECT_EQ(c->getFeatureReport(1), ERROR_DEVICE_NOT_OPEN);
    EXPECT_TRUE(reader->waitClosed(2000ms));
    reader->pushInput({0x01, 0x00});
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(packets.load(), 0);
}

TEST_F(HidReaders, UnplugGivesExactlyOneChangeCallback) {
    std::string path;
    auto reader = attach(0x0019, "B1000000000000A1", &path);
    std::unique_ptr<HIDConnection> c(HIDConnection::open("HID://B1"));
    ASSERT_NE(c, nullptr);
    struct Changes {
        std::mutex m;
        std::condition_variable cv;
        std::vector<std::pair<std::string, int>> seen;
    } changes;
    c->registerConnectionChanged(
        [](const char* scheme, int change, void* p) {
            auto* ch = static_cast<Changes*>(p);
            std::lock_guard<std::mutex> g(ch->m);
            ch->seen.emplace_back(scheme, change);
            ch->cv.notify_all();
        },
        &changes);
    reader->unplug();
    {
        std::unique_lock<std::mutex> g(changes.m);
        ASSERT_TRUE(changes.cv.wait_for(g, 5s, [&] { return !changes.seen.empty(); }));
    }
    std::this_thread::sleep_for(200ms);
    std::lock_guard<std::mutex> g(changes.m);
    ASSERT_EQ(changes.seen.size(), 1u);
    EXPECT_EQ(changes.seen[0].first, path);
    EXPECT_EQ(changes.seen[0].second, 1);
    // The object stays until its owner closes it; transfers now fail.
    char command[] = {0x01, 0x48, 0x00};
    EXPECT_EQ(c->send(command, 3, 1), ERROR_BAD_COMMUNICATION);
}

struct EngineOnReader {
    RecordingDelegate delegate;
    std::unique_ptr<Cardova> engine;
    int run(const std::string& command, std::string& result) {
        std::string text = command;
        unsigned char* p = reinterpret_cast<unsigned char*>(&text[0]);
        int rc = engine->sendCommand(p, static_cast<int>(text.size()));
        if (rc == 0) rc = engine->waitForCommand();
        std::vector<unsigned char> buf(8192);
        int len = static_cast<int>(buf.size());
        if (rc == 0) rc = engine->getResponse(buf.data(), &len);
        std::vector<char> out(8192);
        int outLen = static_cast<int>(out.size());
        if (rc == 0) rc = engine->MakeHexStringFromResponse(buf.data(), len, out.data(), &outLen);
        result = rc == 0 ? std::string(out.data()) : "";
        return rc;
    }
};

TEST_F(HidReaders, CommandTransactionsThroughTheEngine) {
    auto reader = attach(0x0019, "B1000000000000A1");
    CRConfigTable row = modelRow(0x0019);
    EngineOnReader e;
    e.engine.reset(Cardova::open("HID://B1", &row));
    ASSERT_NE(e.engine, nullptr);
    e.engine->setDelegate(&e.delegate);
    EXPECT_EQ(e.delegate.deviceStates, std::vector<EDeviceStateValues>{STRIX_STATE_CONNECTED});
    EXPECT_EQ(e.engine->getStrixData().m_dwDevicePID, 0x0019);

    std::string result;
    EXPECT_EQ(e.run("4500", result), 0);  // battery level
    EXPECT_EQ(result, "55");
    EXPECT_EQ(e.run("4D0101", result), 0);   // LED on
    EXPECT_EQ(e.run("4D02", result), 0x02);  // rejected parameters: the status
    EXPECT_EQ(e.engine->getResultCode(), 0x02);
    EXPECT_EQ(e.run("XY", result), ERROR_INVALID_PARAMETERS);

    // An extended command whose answer needs several chunks, with busy answers first.
    reader->core().setBusyPolls(3);
    EXPECT_EQ(e.run("030A:", result), 0);
    EXPECT_GT(result.size(), 2u * 52);
    EXPECT_EQ(result.substr(0, 10), "9F0605A000");
    EXPECT_EQ(e.engine->getResultCode(), 0);
    // An extended command with data of several chunks.
    std::string data(2 * 120, 'A');
    EXPECT_EQ(e.run("0305:" + data, result), 0);

    auto commands = reader->core().commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front().code, 0x48);  // the start-up exchange
    std::vector<sim::swipe::CommandRecord> extended;
    size_t nextRequests = 0;
    for (const auto& c : commands) {
        if (c.extended) extended.push_back(c);
        if (c.code == 0x4A) ++nextRequests;
    }
    ASSERT_EQ(extended.size(), 2u);
    EXPECT_EQ(extended[1].extCode, 0x0305);
    EXPECT_EQ(extended[1].data, std::vector<uint8_t>(120, 0xAA));
    // Each busy answer and each further chunk of the key cost one "4A".
    EXPECT_GE(nextRequests, 3u + 3u + 3u);

    e.engine->close();
    EXPECT_FALSE(e.engine->isConnected());
    EXPECT_EQ(e.run("4500", result), ERROR_DEVICE_NOT_OPEN);
    EXPECT_EQ(e.delegate.deviceStates.back(), STRIX_STATE_DISCONNECTED);
}

TEST_F(HidReaders, SwipesAndNotificationsThroughTheEngine) {
    auto encrypting = attach(0x0019, "B1000000000000A1");
    auto clear = attach(0x0011, "C2000000000000B2");
    CRConfigTable row19 = modelRow(0x0019), row11 = modelRow(0x0011);
    EngineOnReader a, b;
    a.engine.reset(Cardova::open("HID://B1", &row19));
    b.engine.reset(Cardova::open("HID://C2", &row11));
    ASSERT_NE(a.engine, nullptr);
    ASSERT_NE(b.engine, nullptr);
    a.engine->setDelegate(&a.delegate);
    b.engine->setDelegate(&b.delegate);

    encrypting->swipe(sim::swipe::isoVisaCard());
    ASSERT_TRUE(a.delegate.waitFor([&] { return !a.delegate.cardStates.empty(); }));
    EXPECT_EQ(a.delegate.cardStates[0], STRIX_DATA_READY);
    VLMSRDATA m = a.engine->getCardData();
    EXPECT_EQ(m.m_dwReaderID, 0x0019);
    EXPECT_STREQ(m.m_szDeviceSerialNumber, "B1000000000000A1");
    EXPECT_EQ(std::strlen(m.m_szDUKPTKSN), 20u);
    EXPECT_NE(std::string(m.m_szTrack1DataMasked).find('^'), std::string::npos);
    EXPECT_GT(std::strlen(m.m_szPAN), 12u);
    EXPECT_NE(std::string(m.m_szPAN).find('*'), std::string::npos);  // from the masked track
    EXPECT_GT(std::strlen(m.m_szLastName), 0u);
    EXPECT_EQ(std::strlen(m.m_szMonth), 2u);
    EXPECT_EQ(m.m_dwBatteryLevel, 85);
    EXPECT_EQ(a.engine->getMsrRawData().substr(0, 2), "01");
    // The other reader saw nothing.
    EXPECT_TRUE(b.delegate.cardStates.empty());

    clear->swipe(sim::swipe::aamvaLicenceCard());
    ASSERT_TRUE(b.delegate.waitFor([&] { return !b.delegate.cardStates.empty(); }));
    EXPECT_EQ(b.delegate.cardStates[0], STRIX_DATA_READY);
    VLMSRDATA lic = b.engine->getCardData();
    EXPECT_EQ(lic.m_dwCardEncodeType, 1);
    EXPECT_STREQ(lic.m_szCardEncodeType, "AAMVA");
    EXPECT_GT(std::strlen(lic.m_szLastName), 0u);

    // A 300-byte notification in chunks of 256 and 44 bytes.
    encrypting->core().setNotificationChunkSize(256);
    std::vector<uint8_t> payload(300);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 3);
    encrypting->notify(0x1801, payload);
    ASSERT_TRUE(a.delegate.waitFor([&] { return !a.delegate.notifications.empty(); }));
    EXPECT_EQ(a.delegate.notifications[0].id, 0x1801);
    EXPECT_EQ(a.delegate.notifications[0].data, payload);
    EXPECT_TRUE(a.delegate.errors.empty());
}

TEST_F(HidReaders, EngineReportsUnplugOnce) {
    auto reader = attach(0x001D, "B1000000000000A1");
    CRConfigTable row = modelRow(0x001D);
    EngineOnReader e;
    e.engine.reset(Cardova::open("HID://B1", &row));
    ASSERT_NE(e.engine, nullptr);
    e.engine->setDelegate(&e.delegate);
    reader->unplug();
    ASSERT_TRUE(e.delegate.waitFor([&] { return e.delegate.deviceStates.size() == 2; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(e.delegate.deviceStates,
              (std::vector<EDeviceStateValues>{STRIX_STATE_CONNECTED, STRIX_STATE_DISCONNECTED}));
    // The engine keeps its connection object until it is closed.
    EXPECT_TRUE(e.engine->isConnected());
}

// Commands from several threads while card data streams in, then closing: run under
// ThreadSanitizer to see the reading thread, feature reports and closing stay apart.
TEST_F(HidReaders, CommandsWhileReportsArriveAndClose) {
    auto reader = attach(0x0019, "B1000000000000A1");
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        CRConfigTable row = modelRow(0x0019);
        EngineOnReader e;
        e.engine.reset(Cardova::open("HID://B1", &row));
        ASSERT_NE(e.engine, nullptr);
        e.engine->setDelegate(&e.delegate);
        for (int i = 0; i < 5; ++i) reader->swipe(sim::swipe::isoMastercardCard());
        std::atomic<int> accepted{0};
        std::thread other([&] {
            for (int i = 0; i < 10; ++i) {
                std::lock_guard<std::mutex> g(e.engine->lock);
                std::string r;
                if (e.run("4500", r) == 0 && r == "55") ++accepted;
            }
        });
        for (int i = 0; i < 10; ++i) {
            std::lock_guard<std::mutex> g(e.engine->lock);
            std::string r;
            if (e.run("4500", r) == 0 && r == "55") ++accepted;
            e.engine->GetCardDataStr("|");
        }
        other.join();
        EXPECT_EQ(accepted.load(), 20);
        ASSERT_TRUE(e.delegate.waitFor([&] { return e.delegate.cardStates.size() == 5; }));
        e.engine.reset();  // closes while the reading thread waits for input
        EXPECT_TRUE(reader->waitClosed(2000ms));
    }
}

}  // namespace
