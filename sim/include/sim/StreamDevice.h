#pragma once
// A simulated device on a byte stream (a TCP connection or a terminal line). Subclasses receive
// the host's bytes on the bench thread and send "packets": units that the fault injector drops,
// repeats, reorders or corrupts as a whole (one 64-byte packet, one framed message ...).
#include <condition_variable>
#include <memory>
#include <mutex>

#include "sim/FaultInjector.h"
#include "sim/HostLog.h"
#include "sim/Types.h"

namespace sim {

class StreamPortCore;

class StreamDevice : public std::enable_shared_from_this<StreamDevice> {
  public:
    StreamDevice();
    virtual ~StreamDevice();
    StreamDevice(const StreamDevice&) = delete;
    StreamDevice& operator=(const StreamDevice&) = delete;

    // A host is on the line (TCP: a connection is accepted; terminal: the port is open).
    bool connected() const;
    bool waitConnected(Millis timeout) const;
    bool waitDisconnected(Millis timeout) const;

    // Any thread: send one packet after `delay`, through the fault injector. False (and the
    // packet is lost) when no host is connected.
    bool send(Bytes packet, Millis delay = Millis(0));
    // Any thread: put bytes on the line as they are, past the fault injector (garbage, noise).
    bool sendRaw(Bytes bytes);
    // Any thread: drop the host's connection (TCP: close it; terminal: hang the line up).
    void hangUp();

    FaultInjector& faults() { return faults_; }
    HostLog& hostLog() { return log_; }

  protected:
    // Called on the bench thread.
    virtual void onHostBytes(const Bytes& data);
    virtual void onHostConnected();
    virtual void onHostDisconnected();

  private:
    friend class StreamPortCore;
    void bind(std::weak_ptr<StreamPortCore> port);
    void setConnected(bool connected);

    FaultInjector faults_;
    HostLog log_;
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::weak_ptr<StreamPortCore> port_;
    bool connected_ = false;
};

}  // namespace sim
