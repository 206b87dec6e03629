#pragma once
// Base of every connection: moves raw bytes between one link and the device object.
//
// Received bytes go to `onData` when it is set, otherwise into a 64 KiB ring buffer that
// `Receive` drains. Link-status changes (a lost link, as a negative value) go to
// `onStatusChanged` on a thread of their own that the connection owns and joins when it closes.
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "GuardedHandler.h"
#include "ringbuff.h"

class SerialComm {
  public:
    SerialComm();
    SerialComm(const SerialComm&) = delete;
    SerialComm& operator=(const SerialComm&) = delete;

    virtual void AddToBuffer(unsigned char* data, unsigned int length);
    virtual void GetFromBuffer(unsigned char* data, unsigned int* length);
    virtual ~SerialComm();
    // Lists the devices this connection type can reach: callback(path, description), which
    // returns false to stop. True when at least one device was listed.
    virtual bool Enum(std::function<bool(std::string, std::string)> callback, std::string filter);
    virtual int Open();
    virtual int Close();
    virtual bool IsOpen();
    virtual int Send(unsigned char* data, unsigned int length);
    // Takes up to *length buffered bytes; 0 when the buffer is now empty, 18 when more remain.
    virtual int Receive(unsigned char* data, unsigned int* length);

    ringbuff<unsigned char> _received;
    std::string _config;
    GuardedHandler<void(unsigned char*, unsigned int)> onData;
    GuardedHandler<void(int)> onStatusChanged;

  protected:
    // Calls onStatusChanged(status) on the connection's status thread.
    void reportStatus(int status);
    // Waits for the status thread to finish. Called from the status thread itself (a handler
    // that closes the connection), the thread is let go instead: it touches nothing of the
    // connection after its handler returns.
    void stopStatusThread();

  private:
    std::mutex statusLock;
    std::thread statusThread;
};
