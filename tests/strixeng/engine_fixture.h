#pragma once
// Test doubles for the engine: a delegate that records every event, a connection that answers
// feature-report reads from a script and records what was sent, and engines that accept a
// model row and a connection without opening a device.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "Cardova.h"
#include "Kestrel.h"
#include "StrixRecords.h"

using Bytes = std::vector<unsigned char>;

struct RecordingDelegate : Cardova_Delegate {
    struct Notification {
        unsigned short id;
        Bytes data;
        bool nullData;
    };
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::pair<int, std::string>> errors;
    std::vector<EDeviceStateValues> deviceStates;
    std::vector<ECardDataStateValues> cardStates;
    std::vector<Notification> notifications;

    void OnError(Cardova*, int code, char* message) override {
        std::lock_guard<std::mutex> g(m);
        errors.emplace_back(code, message != nullptr ? message : "");
        cv.notify_all();
    }
    void OnDeviceChange(Cardova*, EDeviceStateValues state) override {
        std::lock_guard<std::mutex> g(m);
        deviceStates.push_back(state);
        cv.notify_all();
    }
    void OnCardUpdate(Cardova*, ECardDataStateValues state) override {
        std::lock_guard<std::mutex> g(m);
        cardStates.push_back(state);
        cv.notify_all();
    }
    void OnNotification(Cardova*, unsigned short id, const unsigned char* data,
                        int dataLen) override {
        std::lock_guard<std::mutex> g(m);
        notifications.push_back(
            {id, data != nullptr ? Bytes(data, data + dataLen) : Bytes(), data == nullptr});
        cv.notify_all();
    }
    // Waits until pred() holds (checked under the lock) or 5 s passed.
    template <class Pred>
    bool waitFor(Pred pred) {
        std::unique_lock<std::mutex> g(m);
        return cv.wait_for(g, std::chrono::seconds(5), pred);
    }
};

// Answers receive() from a queue of reports (padded to the 61 bytes of a HID feature report)
// and records every report sent.
class ScriptedConnection : public iConnection {
  public:
    std::deque<Bytes> answers;
    std::vector<Bytes> sent;
    int failSendAt = -1;  // index of the send that fails with 17

    int send(char* pData, int dataLen, int type) override {
        if (type != 1) return -1;
        if (static_cast<int>(sent.size()) == failSendAt) return 17;
        sent.emplace_back(reinterpret_cast<unsigned char*>(pData),
                          reinterpret_cast<unsigned char*>(pData) + dataLen);
        return 0;
    }
    int receive(unsigned char* pData, int* dataLen) override {
        if (answers.empty()) return 17;
        Bytes a = answers.front();
        answers.pop_front();
        if (a.size() < 61) a.resize(61, 0);
        std::memcpy(pData, a.data(), a.size());
        *dataLen = static_cast<int>(a.size());
        return 0;
    }
    // An input report, as the reading thread would deliver it.
    void input(Bytes report) { notifyData(report.data(), static_cast<int>(report.size())); }
};

template <class Engine>
class TestEngine : public Engine {
  public:
    void configure(const CRConfigTable& row) {
        this->configTable = row;
        this->rawData.m_dwDevicePID = row.dwPID;
    }
    void attach(iConnection* c) { this->adoptConnection(c); }
    using Engine::ExtractNameAAMVA;
    using Engine::ExtractNameISO;
};

inline const CRConfigTable& modelRow(long pid) {
    for (const CRConfigTable& row : CR_CfgTable)
        if (row.dwPID == pid) return row;
    return CR_CfgTable[STRIX_MODEL_COUNT - 1];
}
