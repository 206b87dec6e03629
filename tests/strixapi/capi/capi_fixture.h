#pragma once
// A bench with simulated swipe readers for the C API tests, and collectors for callbacks.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "SwipeHidDevice.h"
#include "sim/Bench.h"
#include "strix.h"

// Texts that callbacks delivered, in arrival order, by channel name.
class Collector {
  public:
    void add(const std::string& channel, const std::string& text) {
        std::lock_guard<std::mutex> g(m);
        items.push_back({channel, text});
        cv.notify_all();
    }
    std::vector<std::string> of(const std::string& channel) {
        std::lock_guard<std::mutex> g(m);
        std::vector<std::string> out;
        for (const auto& i : items) {
            if (i.first == channel) out.push_back(i.second);
        }
        return out;
    }
    bool waitFor(const std::string& channel, size_t n, int ms = 5000) {
        std::unique_lock<std::mutex> g(m);
        return cv.wait_for(g, std::chrono::milliseconds(ms), [&] {
            size_t c = 0;
            for (const auto& i : items) c += i.first == channel;
            return c >= n;
        });
    }
    // Waits until the channel has delivered exactly this text.
    bool waitForText(const std::string& channel, const std::string& text, int ms = 5000) {
        std::unique_lock<std::mutex> g(m);
        return cv.wait_for(g, std::chrono::milliseconds(ms), [&] {
            for (const auto& i : items)
                if (i.first == channel && i.second == text) return true;
            return false;
        });
    }
    void clear() {
        std::lock_guard<std::mutex> g(m);
        items.clear();
    }

  private:
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::pair<std::string, std::string>> items;
};

class SwipeApiTest : public ::testing::Test {
  protected:
    void SetUp() override { bench.exportHidSocket(); }
    void TearDown() override {
        CloseDevice();
        // Callbacks registered by a test must not outlive its collectors.
        OnDataReceived(nullptr);
        OnNotification(nullptr);
        OnDeviceResponse(nullptr);
        OnDeviceExtendedResponse(nullptr);
        OnTransactionStatus(nullptr);
        OnDisplayMessageRequest(nullptr);
        OnUserSelectionRequest(nullptr);
        OnARQCReceived(nullptr);
        OnTransactionResult(nullptr);
        OnDeviceConnectionStateChanged(nullptr);
        LYNXCardDataStateChangedNotify(nullptr);
        LYNXDeviceStateChangedNotify(nullptr);
        OnError(nullptr);
    }
    std::shared_ptr<sim::swipe::SwipeHidDevice> attach(uint16_t pid, const std::string& serial) {
        auto d = std::make_shared<sim::swipe::SwipeHidDevice>(pid, serial);
        bench.attachHid(d);
        return d;
    }

    sim::Bench bench;
};

std::string hexOfText(const std::string& s);
