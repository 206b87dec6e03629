#pragma once
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "GuardedHandler.h"
#include "OperationQueue.h"

class SerialComm;
class IVLCommunicationPackage;

// One message-schema reader: owns the link (a connection and the packaging that cuts messages
// into what the connection carries), sends messages, performs request/response exchanges with a
// timeout, hands every incoming message to the application's handler on its own delivery thread
// (in arrival order, one at a time, never on the reading thread) and reports link status.
//
// Threads: the application's (every operation), the connection's reading thread (incoming bytes,
// completing an exchange, queuing deliveries), the delivery worker (onData). The link is guarded
// so that a Close from another thread while an exchange or a write is in progress is safe: the
// exchange ends at once with an empty result.
class AsterDevice {
  public:
    using Bytes = std::vector<unsigned char>;
    using Progress = std::function<void(double)>;
    using EnumCallback = std::function<bool(std::string path, std::string description)>;

    // Liveness marker values.
    static constexpr int kAlive = 0x4F524244;
    static constexpr int kDead = -1;

    AsterDevice();
    virtual ~AsterDevice();
    AsterDevice(const AsterDevice&) = delete;
    AsterDevice& operator=(const AsterDevice&) = delete;

    // Releases any link, then selects the link kind; fails with "Invalid device type" for a kind
    // that is not accepted (BLE, BLE_EMVT, TLS12_TRUST, anything outside 0..9).
    virtual void SetDeviceType(int type);
    // Lists the readers of the selected kind: callback(path, description) for each; false when
    // nothing was found.
    virtual bool Enum(EnumCallback callback, std::string filter);
    // Builds and opens the link for the selected kind; true at once when already open.
    virtual bool Open(std::string path);
    // Reports status 1 (when open) and releases the link. Always true.
    virtual bool Close();
    virtual bool IsOpen();
    // Writes one message through the packaging; nothing happens when closed.
    virtual void Send(Bytes data);
    virtual void Send(Bytes data, Progress progress);
    // Writes the bytes with one raw connection write and returns the first chunk read back (no
    // packaging); empty on timeout. Fails with "Device is not opened." when closed.
    virtual Bytes SendAndReceiveMessage(Bytes data, int timeOut);
    // Writes one message and waits up to timeOut ms for the first incoming message that is a
    // response to it (or for any message when needResponse is false); empty on timeout or when
    // the device is closed meanwhile. Every incoming message is delivered to onData as well.
    // Fails with "Device is not opened." when closed.
    virtual Bytes SendAndReceivePackage(Bytes data, int timeOut, bool needResponse);
    virtual Bytes SendAndReceivePackage(Bytes data, Progress progress, int timeOut,
                                        bool needResponse);

    // Closes and destroys the link (no status report).
    void release();
    // Feeds raw bytes from the connection to the packaging.
    void ParseData(Bytes data);

    // Ends deliveries: drops queued messages and waits for a running handler to return (unless
    // called from that handler). No handler runs afterwards.
    void StopDelivery();
    bool isAlive() const { return initialized->load() == kAlive; }
    // The liveness marker in shared ownership, for threads that may outlive the object.
    std::shared_ptr<const std::atomic<int>> liveness() const { return initialized; }
    int deviceType() const { return _deviceType.load(); }

    // The application's message handler and status handler. Replacing one waits until a call of
    // the previous one on another thread has returned.
    GuardedHandler<void(AsterDevice*, Bytes)> onData;
    GuardedHandler<void(AsterDevice*, int)> onStatusChanged;
    std::atomic<void*> attachedObject{nullptr};

  private:
    struct Exchange;

    void onChunk(unsigned char* data, unsigned int length);
    void onMessage(const Bytes& message);
    void onLinkStatus(int status);
    Bytes exchange(Bytes data, const Progress& progress, int timeOut, bool raw, bool needResponse);
    void cancelExchange();
    bool isOpenLocked() const;

    // The link. Guarded by _linkLock for replacement and writes; the reading thread never takes
    // this lock (it reaches the packaging through _parserLock only).
    std::recursive_mutex _linkLock;
    std::shared_ptr<SerialComm> _device;
    std::mutex _parserLock;
    std::shared_ptr<IVLCommunicationPackage> _dataParser;
    std::atomic<int> _deviceType{-1};

    std::shared_ptr<std::atomic<int>> initialized;

    // At most one exchange at a time; the waiting exchange lives on the caller's stack.
    std::mutex _exchangeSerial;
    std::mutex _exLock;
    std::condition_variable _exWake;
    Exchange* _exchange = nullptr;

    OperationQueue<AsterDevice*, Bytes> _onDataQueue;
};
