#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "CallbackRunner.h"
#include "Cardova.h"
#include "TextPool.h"
#include "strix.h"

// Turns the single-device reader's engine events into the application's global callbacks.
// Every callback except the error callback runs on a new thread with its own copies of the
// texts it passes; the error callback runs on the reporting thread. Notifications are also
// queued as "code,<id>;data,<hex>" for polling (GetTransactionProgress).
class LocalDelegate : public Cardova_Delegate {
  public:
    LocalDelegate() = default;

    void OnError(Cardova* reader, int code, char* message) override;
    void OnDeviceChange(Cardova* reader, EDeviceStateValues state) override;
    void OnCardUpdate(Cardova* reader, ECardDataStateValues state) override;
    void OnNotification(Cardova* reader, unsigned short messageId, const unsigned char* data,
                        int dataLen) override;
    virtual void OnDeviceResponse(const char* resp);
    virtual void OnJsonDataUpdate(Cardova*, std::string) {}
    // The answer of an extended command ("%04x%04x" result code, length, then the data).
    void OnExtendedResponse(const std::string& text);

    const char* StaticString(const std::string& s) { return localBuffer.store(s); }
    void clearNotify();
    // The oldest queued notification text (removed), or "" when none is queued.
    std::string waitForNotify();

    std::atomic<ECardDataStateValues> cardDataState{STRIX_DATA_NOTREADY};
    std::atomic<EDeviceStateValues> deviceState{STRIX_STATE_DISCONNECTED};

    std::atomic<CallBackOnCardDataReceived> fnCardDataReceived{nullptr};
    std::atomic<CallBackDeviceStateChanged> fnOnDeviceConnectionChanged{nullptr};
    std::atomic<CallBackCardDataStateChanged> fnCardChanged{nullptr};
    std::atomic<CallBackDeviceStateChanged> fnDeviceChanged{nullptr};
    std::atomic<CallBackOnDeviceResponse> fnOnDeviceResponse{nullptr};
    std::atomic<CallBackOnDeviceResponse> fnOnError{nullptr};
    std::atomic<CallBackOnNotification> fnOnNotification{nullptr};
    std::atomic<CallBackOnDeviceResponse> fnOnTransactionStatus{nullptr};
    std::atomic<CallBackOnDeviceResponse> fnOnDisplayMessageRequest{nullptr};
    std::atomic<CallBackOnDeviceResponse> fnOnUserSelectionRequest{nullptr};
    std::atomic<CallBackOnDeviceResponse> fnOnARQCReceived{nullptr};
    std::atomic<CallBackOnDeviceResponse> fnOnTransactionResult{nullptr};
    std::atomic<CallBackOnDeviceExtendedResponse> fnOnDeviceExtendedResponse{nullptr};

  private:
    void spawnText(CallBackOnDeviceResponse fn, const std::string& text);

    TextPool localBuffer;
    std::vector<std::string> notifVector;
    std::mutex lock;
    CallbackRunner runner;
};

// Upper-case hex of notification data ("" for none).
std::string notificationHex(const unsigned char* data, int dataLen);
