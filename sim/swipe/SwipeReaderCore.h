#pragma once
// The behaviour of one simulated swipe reader, independent of how it is attached: it takes
// command reports, keeps the answer the host fetches next (plain answers, busy answers and
// extended answers in chunks), runs an EMV transaction script and produces card-data reports and
// notification chunks for its transport to send.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SwipeCard.h"
#include "SwipeModel.h"

namespace sim::swipe {

using Bytes = std::vector<uint8_t>;

// One command as the reader understood it: a plain command (code and data) or a complete
// extended command (code 0x49, extCode and the reassembled data).
struct CommandRecord {
    uint8_t code = 0;
    Bytes data;
    bool extended = false;
    uint16_t extCode = 0;
};

// Status bytes of answers.
enum : uint8_t {
    kStatusOk = 0x00,
    kStatusFailed = 0x01,
    kStatusBadParameter = 0x02,
    kStatusExtendedChunk = 0x0A,
    kStatusBusy = 0x0B,
};

class SwipeReaderCore {
  public:
    struct Listener {
        // A card-data report, report ID included.
        std::function<void(const Bytes& report)> cardReport;
        // One chunk of a notification: message ID, data offset, total length, chunk data.
        std::function<void(uint16_t id, uint16_t offset, uint16_t total, const Bytes& chunk)>
            notificationChunk;
    };

    SwipeReaderCore(const SwipeModel& model, std::string serial);
    ~SwipeReaderCore();
    SwipeReaderCore(const SwipeReaderCore&) = delete;
    SwipeReaderCore& operator=(const SwipeReaderCore&) = delete;

    const SwipeModel& model() const { return model_; }
    const std::string& serial() const { return serial_; }
    void setListener(Listener listener);

    // A feature report as the host sent it (byte 0 is the report ID, or continuation data of a
    // plain command longer than one report).
    void onFeatureReport(const uint8_t* report, size_t length);
    // A command as a serial frame carries it: command byte, length byte, data; an extended
    // command may hold several chunks, each after the first with its report ID 0x01.
    void onSerialCommand(const uint8_t* bytes, size_t length);
    // The answer the host reads next: status byte first. Busy answers are counted down here.
    Bytes answer();

    // Scripting.
    void swipe(const SwipeCard& card);
    void notify(uint16_t id, const Bytes& data);
    void setBusyPolls(int polls);                 // busy answers before each extended answer
    void setNotificationChunkSize(size_t bytes);  // data bytes per notification chunk (1..256)
    void setResponseChunkSize(size_t bytes);      // data bytes per extended answer chunk
    void setTransactionPaceMs(int ms);            // gap between the transaction's notifications
    void setBattery(int level);                   // -1: no battery byte in card reports
    std::vector<CommandRecord> commands() const;  // every command so far, oldest first
    void clearCommands();
    // Blocks until the scheduled notifications have all been handed to the listener.
    void drain();

  private:
    void parseCommand(const uint8_t* p, size_t n, bool hid);
    void execute(uint8_t code, const Bytes& data);
    void extendedChunk(const Bytes& data);
    void runExtended(uint16_t code, const Bytes& data);
    void setPlain(uint8_t status, const Bytes& data = {});
    void setExtended(uint16_t result, const Bytes& data);
    void schedule(int delayMs, std::function<void()> fn);
    void sendNotification(uint16_t id, const Bytes& data);
    void transactionScript(const Bytes& record);
    void worker();

    const SwipeModel model_;
    const std::string serial_;

    mutable std::mutex mutex_;
    Listener listener_;
    std::vector<CommandRecord> log_;
    std::map<uint8_t, Bytes> properties_;
    // answer state
    Bytes plain_{kStatusFailed, 0};
    std::vector<Bytes> chunks_;
    size_t chunkIndex_ = 0;
    int busyLeft_ = 0;
    bool lastWasBusy_ = false;
    bool receiving_ = false;
    // a plain command longer than one feature report
    Bytes longCommand_;
    size_t longExpected_ = 0;
    // an extended command being received
    Bytes extData_;
    uint16_t extCode_ = 0, extTotal_ = 0;
    bool extPending_ = false;
    // settings
    int busyPolls_ = 2;
    size_t notifChunk_ = 55;
    size_t respChunk_ = 52;
    int paceMs_ = 20;
    int battery_ = 85;
    uint32_t swipeCounter_ = 0;
    // transaction
    bool inTransaction_ = false;
    Bytes txRecord_;

    // delayed events
    std::mutex qMutex_;
    std::condition_variable qCv_;
    std::multimap<std::chrono::steady_clock::time_point, std::function<void()>> queue_;
    bool stop_ = false;
    bool running_ = false;
    std::thread thread_;
};

}  // namespace sim::swipe
