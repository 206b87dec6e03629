#pragma once
// The enumerations of the TESSERA model. Their numeric values are part of the external
// interface: the Java binding passes them as plain integers and applications store them.
// Each has int as its fixed underlying type, so any integer that arrives from outside (an
// unknown or future value) is a valid value of the type and is answered as "unknown" rather
// than being undefined behaviour.

namespace TESSERA {

// Bit flags, combined with bitwise OR into an int.
enum PaymentMethods : int {
    PAYMENT_METHOD_MSR = 1,
    PAYMENT_METHOD_CONTACT = 2,
    PAYMENT_METHOD_CONTACTLESS = 4,
    PAYMENT_METHOD_MANUAL_ENTRY = 8,
    PAYMENT_METHOD_BARCODE = 16,
    PAYMENT_METHOD_BARCODE_ENCRYPTED = 32,
    PAYMENT_METHOD_APPLE_VAS = 64,
    PAYMENT_METHOD_NFC = 128,
    PAYMENT_METHOD_GOOGLE_VAS = 256,
};

// Device family. SWR: swipe readers; ORB: message-schema readers. PPSWR and CMF have no
// implementation and are treated as families without devices.
enum TSR_DEVICE_TYPE : int {
    SWR = 0,
    PPSWR = 1,
    CMF = 2,
    ORB = 3,
};

// How a device is reached.
enum TSR_DEVICE_CONNECTION_TYPE_Tag : int {
    TSR_USB = 0,
    TSR_BLE = 1,
    TSR_BLE_EMV = 2,
    TSR_BLE_EMVT = 3,
    TSR_TCP = 4,
    TSR_TLS12 = 5,
    TSR_TLS12_TRUST = 6,
    TSR_SERIAL = 7,
    TSR_WS = 8,
    TSR_WS_TRUST = 9,
    TSR_LIGHTNING = 10,
};
typedef TSR_DEVICE_CONNECTION_TYPE_Tag TSR_DEVICE_CONNECTION_TYPE;

enum ConnectionState : int {
    CONNECTION_STATE_Unknown = 0,
    CONNECTION_STATE_Disconnected = 1,
    CONNECTION_STATE_Connecting = 2,
    CONNECTION_STATE_Error = 3,
    CONNECTION_STATE_Connected = 4,
    CONNECTION_STATE_Disconnecting = 5,
};

enum TSR_OPERATION_STATUS_Tag : int {
    TSR_OS_NoStatus = 0,
    TSR_OS_Started = 1,
    TSR_OS_Warning = 2,
    TSR_OS_Failed = 3,
    TSR_OS_Done = 4,
};
typedef TSR_OPERATION_STATUS_Tag TSR_OPERATION_STATUS;

// Status of an IResult (and the int results of the configuration operations).
enum StatusCode : int {
    STATUS_CODE_SUCCESS = 0,
    STATUS_CODE_TIMEOUT = 1,
    STATUS_CODE_ERROR = 2,
    STATUS_CODE_UNAVAILABLE = 3,
};

enum ImageType : int {
    IMAGE_TYPE_BITMAP = 0,
};

enum BarCodeType : int {
    QRCODE = 0,
};

enum BarCodeFormat : int {
    BARCODE_FORMAT_BLOB = 0,
    BARCODE_FORMAT_COMMAND = 1,
    BARCODE_FORMAT_BLOB_BASE64 = 2,
    BARCODE_FORMAT_COMMAND_BASE64 = 3,
};

enum VASMode : int {
    VASMode_Single = 1,
    VASMode_Dual = 2,
    VASMode_VASOnly = 3,
};

enum VASProtocol : int {
    VASProtocol_URL = 1,
    VASProtocol_Full = 2,
};

enum DeviceFeature : int {
    TSR_DEVICE_FEATURE_None = 0,
    TSR_DEVICE_FEATURE_SignatureCapture = 1,
    TSR_DEVICE_FEATURE_PINEntry = 2,
    TSR_DEVICE_FEATURE_PANEntry = 3,
    TSR_DEVICE_FEATURE_ShowBarCode = 4,
    TSR_DEVICE_FEATURE_ScanBarCode = 5,
    TSR_DEVICE_FEATURE_DisplayMessage = 6,
};

enum FeatureStatus : int {
    TSR_FEATURE_STATUS_NoStatus = 0,
    TSR_FEATURE_STATUS_Success = 1,
    TSR_FEATURE_STATUS_Failed = 2,
    TSR_FEATURE_STATUS_TimedOut = 3,
    TSR_FEATURE_STATUS_Cancelled = 4,
    TSR_FEATURE_STATUS_Error = 5,
    TSR_FEATURE_STATUS_HardwareNA = 6,
};

// The item asked of IDeviceConfiguration::getDeviceInfo.
enum InfoType_Tag : int {
    INFOTYPE_DeviceSerialNumber = 0,
    INFOTYPE_FirmwareVersion = 1,
    INFOTYPE_DeviceCapabilities = 2,
    INFOTYPE_Boot1Version = 3,
    INFOTYPE_Boot0Version = 4,
    INFOTYPE_FirmwareHash = 5,
    INFOTYPE_TamperStatus = 6,
    INFOTYPE_OperationStatus = 7,
    INFOTYPE_OfflineDetail = 8,
    INFOTYPE_DeviceModel = 9,
};
typedef InfoType_Tag InfoType;

// The kind of an event delivered to IEventSubscriber::OnEvent; each carries one IData.
enum EventType : int {
    EVENT_TYPE_Invalid = -1,
    EVENT_TYPE_ConnectionState = 0,         // ConnectionStateBuilder string
    EVENT_TYPE_DeviceResponse = 1,          // response hex
    EVENT_TYPE_DeviceExtendedResponse = 2,  // reserved
    EVENT_TYPE_DeviceNotification = 3,      // notification hex
    EVENT_TYPE_DataTransferCancelled = 4,   // reserved
    EVENT_TYPE_CardData = 5,                // swipe card-data text, fields separated by '|'
    EVENT_TYPE_TransactionStatus = 6,       // TransactionStatusBuilder string [+ "," + detail]
    EVENT_TYPE_DisplayMessage = 7,          // text for the card holder
    EVENT_TYPE_InputRequest = 8,            // selection request hex
    EVENT_TYPE_AuthorizationRequest = 9,    // ARQC hex
    EVENT_TYPE_TransactionResult = 10,      // transaction result hex
    EVENT_TYPE_PINBlock = 11,               // notification hex (swipe readers)
    EVENT_TYPE_Signature = 12,              // signature capture data
    EVENT_TYPE_DeviceDataFile = 13,         // a file sent by the device
    EVENT_TYPE_OperationStatus = 14,        // operation-status text
    EVENT_TYPE_DeviceEvent = 15,            // DeviceEventBuilder string
    EVENT_TYPE_UserEvent = 16,              // UserEventBuilder string
    EVENT_TYPE_FeatureStatus = 17,          // feature string + "," + status string
    EVENT_TYPE_PINData = 18,                // bytes for PINDataBuilder
    EVENT_TYPE_PANData = 19,                // bytes for PANDataBuilder
    EVENT_TYPE_BarCodeData = 20,            // bytes for BarCodeBuilder
    EVENT_TYPE_NFCEvent = 21,               // NFCEventBuilder string
    EVENT_TYPE_NFCData = 22,                // bytes for NFCDataBuilder
    EVENT_TYPE_NFCResponse = 23,            // R-APDU bytes for ORBAPI::getNFCRAPDUData
};

// Things the card holder did.
enum UserEvent : int {
    TSR_USER_EVENT_None = 0,
    TSR_USER_EVENT_ContactlessCardPresented = 1,
    TSR_USER_EVENT_ContactlessCardRemoved = 2,
    TSR_USER_EVENT_CardSeated = 3,
    TSR_USER_EVENT_CardUnseated = 4,
    TSR_USER_EVENT_CardSwiped = 5,
    TSR_USER_EVENT_TouchPresented = 6,
    TSR_USER_EVENT_TouchRemoved = 7,
    TSR_USER_EVENT_BarcodeRead = 8,
    TSR_USER_EVENT_NFCMifareUltralightPresented = 9,
    TSR_USER_EVENT_MifareClassic1KPresented = 10,
    TSR_USER_EVENT_MifareClassic4KPresented = 11,
    TSR_USER_EVENT_MifareDESFirePresented = 12,
    TSR_USER_EVENT_NFCMifareUltralightRemoved = 13,
    TSR_USER_EVENT_MifareClassic1KRemoved = 14,
    TSR_USER_EVENT_MifareClassic4KRemoved = 15,
    TSR_USER_EVENT_MifareDESFireRemoved = 16,
};

enum DeviceEvent : int {
    TSR_DEVICE_EVENT_None = 0,
    TSR_DEVICE_EVENT_DeviceResetOccurred = 1,
    TSR_DEVICE_EVENT_DeviceResetWillOccur = 2,
    TSR_DEVICE_EVENT_DeviceBondingFailure = 3,
    TSR_DEVICE_EVENT_DeviceTemperatureLow = 4,
    TSR_DEVICE_EVENT_DeviceTemperatureHigh = 5,
};

// Two pairs of enumerators share a value (3 and 4).
enum NFCEvent : int {
    TESSERANFCE_None = 0,
    TESSERANFCE_TagRemoved = 1,
    TESSERANFCE_NFCMifareUltralight = 2,
    TESSERANFCE_MifareClassic = 3,
    TESSERANFCE_MifareClassic1K = 3,
    TESSERANFCE_CommandFailed = 4,
    TESSERANFCE_Failed = 4,
    TESSERANFCE_IOFailed = 5,
    TESSERANFCE_MifareClassic4K = 6,
    TESSERANFCE_MifareDESFire = 7,
    TESSERANFCE_AuthenticationFailed = 8,
};

enum TransactionStatus : int {
    NoStatus = -1,
    NoTransaction = 0,
    CardSwiped = 1,
    CardInserted = 2,
    CardRemoved = 3,
    CardDetected = 4,
    CardCollision = 5,
    TimedOut = 6,
    HostCancelled = 7,
    TransactionCancelled = 8,
    TransactionInProgress = 9,
    TransactionError = 10,
    TransactionApproved = 11,
    TransactionDeclined = 12,
    TransactionCompleted = 13,
    TransactionFailed = 14,
    TransactionNotAccepted = 15,
    SignatureCaptureRequested = 16,
    TechnicalFallback = 17,
    QuickChipDeferred = 18,
    DataEntered = 19,
    TryAnotherInterface = 20,
    BarcodeRead = 21,
    VASError = 22,
};

}  // namespace TESSERA
