#include "sim/HostLog.h"

namespace sim {

void HostLog::add(Kind kind, Bytes data) {
    {
        std::lock_guard<std::mutex> g(lock_);
        entries_.push_back({kind, std::move(data)});
    }
    changed_.notify_all();
}

std::vector<HostLog::Entry> HostLog::entries() const {
    std::lock_guard<std::mutex> g(lock_);
    return entries_;
}

std::vector<Bytes> HostLog::of(Kind kind) const {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<Bytes> out;
    for (auto& e : entries_)
        if (e.kind == kind) out.push_back(e.data);
    return out;
}

std::size_t HostLog::count(Kind kind) const {
    std::lock_guard<std::mutex> g(lock_);
    std::size_t n = 0;
    for (auto& e : entries_) n += e.kind == kind;
    return n;
}

void HostLog::clear() {
    std::lock_guard<std::mutex> g(lock_);
    entries_.clear();
}

bool HostLog::waitFor(Kind kind, std::size_t n, Millis timeout) const {
    return waitUntil(
        [&](const std::vector<Entry>& all) {
            std::size_t c = 0;
            for (auto& e : all) c += e.kind == kind;
            return c >= n;
        },
        timeout);
}

bool HostLog::waitUntil(const std::function<bool(const std::vector<Entry>&)>& pred,
                        Millis timeout) const {
    std::unique_lock<std::mutex> g(lock_);
    return changed_.wait_for(g, timeout, [&] { return pred(entries_); });
}

}  // namespace sim
