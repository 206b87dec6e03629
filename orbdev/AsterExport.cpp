// The C interface of liborbdev. Every function catches what goes wrong inside and answers with
// its documented failure result; nothing escapes to the caller.
#include <cstdio>
#include <cstring>
#include <regex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "AsterCommand.h"
#include "AsterDevice.h"
#include "AsterFileMessage.h"
#include "AsterNotification.h"
#include "AsterResponse.h"
#include "DeviceRegistry.h"
#include "ErrorCodes.h"
#include "SdkExport.h"
#include "StaticStringBuffer.h"
#include "StatusThreads.h"
#include "orbx.h"
#include "stdafx.h"

// The process-wide state of the interface, defined together so that it is destroyed in reverse
// order at unload: the devices left open are closed first, then the status threads are joined,
// and the result pools, which those threads may still write to, go last.
StaticStringBuffer staticBuffer;
namespace {
StatusThreads statusThreads;
DeviceRegistry registry;

constexpr int kResultPool = 0;
constexpr int kCommandPool = 1;
constexpr int kDeviceListPool = 2;
constexpr int kTransactionTimeout = 1000;
constexpr std::chrono::milliseconds kStatusStartWait(1000);

const char kEmpty[] = "";

// text copied into a result pool; "" for an empty text; failure when it cannot be stored (a
// result larger than a pool).
const char* poolText(const std::string& text, int pool, const char* failure = kEmpty) {
    if (text.empty()) return kEmpty;
    const char* p = staticBuffer.GetString(text, pool);
    return p != nullptr ? p : failure;
}

AsterCommand* commandOf(void* handle) {
    return DeviceRegistry::isNoHandle(handle) ? nullptr : static_cast<AsterCommand*>(handle);
}

// A whole hexadecimal number (digits only, at least one); its value in value.
bool parseHexNumber(const std::string& text, unsigned long long& value, bool keepLowByte) {
    if (text.empty()) return false;
    value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else {
            return false;
        }
        value = value * 16 + static_cast<unsigned>(digit);
        if (keepLowByte) {
            value &= 0xFF;
        } else if (value > 0xFFFF) {
            return false;  // a command identifier has 16 bits
        }
    }
    return true;
}

// Reads a formatted command text ("1F01,81=0102,84=") into a command. Throws for an invalid text.
AsterCommand parseFormattedCommand(const char* formatted) {
    if (formatted == nullptr || *formatted == '\0')
        throw std::invalid_argument("invalid command text");
    static const std::regex piecePattern("^\\s?(.+)\\s?$");
    static const std::regex parameterPattern("^(\\w+)=(\\w+)?$");

    std::vector<std::string> pieces;
    std::string text(formatted);
    size_t start = 0;
    for (;;) {  // every comma splits, so empty pieces (and a trailing one) are seen
        size_t comma = text.find(',', start);
        pieces.push_back(
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }

    unsigned long long id = 0;
    std::vector<std::pair<unsigned char, std::string>> parameters;
    for (size_t i = 0; i < pieces.size(); ++i) {
        std::smatch piece;
        if (!std::regex_match(pieces[i], piece, piecePattern))
            throw std::invalid_argument("invalid command text");
        std::string body = piece[1].str();
        if (i == 0) {
            if (!parseHexNumber(body, id, false))
                throw std::invalid_argument("invalid command identifier");
            continue;
        }
        std::smatch parameter;
        if (!std::regex_match(body, parameter, parameterPattern))
            throw std::invalid_argument("invalid parameter");
        unsigned long long tag = 0;
        if (!parseHexNumber(parameter[1].str(), tag, true))
            throw std::invalid_argument("invalid parameter tag");
        parameters.emplace_back(static_cast<unsigned char>(tag),
                                parameter[2].matched ? parameter[2].str() : "");
    }
    AsterCommand command(static_cast<unsigned short>(id));
    for (auto& p : parameters) command.SetCommandParameter(p.first, p.second);
    return command;
}

std::string formatHex(const char* format, unsigned value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

// "1F01,CommandStatus=0,OperationStatus=0,81=0102": the response and its inner parameters.
std::string formatResponse(AsterResponse& response) {
    std::string text = formatHex("%04X", response.ID);
    text += ",CommandStatus=" + formatHex("%x", response.CmdStatus);
    text += ",OperationStatus=" + formatHex("%x", response.OpStatus);
    for (unsigned char tag : response.GetAllResponseTags()) {
        text += "," + formatHex("%02X=", tag) + BV2H(response.GetResponseParameter(tag));
    }
    return text;
}

// Sends a command with a fixed response timeout and returns the response text (pool 0): the
// common part of the transaction helpers. 5 when the device is not open.
int transactionExchange(void* handle, AsterCommand& command, std::string& response) {
    const char* text = ORBX_SendCommand(handle, &command, kTransactionTimeout);
    if (text == nullptr) return ERROR_DEVICE_ERROR;
    response = text;
    return static_cast<int>(ORBX_GetStatusCode(response.c_str()));
}

bool deviceIsOpen(void* handle) {
    std::shared_ptr<AsterDevice> device = registry.find(handle);
    return device && device->IsOpen();
}

// The transaction helpers that fill a record with the raw response only.
template <typename Record>
int rawResponseHelper(void* handle, Record* record, const char* parameter) {
    try {
        if (!deviceIsOpen(handle)) return ERROR_DEVICE_NOT_OPEN;
        if (record == nullptr) return ERROR_BUFFER_INSUFFICIENT;
        std::memset(record, 0, sizeof *record);
        AsterCommand command(0x1010);
        command.SetCommandParameter(0x81, std::string(parameter));
        std::string response;
        int result = transactionExchange(handle, command, response);
        record->szRawResponse = poolText(response, kCommandPool);
        return result;
    } catch (...) {
        return ERROR_UNKNOWN;
    }
}

unsigned long bigEndian32(const std::vector<unsigned char>& b) {
    return static_cast<unsigned long>(b[0]) << 24 | static_cast<unsigned long>(b[1]) << 16 |
           static_cast<unsigned long>(b[2]) << 8 | b[3];
}

std::string trackPath(const char* format, int index) {
    char path[32];
    std::snprintf(path, sizeof path, format, index);
    return path;
}
}  // namespace

extern "C" {

// ---- Message building and inspection ------------------------------------------------------------

SDK_EXPORT void* ORBX_CreateCommand(unsigned short CommandID) {
    try {
        return new AsterCommand(CommandID);
    } catch (...) {
        return nullptr;
    }
}

SDK_EXPORT void ORBX_SetCommandParameter(void* CommandHandle, unsigned char Tag,
                                         const char* HexData) {
    AsterCommand* command = commandOf(CommandHandle);
    if (command == nullptr || HexData == nullptr) return;
    try {
        command->SetCommandParameter(Tag, std::string(HexData));
    } catch (...) {
    }
}

SDK_EXPORT const char* ORBX_GetCommandBytesInHex(void* CommandHandle) {
    AsterCommand* command = commandOf(CommandHandle);
    if (command == nullptr) return nullptr;
    try {
        return poolText(BV2H(command->ToBytes()), kCommandPool, nullptr);
    } catch (...) {
        return nullptr;
    }
}

SDK_EXPORT void ORBX_DeleteCommand(void* CommandHandle) {
    delete commandOf(CommandHandle);
}

SDK_EXPORT const char* ORBX_GetFormattedCommandBytesInHex(const char* FormattedCommand) {
    try {
        AsterCommand command = parseFormattedCommand(FormattedCommand);
        return poolText(BV2H(command.ToBytes()), kResultPool, nullptr);
    } catch (...) {
        return nullptr;
    }
}

SDK_EXPORT const char* ORBX_SendFommatedCommand(void* DeviceHandle, const char* FormattedCommand,
                                                int Timeout) {
    try {
        std::shared_ptr<AsterDevice> device = registry.find(DeviceHandle);
        if (!device) return nullptr;
        AsterCommand command = parseFormattedCommand(FormattedCommand);
        std::vector<unsigned char> reply =
            device->SendAndReceivePackage(command.ToBytes(), Timeout, true);
        if (reply.empty()) return nullptr;
        AsterResponse response = AsterResponse::Parse(reply);
        return poolText(formatResponse(response), kResultPool, nullptr);
    } catch (...) {
        return nullptr;
    }
}

SDK_EXPORT bool ORBX_IsNotification(const char* IncomingData, unsigned int NotificationCode,
                                    unsigned short CoreId) {
    if (IncomingData == nullptr) return false;
    try {
        AsterNotification notification = AsterNotification::Parse(std::string(IncomingData));
        if (NotificationCode == notification.GetNotificationNode()) {
            return CoreId == 0 || CoreId == notification.NotificationID;
        }
        return NotificationCode == 0;
    } catch (...) {
        return false;
    }
}

SDK_EXPORT unsigned int ORBX_GetNotificationCode(const char* IncomingData) {
    if (IncomingData == nullptr) return 0;
    try {
        return AsterNotification::Parse(std::string(IncomingData)).GetNotificationNode();
    } catch (...) {
        return 0;
    }
}

SDK_EXPORT int ORBX_GetNotificationId(const char* IncomingData) {
    if (IncomingData == nullptr) return 0;
    try {
        return AsterNotification::Parse(std::string(IncomingData)).NotificationID;
    } catch (...) {
        return 0;
    }
}

SDK_EXPORT const char* ORBX_GetNotificationParameter(const char* HexNotificationData,
                                                     const char* NotificationTag) {
    if (HexNotificationData == nullptr || NotificationTag == nullptr) return kEmpty;
    try {
        AsterNotification notification = AsterNotification::Parse(std::string(HexNotificationData));
        return poolText(BV2H(notification.GetNotificationParameter(NotificationTag)), kResultPool);
    } catch (...) {
        return kEmpty;
    }
}

SDK_EXPORT const char* ORBX_GetResponseParameter(const char* HexResponseData,
                                                 const char* ResponseTag) {
    if (HexResponseData == nullptr || ResponseTag == nullptr) return kEmpty;
    try {
        AsterResponse response = AsterResponse::Parse(std::string(HexResponseData));
        return poolText(BV2H(response.GetResponseParameter(ResponseTag)), kResultPool);
    } catch (...) {
        return kEmpty;
    }
}

SDK_EXPORT int ORBX_GetCommandStatus(const char* HexResponseData) {
    if (HexResponseData == nullptr) return ERROR_UNKNOWN;
    try {
        return static_cast<int>(AsterResponse::Parse(std::string(HexResponseData)).CmdStatus);
    } catch (...) {
        return ERROR_UNKNOWN;
    }
}

SDK_EXPORT int ORBX_GetOperationStatus(const char* HexResponseData) {
    if (HexResponseData == nullptr) return ERROR_UNKNOWN;
    try {
        return static_cast<int>(AsterResponse::Parse(std::string(HexResponseData)).OpStatus);
    } catch (...) {
        return ERROR_UNKNOWN;
    }
}

SDK_EXPORT int ORBX_GetResponseCommandID(const char* HexResponseData) {
    if (HexResponseData == nullptr) return 0;
    try {
        return AsterResponse::Parse(std::string(HexResponseData)).ID;
    } catch (...) {
        return 0;
    }
}

SDK_EXPORT unsigned int ORBX_GetStatusCode(const char* HexResponseData) {
    if (HexResponseData == nullptr) return ERROR_UNKNOWN;
    try {
        return AsterResponse::Parse(std::string(HexResponseData)).GetStatus();
    } catch (...) {
        return ERROR_UNKNOWN;
    }
}

SDK_EXPORT bool ORBX_IsFile(const char* HexMessageData) {
    if (HexMessageData == nullptr) return false;
    try {
        AsterFileMessage::ParseFileMessage(H2BV(HexMessageData));
        return true;
    } catch (...) {
        return false;
    }
}

SDK_EXPORT unsigned long ORBX_GetFileID(const char* HexFileMessage) {
    if (HexFileMessage == nullptr) return 0;
    try {
        return AsterFileMessage::ParseFileMessage(H2BV(HexFileMessage)).FileID;
    } catch (...) {
        return 0;
    }
}

SDK_EXPORT const char* ORBX_GetFilePayload(const char* HexFileMessage) {
    if (HexFileMessage == nullptr) return kEmpty;
    try {
        return poolText(BV2H(AsterFileMessage::ParseFileMessage(H2BV(HexFileMessage)).FileData),
                        kResultPool);
    } catch (...) {
        return kEmpty;
    }
}

SDK_EXPORT const char* ORBX_GetFileMessage(unsigned long FileID, const char* HexData,
                                           unsigned short MessageID) {
    if (HexData == nullptr) return kEmpty;
    try {
        AsterFileMessage message(FileID & 0xFFFFFFFFul, H2BV(HexData), MessageID);
        return poolText(BV2H(message.ToBytes()), kResultPool);
    } catch (...) {
        return kEmpty;
    }
}

// ---- Devices ------------------------------------------------------------------------------------

SDK_EXPORT const char* ORBX_GetDeviceList(ORBX_DEVICE_CONNECTION_TYPE DeviceType) {
    try {
        AsterDevice device;
        device.SetDeviceType(DeviceType);
        std::string list = "[";
        bool first = true;
        device.Enum(
            [&](const std::string&, const std::string& description) {
                if (!first) list += ",";
                list += description;
                first = false;
                return true;
            },
            "");
        list += "]";
        return poolText(list, kDeviceListPool);
    } catch (...) {
        return kEmpty;
    }
}

SDK_EXPORT void* ORBX_OpenDevice(ORBX_DEVICE_CONNECTION_TYPE DeviceType, const char* Path) {
    void* const failed = reinterpret_cast<void*>(-1);
    try {
        auto device = std::make_shared<AsterDevice>();
        device->SetDeviceType(DeviceType);
        if (!device->Open(Path != nullptr ? Path : "")) return failed;
        return registry.add(std::move(device));
    } catch (...) {
        return failed;
    }
}

SDK_EXPORT void ORBX_CloseDevice(void* DeviceHandle) {
    std::shared_ptr<AsterDevice> device = registry.remove(DeviceHandle);
    if (!device) return;
    // Deliveries end first: once the close is reported, and once this returns, no data callback
    // runs for this device (messages still queued are dropped).
    device->StopDelivery();
    try {
        device->Close();
    } catch (...) {
    }
    // The object itself goes when the last call that still uses it (an exchange on another
    // thread, ended by the close) has returned.
}

SDK_EXPORT bool ORBX_IsDeviceOpened(void* DeviceHandle) {
    try {
        return deviceIsOpen(DeviceHandle);
    } catch (...) {
        return false;
    }
}

SDK_EXPORT void ORBX_AttachObjectToDevice(void* DeviceHandle, void* Object) {
    std::shared_ptr<AsterDevice> device = registry.find(DeviceHandle);
    if (device) device->attachedObject = Object;
}

SDK_EXPORT void* ORBX_GetAttachedObject(void* DeviceHandle) {
    std::shared_ptr<AsterDevice> device = registry.find(DeviceHandle);
    return device ? device->attachedObject.load() : nullptr;
}

SDK_EXPORT void ORBX_SetDeviceStatusChangeCallback(void* DeviceHandle,
                                                   ORBX_DeviceStatusChangeCallback Callback) {
    std::shared_ptr<AsterDevice> device = registry.find(DeviceHandle);
    if (!device) return;
    try {
        if (Callback == nullptr) {
            // Nothing to report to: no thread per report, no wait.
            device->onStatusChanged = nullptr;
            return;
        }
        std::shared_ptr<const std::atomic<int>> alive = device->liveness();
        device->onStatusChanged = [Callback, DeviceHandle, alive](AsterDevice*, int status) {
            statusThreads.run(
                [Callback, DeviceHandle, alive, status](const std::function<void()>& started) {
                    // The handle is only an identifier here: the device may be gone by the time
                    // the callback runs (after a close).
                    if (alive->load() != AsterDevice::kAlive) return;
                    started();
                    Callback(DeviceHandle, status);
                },
                kStatusStartWait);
        };
    } catch (...) {
    }
}

SDK_EXPORT void ORBX_SetDataArriveCallback(void* DeviceHandle,
                                           ORBX_DeviceDataArrivedCallback Callback) {
    std::shared_ptr<AsterDevice> device = registry.find(DeviceHandle);
    if (!device) return;
    try {
        if (Callback == nullptr) {
            device->onData = nullptr;
            return;
        }
        device->onData = [Callback, DeviceHandle](AsterDevice*,
                                                  std::vector<unsigned char> message) {
            const char* hex = poolText(BV2H(message), kResultPool, nullptr);
            if (hex != nullptr) Callback(DeviceHandle, hex);
        };
    } catch (...) {
    }
}

SDK_EXPORT int ORBX_SendMessage(void* DeviceHandle, const char* HexCommand) {
    std::shared_ptr<AsterDevice> device = registry.find(DeviceHandle);
    if (!device) return ERROR_DEVICE_NOT_OPEN;
    if (HexCommand == nullptr) return ERROR_UNKNOWN;
    try {
        device->Send(H2BV(HexCommand));
        return ERROR_NO_ERR;
    } catch (...) {
        return ERROR_UNKNOWN;
    }
}

SDK_EXPORT const char* ORBX_SendAndReceiveMessage(void* DeviceHandle, const char* HexCommand,
                                                  int Timeout) {
    try {
        std::shared_ptr<AsterDevice> device = registry.find(DeviceHandle);
        if (!device || HexCommand == nullptr) return kEmpty;
        return poolText(BV2H(device->SendAndReceivePackage(H2BV(HexCommand), Timeout, true)),
                        kResultPool);
    } catch (...) {
        return kEmpty;
    }
}

SDK_EXPORT const char* ORBX_SendCommand(void* DeviceHandle, void* hCommand, int Timeout) {
    return ORBX_SendAndReceiveMessage(DeviceHandle, ORBX_GetCommandBytesInHex(hCommand), Timeout);
}

SDK_EXPORT const char* ORBX_SendCommandStringWithProgress(void* DeviceHandle,
                                                          const char* strCommand,
                                                          ORBX_ProgressUpdate update, void* Object,
                                                          int Timeout) {
    try {
        std::shared_ptr<AsterDevice> device = registry.find(DeviceHandle);
        if (!device || strCommand == nullptr) return nullptr;
        AsterDevice::Progress progress;
        if (update != nullptr)
            progress = [update, Object](double fraction) { update(Object, fraction); };
        return poolText(
            BV2H(device->SendAndReceivePackage(H2BV(strCommand), progress, Timeout, true)),
            kResultPool, nullptr);
    } catch (...) {
        return nullptr;
    }
}

SDK_EXPORT const char* ORBX_SendCommandWithProgress(void* DeviceHandle, void* hCommand,
                                                    ORBX_ProgressUpdate update, void* Object,
                                                    int Timeout) {
    if (!registry.find(DeviceHandle)) return nullptr;
    const char* hex = ORBX_GetCommandBytesInHex(hCommand);
    if (hex == nullptr) return nullptr;
    return ORBX_SendCommandStringWithProgress(DeviceHandle, hex, update, Object, Timeout);
}

// ---- Transactions -------------------------------------------------------------------------------

SDK_EXPORT int ORBX_StartTransaction(void* DeviceHandle, int TimeOut, ORBX_ReaderEnable Reader,
                                     ORBX_TransactionMode Mode, ORBX_TransactionOption Options,
                                     const char* ExtraData) {
    try {
        if (!deviceIsOpen(DeviceHandle)) return ERROR_DEVICE_NOT_OPEN;
        AsterCommand command(0x1001);
        command.SetCommandParameter(0x81, I2HEX(TimeOut));
        char readers[8];
        std::snprintf(readers, sizeof readers, "%02X%02X%02X", static_cast<unsigned>(Reader) & 0xFF,
                      static_cast<unsigned>(Mode) & 0xFF, static_cast<unsigned>(Options) & 0xFF);
        command.SetCommandParameter(0x82, std::string(readers));
        if (ExtraData != nullptr) command.SetCommandParameter(0x84, std::string(ExtraData));
        std::string response;
        return transactionExchange(DeviceHandle, command, response);
    } catch (...) {
        return ERROR_UNKNOWN;
    }
}

SDK_EXPORT int ORBX_CancelTransaction(void* DeviceHandle) {
    try {
        if (!deviceIsOpen(DeviceHandle)) return ERROR_DEVICE_NOT_OPEN;
        AsterCommand command(0x1004);
        std::string response;
        return transactionExchange(DeviceHandle, command, response);
    } catch (...) {
        return ERROR_UNKNOWN;
    }
}

SDK_EXPORT int ORBX_GetCardData(void* DeviceHandle, ORBX_CARD_DATA* CardData) {
    try {
        if (!deviceIsOpen(DeviceHandle)) return ERROR_DEVICE_NOT_OPEN;
        if (CardData == nullptr) return ERROR_BUFFER_INSUFFICIENT;
        std::memset(CardData, 0, sizeof *CardData);
        AsterCommand command(0x1010);
        command.SetCommandParameter(0x81, std::string("01"));
        std::string text;
        int result = transactionExchange(DeviceHandle, command, text);
        CardData->szRawResponse = poolText(text, kCommandPool);
        if (result != ERROR_NO_ERR) return result;

        AsterResponse response = AsterResponse::Parse(text);
        std::vector<unsigned char> status = response.GetResponseParameter("81");
        if (status.size() < 3) {
            CardData->Status = 0xFF;
        } else {
            CardData->Status = status[0];
            CardData->Source = status[1];
            CardData->CardType = status[2];
        }
        unsigned long trackStatus[4] = {0, 0, 0, 0};
        std::string trackText[4];
        for (int i = 0; i < 3; ++i) {
            try {
                std::vector<unsigned char> descriptor =
                    response.GetResponseParameter(trackPath("A4.A4.A0(%d).81", i).c_str());
                if (descriptor.size() <= 3 || descriptor[0] > 3) continue;
                int track = descriptor[0];
                trackStatus[track] = bigEndian32(descriptor);
                trackText[track] =
                    BV2H(response.GetResponseParameter(trackPath("A4.A4.A0(%d).84", i).c_str()))
                        .substr(0, 255);
            } catch (...) {
            }
        }
        char* masked[3] = {CardData->szMaskedTrack1, CardData->szMaskedTrack2,
                           CardData->szMaskedTrack3};
        unsigned long* statuses[3] = {&CardData->dwTrack1Status, &CardData->dwTrack2Status,
                                      &CardData->dwTrack3Status};
        for (int t = 1; t <= 3; ++t) {
            *statuses[t - 1] = trackStatus[t];
            std::memcpy(masked[t - 1], trackText[t].c_str(), trackText[t].size() + 1);
        }
        return result;
    } catch (...) {
        return ERROR_UNKNOWN;
    }
}

SDK_EXPORT int ORBX_GetARQC(void* DeviceHandle, ORBX_ARQC_DATA* ArqcData) {
    return rawResponseHelper(DeviceHandle, ArqcData, "02");
}

SDK_EXPORT int ORBX_GetBatch(void* DeviceHandle, ORBX_Batch_DATA* BatchData) {
    return rawResponseHelper(DeviceHandle, BatchData, "03");
}

}  // extern "C"
