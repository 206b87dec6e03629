// Device functions that need no reader: rejected and unopenable link kinds, and the answers for
// a missing, failed or never-opened handle.
#include <gtest/gtest.h>

#include <string>

#include "orbx.h"

namespace {

std::string text(const char* p) {
    return p == nullptr ? std::string("<null>") : std::string(p);
}
void onData(void*, const char*) {}
void onStatus(void*, int) {}

TEST(DeviceList, ReadersAreListedOnUsbOnlyAndRejectedKindsGiveEmptyText) {
    for (ORBX_DEVICE_CONNECTION_TYPE type : {TCP, SERIAL, BLE_EMV, TLS12, WS, WS_TRUST}) {
        EXPECT_EQ(text(ORBX_GetDeviceList(type)), "[]") << type;
    }
    for (int type : {int(BLE), int(BLE_EMVT), int(TLS12_TRUST), -1, 10, 1000}) {
        EXPECT_EQ(text(ORBX_GetDeviceList(static_cast<ORBX_DEVICE_CONNECTION_TYPE>(type))), "")
            << type;
    }
}

TEST(OpenDevice, RejectedAndUnopenableTypesFail) {
    void* const failed = reinterpret_cast<void*>(-1);
    struct {
        int type;
        const char* path;
    } cases[] = {
        {BLE, ""},
        {BLE_EMVT, ""},
        {TLS12_TRUST, ""},  // rejected
        {BLE_EMV, ""},
        {TLS12, "tcp://127.0.0.1:1"},
        {WS, "ws://127.0.0.1"},  // never open
        {WS_TRUST, ""},
        {-1, ""},
        {10, ""},
        {USB, "0009:0009:00"},  // no such reader
        {USB, nullptr},
        {TCP, "tcp://127.0.0.1:1"},  // nobody listens
        {SERIAL, "PORT=/dev/does-not-exist,BAUDRATE=115200"},
        {SERIAL, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ORBX_OpenDevice(static_cast<ORBX_DEVICE_CONNECTION_TYPE>(c.type), c.path), failed)
            << c.type << " " << text(c.path);
    }
}

TEST(OpenDevice, NoHandleAnswersForEveryFunction) {
    int local = 0;
    void* handles[] = {nullptr, reinterpret_cast<void*>(-1), &local /* never opened */};
    void* cmd = ORBX_CreateCommand(0x1F01);
    static ORBX_CARD_DATA card;
    ORBX_ARQC_DATA arqc{};
    ORBX_Batch_DATA batch{};
    for (void* h : handles) {
        EXPECT_FALSE(ORBX_IsDeviceOpened(h));
        ORBX_AttachObjectToDevice(h, &local);
        EXPECT_EQ(ORBX_GetAttachedObject(h), nullptr);
        ORBX_SetDataArriveCallback(h, onData);
        ORBX_SetDeviceStatusChangeCallback(h, onStatus);
        EXPECT_EQ(ORBX_SendMessage(h, "AA00"), 5);
        EXPECT_EQ(text(ORBX_SendAndReceiveMessage(h, "AA00", 10)), "");
        EXPECT_EQ(text(ORBX_SendCommand(h, cmd, 10)), "");
        EXPECT_EQ(ORBX_SendCommandWithProgress(h, cmd, nullptr, nullptr, 10), nullptr);
        EXPECT_EQ(ORBX_SendCommandStringWithProgress(h, "AA00", nullptr, nullptr, 10), nullptr);
        EXPECT_EQ(ORBX_SendFommatedCommand(h, "1F01", 10), nullptr);
        EXPECT_EQ(ORBX_StartTransaction(h, 30, MSR, EMV, ForceOnline, nullptr), 5);
        EXPECT_EQ(ORBX_CancelTransaction(h), 5);
        EXPECT_EQ(ORBX_GetCardData(h, &card), 5);
        EXPECT_EQ(ORBX_GetCardData(h, nullptr), 5);
        EXPECT_EQ(ORBX_GetARQC(h, &arqc), 5);
        EXPECT_EQ(ORBX_GetBatch(h, &batch), 5);
        ORBX_CloseDevice(h);
    }
    ORBX_DeleteCommand(cmd);
}

}  // namespace
