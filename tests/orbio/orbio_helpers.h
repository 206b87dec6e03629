#pragma once
// Small helpers shared by the connection tests.
#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using Bytes = std::vector<unsigned char>;

// Entries of a /proc/self directory (open descriptors, threads).
inline int countEntries(const char* dir) {
    DIR* d = opendir(dir);
    if (d == nullptr) return -1;
    int n = 0;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] != '.') ++n;
    }
    closedir(d);
    return n - (std::string(dir) == "/proc/self/fd" ? 1 : 0);  // the directory's own descriptor
}
inline int openDescriptors() {
    return countEntries("/proc/self/fd");
}
inline int runningThreads() {
    return countEntries("/proc/self/task");
}
// The count once it is back at or below `expected`, waiting up to 2 s (a peer in the same process,
// such as the simulation bench, closes its own ends a moment later). A leak shows as growth;
// descriptors that other threads release meanwhile may make the count smaller.
template <typename Count>
int settledCount(int expected, Count count) {
    int n = count();
    for (int i = 0; i < 200 && n > expected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        n = count();
    }
    return n;
}

// A SLIP frame body: type, 4-byte big-endian length, payload.
inline Bytes slipBody(unsigned char type, const Bytes& payload) {
    Bytes body(5 + payload.size());
    body[0] = type;
    for (int i = 0; i < 4; ++i)
        body[1 + i] = static_cast<unsigned char>(payload.size() >> (24 - 8 * i));
    std::copy(payload.begin(), payload.end(), body.begin() + 5);
    return body;
}

// Bytes, messages and status values arriving on other threads.
struct Inbox {
    std::mutex m;
    std::condition_variable cv;
    Bytes bytes;
    std::vector<Bytes> messages;
    std::vector<int> statuses;

    void addBytes(const unsigned char* p, unsigned int n) {
        std::lock_guard<std::mutex> g(m);
        bytes.insert(bytes.end(), p, p + n);
        cv.notify_all();
    }
    void addMessage(Bytes b) {
        std::lock_guard<std::mutex> g(m);
        messages.push_back(std::move(b));
        cv.notify_all();
    }
    void addStatus(int s) {
        std::lock_guard<std::mutex> g(m);
        statuses.push_back(s);
        cv.notify_all();
    }
    template <typename Pred>
    bool waitFor(Pred pred, int ms = 3000) {
        std::unique_lock<std::mutex> g(m);
        return cv.wait_for(g, std::chrono::milliseconds(ms), pred);
    }
    bool waitBytes(size_t n, int ms = 3000) {
        return waitFor([&] { return bytes.size() >= n; }, ms);
    }
    bool waitMessages(size_t n, int ms = 3000) {
        return waitFor([&] { return messages.size() >= n; }, ms);
    }
    bool waitStatuses(size_t n, int ms = 3000) {
        return waitFor([&] { return statuses.size() >= n; }, ms);
    }
    size_t statusCount() {
        std::lock_guard<std::mutex> g(m);
        return statuses.size();
    }
};

#include "stdafx.h"
