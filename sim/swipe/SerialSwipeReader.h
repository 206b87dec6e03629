#pragma once
// A simulated swipe reader on a serial line: a pseudo-terminal whose far end the host opens as
// its serial port ("SERIAL://PORT=<path>,..."). A reading thread waits on the terminal with a
// wake-up descriptor, hands complete commands to the reader and writes the framed answers.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "SwipeLine.h"
#include "SwipeReaderCore.h"

namespace sim::swipe {

class SerialSwipeReader {
  public:
    SerialSwipeReader(const SwipeModel& model, std::string serial, LineFormat format);
    ~SerialSwipeReader();  // stops and joins the thread, closes the terminal
    SerialSwipeReader(const SerialSwipeReader&) = delete;
    SerialSwipeReader& operator=(const SerialSwipeReader&) = delete;

    const std::string& portPath() const { return port_; }
    // A connection string that opens this reader ("SERIAL://PORT=...,BAUDRATE=115200,FORMAT=...").
    std::string connectionString() const;
    SwipeReaderCore& core() { return *core_; }
    LineFormat format() const { return codec_.format(); }

    void setRle(bool rle);       // SLIP: notifications and card data run-length coded
    void setAnswering(bool on);  // off: commands are taken but never answered
    // Card data on the line: a clear card report (SLIP) or the track text (LEGACY).
    void swipe(const SwipeCard& card);
    void writeRaw(const Bytes& bytes);  // puts bytes on the line as they are
    Bytes received() const;             // every byte the host wrote, in order
    // Hangs the line up: the terminal's far end then reads end-of-file / errors.
    void unplug();

  private:
    void run();
    void onNotificationChunk(uint16_t id, uint16_t offset, uint16_t total, const Bytes& chunk);
    void writeAll(const Bytes& bytes);

    std::unique_ptr<SwipeReaderCore> core_;
    LineCodec codec_;  // reading thread only after start (settings before)
    int master_ = -1;
    int slaveKeep_ = -1;  // keeps the terminal alive while the host is not attached
    int wake_ = -1;
    std::string port_;
    std::atomic<bool> answering_{true};
    std::mutex writeLock_;
    mutable std::mutex rxLock_;
    Bytes rx_;
    std::thread thread_;
};

}  // namespace sim::swipe
