#pragma once
#include <atomic>
#include <mutex>
#include <string>

#include "CallbackRunner.h"
#include "Cardova.h"
#include "TextPool.h"
#include "strix.h"

// Turns one handle's engine events into that handle's callbacks, each called with the handle
// and the Obj registered with it. Callbacks run on new threads (the error callback on the
// reporting thread); stop() waits until none runs any more, after which none starts.
class LocalDelegateEx : public Cardova_Delegate {
  public:
    explicit LocalDelegateEx(unsigned long handle) : handle(handle) {}

    void OnError(Cardova* reader, int code, char* message) override;
    void OnDeviceChange(Cardova* reader, EDeviceStateValues state) override;
    void OnCardUpdate(Cardova* reader, ECardDataStateValues state) override;
    void OnNotification(Cardova* reader, unsigned short messageId, const unsigned char* data,
                        int dataLen) override;
    virtual void OnDeviceResponse(Cardova* mag, const char* resp);
    virtual void OnJsonDataUpdate(Cardova*, std::string) {}

    const char* StaticString(const std::string& s) { return localBuffer.store(s); }
    void stop() { runner.stop(); }

    void setCardDataReceived(CallBackOnCardDataReceivedEx fn, void* obj);
    void setConnectionChanged(CallBackDeviceStateChangedEx fn, void* obj);
    void setNotification(CallBackOnNotificationEx fn, void* obj);
    void setDeviceResponse(CallBackOnDeviceResponseEx fn, void* obj);
    void setError(CallBackOnDeviceResponseEx fn, void* obj);

    std::atomic<ECardDataStateValues> cardDataState{STRIX_DATA_NOTREADY};
    std::atomic<EDeviceStateValues> deviceState{STRIX_STATE_DISCONNECTED};

  private:
    template <class F>
    struct Slot {
        F fn = nullptr;
        void* obj = nullptr;
    };
    template <class F>
    Slot<F> get(const Slot<F>& s) {
        std::lock_guard<std::mutex> g(callbackLock);
        return s;
    }

    const unsigned long handle;
    TextPool localBuffer;
    std::mutex callbackLock;  // keeps each callback consistent with its Obj
    Slot<CallBackOnCardDataReceivedEx> fnCardDataReceived;
    Slot<CallBackDeviceStateChangedEx> fnOnDeviceConnectionChanged;
    Slot<CallBackOnNotificationEx> fnOnNotification;
    Slot<CallBackOnDeviceResponseEx> fnOnDeviceResponse;
    Slot<CallBackOnDeviceResponseEx> fnOnError;
    CallbackRunner runner;
};
