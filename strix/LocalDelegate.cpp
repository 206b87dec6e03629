#include "LocalDelegate.h"

#include <cstdio>

#include "stdafx.h"

std::string notificationHex(const unsigned char* data, int dataLen) {
    return data != nullptr && dataLen > 0 ? B2H(data, dataLen) : std::string();
}

void LocalDelegate::OnError(Cardova*, int, char* message) {
    if (CallBackOnDeviceResponse fn = fnOnError.load()) fn(message != nullptr ? message : "");
}

void LocalDelegate::OnDeviceChange(Cardova*, EDeviceStateValues state) {
    if (deviceState.exchange(state) == state) return;
    for (CallBackDeviceStateChanged fn :
         {fnOnDeviceConnectionChanged.load(), fnDeviceChanged.load()}) {
        if (fn != nullptr) runner.spawn([fn, state] { fn(state); });
    }
}

void LocalDelegate::OnCardUpdate(Cardova* reader, ECardDataStateValues state) {
    cardDataState.store(state);
    if (state != STRIX_DATA_READY && reader != nullptr) reader->clear();
    if (CallBackCardDataStateChanged fn = fnCardChanged.load()) {
        runner.spawn([fn, state] { fn(state); });
    }
    CallBackOnCardDataReceived fn = fnCardDataReceived.load();
    if (state == STRIX_DATA_READY && fn != nullptr && reader != nullptr) {
        // The text is taken now, so the thread never needs the engine.
        std::string text = reader->GetCardDataStr("|");
        runner.spawn([fn, text] { fn(text.c_str()); });
    }
}

void LocalDelegate::spawnText(CallBackOnDeviceResponse fn, const std::string& text) {
    if (fn != nullptr) runner.spawn([fn, text] { fn(text.c_str()); });
}

void LocalDelegate::OnNotification(Cardova*, unsigned short messageId, const unsigned char* data,
                                   int dataLen) {
    const std::string hex = notificationHex(data, dataLen);
    {
        std::lock_guard<std::mutex> g(lock);
        notifVector.push_back("code," + std::to_string(messageId) + ";data," + hex);
    }
    if (CallBackOnNotification fn = fnOnNotification.load()) {
        runner.spawn([fn, messageId, hex] { fn(messageId, hex.c_str()); });
    }
    switch (messageId) {
        case 0x0300:
            return spawnText(fnOnTransactionStatus.load(), hex);
        case 0x0301:
            return spawnText(fnOnDisplayMessageRequest.load(), hex);
        case 0x0302:
            return spawnText(fnOnUserSelectionRequest.load(), hex);
        case 0x0303:
            return spawnText(fnOnARQCReceived.load(), hex);
        case 0x0304:
            return spawnText(fnOnTransactionResult.load(), hex);
        default: {
            char head[16];
            std::snprintf(head, sizeof head, "%04x%04x", messageId & 0xFFFF,
                          static_cast<unsigned>(dataLen > 0 ? dataLen : 0) & 0xFFFF);
            OnExtendedResponse(head + hex);
        }
    }
}

void LocalDelegate::OnExtendedResponse(const std::string& text) {
    if (CallBackOnDeviceExtendedResponse fn = fnOnDeviceExtendedResponse.load()) {
        runner.spawn([fn, text] { fn(text.c_str()); });
    }
}

void LocalDelegate::OnDeviceResponse(const char* resp) {
    spawnText(fnOnDeviceResponse.load(), resp != nullptr ? resp : "");
}

void LocalDelegate::clearNotify() {
    std::lock_guard<std::mutex> g(lock);
    notifVector.clear();
}

std::string LocalDelegate::waitForNotify() {
    std::lock_guard<std::mutex> g(lock);
    if (notifVector.empty()) return "";
    std::string front = notifVector.front();
    notifVector.erase(notifVector.begin());
    return front;
}
