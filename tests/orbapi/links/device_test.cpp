// The device half of the C interface against the simulated message-schema reader, on each of its
// links: USB through the hidapi stand-in, TCP on loopback and a serial line on a pseudo-terminal.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "orbx.h"
#include "sim/Bench.h"
#include "sim/orb/OrbLinks.h"

namespace {

using namespace std::chrono_literals;
using sim::Bytes;
using sim::orb::OrbReader;
using sim::orb::Reply;

std::string hex(const Bytes& b) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (auto c : b) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}
std::string hexOfText(const std::string& t) {
    return hex(Bytes(t.begin(), t.end()));
}
std::string text(const char* p) {
    return p == nullptr ? std::string("<null>") : std::string(p);
}

// What the callbacks of one device saw. The data callback finds it through the attached object;
// the status callback through the global below (after a close, the handle is only an identifier).
struct Recorder {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::string> data;
    std::vector<int> statuses;
    std::vector<void*> statusHandles;
    std::atomic<bool> dataOnCallerThread{false};
    std::atomic<int> concurrentData{0};
    std::atomic<bool> overlapped{false};
    std::thread::id callerThread = std::this_thread::get_id();

    template <typename Pred>
    bool waitFor(Pred pred, std::chrono::milliseconds timeout = 10s) {
        std::unique_lock<std::mutex> g(m);
        return cv.wait_for(g, timeout, [&] { return pred(); });
    }
    size_t dataCount() {
        std::lock_guard<std::mutex> g(m);
        return data.size();
    }
    std::vector<std::string> dataCopy() {
        std::lock_guard<std::mutex> g(m);
        return data;
    }
    std::vector<int> statusCopy() {
        std::lock_guard<std::mutex> g(m);
        return statuses;
    }
};

std::atomic<Recorder*> gStatusRecorder{nullptr};

std::atomic<long> gDataCalls{0};  // every call, also those for a handle that is gone
std::atomic<bool> gSlowData{false};
std::atomic<long> gDataCallsAtStatus{-1};

void onData(void* handle, const char* hexData) {
    ++gDataCalls;
    if (gSlowData) std::this_thread::sleep_for(1ms);
    auto* r = static_cast<Recorder*>(ORBX_GetAttachedObject(handle));
    if (r == nullptr) return;
    if (r->concurrentData.fetch_add(1) != 0) r->overlapped = true;
    if (std::this_thread::get_id() == r->callerThread) r->dataOnCallerThread = true;
    std::string copy(hexData);  // valid only during the call
    r->concurrentData.fetch_sub(1);
    // Notified under the lock: once a waiter sees the entry, this call no longer touches r.
    std::lock_guard<std::mutex> g(r->m);
    r->data.push_back(std::move(copy));
    r->cv.notify_all();
}

void onStatus(void* handle, int status) {
    gDataCallsAtStatus = gDataCalls.load();
    Recorder* r = gStatusRecorder.load();
    if (r == nullptr) return;
    std::lock_guard<std::mutex> g(r->m);
    r->statuses.push_back(status);
    r->statusHandles.push_back(handle);
    r->cv.notify_all();
}

enum class LinkKind { Usb, Tcp, Serial };

std::string linkName(LinkKind k) {
    switch (k) {
        case LinkKind::Usb:
            return "Usb";
        case LinkKind::Tcp:
            return "Tcp";
        default:
            return "Serial";
    }
}

// One simulated reader on one link, and the connection text to open it with.
class SimLink {
  public:
    explicit SimLink(LinkKind kind) : kind(kind) {
        switch (kind) {
            case LinkKind::Usb:
                bench.exportHidSocket();
                hid = std::make_shared<sim::orb::HidOrbReader>();
                path = bench.attachHid(hid);
                type = USB;
                break;
            case LinkKind::Tcp:
                tcp = std::make_shared<sim::orb::TcpOrbReader>();
                path = bench.serveTcp(tcp).address();
                type = TCP;
                break;
            case LinkKind::Serial:
                serial = std::make_shared<sim::orb::SerialOrbReader>();
                path = "PORT=" + bench.servePty(serial).slavePath() + ",BAUDRATE=115200";
                type = SERIAL;
                break;
        }
    }
    OrbReader& reader() { return hid ? hid->reader() : tcp ? tcp->reader() : serial->reader(); }
    sim::FaultInjector& faults() {
        return hid ? hid->faults() : tcp ? tcp->faults() : serial->faults();
    }
    // Pulls the cable (USB) or drops the line (TCP, serial).
    void unplug() {
        if (hid) {
            hid->unplug();
        } else if (tcp) {
            tcp->hangUp();
        } else {
            serial->hangUp();
        }
    }
    // Waits until the reader sees the host: what it sends before that is lost, as on a real link.
    bool waitHost() {
        if (hid) return hid->waitOpened(5000ms);
        return tcp ? tcp->waitConnected(5000ms) : serial->waitConnected(5000ms);
    }
    std::vector<sim::orb::Message> commands(std::uint16_t id) {
        std::vector<sim::orb::Message> out;
        for (auto& m : reader().received()) {
            if (m.kind == sim::orb::Kind::Command && m.id == id) out.push_back(m);
        }
        return out;
    }

    LinkKind kind;
    sim::Bench bench;
    std::shared_ptr<sim::orb::HidOrbReader> hid;
    std::shared_ptr<sim::orb::TcpOrbReader> tcp;
    std::shared_ptr<sim::orb::SerialOrbReader> serial;
    ORBX_DEVICE_CONNECTION_TYPE type = USB;
    std::string path;
};

class Device : public ::testing::TestWithParam<LinkKind> {
  protected:
    void SetUp() override {
        link = std::make_unique<SimLink>(GetParam());
        link->reader().setStepDelay(5ms);
        gStatusRecorder = &recorder;
        handle = ORBX_OpenDevice(link->type, link->path.c_str());
        ASSERT_NE(handle, reinterpret_cast<void*>(-1)) << link->path;
        ASSERT_TRUE(link->waitHost());
        ORBX_AttachObjectToDevice(handle, &recorder);
        ORBX_SetDataArriveCallback(handle, onData);
        ORBX_SetDeviceStatusChangeCallback(handle, onStatus);
    }
    void TearDown() override {
        if (handle != nullptr && handle != reinterpret_cast<void*>(-1)) ORBX_CloseDevice(handle);
        // The status report of the close may still be running.
        recorder.waitFor(
            [&] { return !recorder.statuses.empty() && recorder.statuses.back() == 1; }, 3s);
        gStatusRecorder = nullptr;
    }
    void close() {
        ORBX_CloseDevice(handle);
        handle = nullptr;
    }
    std::string exchange(const char* formatted, int timeout = 2000) {
        return text(ORBX_SendAndReceiveMessage(
            handle, ORBX_GetFormattedCommandBytesInHex(formatted), timeout));
    }

    Recorder recorder;
    std::unique_ptr<SimLink> link;
    void* handle = nullptr;
};

TEST_P(Device, ExchangesAndDeliversEveryMessageInOrder) {
    EXPECT_TRUE(ORBX_IsDeviceOpened(handle));
    EXPECT_EQ(ORBX_GetAttachedObject(handle), &recorder);

    // Card data before any card: the reader answers "no data" (80000002).
    std::string response = exchange("1010,81=01");
    EXPECT_EQ(ORBX_GetStatusCode(response.c_str()), 0x80000002u) << response;
    EXPECT_EQ(ORBX_GetResponseCommandID(response.c_str()), 0x1010);
    EXPECT_EQ(text(ORBX_SendFommatedCommand(handle, "1010, 81=01", 2000)),
              "1010,CommandStatus=2,OperationStatus=80");
    EXPECT_EQ(text(ORBX_SendFommatedCommand(handle, "7777", 2000)),
              "7777,CommandStatus=1,OperationStatus=80");

    // Each response also reached the data callback, in order, never on the calling thread.
    ASSERT_TRUE(recorder.waitFor([&] { return recorder.data.size() >= 3; }));
    auto data = recorder.dataCopy();
    EXPECT_EQ(data[0], response);
    EXPECT_EQ(ORBX_GetResponseCommandID(data[2].c_str()), 0x7777);
    EXPECT_FALSE(recorder.dataOnCallerThread);

    // Fire and forget: the response arrives through the callback only.
    EXPECT_EQ(ORBX_SendMessage(handle, ORBX_GetFormattedCommandBytesInHex("1008")), 0);
    ASSERT_TRUE(recorder.waitFor([&] { return recorder.data.size() >= 4; }));
    EXPECT_EQ(ORBX_GetResponseCommandID(recorder.dataCopy()[3].c_str()), 0x1008);
}

TEST_P(Device, RunsATransactionAndFillsTheRecords) {
    // Nothing is sent for a missing record.
    EXPECT_EQ(ORBX_GetCardData(handle, nullptr), 13);
    EXPECT_EQ(ORBX_GetARQC(handle, nullptr), 13);
    EXPECT_EQ(ORBX_GetBatch(handle, nullptr), 13);
    EXPECT_TRUE(link->commands(0x1010).empty());

    link->reader().setPresentation(sim::orb::Presentation::Insert);
    ASSERT_EQ(ORBX_StartTransaction(handle, 30, static_cast<ORBX_ReaderEnable>(MSR | Contact), EMV,
                                    static_cast<ORBX_TransactionOption>(0), nullptr),
              0);
    auto start = link->commands(0x1001);
    ASSERT_EQ(start.size(), 1u);
    EXPECT_EQ(hex(*start[0].inner.byTag(0x81)), "1E");
    EXPECT_EQ(hex(*start[0].inner.byTag(0x82)), "030100");
    EXPECT_EQ(start[0].inner.byTag(0x84), nullptr);

    // The reader asks for authorisation once the card is in.
    auto hasNotification = [&](unsigned code) {
        for (auto& d : recorder.data) {
            if (ORBX_IsNotification(d.c_str(), code, 0x0101)) return true;
        }
        return false;
    };
    ASSERT_TRUE(recorder.waitFor([&] { return hasNotification(0x10080202); }));
    EXPECT_TRUE(hasNotification(0x10010200)) << "card inserted came first";

    static ORBX_CARD_DATA card;
    std::memset(&card, 0xA5, sizeof card);
    ASSERT_EQ(ORBX_GetCardData(handle, &card), 0);
    sim::orb::Card simCard;
    EXPECT_EQ(card.Status, 0x00);
    EXPECT_EQ(card.Source, 0x10);
    EXPECT_EQ(card.CardType, 0x01);
    EXPECT_EQ(std::string(card.szMaskedTrack1), hexOfText(simCard.track1));
    EXPECT_EQ(std::string(card.szMaskedTrack2), hexOfText(simCard.track2));
    EXPECT_EQ(std::string(card.szMaskedTrack3), "");
    EXPECT_EQ(card.dwTrack1Status, 0x01000000ul | simCard.track1.size());
    EXPECT_EQ(card.dwTrack2Status, 0x02000000ul | simCard.track2.size());
    EXPECT_EQ(card.dwTrack3Status, 0x03010000ul);
    EXPECT_EQ(card.szTrack1[0], 0);
    EXPECT_EQ(card.dwFulxmarkStatus, 0ul);
    EXPECT_EQ(ORBX_GetResponseCommandID(card.szRawResponse), 0x1010);

    ORBX_ARQC_DATA arqc{};
    ASSERT_EQ(ORBX_GetARQC(handle, &arqc), 0);
    std::string arqcData = text(ORBX_GetResponseParameter(arqc.szRawResponse, "84"));
    EXPECT_NE(arqcData.find(hex(simCard.cryptogram)), std::string::npos) << arqcData;

    // The host's answer to the ARQC lets the reader finish.
    ASSERT_EQ(text(ORBX_SendFommatedCommand(handle, "1004,81=00,84=8A023030", 2000)),
              "1004,CommandStatus=0,OperationStatus=0");
    ASSERT_TRUE(recorder.waitFor([&] {
        for (auto& d : recorder.data) {
            if (ORBX_IsNotification(d.c_str(), 0x10040000, 0x0105)) return true;
        }
        return false;
    }));
    ORBX_Batch_DATA batch{};
    ASSERT_EQ(ORBX_GetBatch(handle, &batch), 0);
    EXPECT_NE(text(ORBX_GetResponseParameter(batch.szRawResponse, "84")).find("8A023030"),
              std::string::npos);
    // The raw responses live in their own pool: still intact after more ordinary results.
    for (int i = 0; i < 100; ++i) ORBX_GetResponseParameter(card.szRawResponse, "81");
    EXPECT_EQ(ORBX_GetResponseCommandID(card.szRawResponse), 0x1010);

    EXPECT_EQ(ORBX_CancelTransaction(handle), 0);
    EXPECT_FALSE(recorder.overlapped) << "the data callback never runs twice at once";
}

TEST_P(Device, ReportsTheReadersStatusCodes) {
    // An error status leaves the record zero apart from the raw response.
    link->reader().onCommand(0x1010, [](const sim::orb::Message&) {
        Reply r;
        r.status = 0x80000002;
        r.params[0x81] = {0x00, 0x10, 0x01};
        return std::optional<Reply>(r);
    });
    static ORBX_CARD_DATA card;
    std::memset(&card, 0xA5, sizeof card);
    EXPECT_EQ(static_cast<unsigned>(ORBX_GetCardData(handle, &card)), 0x80000002u);
    EXPECT_EQ(card.Status, 0);
    EXPECT_EQ(card.Source, 0);
    EXPECT_EQ(card.szMaskedTrack1[0], 0);
    EXPECT_EQ(card.dwTrack1Status, 0ul);
    EXPECT_EQ(ORBX_GetStatusCode(card.szRawResponse), 0x80000002u);

    // A short status parameter gives Status FF.
    link->reader().onCommand(0x1010, [](const sim::orb::Message&) {
        Reply r;
        r.params[0x81] = {0x00, 0x10};
        return std::optional<Reply>(r);
    });
    EXPECT_EQ(ORBX_GetCardData(handle, &card), 0);
    EXPECT_EQ(card.Status, 0xFF);
    EXPECT_EQ(card.Source, 0);

    // The container form of the status reads the same.
    link->reader().setContainerStatus(true);
    EXPECT_EQ(ORBX_CancelTransaction(handle), 0);
    link->reader().onCommand(0x1004, [](const sim::orb::Message&) {
        Reply r;
        r.status = 0x41000007;
        r.containerStatus = true;
        return std::optional<Reply>(r);
    });
    EXPECT_EQ(static_cast<unsigned>(ORBX_CancelTransaction(handle)), 0x41000007u);

    // No answer at all: the helpers give 255, the exchanges "" or null.
    link->reader().onCommand(0x1004,
                             [](const sim::orb::Message&) { return std::optional<Reply>(); });
    EXPECT_EQ(ORBX_CancelTransaction(handle), 255);
    EXPECT_EQ(
        text(ORBX_SendAndReceiveMessage(handle, ORBX_GetFormattedCommandBytesInHex("1004"), 100)),
        "");
    EXPECT_EQ(ORBX_SendFommatedCommand(handle, "1004", 100), nullptr);
    EXPECT_EQ(ORBX_SendFommatedCommand(handle, "1004,,", 100), nullptr);
    EXPECT_TRUE(ORBX_IsDeviceOpened(handle));
}

TEST_P(Device, NotificationBeforeTheResponseDoesNotEndTheExchange) {
    // The reader sends a notification, then (later) the response.
    OrbReader& reader = link->reader();
    reader.onCommand(0x1F01, [&reader](const sim::orb::Message&) {
        reader.notify(0x0101, 0x10010200, {{0x84, {0xAB}}});
        Reply r;
        r.params[0x81] = {0x07};
        r.delay = 50ms;
        return std::optional<Reply>(r);
    });
    std::string response = exchange("1F01");
    EXPECT_EQ(text(ORBX_GetResponseParameter(response.c_str(), "81")), "07") << response;
    ASSERT_TRUE(recorder.waitFor([&] { return recorder.data.size() >= 2; }));
    auto data = recorder.dataCopy();
    EXPECT_TRUE(ORBX_IsNotification(data[0].c_str(), 0x10010200, 0x0101));
    EXPECT_EQ(data[1], response);

    // A response to another command (a late answer) does not end the exchange either.
    reader.onCommand(0x1F02, [&reader](const sim::orb::Message&) {
        reader.sendRaw(sim::orb::buildResponse(0x1F09, 1, 0, {}));
        Reply r;
        r.delay = 50ms;
        return std::optional<Reply>(r);
    });
    response = exchange("1F02");
    EXPECT_EQ(ORBX_GetResponseCommandID(response.c_str()), 0x1F02) << response;
}

TEST_P(Device, ProgressIsReportedOnTheCallingThreadEndingWithOne) {
    struct Progress {
        std::vector<double> values;
        bool otherThread = false;
        std::thread::id caller = std::this_thread::get_id();
    } progress;
    auto update = [](void* object, double value) {
        auto* p = static_cast<Progress*>(object);
        p->values.push_back(value);
        if (std::this_thread::get_id() != p->caller) p->otherThread = true;
    };
    void* cmd = ORBX_CreateCommand(0x1F03);
    ORBX_SetCommandParameter(cmd, 0x81, std::string(3000, 'A').c_str());  // 1500 bytes
    link->reader().onCommand(
        0x1F03, [](const sim::orb::Message&) { return std::optional<Reply>(Reply{}); });
    std::string response = text(ORBX_SendCommandWithProgress(handle, cmd, update, &progress, 2000));
    ORBX_DeleteCommand(cmd);
    EXPECT_EQ(ORBX_GetResponseCommandID(response.c_str()), 0x1F03);
    ASSERT_GE(progress.values.size(), 2u);
    for (size_t i = 1; i < progress.values.size(); ++i)
        EXPECT_GT(progress.values[i], progress.values[i - 1]);
    EXPECT_DOUBLE_EQ(progress.values.back(), 1.0);
    EXPECT_FALSE(progress.otherThread);
    auto received = link->commands(0x1F03);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].inner.byTag(0x81)->size(), 1500u);

    // Without a progress function, and with the command as hex.
    const char* bytes = ORBX_GetFormattedCommandBytesInHex("1F03,81=01");
    response = text(ORBX_SendCommandStringWithProgress(handle, bytes, nullptr, nullptr, 2000));
    EXPECT_EQ(ORBX_GetResponseCommandID(response.c_str()), 0x1F03);
}

TEST_P(Device, CloseReportsStatusOneOnAnotherThread) {
    struct Seen {
        std::mutex m;
        std::condition_variable cv;
        std::vector<std::thread::id> threads;
    };
    static Seen seen;
    {
        std::lock_guard<std::mutex> g(seen.m);
        seen.threads.clear();
    }
    ORBX_SetDeviceStatusChangeCallback(handle, [](void* h, int status) {
        // Record the thread before the status, which is what the test waits for.
        {
            std::lock_guard<std::mutex> g(seen.m);
            seen.threads.push_back(std::this_thread::get_id());
            seen.cv.notify_all();
        }
        onStatus(h, status);
    });
    void* closed = handle;
    close();
    ASSERT_TRUE(recorder.waitFor([&] { return !recorder.statuses.empty(); }));
    EXPECT_EQ(recorder.statusCopy(), std::vector<int>{1});
    EXPECT_EQ(recorder.statusHandles[0], closed);
    std::lock_guard<std::mutex> g(seen.m);
    ASSERT_EQ(seen.threads.size(), 1u);
    EXPECT_NE(seen.threads[0], std::this_thread::get_id());

    // The handle is gone: every function answers "no handle".
    EXPECT_FALSE(ORBX_IsDeviceOpened(closed));
    EXPECT_EQ(ORBX_GetAttachedObject(closed), nullptr);
    EXPECT_EQ(ORBX_SendMessage(closed, "AA00"), 5);
    ORBX_CloseDevice(closed);  // a second close reports nothing
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(recorder.statusCopy(), std::vector<int>{1});
}

TEST_P(Device, CloseFromAnotherThreadEndsAWaitingExchange) {
    link->reader().onCommand(0x1F04,
                             [](const sim::orb::Message&) { return std::optional<Reply>(); });
    std::string result = "<pending>";
    auto began = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration took{};
    std::thread waiter([&] {
        result = text(
            ORBX_SendAndReceiveMessage(handle, ORBX_GetFormattedCommandBytesInHex("1F04"), 60000));
        took = std::chrono::steady_clock::now() - began;
    });
    ASSERT_TRUE(link->reader().waitForCommand(0x1F04, 1, 5000ms));
    // Messages still queued for delivery when the close comes are dropped: none is delivered once
    // the close has returned, although the waiting exchange still holds the device.
    gSlowData = true;
    for (int i = 0; i < 2000; ++i) link->reader().notify(0x1001, 0x01000000);
    ASSERT_TRUE(recorder.waitFor([&] { return recorder.data.size() >= 10; }));
    close();
    long atClose = gDataCalls.load();
    waiter.join();
    std::this_thread::sleep_for(50ms);
    gSlowData = false;
    EXPECT_EQ(gDataCalls.load(), atClose);
    ASSERT_TRUE(recorder.waitFor([&] { return !recorder.statuses.empty(); }));
    EXPECT_EQ(gDataCallsAtStatus.load(), atClose)
        << "deliveries ended before the close was reported";
    EXPECT_EQ(result, "");
    EXPECT_LT(took, 30s) << "the close ended the wait, not the 60 s timeout";
}

TEST_P(Device, LinkLossDuringATransaction) {
    link->reader().setPresentation(sim::orb::Presentation::Insert);
    ASSERT_EQ(ORBX_StartTransaction(handle, 30, static_cast<ORBX_ReaderEnable>(MSR | Contact), EMV,
                                    static_cast<ORBX_TransactionOption>(0), nullptr),
              0);
    ASSERT_TRUE(recorder.waitFor([&] { return recorder.data.size() >= 2; }));
    link->unplug();
    if (GetParam() == LinkKind::Usb) {
        // One negative status; the device stays open until the application closes it.
        ASSERT_TRUE(recorder.waitFor([&] { return !recorder.statuses.empty(); }));
        std::this_thread::sleep_for(100ms);
        auto statuses = recorder.statusCopy();
        ASSERT_EQ(statuses.size(), 1u);
        EXPECT_LT(statuses[0], 0);
    }
    EXPECT_TRUE(ORBX_IsDeviceOpened(handle));
    EXPECT_EQ(ORBX_GetCardData(handle, nullptr), 13);
    static ORBX_CARD_DATA card;
    EXPECT_EQ(ORBX_GetCardData(handle, &card), 255) << "no answer any more";
    close();
    ASSERT_TRUE(recorder.waitFor(
        [&] { return !recorder.statuses.empty() && recorder.statuses.back() == 1; }));
}

TEST_P(Device, ABurstOfNotificationsArrivesCompleteAndInOrder) {
    constexpr int kCount = 10000;
    for (int i = 0; i < kCount; ++i) {
        link->reader().notify(0x1001, 0x01000000,
                              {{0x84, {static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)}}});
    }
    ASSERT_TRUE(
        recorder.waitFor([&] { return recorder.data.size() >= static_cast<size_t>(kCount); }, 120s))
        << recorder.dataCount() << " of " << kCount;
    auto data = recorder.dataCopy();
    ASSERT_EQ(data.size(), static_cast<size_t>(kCount));
    int outOfOrder = 0;
    for (int i = 0; i < kCount; ++i) {
        char expected[8];
        std::snprintf(expected, sizeof expected, "%04X", i);
        if (text(ORBX_GetNotificationParameter(data[i].c_str(), "84")) != expected) ++outOfOrder;
    }
    EXPECT_EQ(outOfOrder, 0);
    EXPECT_FALSE(recorder.overlapped);
}

TEST_P(Device, ReplacingTheDataCallbackDuringExchangesIsSafe) {
    link->reader().onCommand(0x1F05, [&](const sim::orb::Message&) {
        link->reader().notify(0x1001, 0x01000000);
        return std::optional<Reply>(Reply{});
    });
    std::atomic<bool> stop{false};
    std::thread toggler([&] {
        for (int i = 0; !stop; ++i) {
            ORBX_SetDataArriveCallback(handle, i % 3 == 0 ? nullptr : onData);
            ORBX_SetDeviceStatusChangeCallback(handle, i % 2 == 0 ? nullptr : onStatus);
            std::this_thread::yield();
        }
    });
    int answered = 0;
    for (int i = 0; i < 50; ++i)
        answered += ORBX_GetResponseCommandID(exchange("1F05").c_str()) == 0x1F05;
    stop = true;
    toggler.join();
    ORBX_SetDeviceStatusChangeCallback(handle, onStatus);
    EXPECT_EQ(answered, 50);
    EXPECT_FALSE(recorder.overlapped);
}

const auto kLinks = ::testing::Values(LinkKind::Usb, LinkKind::Tcp, LinkKind::Serial);
INSTANTIATE_TEST_SUITE_P(Links, Device, kLinks, [](const ::testing::TestParamInfo<LinkKind>& info) {
    return linkName(info.param);
});

// ---- Listing and opening ----------------------------------------------------------------------

TEST(DeviceList, ListsTheReadersOnUsbAndNothingElsewhere) {
    sim::Bench bench;
    bench.exportHidSocket();
    EXPECT_EQ(text(ORBX_GetDeviceList(USB)), "[]");
    auto first = std::make_shared<sim::orb::HidOrbReader>(sim::orb::readerIdentity(0x2020, "SIMA"));
    auto second =
        std::make_shared<sim::orb::HidOrbReader>(sim::orb::readerIdentity(0x2024, "SIMB"));
    auto foreign =
        std::make_shared<sim::orb::HidOrbReader>(sim::orb::readerIdentity(0x2021, "SIMC"));
    std::string pathA = bench.attachHid(first), pathB = bench.attachHid(second);
    bench.attachHid(foreign);
    std::string list = text(ORBX_GetDeviceList(USB));
    EXPECT_EQ(list.front(), '[');
    EXPECT_EQ(list.back(), ']');
    EXPECT_NE(list.find("\"DSN\":\"SIMA\",\"Name\":\"SIMA\""), std::string::npos) << list;
    EXPECT_NE(list.find("\"PID\":\"2024\",\"VID\":\"2f1a\""), std::string::npos) << list;
    EXPECT_NE(list.find("\"Path\":\"" + pathB + "\""), std::string::npos) << list;
    EXPECT_EQ(list.find("SIMC"), std::string::npos)
        << "product 2021 is not a reader of this family";
    EXPECT_NE(list.find("},{"), std::string::npos);

    // An empty path opens the first reader; a path opens that one.
    void* any = ORBX_OpenDevice(USB, "");
    void* b = ORBX_OpenDevice(USB, pathB.c_str());
    ASSERT_NE(any, reinterpret_cast<void*>(-1));
    ASSERT_NE(b, reinterpret_cast<void*>(-1));
    EXPECT_TRUE(first->waitOpened(2000ms));
    EXPECT_TRUE(second->waitOpened(2000ms));
    ORBX_CloseDevice(any);
    ORBX_CloseDevice(b);
    EXPECT_TRUE(first->waitClosed(2000ms));
}

// Opens a reader on TCP and one on a serial line, starts deliveries to both and exits without
// closing them.
[[noreturn]] void exitWithDevicesOpen() {
    gSlowData = true;  // deliveries are still running when the process ends
    SimLink tcp(LinkKind::Tcp);
    SimLink serial(LinkKind::Serial);
    for (SimLink* link : {&tcp, &serial}) {
        void* h = ORBX_OpenDevice(link->type, link->path.c_str());
        if (h == reinterpret_cast<void*>(-1) || !link->waitHost()) std::_Exit(3);
        ORBX_SetDataArriveCallback(h, onData);
        ORBX_SetDeviceStatusChangeCallback(h, onStatus);
        for (int i = 0; i < 500; ++i) link->reader().notify(0x1001, 0x01000000);
    }
    while (gDataCalls < 10) std::this_thread::sleep_for(1ms);
    std::exit(0);
}

TEST(DeviceDeathTest, ExitWithDevicesStillOpenEndsCleanly) {
    // The library closes what is left and stops its threads while the process ends, with
    // deliveries still under way.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(exitWithDevicesOpen(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
