#pragma once
// State and helpers shared by the files of the C API (single-device and handle-based).
#include <atomic>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

#include "Cardova.h"
#include "LocalDelegate.h"
#include "TextPool.h"

namespace strixapi {

// The outcome of one command transaction.
struct Transaction {
    int result = 0;                  // 0, the reader's status or an error code
    std::string hex;                 // response data as upper-case hex
    std::vector<unsigned char> raw;  // the response as fetched (report ID first)
};

// sendCommand -> waitForCommand -> getResponse -> MakeHexStringFromResponse on an engine whose
// transactions the caller has serialised (engine->lock).
Transaction runTransaction(Cardova* engine, const std::string& command, int responseCapacity = 8192,
                           int textCapacity = 8192);

// The library's rotating text pool (STATIC_STRING).
const char* STATIC_STRING(const std::string& s);

// The single-device reader. `lock` is taken exclusively to open and close it and shared by
// every use; `busy` marks a running single-device command.
struct SingleDevice {
    std::shared_mutex lock;
    Cardova* engine = nullptr;
    unsigned long generation = 0;
    std::atomic<int> bInBusy{0};
};
SingleDevice& single();
LocalDelegate& localDelegate();

// Copies the card record of the open single-device reader when its card data is ready.
bool readyCardRecord(VLMSRDATA& out);
// Model row of the open single-device reader (zeroed when none).
CRConfigTable openedConfig();

// Refreshes the device list; returns the names in enumeration order with their model rows.
struct ListedDevice {
    std::string name;
    CRConfigTable* row;
};
std::vector<ListedDevice> refreshDeviceList();

// Forgets the serial number cached by GetDeviceSerial.
void clearCachedSerial();
}  // namespace strixapi
