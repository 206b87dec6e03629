#include "AsterDevice.h"

#include <chrono>
#include <stdexcept>

#include "AsterAPIFrameWork.h"
#include "AsterResponse.h"
#include "CommPort.h"
#include "IVLCommunicationPackage.h"
#include "PassThroughCommunication.h"
#include "SerialComm.h"
#include "SerialCommunicationPackage.h"
#include "SocketConnection.h"
#include "USBConnection.h"
#include "VelnorCommunicationPackage.h"
#include "VelnorUSBHIDPackage.h"
#include "orbx.h"

namespace {
// Packet size of the report protocol on USB and TCP, and the largest piece sent in one SLIP frame
// until the reader announces its own buffer size.
constexpr int kPacketSize = 64;
constexpr int kSerialBufferSize = 0x200000;

bool isAcceptedType(int type) {
    switch (type) {
        case USB:
        case BLE_EMV:
        case TCP:
        case TLS12:
        case SERIAL:
        case WS:
        case WS_TRUST:
            return true;
        default:
            return false;
    }
}

// The command identifier of an outgoing command message, or -1 when the bytes are not a command
// (for example a file message). Read from the frame directly: building a command object would
// draw a message number.
int commandIdOf(const std::vector<unsigned char>& data) {
    try {
        AsterAPIFrameWork frame = AsterAPIFrameWork::Parse(data);
        if (!AsterAPIFrameWork::isCompatible(frame.ID())) return -1;
        std::vector<unsigned char> header = frame.GetParameter(1);
        if (header.size() < 4 || (header[0] & 0x7F) != 1) return -1;
        return header[2] << 8 | header[3];
    } catch (...) {
        return -1;
    }
}

// Whether an incoming message is a response (to the command expectedId, when not -1). A
// response to another command, such as a late answer to an exchange that timed out, does not
// end the wait.
bool isResponseTo(const std::vector<unsigned char>& message, int expectedId) {
    try {
        AsterResponse response = AsterResponse::Parse(message);
        return expectedId < 0 || response.ID == expectedId;
    } catch (...) {
        return false;
    }
}
}  // namespace

struct AsterDevice::Exchange {
    bool raw = false;
    bool needResponse = true;
    int expectedId = -1;
    bool done = false;
    bool cancelled = false;
    Bytes result;
};

AsterDevice::AsterDevice() : initialized(std::make_shared<std::atomic<int>>(kAlive)) {}

AsterDevice::~AsterDevice() {
    _onDataQueue.stop();
    release();
    initialized->store(kDead);
    onData = nullptr;
    onStatusChanged = nullptr;
}

void AsterDevice::SetDeviceType(int type) {
    release();
    if (!isAcceptedType(type)) throw std::runtime_error("Invalid device type");
    _deviceType = type;
}

bool AsterDevice::Enum(EnumCallback callback, std::string filter) {
    switch (_deviceType.load()) {
        case USB: {
            USBConnection connection;
            return connection.Enum(std::move(callback), std::move(filter));
        }
        case SERIAL: {
            CommPort connection("");
            return connection.Enum(std::move(callback), std::move(filter));
        }
        default:
            return false;
    }
}

bool AsterDevice::isOpenLocked() const {
    return _device && _dataParser && _device->IsOpen();
}

bool AsterDevice::IsOpen() {
    std::lock_guard<std::recursive_mutex> guard(_linkLock);
    return isOpenLocked();
}

bool AsterDevice::Open(std::string path) {
    std::lock_guard<std::recursive_mutex> guard(_linkLock);
    if (isOpenLocked()) return true;
    release();  // a link that is no longer open is replaced

    std::shared_ptr<SerialComm> connection;
    std::shared_ptr<IVLCommunicationPackage> packaging;
    switch (_deviceType.load()) {
        case USB:
            connection = std::make_shared<USBConnection>(path);
            packaging = std::make_shared<VelnorUSBHIDPackage>(0, kPacketSize);
            break;
        case TCP:
            connection = std::make_shared<SocketConnection>(path);
            packaging = std::make_shared<VelnorCommunicationPackage>(kPacketSize);
            break;
        case TLS12:
            packaging = std::make_shared<VelnorCommunicationPackage>(kPacketSize);
            break;
        case SERIAL:
            connection = std::make_shared<CommPort>(path);
            packaging = std::make_shared<SerialCommunicationPackage>(kSerialBufferSize);
            break;
        case WS:
        case WS_TRUST:
            packaging = std::make_shared<PassThroughCommunication>();
            break;
        default:  // BLE_EMV and unset: no link can be built
            break;
    }
    if (!connection) return false;

    packaging->onPayloadReceived = [this](Bytes message) { onMessage(message); };
    connection->onData = [this](unsigned char* data, unsigned int length) {
        onChunk(data, length);
    };
    connection->onStatusChanged = [this](int status) { onLinkStatus(status); };
    {
        std::lock_guard<std::mutex> parserGuard(_parserLock);
        _dataParser = packaging;
    }
    _device = connection;
    if (connection->Open() == 0) return true;
    release();
    return false;
}

void AsterDevice::release() {
    std::shared_ptr<SerialComm> connection;
    std::shared_ptr<IVLCommunicationPackage> packaging;
    {
        std::lock_guard<std::recursive_mutex> guard(_linkLock);
        connection = std::move(_device);
        std::lock_guard<std::mutex> parserGuard(_parserLock);
        packaging = std::move(_dataParser);
    }
    cancelExchange();
    if (connection) {
        // Clearing a handler waits for a call in progress on the reading thread, so after these
        // lines the connection no longer reaches this object.
        connection->onData = nullptr;
        connection->onStatusChanged = nullptr;
        connection->Close();
    }
    if (packaging) packaging->onPayloadReceived = nullptr;
    // The objects are destroyed here, or by a write still in progress on this thread (a progress
    // callback that closed the device) once it has finished.
}

bool AsterDevice::Close() {
    if (IsOpen()) {
        if (isAlive()) {
            try {
                onStatusChanged(this, 1);
            } catch (...) {
            }
        }
    }
    release();
    return true;
}

void AsterDevice::StopDelivery() {
    _onDataQueue.stop();
}

void AsterDevice::Send(Bytes data) {
    Send(std::move(data), Progress());
}

void AsterDevice::Send(Bytes data, Progress progress) {
    std::lock_guard<std::recursive_mutex> guard(_linkLock);
    // Copies keep the link objects alive even if a progress callback closes the device.
    std::shared_ptr<SerialComm> connection = _device;
    std::shared_ptr<IVLCommunicationPackage> packaging = _dataParser;
    if (!connection || !packaging || !connection->IsOpen()) return;
    packaging->SendPayload(
        std::move(data),
        [connection](unsigned char* piece, unsigned int length) {
            connection->Send(piece, length);
        },
        std::move(progress));
}

AsterDevice::Bytes AsterDevice::SendAndReceiveMessage(Bytes data, int timeOut) {
    return exchange(std::move(data), Progress(), timeOut, true, false);
}

AsterDevice::Bytes AsterDevice::SendAndReceivePackage(Bytes data, int timeOut, bool needResponse) {
    return exchange(std::move(data), Progress(), timeOut, false, needResponse);
}

AsterDevice::Bytes AsterDevice::SendAndReceivePackage(Bytes data, Progress progress, int timeOut,
                                                      bool needResponse) {
    return exchange(std::move(data), progress, timeOut, false, needResponse);
}

AsterDevice::Bytes AsterDevice::exchange(Bytes data, const Progress& progress, int timeOut,
                                         bool raw, bool needResponse) {
    if (!IsOpen()) throw std::runtime_error("Device is not opened.");
    std::lock_guard<std::mutex> serial(_exchangeSerial);

    Exchange ex;
    ex.raw = raw;
    ex.needResponse = needResponse;
    ex.expectedId = raw ? -1 : commandIdOf(data);
    {
        std::lock_guard<std::mutex> guard(_exLock);
        _exchange = &ex;
    }
    struct Uninstall {
        AsterDevice& device;
        ~Uninstall() {
            std::lock_guard<std::mutex> guard(device._exLock);
            device._exchange = nullptr;
        }
    } uninstall{*this};

    // Checked again with the wait installed: a close from now on cancels it.
    if (!IsOpen()) throw std::runtime_error("Device is not opened.");
    if (raw) {
        std::lock_guard<std::recursive_mutex> guard(_linkLock);
        std::shared_ptr<SerialComm> connection = _device;
        if (connection && !data.empty())
            connection->Send(data.data(), static_cast<unsigned int>(data.size()));
    } else {
        Send(std::move(data), progress);
    }

    std::unique_lock<std::mutex> guard(_exLock);
    _exWake.wait_for(guard, std::chrono::milliseconds(timeOut > 0 ? timeOut : 0),
                     [&] { return ex.done || ex.cancelled; });
    return ex.done ? std::move(ex.result) : Bytes();
}

void AsterDevice::cancelExchange() {
    std::lock_guard<std::mutex> guard(_exLock);
    if (_exchange != nullptr) {
        _exchange->cancelled = true;
        _exWake.notify_all();
    }
}

void AsterDevice::ParseData(Bytes data) {
    std::shared_ptr<IVLCommunicationPackage> packaging;
    {
        std::lock_guard<std::mutex> guard(_parserLock);
        packaging = _dataParser;
    }
    if (packaging) packaging->ParseReport(std::move(data));
}

void AsterDevice::onChunk(unsigned char* data, unsigned int length) {
    if (!isAlive()) return;
    {
        std::lock_guard<std::mutex> guard(_exLock);
        if (_exchange != nullptr && _exchange->raw) {
            // A raw exchange takes the first chunk; the packaging sees nothing meanwhile.
            if (!_exchange->done && !_exchange->cancelled) {
                _exchange->result.assign(data, data + length);
                _exchange->done = true;
                _exWake.notify_all();
            }
            return;
        }
    }
    try {
        ParseData(Bytes(data, data + length));
    } catch (...) {
    }
}

void AsterDevice::onMessage(const Bytes& message) {
    if (!isAlive()) return;
    // Delivered first, so the application sees every message, the response included.
    if (onData) {
        _onDataQueue.queue([this](AsterDevice* device, Bytes m) { onData(device, std::move(m)); },
                           this, message);
    }
    std::lock_guard<std::mutex> guard(_exLock);
    Exchange* ex = _exchange;
    if (ex == nullptr || ex->raw || ex->done || ex->cancelled) return;
    if (ex->needResponse && !isResponseTo(message, ex->expectedId)) return;
    ex->result = message;
    ex->done = true;
    _exWake.notify_all();
}

void AsterDevice::onLinkStatus(int status) {
    if (!isAlive()) return;
    try {
        onStatusChanged(this, status);
    } catch (...) {
    }
    if (status == 0) {
        try {
            release();
        } catch (...) {
        }
    }
}
