// The event-string vocabularies, read through libtessera.so as an application sees them: every
// string is checked as the exported member, written from its value and read back to its value.
#include <gtest/gtest.h>

#include <string>

#include "tessera/Tessera.h"

using namespace TESSERA;

namespace {

template <typename E>
struct Row {
    E value;
    const std::string& member;
    const char* text;
};

template <typename E, typename GetString, typename GetValue>
void checkVocabulary(const std::vector<Row<E>>& rows, GetString getString, GetValue getValue) {
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.member, row.text);
        EXPECT_EQ(getString(row.value), row.text);
        EXPECT_EQ(getValue(row.text), row.value);
    }
}

}  // namespace

TEST(ConnectionStateBuilder, EveryStateBothWays) {
    using B = ConnectionStateBuilder;
    checkVocabulary<ConnectionState>(
        {
            {CONNECTION_STATE_Disconnected, B::TESSERACS_DISCONNECTED, "disconnected"},
            {CONNECTION_STATE_Connecting, B::TESSERACS_CONNECTING, "connecting"},
            {CONNECTION_STATE_Error, B::TESSERACS_ERROR, "error"},
            {CONNECTION_STATE_Connected, B::TESSERACS_CONNECTED, "connected"},
            {CONNECTION_STATE_Disconnecting, B::TESSERACS_DISCONNECTING, "disconnecting"},
        },
        B::GetString, B::GetValue);
}

TEST(ConnectionStateBuilder, UnknownBothWays) {
    EXPECT_EQ(ConnectionStateBuilder::GetString(CONNECTION_STATE_Unknown), "");
    EXPECT_EQ(ConnectionStateBuilder::GetString(static_cast<ConnectionState>(6)), "");
    EXPECT_EQ(ConnectionStateBuilder::GetString(static_cast<ConnectionState>(-1)), "");
    for (const char* text : {"", "Connected", "connected ", "unknown", "connected,1"}) {
        EXPECT_EQ(ConnectionStateBuilder::GetValue(text), CONNECTION_STATE_Unknown) << text;
    }
}

TEST(UserEventBuilder, EveryEventBothWays) {
    using B = UserEventBuilder;
    checkVocabulary<UserEvent>(
        {
            {TSR_USER_EVENT_ContactlessCardPresented, B::TESSERAUE_CONTACTLESS_CARD_PRESENTED,
             "contactless_card_presented"},
            {TSR_USER_EVENT_ContactlessCardRemoved, B::TESSERAUE_CONTACTLESS_CARD_REMOVED,
             "contactless_card_removed"},
            {TSR_USER_EVENT_CardSeated, B::TESSERAUE_CARD_SEATED, "card_seated"},
            {TSR_USER_EVENT_CardUnseated, B::TESSERAUE_CARD_UNSEATED, "card_unseated"},
            {TSR_USER_EVENT_CardSwiped, B::TESSERAUE_CARD_SWIPED, "card_swiped"},
            {TSR_USER_EVENT_TouchPresented, B::TESSERAUE_TOUCH_PRESENTED, "touch_presented"},
            {TSR_USER_EVENT_TouchRemoved, B::TESSERAUE_TOUCH_REMOVED, "touch_removed"},
            {TSR_USER_EVENT_BarcodeRead, B::TESSERAUE_BARCODE_READ, "barcode_read"},
            {TSR_USER_EVENT_NFCMifareUltralightPresented,
             B::TESSERAUE_NFC_MIFARE_ULTRALIGHT_PRESENTED, "nfc_mifare_ultralight_presented"},
            {TSR_USER_EVENT_MifareClassic1KPresented, B::TESSERAUE_MIFARE_CLASSIC_1K_PRESENTED,
             "mifare_classic_1k_presented"},
            {TSR_USER_EVENT_MifareClassic4KPresented, B::TESSERAUE_MIFARE_CLASSIC_4K_PRESENTED,
             "mifare_classic_4k_presented"},
            // The DESFire events carry the Classic wording and read back as DESFire.
            {TSR_USER_EVENT_MifareDESFirePresented, B::TESSERAUE_MIFARE_DESFIRE_PRESENTED,
             "mifare_classic_presented"},
            {TSR_USER_EVENT_NFCMifareUltralightRemoved, B::TESSERAUE_NFC_MIFARE_ULTRALIGHT_REMOVED,
             "nfc_mifare_ultralight_removed"},
            {TSR_USER_EVENT_MifareClassic1KRemoved, B::TESSERAUE_MIFARE_CLASSIC_1K_REMOVED,
             "mifare_classic_1k_removed"},
            {TSR_USER_EVENT_MifareClassic4KRemoved, B::TESSERAUE_MIFARE_CLASSIC_4K_REMOVED,
             "mifare_classic_4k_removed"},
            {TSR_USER_EVENT_MifareDESFireRemoved, B::TESSERAUE_MIFARE_DESFIRE_REMOVED,
             "mifare_classic_removed"},
        },
        B::GetString, B::GetValue);
}

TEST(UserEventBuilder, UnknownBothWays) {
    EXPECT_EQ(UserEventBuilder::GetString(TSR_USER_EVENT_None), "");
    EXPECT_EQ(UserEventBuilder::GetString(static_cast<UserEvent>(17)), "");
    for (const char* text : {"", "mifare_desfire_presented", "Card_Seated", "card_seated,01"}) {
        EXPECT_EQ(UserEventBuilder::GetValue(text), TSR_USER_EVENT_None) << text;
    }
}

TEST(DeviceEventBuilder, EveryEventBothWays) {
    using B = DeviceEventBuilder;
    checkVocabulary<DeviceEvent>(
        {
            {TSR_DEVICE_EVENT_DeviceResetOccurred, B::TESSERADE_DEVICE_RESET_OCCURRED,
             "device_reset_occurred"},
            {TSR_DEVICE_EVENT_DeviceResetWillOccur, B::TESSERADE_DEVICE_RESET_WILL_OCCUR,
             "device_reset_will_occur"},
            {TSR_DEVICE_EVENT_DeviceBondingFailure, B::TESSERADE_DEVICE_BONDING_FAILURE,
             "device_bonding_failure"},
            {TSR_DEVICE_EVENT_DeviceTemperatureLow, B::TESSERADE_DEVICE_TEMPERATURE_LOW,
             "device_temperature_low"},
            {TSR_DEVICE_EVENT_DeviceTemperatureHigh, B::TESSERADE_DEVICE_TEMPERATURE_HIGH,
             "device_temperature_high"},
        },
        B::GetString, B::GetValue);
}

TEST(DeviceEventBuilder, NameBeforeTheFirstCommaDecides) {
    const struct {
        const char* text;
        DeviceEvent expected;
    } cases[] = {
        {"device_temperature_high,41 degrees", TSR_DEVICE_EVENT_DeviceTemperatureHigh},
        {"device_reset_occurred,", TSR_DEVICE_EVENT_DeviceResetOccurred},
        {"device_reset_will_occur,a,b", TSR_DEVICE_EVENT_DeviceResetWillOccur},
        {"", TSR_DEVICE_EVENT_None},
        {",device_reset_occurred", TSR_DEVICE_EVENT_None},
        {"device_reset", TSR_DEVICE_EVENT_None},
        {"device_reset_occurred ,x", TSR_DEVICE_EVENT_None},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DeviceEventBuilder::GetValue(c.text), c.expected) << c.text;
    }
    EXPECT_EQ(DeviceEventBuilder::GetString(TSR_DEVICE_EVENT_None), "");
    EXPECT_EQ(DeviceEventBuilder::GetString(static_cast<DeviceEvent>(6)), "");
}

TEST(NFCEventBuilder, EveryEventBothWaysIncludingSharedValues) {
    using B = NFCEventBuilder;
    checkVocabulary<NFCEvent>(
        {
            {TESSERANFCE_TagRemoved, B::TESSERATS_NFC_TAG_REMOVED, "tag_removed"},
            {TESSERANFCE_NFCMifareUltralight, B::TESSERATS_NFC_MIFARE_ULTRALIGHT,
             "nfc_mifare_ultralight"},
            {TESSERANFCE_MifareClassic, B::TESSERATS_NFC_MIFARE_CLASSIC, "mifare_classic_1K"},
            {TESSERANFCE_MifareClassic1K, B::TESSERATS_NFC_MIFARE_CLASSIC, "mifare_classic_1K"},
            {TESSERANFCE_CommandFailed, B::TESSERATS_NFC_COMMAND_FAILED, "failed"},
            {TESSERANFCE_Failed, B::TESSERATS_NFC_COMMAND_FAILED, "failed"},
            {TESSERANFCE_IOFailed, B::TESSERATS_NFC_IO_FAILED, "io_failed"},
            {TESSERANFCE_MifareClassic4K, B::TESSERATS_NFC_MIFARE_CLASSIC_4K, "mifare_classic_4K"},
            {TESSERANFCE_MifareDESFire, B::TESSERATS_NFC_MIFARE_DESFIRE, "mifare_desfire"},
            {TESSERANFCE_AuthenticationFailed, B::TESSERATS_NFC_AUTHENTICATION_FAILED,
             "authentication_failed"},
        },
        B::GetString, B::GetValue);
    EXPECT_EQ(TESSERANFCE_MifareClassic, 3);
    EXPECT_EQ(TESSERANFCE_Failed, 4);
}

TEST(NFCEventBuilder, UnknownBothWays) {
    EXPECT_EQ(NFCEventBuilder::GetString(TESSERANFCE_None), "");
    EXPECT_EQ(NFCEventBuilder::GetString(static_cast<NFCEvent>(9)), "");
    // The capital K is part of the word.
    for (const char* text : {"", "mifare_classic_1k", "mifare_classic_4k", "Failed"}) {
        EXPECT_EQ(NFCEventBuilder::GetValue(text), TESSERANFCE_None) << text;
    }
}

TEST(TransactionStatusBuilder, EveryStatusBothWays) {
    using B = TransactionStatusBuilder;
    auto getString = [](TransactionStatus value) { return B::GetString(value, ""); };
    checkVocabulary<TransactionStatus>(
        {
            {CardSwiped, B::TESSERATS_CARD_SWIPED, "card_swiped"},
            {CardInserted, B::TESSERATS_CARD_INSERTED, "card_inserted"},
            {CardRemoved, B::TESSERATS_CARD_REMOVED, "card_removed"},
            {CardDetected, B::TESSERATS_CARD_DETECTED, "card_detected"},
            {CardCollision, B::TESSERATS_CARD_COLLISION, "card_collision"},
            {TimedOut, B::TESSERATS_TIMED_OUT, "timed_out"},
            {HostCancelled, B::TESSERATS_HOST_CANCELLED, "host_cancelled"},
            {TransactionCancelled, B::TESSERATS_TRANSACTION_CANCELLED, "transaction_cancelled"},
            {TransactionInProgress, B::TESSERATS_TRANSACTION_IN_PROGRESS,
             "transaction_in_progress"},
            {TransactionError, B::TESSERATS_TRANSACTION_ERROR, "transaction_error"},
            {TransactionApproved, B::TESSERATS_TRANSACTION_APPROVED, "transaction_approved"},
            {TransactionDeclined, B::TESSERATS_TRANSACTION_DECLINED, "transaction_declined"},
            {TransactionCompleted, B::TESSERATS_TRANSACTION_COMPLETED, "transaction_completed"},
            {TransactionFailed, B::TESSERATS_TRANSACTION_FAILED, "transaction_failed"},
            {TransactionNotAccepted, B::TESSERATS_TRANSACTION_NOT_ACCEPTED,
             "transaction_not_accepted"},
            {SignatureCaptureRequested, B::TESSERATS_SIGNATURE_CAPTURE_REQUESTED,
             "signature_capture_requested"},
            {TechnicalFallback, B::TESSERATS_TECHNICAL_FALLBACK, "technical_fallback"},
            {QuickChipDeferred, B::TESSERATS_QUICK_CHIP_DEFERRED, "quick_chip_deferred"},
            {DataEntered, B::TESSERATS_DATA_ENTERED, "data_entered"},
            {TryAnotherInterface, B::TESSERATS_TRY_ANOTHER_INTERFACE, "try_another_interface"},
            {BarcodeRead, B::TESSERATS_BARCODE_READ, "barcode_read"},
            {VASError, B::TESSERATS_VAS_ERROR, "vas_error"},
        },
        getString, B::GetStatusCode);
}

TEST(TransactionStatusBuilder, DetailIsAppendedAfterACommaOnlyToKnownStatuses) {
    const struct {
        TransactionStatus value;
        const char* extra;
        const char* expected;
    } cases[] = {
        {CardSwiped, "", "card_swiped"},
        {CardSwiped, "0A", "card_swiped,0A"},
        {TransactionApproved, "0300130000", "transaction_approved,0300130000"},
        {NoStatus, "0A", ""},
        {NoTransaction, "0A", ""},
        {NoTransaction, "", ""},
        {static_cast<TransactionStatus>(23), "0A", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TransactionStatusBuilder::GetString(c.value, c.extra), c.expected)
            << c.value << " " << c.extra;
    }
}

TEST(TransactionStatusBuilder, StatusAndDetailAreReadBack) {
    const struct {
        const char* text;
        TransactionStatus status;
        const char* detail;
    } cases[] = {
        {"transaction_approved,9F27", TransactionApproved, "9F27"},
        {"card_inserted, 01 ", CardInserted, "01"},
        {"card_inserted", CardInserted, ""},
        {"card_inserted,", CardInserted, ""},
        {"transaction_error,a,b", TransactionError, "a,b"},
        {"card_swiped,\t0A0B\t", CardSwiped, "0A0B"},
        {"", NoStatus, ""},
        {",0A", NoStatus, "0A"},
        {"no_such_status,0A", NoStatus, "0A"},
        {"Card_Swiped", NoStatus, ""},
        {" card_swiped", NoStatus, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TransactionStatusBuilder::GetStatusCode(c.text), c.status);
        EXPECT_EQ(TransactionStatusBuilder::GetDetailData(c.text), c.detail);
    }
}

TEST(SharedStrings, CardSwipedAndBarcodeReadBelongToBothVocabularies) {
    // The event type that carries the text tells the vocabularies apart.
    EXPECT_EQ(UserEventBuilder::GetValue("card_swiped"), TSR_USER_EVENT_CardSwiped);
    EXPECT_EQ(TransactionStatusBuilder::GetStatusCode("card_swiped"), CardSwiped);
    EXPECT_EQ(UserEventBuilder::GetValue("barcode_read"), TSR_USER_EVENT_BarcodeRead);
    EXPECT_EQ(TransactionStatusBuilder::GetStatusCode("barcode_read"), BarcodeRead);
}

TEST(FeatureStatusBuilder, EveryFeatureBothWays) {
    using B = FeatureStatusBuilder;
    checkVocabulary<DeviceFeature>(
        {
            {TSR_DEVICE_FEATURE_SignatureCapture, B::FEATURE_SIGNATURE_CAPTURE,
             "feature_signature_capture"},
            {TSR_DEVICE_FEATURE_PINEntry, B::FEATURE_PIN_ENTRY, "feature_pin_entry"},
            {TSR_DEVICE_FEATURE_PANEntry, B::FEATURE_PAN_ENTRY, "feature_pan_entry"},
            {TSR_DEVICE_FEATURE_ShowBarCode, B::FEATURE_SHOW_BAR_CODE, "feature_show_bar_code"},
            {TSR_DEVICE_FEATURE_ScanBarCode, B::FEATURE_SCAN_BAR_CODE, "feature_scan_bar_code"},
        },
        B::GetFeatureString, B::GetDeviceFeature);
    for (DeviceFeature value : {TSR_DEVICE_FEATURE_None, TSR_DEVICE_FEATURE_DisplayMessage,
                                static_cast<DeviceFeature>(7)}) {
        EXPECT_EQ(B::GetFeatureString(value), "") << value;
    }
    for (const char* text : {"", "feature_display_message", "status_success"}) {
        EXPECT_EQ(B::GetDeviceFeature(text), TSR_DEVICE_FEATURE_None) << text;
    }
}

TEST(FeatureStatusBuilder, EveryStatusBothWays) {
    using B = FeatureStatusBuilder;
    checkVocabulary<FeatureStatus>(
        {
            {TSR_FEATURE_STATUS_Success, B::STATUS_SUCCESS, "status_success"},
            {TSR_FEATURE_STATUS_Failed, B::STATUS_FAILED, "status_failed"},
            {TSR_FEATURE_STATUS_TimedOut, B::STATUS_TIMED_OUT, "status_timed_out"},
            {TSR_FEATURE_STATUS_Cancelled, B::STATUS_CANCELLED, "status_cancelled"},
            {TSR_FEATURE_STATUS_Error, B::STATUS_ERROR, "status_error"},
            {TSR_FEATURE_STATUS_HardwareNA, B::STATUS_HARDWARE_NA, "status_hardware_na"},
        },
        B::GetStatusString, B::GetFeatureStatus);
    EXPECT_EQ(B::GetStatusString(TSR_FEATURE_STATUS_NoStatus), "");
    EXPECT_EQ(B::GetStatusString(static_cast<FeatureStatus>(7)), "");
    for (const char* text : {"", "feature_pin_entry", "STATUS_SUCCESS"}) {
        EXPECT_EQ(B::GetFeatureStatus(text), TSR_FEATURE_STATUS_NoStatus) << text;
    }
}
