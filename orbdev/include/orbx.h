#ifndef ORBX_H
#define ORBX_H
/*
 * C interface of liborbdev: message-schema readers over USB HID, TCP and serial lines.
 *
 * Conventions shared by every function:
 * - Bytes cross this interface as hex text: upper case, two digits per byte, no separators.
 *   Readers of hex text accept both cases.
 * - Handles are opaque. A null handle and the all-ones value ((void*)-1, which ORBX_OpenDevice
 *   returns on failure) both mean "no handle".
 * - Every returned `const char*` belongs to the library. It lives in one of three rotating result
 *   pools of 4 MiB each and stays valid until about 4 MiB of later results went through the same
 *   pool: copy it at once, never free it and never write to it. Texts handed to callbacks are
 *   valid only during the callback.
 * - No function lets a failure escape: failures come back as the documented result (null, "",
 *   0, 255, (void*)-1).
 */
#include <stdbool.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Types -------------------------------------------------------------------------------- */

/* Link kinds. USB, TCP and SERIAL open; BLE_EMV, TLS12, WS and WS_TRUST are accepted but never
 * open; BLE, BLE_EMVT and TLS12_TRUST are rejected. */
typedef enum DEVICE_CONNECTION_TYPE_Tag {
    USB = 0,
    BLE = 1,
    BLE_EMV = 2,
    BLE_EMVT = 3,
    TCP = 4,
    TLS12 = 5,
    TLS12_TRUST = 6,
    SERIAL = 7,
    WS = 8,
    WS_TRUST = 9
} ORBX_DEVICE_CONNECTION_TYPE;

/* Link status reported for a device: 1 when the application closed it, a negative value when
 * the USB link failed (for example when the cable was pulled). Runs on a thread of its own. */
typedef void (*ORBX_DeviceStatusChangeCallback)(void* DeviceHandle, int Status);

/* Every complete incoming message, as hex text, in arrival order, one at a time, on the
 * device's delivery thread. */
typedef void (*ORBX_DeviceDataArrivedCallback)(void* DeviceHandle, const char* HexData);

/* Send progress in (0, 1], on the calling thread; the last call reports 1.0. */
typedef void (*ORBX_ProgressUpdate)(void* Object, double Progress);

/* Readers to enable for a transaction (bit flags, combinable). */
typedef enum ORBX_ReaderEnable_Tag {
    MSR = 1,
    Contact = 2,
    Contactless = 4,
    Reader_RFU = 8
} ORBX_ReaderEnable;

typedef enum ORBX_TransactionMode_Tag {
    NonEMV = 0,
    EMV = 1,
    Mode_RFU = 2,
    EMVFallback = 3
} ORBX_TransactionMode;

/* Transaction options (bit flags). */
typedef enum ORBX_TransactionOption_Tag { ForceOnline = 1, QuickCard = 128 } ORBX_TransactionOption;

/* Card data of the current transaction (ORBX_GetCardData). */
typedef struct ORBX_CARD_DATA_Tag {
    unsigned char Status; /* 0xFF when the reader reported fewer than 3 status bytes */
    unsigned char Source;
    unsigned char CardType;
    char szMaskedTrack1[256]; /* masked track data as hex text, NUL-terminated */
    char szMaskedTrack2[256];
    char szMaskedTrack3[256];
    char szTrack1[256]; /* not filled (all zero) */
    char szTrack2[256];
    char szTrack3[256];
    unsigned long dwTrack1Status; /* first four bytes of the track descriptor, big-endian */
    unsigned long dwTrack2Status;
    unsigned long dwTrack3Status;
    unsigned long dwFulxmarkStatus; /* not filled (0) */
    char szFulxmark[256];           /* not filled (all zero) */
    const char* szRawResponse;      /* the whole response as hex text (result pool 1) */
} ORBX_CARD_DATA;

/* Authorisation request of the current transaction (ORBX_GetARQC). */
typedef struct ORBX_ARQC_DATA_Tag {
    const char* szRawResponse; /* the response as hex text (result pool 1) */
} ORBX_ARQC_DATA;

/* Batch data of the finished transaction (ORBX_GetBatch). */
typedef struct ORBX_Batch_DATA_Tag {
    const char* szRawResponse; /* the response as hex text (result pool 1) */
} ORBX_Batch_DATA;

/* ---- Message building and inspection ------------------------------------------------------ */

/* A new command with the given identifier; free it with ORBX_DeleteCommand. */
void* ORBX_CreateCommand(unsigned short CommandID);
/* Sets (replaces) the command parameter with that tag (0x81 = first parameter) from hex text. */
void ORBX_SetCommandParameter(void* CommandHandle, unsigned char Tag, const char* HexData);
/* The complete command message as hex; every call carries a new message number. Null on failure. */
const char* ORBX_GetCommandBytesInHex(void* CommandHandle);
void ORBX_DeleteCommand(void* CommandHandle);

/* The message hex of a one-line formatted command such as "1F01,81=0102,84=": the command
 * identifier in hex, then comma-separated parameters tag=value (tag and value in hex, the value
 * may be empty). Null for a null or invalid text. */
const char* ORBX_GetFormattedCommandBytesInHex(const char* FormattedCommand);
/* Sends a formatted command and waits up to Timeout ms for its response, returned as
 * "1F01,CommandStatus=0,OperationStatus=0,81=0102". Null on any failure or timeout. */
const char* ORBX_SendFommatedCommand(void* DeviceHandle, const char* FormattedCommand, int Timeout);

/* True when IncomingData is a notification with that code (0 = any) and, when the code matches
 * exactly and CoreId is not 0, that notification identifier. */
bool ORBX_IsNotification(const char* IncomingData, unsigned int NotificationCode,
                         unsigned short CoreId);
unsigned int ORBX_GetNotificationCode(const char* IncomingData);
int ORBX_GetNotificationId(const char* IncomingData);
/* A value by tag path ("81", "A4.A4.A0(1).84"); "" when absent. */
const char* ORBX_GetNotificationParameter(const char* HexNotificationData,
                                          const char* NotificationTag);
const char* ORBX_GetResponseParameter(const char* HexResponseData, const char* ResponseTag);
/* Status of a response; 255 when the text is not a response. */
int ORBX_GetCommandStatus(const char* HexResponseData);
int ORBX_GetOperationStatus(const char* HexResponseData);
/* The echoed command identifier; 0 when the text is not a response. */
int ORBX_GetResponseCommandID(const char* HexResponseData);
/* Operation status in the top byte, command status below; 255 when not a response. */
unsigned int ORBX_GetStatusCode(const char* HexResponseData);
bool ORBX_IsFile(const char* HexMessageData);
unsigned long ORBX_GetFileID(const char* HexFileMessage);
const char* ORBX_GetFilePayload(const char* HexFileMessage);
/* A complete file message; MessageID goes into the header's command identifier field. */
const char* ORBX_GetFileMessage(unsigned long FileID, const char* HexData,
                                unsigned short MessageID);

/* ---- Devices, callbacks and transactions -------------------------------------------------- */

/* JSON array of the readers found for that link kind ("[]" when none); "" for a rejected kind. */
const char* ORBX_GetDeviceList(ORBX_DEVICE_CONNECTION_TYPE DeviceType);
/* Opens a reader: for USB an hidapi path from the device list (or "" for the first reader), for
 * TCP "tcp://address:port", for SERIAL "PORT=/dev/ttyX,BAUDRATE=115200". (void*)-1 on failure. */
void* ORBX_OpenDevice(ORBX_DEVICE_CONNECTION_TYPE DeviceType, const char* Path);
/* Closes (status 1 is reported) and destroys the device; the handle is invalid afterwards. Once
 * it returned, the data callback is not called again for this device. Must not be called from
 * one of the device's own callbacks. */
void ORBX_CloseDevice(void* DeviceHandle);
bool ORBX_IsDeviceOpened(void* DeviceHandle);
void ORBX_AttachObjectToDevice(void* DeviceHandle, void* Object);
void* ORBX_GetAttachedObject(void* DeviceHandle);
void ORBX_SetDeviceStatusChangeCallback(void* DeviceHandle,
                                        ORBX_DeviceStatusChangeCallback Callback);
void ORBX_SetDataArriveCallback(void* DeviceHandle, ORBX_DeviceDataArrivedCallback Callback);

/* Sends message hex without waiting: 0 (also on a closed device, where nothing is sent), 5 for
 * no handle, 255 on failure. */
int ORBX_SendMessage(void* DeviceHandle, const char* HexCommand);
/* Sends message hex and waits up to Timeout ms for the response; "" on timeout or failure. */
const char* ORBX_SendAndReceiveMessage(void* DeviceHandle, const char* HexCommand, int Timeout);
/* ORBX_SendAndReceiveMessage with the bytes of a command; the command is not deleted. */
const char* ORBX_SendCommand(void* DeviceHandle, void* hCommand, int Timeout);
/* The same, reporting send progress through update(Object, fraction); null on failure. */
const char* ORBX_SendCommandWithProgress(void* DeviceHandle, void* hCommand,
                                         ORBX_ProgressUpdate update, void* Object, int Timeout);
const char* ORBX_SendCommandStringWithProgress(void* DeviceHandle, const char* strCommand,
                                               ORBX_ProgressUpdate update, void* Object,
                                               int Timeout);

/* Transaction helpers: 0 on success, 5 when the device is not open, 13 for a null record, 255
 * when no response came, otherwise the reader's status code. */
int ORBX_StartTransaction(void* DeviceHandle, int TimeOut, ORBX_ReaderEnable Reader,
                          ORBX_TransactionMode Mode, ORBX_TransactionOption Options,
                          const char* ExtraData);
int ORBX_CancelTransaction(void* DeviceHandle);
int ORBX_GetCardData(void* DeviceHandle, ORBX_CARD_DATA* CardData);
int ORBX_GetARQC(void* DeviceHandle, ORBX_ARQC_DATA* ArqcData);
int ORBX_GetBatch(void* DeviceHandle, ORBX_Batch_DATA* BatchData);

#ifdef __cplusplus
}
#endif

#endif /* ORBX_H */
