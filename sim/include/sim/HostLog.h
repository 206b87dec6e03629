#pragma once
// What the host sent to a simulated device, in arrival order, for tests to read back.
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sim/Types.h"

namespace sim {

class HostLog {
  public:
    enum class Kind {
        OutputReport,    // hid_write: report number in byte 0
        SetFeature,      // hid_send_feature_report: report id in byte 0
        GetFeature,      // hid_get_feature_report: the report id asked for
        GetInputReport,  // hid_get_input_report: the report id asked for
        StreamBytes,     // bytes received on a TCP connection or a terminal
        Message,         // one whole message reassembled by a simulated reader
    };
    struct Entry {
        Kind kind;
        Bytes data;
    };

    void add(Kind kind, Bytes data);
    std::vector<Entry> entries() const;
    std::vector<Bytes> of(Kind kind) const;
    std::size_t count(Kind kind) const;
    void clear();
    // Waits until at least n entries of the kind were recorded; false on timeout.
    bool waitFor(Kind kind, std::size_t n, Millis timeout) const;
    // Waits until pred(entries) holds; false on timeout.
    bool waitUntil(const std::function<bool(const std::vector<Entry>&)>& pred,
                   Millis timeout) const;

  private:
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::vector<Entry> entries_;
};

}  // namespace sim
