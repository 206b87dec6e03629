#pragma once
// The state of a HID server, shared with the devices it serves (they hold it weakly), so that a
// device can push reports or unplug itself from any thread while the server may be going away.
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sim/EventLoop.h"
#include "sim/HidDevice.h"

namespace sim {

class HidServerCore : public HidBus, public std::enable_shared_from_this<HidServerCore> {
  public:
    HidServerCore(EventLoop& loop, std::string socketPath);
    ~HidServerCore();
    void start();     // any thread but the loop's: listen
    void shutdown();  // any thread but the loop's: unplug everything, stop listening

    const std::string& socketPath() const { return socketPath_; }
    std::string attach(std::shared_ptr<HidDevice> device);
    bool detach(const std::string& path) override;
    std::vector<std::shared_ptr<HidDevice>> devices();
    void queueInput(HidDevice* device, Bytes report, Millis delay) override;

  private:
    struct Pending {
        Clock::time_point due;
        Bytes data;
        bool unplugAfter;
    };
    struct Handle {
        std::string path;
        int requests = -1;
        int input = -1;
        std::deque<Pending> out;
        Clock::time_point lastDue{};
        EventLoop::TimerId timer = 0;
    };
    struct Slot {
        std::string path;
        std::shared_ptr<HidDevice> device;
        std::uint64_t handle = 0;  // token of the host's open handle, 0 while closed
    };

    // Loop thread only from here on.
    void onAccept();
    void onFirstPacket(int fd);
    void onRequest(std::uint64_t token);
    void closeHandle(std::uint64_t token);
    void releaseHandle(Handle& h);
    void pump(std::uint64_t token);
    bool detachNow(const std::string& path);
    Slot* slotByPath(const std::string& path);
    Slot* slotByDevice(const HidDevice* device);
    void dropConnection(int fd);

    EventLoop& loop_;
    std::string socketPath_;
    std::string ownedFolder_;
    int listenFd_ = -1;
    std::set<int> fresh_;  // connections that have not said what they are
    std::vector<Slot> slots_;
    std::map<std::uint64_t, Handle> handles_;
    std::uint64_t nextToken_ = 1;
    unsigned nextAddress_ = 1;
};

}  // namespace sim
