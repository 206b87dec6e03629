#include "LocalDelegateEx.h"

#include "LocalDelegate.h"

void LocalDelegateEx::setCardDataReceived(CallBackOnCardDataReceivedEx fn, void* obj) {
    std::lock_guard<std::mutex> g(callbackLock);
    fnCardDataReceived = {fn, obj};
}
void LocalDelegateEx::setConnectionChanged(CallBackDeviceStateChangedEx fn, void* obj) {
    std::lock_guard<std::mutex> g(callbackLock);
    fnOnDeviceConnectionChanged = {fn, obj};
}
void LocalDelegateEx::setNotification(CallBackOnNotificationEx fn, void* obj) {
    std::lock_guard<std::mutex> g(callbackLock);
    fnOnNotification = {fn, obj};
}
void LocalDelegateEx::setDeviceResponse(CallBackOnDeviceResponseEx fn, void* obj) {
    std::lock_guard<std::mutex> g(callbackLock);
    fnOnDeviceResponse = {fn, obj};
}
void LocalDelegateEx::setError(CallBackOnDeviceResponseEx fn, void* obj) {
    std::lock_guard<std::mutex> g(callbackLock);
    fnOnError = {fn, obj};
}

void LocalDelegateEx::OnError(Cardova*, int, char* message) {
    auto s = get(fnOnError);
    if (s.fn != nullptr) s.fn(handle, s.obj, message != nullptr ? message : "");
}

void LocalDelegateEx::OnDeviceChange(Cardova*, EDeviceStateValues state) {
    if (deviceState.exchange(state) == state) return;
    auto s = get(fnOnDeviceConnectionChanged);
    if (s.fn != nullptr) {
        runner.spawn([s, h = handle, state] { s.fn(h, s.obj, state); });
    }
}

void LocalDelegateEx::OnCardUpdate(Cardova* reader, ECardDataStateValues state) {
    cardDataState.store(state);
    if (state != STRIX_DATA_READY && reader != nullptr) reader->clear();
    auto s = get(fnCardDataReceived);
    if (state == STRIX_DATA_READY && s.fn != nullptr && reader != nullptr) {
        std::string text = reader->GetCardDataStr("|");
        runner.spawn([s, h = handle, text] { s.fn(h, s.obj, text.c_str()); });
    }
}

void LocalDelegateEx::OnNotification(Cardova*, unsigned short messageId, const unsigned char* data,
                                     int dataLen) {
    auto s = get(fnOnNotification);
    if (s.fn == nullptr) return;
    std::string hex = notificationHex(data, dataLen);
    runner.spawn([s, h = handle, messageId, hex] { s.fn(h, s.obj, messageId, hex.c_str()); });
}

void LocalDelegateEx::OnDeviceResponse(Cardova*, const char* resp) {
    auto s = get(fnOnDeviceResponse);
    if (s.fn == nullptr) return;
    std::string text = resp != nullptr ? resp : "";
    runner.spawn([s, h = handle, text] { s.fn(h, s.obj, text.c_str()); });
}
