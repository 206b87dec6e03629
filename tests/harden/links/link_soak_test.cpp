// Long runs on every link: opening and closing a reader 1,000 times and a long stream of
// notifications leave no thread and no descriptor behind (memory is checked by LeakSanitizer in
// the AddressSanitizer build), and every notification of the stream arrives whole, in order.
#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CommPort.h"
#include "SerialCommunicationPackage.h"
#include "SocketConnection.h"
#include "USBConnection.h"
#include "VelnorCommunicationPackage.h"
#include "VelnorUSBHIDPackage.h"
#include "sim/Bench.h"
#include "sim/orb/OrbLinks.h"
#include "sim/orb/Wire.h"

using namespace std::chrono_literals;
using Bytes = std::vector<unsigned char>;

namespace {

int entries(const char* dir) {
    DIR* d = opendir(dir);
    if (d == nullptr) return -1;
    int n = 0;
    while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') ++n;
    closedir(d);
    return n;
}
int descriptors() {
    return entries("/proc/self/fd") - 1;  // the listing's own descriptor
}
int threads() {
    return entries("/proc/self/task");
}
// The count once it is back to at most `expected` (the bench closes its ends and threads
// finish a moment later), or what it is after 3 s.
template <class F>
int settled(int expected, F count) {
    int n = count();
    for (int i = 0; i < 300 && n > expected; ++i) {
        std::this_thread::sleep_for(10ms);
        n = count();
    }
    return n;
}
// The count once it stayed the same for 100 ms.
template <class F>
int steady(F count) {
    int n = count();
    for (int i = 0; i < 30; ++i) {
        std::this_thread::sleep_for(100ms);
        const int again = count();
        if (again == n) break;
        n = again;
    }
    return n;
}

enum class Transport { Usb, Tcp, Pty };

struct Reader {
    std::shared_ptr<sim::orb::HidOrbReader> hid;
    std::shared_ptr<sim::StreamDevice> stream;
    sim::orb::OrbReader* orb = nullptr;
    std::string where;
};

Reader plug(sim::Bench& bench, Transport t) {
    Reader r;
    if (t == Transport::Usb) {
        r.hid = std::make_shared<sim::orb::HidOrbReader>();
        r.orb = &r.hid->reader();
        r.where = bench.attachHid(r.hid);
    } else if (t == Transport::Tcp) {
        auto d = std::make_shared<sim::orb::TcpOrbReader>();
        r.orb = &d->reader();
        r.stream = d;
        r.where = bench.serveTcp(d).address();
    } else {
        auto d = std::make_shared<sim::orb::SerialOrbReader>();
        r.orb = &d->reader();
        r.stream = d;
        r.where = "PORT=" + bench.servePty(d).slavePath() + ",BAUDRATE=115200";
    }
    return r;
}

std::unique_ptr<SerialComm> connect(Transport t, const std::string& where) {
    if (t == Transport::Usb) return std::make_unique<USBConnection>(where);
    if (t == Transport::Tcp) return std::make_unique<SocketConnection>(where);
    return std::make_unique<CommPort>(where);
}

std::unique_ptr<IVLCommunicationPackage> packagingFor(Transport t) {
    if (t == Transport::Usb) return std::make_unique<VelnorUSBHIDPackage>(0, 64);
    if (t == Transport::Tcp) return std::make_unique<VelnorCommunicationPackage>(64);
    return std::make_unique<SerialCommunicationPackage>(0x200000);
}

class LinkSoak : public ::testing::TestWithParam<Transport> {
  protected:
    void SetUp() override { bench.exportHidSocket(); }
    sim::Bench bench;
};

TEST_P(LinkSoak, OpenAndClose1000TimesLeavesNothingBehind) {
    Reader r = plug(bench, GetParam());
    // One round first: libraries and the bench set up what they keep for the process.
    {
        auto c = connect(GetParam(), r.where);
        ASSERT_EQ(c->Open(), 0);
        c->Close();
    }
    const int fds = steady(descriptors);
    const int tasks = steady(threads);
    for (int i = 0; i < 1000; ++i) {
        auto c = connect(GetParam(), r.where);
        c->onData = [](unsigned char*, unsigned int) {};
        c->onStatusChanged = [](int) {};
        ASSERT_EQ(c->Open(), 0) << i;
        ASSERT_TRUE(c->IsOpen());
        ASSERT_EQ(c->Close(), 0) << i;
        ASSERT_FALSE(c->IsOpen());
    }
    EXPECT_LE(settled(fds, descriptors), fds);
    EXPECT_LE(settled(tasks, threads), tasks);
}

TEST_P(LinkSoak, LongNotificationStreamArrivesWholeAndInOrder) {
    Reader r = plug(bench, GetParam());
    const int fds = steady(descriptors);
    const int tasks = steady(threads);
    {
        auto c = connect(GetParam(), r.where);
        auto pkg = packagingFor(GetParam());
        std::mutex m;
        std::condition_variable cv;
        std::vector<Bytes> got;
        pkg->onPayloadReceived = [&](Bytes message) {
            std::lock_guard<std::mutex> g(m);
            got.push_back(std::move(message));
            cv.notify_all();
        };
        c->onData = [&](unsigned char* p, unsigned int n) { pkg->ParseReport(Bytes(p, p + n)); };
        ASSERT_EQ(c->Open(), 0);
        if (r.hid)
            ASSERT_TRUE(r.hid->waitOpened(2s));
        else
            ASSERT_TRUE(r.stream->waitConnected(2s));
        // Sent in batches, so that the reader's queue stays small; notifications of every size
        // from one packet to several.
        const int total = 3000;
        std::vector<Bytes> sent;
        for (int i = 0; i < total; ++i) {
            Bytes data(static_cast<size_t>(i % 200), static_cast<unsigned char>(i));
            r.orb->notify(sim::orb::core::kTransaction, 0x10010200 + static_cast<unsigned>(i % 256),
                          {{0x84, data}});
            if (i % 100 == 99) {
                std::unique_lock<std::mutex> g(m);
                ASSERT_TRUE(cv.wait_for(g, 10s, [&] { return got.size() >= size_t(i + 1); }))
                    << got.size();
            }
        }
        std::unique_lock<std::mutex> g(m);
        ASSERT_EQ(got.size(), static_cast<size_t>(total));
        for (int i = 0; i < total; ++i) {
            auto parsed = sim::orb::parseMessage(got[static_cast<size_t>(i)]);
            ASSERT_TRUE(parsed.has_value()) << i;
            ASSERT_EQ(parsed->kind, sim::orb::Kind::Notification) << i;
            const Bytes* p84 = parsed->inner.byTag(0x84);
            ASSERT_NE(p84, nullptr) << i;
            ASSERT_EQ(p84->size(), static_cast<size_t>(i % 200)) << i;
        }
        g.unlock();
        c->Close();
        c->onData = nullptr;
    }
    EXPECT_LE(settled(fds, descriptors), fds);
    EXPECT_LE(settled(tasks, threads), tasks);
}

INSTANTIATE_TEST_SUITE_P(Transports, LinkSoak,
                         ::testing::Values(Transport::Usb, Transport::Tcp, Transport::Pty),
                         [](const ::testing::TestParamInfo<Transport>& i) {
                             return std::string(i.param == Transport::Usb   ? "Usb"
                                                : i.param == Transport::Tcp ? "Tcp"
                                                                            : "Pty");
                         });

}  // namespace
