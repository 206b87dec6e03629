#include "sim/FaultInjector.h"

namespace sim {

void FaultInjector::dropNext(unsigned count) {
    std::lock_guard<std::mutex> g(lock_);
    for (unsigned i = 0; i < count; ++i) rules_.push_back(Rule(Kind::Drop));
}

void FaultInjector::duplicateNext(unsigned count) {
    std::lock_guard<std::mutex> g(lock_);
    for (unsigned i = 0; i < count; ++i) rules_.push_back(Rule(Kind::Duplicate));
}

void FaultInjector::swapNextTwo() {
    std::lock_guard<std::mutex> g(lock_);
    rules_.push_back(Rule(Kind::Swap));
}

void FaultInjector::corruptNext(std::size_t offset, std::uint8_t mask) {
    std::lock_guard<std::mutex> g(lock_);
    Rule r(Kind::Corrupt);
    r.offset = offset;
    r.mask = mask;
    rules_.push_back(r);
}

void FaultInjector::delayNext(Millis delay, unsigned count) {
    std::lock_guard<std::mutex> g(lock_);
    for (unsigned i = 0; i < count; ++i) {
        Rule r(Kind::Delay);
        r.delay = delay;
        rules_.push_back(r);
    }
}

void FaultInjector::garbageBeforeNext(Bytes garbage) {
    std::lock_guard<std::mutex> g(lock_);
    Rule r(Kind::Garbage);
    r.garbage = std::move(garbage);
    rules_.push_back(std::move(r));
}

void FaultInjector::unplugAfter(unsigned count) {
    std::lock_guard<std::mutex> g(lock_);
    unplugCountdown_ = count;
}

void FaultInjector::setSilent(bool silent) {
    std::lock_guard<std::mutex> g(lock_);
    silent_ = silent;
}

bool FaultInjector::silent() const {
    std::lock_guard<std::mutex> g(lock_);
    return silent_;
}

void FaultInjector::clear() {
    std::lock_guard<std::mutex> g(lock_);
    rules_.clear();
    held_.reset();
    unplugCountdown_.reset();
    silent_ = false;
}

std::deque<FaultInjector::Emission> FaultInjector::process(Bytes packet) {
    std::lock_guard<std::mutex> g(lock_);
    std::deque<Emission> out;
    if (silent_) return out;
    Emission e{std::move(packet)};
    bool hold = false;
    if (!rules_.empty()) {
        Rule r = std::move(rules_.front());
        rules_.pop_front();
        switch (r.kind) {
            case Kind::Drop:
                e.data.clear();
                break;
            case Kind::Duplicate:
                out.push_back(e);
                break;
            case Kind::Swap:
                hold = true;
                break;
            case Kind::Corrupt:
                if (r.offset < e.data.size()) e.data[r.offset] ^= r.mask;
                break;
            case Kind::Delay:
                e.delay = r.delay;
                break;
            case Kind::Garbage:
                out.push_back(Emission{std::move(r.garbage)});
                break;
        }
    }
    bool dropped = e.data.empty();
    if (hold) {
        held_ = std::move(e);
        return out;
    }
    if (!dropped) {
        out.push_back(std::move(e));
        if (held_) {  // a held packet goes out behind the next packet that does
            out.push_back(std::move(*held_));
            held_.reset();
        }
    }
    if (unplugCountdown_ && !dropped) {
        if (*unplugCountdown_ <= 1) {
            unplugCountdown_.reset();
            if (!out.empty()) out.back().unplugAfterThis = true;
        } else {
            --*unplugCountdown_;
        }
    }
    return out;
}

}  // namespace sim
