#pragma once
// The state of a stream transport, shared weakly with its device (see HidServerCore).
#include <deque>
#include <memory>

#include "sim/EventLoop.h"
#include "sim/StreamDevice.h"

namespace sim {

class StreamPortCore : public std::enable_shared_from_this<StreamPortCore> {
  public:
    StreamPortCore(EventLoop& loop, std::shared_ptr<StreamDevice> device, bool socket);
    virtual ~StreamPortCore();

    // Any thread.
    void queue(Bytes packet, Millis delay, bool withFaults);
    void hangUp();
    void shutdown();  // not on the loop thread
    bool hasLine() const;

    // Loop thread: make fd the line (closing any previous line) / close the line.
    void setLine(int fd);
    void closeLine();
    EventLoop& loop() { return loop_; }
    StreamDevice& device() { return *device_; }
    // Extra descriptors owned by the transport (listener, terminal's slave side).
    int extraFd = -1;

  private:
    struct Pending {
        Clock::time_point due;
        Bytes data;
        std::size_t sent;
        bool unplugAfter;
    };
    void onReadable(short revents);
    void pump();

    EventLoop& loop_;
    std::shared_ptr<StreamDevice> device_;
    const bool socket_;
    int line_ = -1;  // loop thread only
    std::deque<Pending> out_;
    Clock::time_point lastDue_{};
    EventLoop::TimerId timer_ = 0;
};

}  // namespace sim
