#pragma once
// Connection to a reader on USB HID (hidapi).
//
// Every packet is written as one 65-byte output report (report number, then the packet padded
// with zeros). The reading thread hands each input report on with one placeholder byte in front.
//
// hidapi and threads: hidapi lets one thread read a device while another writes it, but nothing
// may use a handle while it is being closed. So the reading thread alone calls hid_read_timeout,
// without a lock, and never holds anything a writer needs; `accessLock` serialises the writers
// with each other and with close; close first stops and joins the reading thread, then takes
// `accessLock` and closes the handle. hidapi's blocking read cannot be woken from outside, so the
// reading thread waits in slices of READ_WAIT_MS: incoming reports are handed on the moment they
// arrive, an idle reader wakes 1000 / READ_WAIT_MS times a second, and close waits at most one
// slice.
//
// A failed read (reader unplugged) ends the reading thread and is reported once through
// onStatusChanged with hidapi's negative result, on the connection's status thread.
#include <hidapi.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "SerialComm.h"

class USBConnection : public SerialComm {
  public:
    struct Product {
        unsigned short vendorId;
        unsigned short productId;
    };
    static const Product productList[3];
    static constexpr unsigned short VENDOR_ID = 0x2F1A;
    static constexpr int REPORT_LENGTH = 65;
    // 4 wake-ups a second for an idle reader (no measurable CPU); close waits at most 250 ms.
    static constexpr int READ_WAIT_MS = 250;

    USBConnection();
    explicit USBConnection(std::string devicePath);
    ~USBConnection() override;

    // Lists recognised readers: callback(path, description).
    bool Enum(std::function<bool(std::string, std::string)> callback, std::string filter) override;
    // 0, or 5 when no reader was found or it cannot be opened.
    int Open() override;
    int Close() override;
    bool IsOpen() override;
    // One report of at most 65 bytes: 0 written, 1 write failed (or too long), 4 not open.
    int Send(unsigned char* data, unsigned int length) override;

    virtual void close();
    // Writes data padded with zeros to a report of reportLength bytes; 0 or 1 as Send.
    virtual int send(char* data, int length, int reportLength);
    virtual void onUsbReadingFailure(int failure);

    // The device-list entry: {"DSN":..,"Name":..,"Product":..,"PID":..,"VID":..,"Path":..}.
    static std::string describe(const hid_device_info& info);

    std::string strDevicePath;
    std::atomic<bool> closingFlag{false};
    std::mutex accessLock;
    std::atomic<hid_device*> hHidDevice{nullptr};
    int iFeatureReportBufferLength = 0;
    int iOutputReportBufferLength = REPORT_LENGTH;
    int iInputReportBufferLength = REPORT_LENGTH;
    unsigned long dwBytesRead = 0;

  private:
    bool _open(std::string path);
    static void usbReadThread(USBConnection* connection, hid_device* device);
    void usbRead(hid_device* device);

    std::mutex closeLock;  // open and close one at a time
    std::thread readThread;
};
