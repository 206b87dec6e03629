#pragma once
#include <hidapi/hidapi.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "iConnection.h"

struct product_item {
    unsigned short vendorId;
    unsigned short productId;
};

// A USB HID reader driven through hidapi. Commands and their answers travel as feature reports
// on the caller's thread; input reports (card data, notifications) are read by a background
// thread that hands each one to the data callback.
//
// Threads: the reading thread is the only caller of hid_read_timeout; every other hidapi call
// on the device (feature reports, close) is serialised by accessLock, so a command never waits
// behind a read that is waiting for input. close() stops and joins the reading thread before the
// handle is closed.
class HIDConnection : public iConnection {
  public:
    static constexpr int kFeatureReportLength = 61;
    static constexpr int kInputReportLength = 2048;
    // How long one read waits for an input report before it looks at the stop signal again.
    // hidapi's read cannot be woken from outside, so this is the trade between an idle open
    // reader's wake-ups (1000 / kReadWaitMs a second, here 4: no measurable CPU) and how long
    // close() may wait for the reading thread (at most one wait). Reports are handed on the
    // moment they arrive whatever the value.
    static constexpr int kReadWaitMs = 250;
    static const product_item productList[12];

    HIDConnection();
    ~HIDConnection() override;

    void close() override;
    // type 1: pData (report ID first) is sent as a feature report; other types answer -1.
    int send(char* pData, int dataLen, int type) override;
    // Reads the feature report whose ID is pData[0]; copies all 61 bytes (pData must hold at
    // least 61) and sets *dataLen to 61.
    int receive(unsigned char* pData, int* dataLen) override;
    int getDeviceInfoEx(void* info) override;
    // Called on the reading thread when a read fails (the device went away).
    virtual void onHidReadingFailure(int error);

    int setFeatureReport(unsigned char* rpt, int rptLen);
    // Fills the connection's feature-report buffer with report featureId.
    int getFeatureReport(int featureId);
    bool IsDeviceConnected();
    bool getInputReport() { return false; }

    // "HID://" + path (first character not a letter or digit), or "HID://" + the leading
    // characters of a serial number or an exact device path of a listed reader.
    static HIDConnection* open(const char* pathScheme);
    static int enumDevices(iConnectionEnumDevice fnFoundDevice);

    // Enumeration with a context: visitor(pathScheme, info) answers false to stop.
    using DeviceVisitor = std::function<bool(const char* pathScheme, DeviceExtraInfo* info)>;
    static int enumerate(const DeviceVisitor& visitor);

  protected:
    bool _open(const char* path);

  private:
    // Shared between the connection and its reading thread, so that the thread never touches a
    // connection that was closed (and possibly deleted) from inside one of its own callbacks.
    struct ReaderState {
        std::atomic<bool> stop{false};
        std::vector<unsigned char> inputReport;
    };
    void hidReadThread(std::shared_ptr<ReaderState> state, hid_device* device);
    int readFeatureLocked(int featureId);

    std::string strDevicePath;
    std::mutex accessLock;
    hid_device* hHidDevice = nullptr;
    std::atomic<long> referenceFlag{0};
    std::vector<unsigned char> featureReport;

    std::mutex lifecycleLock;  // guards readThread/readerState hand-over in close()
    std::thread readThread;
    std::shared_ptr<ReaderState> readerState;
};
