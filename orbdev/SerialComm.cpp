#include "SerialComm.h"

#include "ErrorCodes.h"

SerialComm::SerialComm() : _received(65536) {}

SerialComm::~SerialComm() {
    stopStatusThread();
}

void SerialComm::AddToBuffer(unsigned char* data, unsigned int length) {
    if (data == nullptr || length == 0) return;
    if (!onData(data, length)) _received.push_back(data, length);
}

void SerialComm::GetFromBuffer(unsigned char* data, unsigned int* length) {
    if (length == nullptr) return;
    size_t count = data == nullptr ? 0 : *length;
    _received.pop_front(data, count);
    *length = static_cast<unsigned int>(count);
}

bool SerialComm::Enum(std::function<bool(std::string, std::string)>, std::string) {
    return false;
}
int SerialComm::Open() {
    return ERROR_UNKNOWN;
}
int SerialComm::Close() {
    return ERROR_UNKNOWN;
}
bool SerialComm::IsOpen() {
    return false;
}
int SerialComm::Send(unsigned char*, unsigned int) {
    return ERROR_UNKNOWN;
}

int SerialComm::Receive(unsigned char* data, unsigned int* length) {
    if (length == nullptr) return ERROR_INVALID_PARAMETERS;
    GetFromBuffer(data, length);
    return _received.empty() ? ERROR_NO_ERR : ERROR_MORE_DATA_AVAILABLE;
}

void SerialComm::reportStatus(int status) {
    stopStatusThread();  // a previous report has finished before the next starts
    std::lock_guard<std::mutex> g(statusLock);
    // The thread holds the handler's state, not the connection, once the call is under way.
    statusThread = std::thread([this, status] { onStatusChanged(status); });
}

void SerialComm::stopStatusThread() {
    std::thread t;
    {
        std::lock_guard<std::mutex> g(statusLock);
        t = std::move(statusThread);
    }
    if (!t.joinable()) return;
    if (t.get_id() == std::this_thread::get_id()) {
        t.detach();
    } else {
        t.join();
    }
}
