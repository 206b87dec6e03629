#ifndef STRIX_H
#define STRIX_H
/* C interface of the swipe-reader library (libstrix.so).

   Three generations of functions share one engine:
   - the single-device API keeps one open reader inside the library: LYNX... functions fill
     caller buffers and return status codes, plain-named functions return library-owned texts;
   - the handle-based API (names ending in Ex) opens any number of readers; OpenDeviceEx returns
     a handle (0 on failure) that every other Ex function takes.

   Results are the codes of the shared error enumeration (0 success, 1 timeout, 5 not open,
   6 invalid parameters, 13 buffer too small, 15 busy with a prior command, 17 bad
   communication, 255 unknown) unless a function says otherwise.

   Texts returned as const char* live in library-owned rotating pools: copy them at once, never
   free them. A text stays valid for the next 99 texts returned to the same thread. Texts passed
   to callbacks are valid only during the callback. Callbacks run on library threads (one new
   thread per callback, except the error callback, which runs on the reader's own thread). */

#include <stdbool.h>

#include "StrixRecords.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum EErrorValues {
    STRIX_ST_OK = 0,
    STRIX_ST_FAILED = 1,
    STRIX_ST_OPEN = 2,
    STRIX_ST_INVALID_PARAM = 3
} EErrorValues;

typedef enum ECardReadValues { STRIX_CARDREAD_OK = 0, STRIX_CARDREAD_ERROR = 1 } ECardReadValues;

/* Callbacks of the single-device API. */
typedef void (*CallBackOnCardDataReceived)(const char* cardData);
typedef void (*CallBackCardDataStateChanged)(long state);
typedef void (*CallBackDeviceStateChanged)(long state);
typedef void (*CallBackOnDeviceResponse)(const char* text);
typedef void (*CallBackOnNotification)(unsigned int messageId, const char* hexData);
typedef void (*CallBackOnDeviceExtendedResponse)(const char* text);

/* Callbacks of the handle-based API: the handle first, then the registered Obj. */
typedef void (*CallBackOnCardDataReceivedEx)(unsigned long handle, void* Obj, const char* cardData);
typedef void (*CallBackCardDataStateChangedEx)(unsigned long handle, void* Obj, long state);
typedef void (*CallBackDeviceStateChangedEx)(unsigned long handle, void* Obj, long state);
typedef void (*CallBackOnDeviceResponseEx)(unsigned long handle, void* Obj, const char* text);
typedef void (*CallBackOnNotificationEx)(unsigned long handle, void* Obj, unsigned int messageId,
                                         const char* hexData);
typedef void (*CallBackOnDeviceExtendedResponseEx)(unsigned long handle, void* Obj,
                                                   const char* text);

/* Process-wide settings. */
extern int _TimeoutMs;          /* response timeout of serial readers, ms (10000) */
extern int _VantorMode;         /* stored by SetVANTORMode */
extern char g_deviceList[4096]; /* the last device list text */

/* Enumeration: "HID://<serial or path>" names separated by ",". */
char* LYNXGetDeviceList(void);
const char* GetDeviceList(void);

/* Single-device API. */
long LYNXOpenDevice(char* lpDeviceName);
long OpenDevice(const char* lpDeviceName);
long LYNXCloseDevice(void);
long CloseDevice(void);
int LYNXIsDeviceConnected(void);
int IsDeviceConnected(void);
void LYNXGetDeviceState(long* lpdwDeviceState);
void LYNXGetCardDataState(long* lpdwCardDataState);
void LYNXGetPID(long* lpdwPID);
long LYNXSendCommand(char* lpCmd, long lpdwCmdLen, char* lpResult, long lpdwResultLen);
long LYNXSendCommandWithLength(char* lpCmd, long lpdwCmdLen, char* lpResult, long lpdwResultLen);
const char* SendCommand(const char* lpCmd);
const char* SendCommandWithLength(const char* lpCmd);
long SendData(const char* lpHexCommandString);
int GetResultCode(void);
void SetCommandTimeout(int timeoutms);
long LYNXGetCardData(VLMSRDATA* lpVLMSRDATA);
long LYNXGetCardDataStr(char* lpStrData, char* lpStrFieldDelimiter);
const char* GetCardData(void);
void LYNXClearBuffer(void);
void ClearCardData(void);

/* Handle-based API. */
unsigned long OpenDeviceEx(const char* lpDeviceName);
void CloseDeviceEx(unsigned long Handle);
int IsDeviceConnectedEx(unsigned long Handle);
int GetProductIDEx(unsigned long Handle);
const char* SendCommandEx(unsigned long Handle, const char* lpCmd);
const char* SendCommandWithLengthEx(unsigned long Handle, const char* lpCmd);
long SendDataEx(unsigned long Handle, const char* lpHexCommandString);
int GetResultCodeEx(unsigned long Handle);
long GetCardDataStructureEx(unsigned long Handle, VLMSRDATA* msr);
const char* GetCardDataEx(unsigned long Handle);
void ClearCardDataEx(unsigned long Handle);
const char* GetRawData(unsigned long Handle);

/* Callback registration (null unregisters). */
void LYNXCardDataStateChangedNotify(CallBackCardDataStateChanged callback);
void LYNXDeviceStateChangedNotify(CallBackDeviceStateChanged callback);
void OnDataReceived(CallBackOnCardDataReceived callback);
void OnDeviceConnectionStateChanged(CallBackDeviceStateChanged callback);
void OnError(CallBackOnDeviceResponse OnErrorProc);
void OnNotification(CallBackOnNotification callback);
void OnTransactionStatus(CallBackOnDeviceResponse callback);
void OnDisplayMessageRequest(CallBackOnDeviceResponse callback);
void OnUserSelectionRequest(CallBackOnDeviceResponse callback);
void OnARQCReceived(CallBackOnDeviceResponse callback);
void OnTransactionResult(CallBackOnDeviceResponse callback);
void OnDeviceResponse(CallBackOnDeviceResponse callback);
void OnDeviceExtendedResponse(CallBackOnDeviceExtendedResponse callback);
void OnDataReceivedEx(unsigned long Handle, CallBackOnCardDataReceivedEx callback, void* Obj);
void OnDeviceConnectionStateChangedEx(unsigned long Handle, CallBackDeviceStateChangedEx callback,
                                      void* Obj);
void OnNotificationDataEx(unsigned long Handle, CallBackOnNotificationEx callback, void* Obj);
void OnDeviceResponseEx(unsigned long Handle, CallBackOnDeviceResponseEx callback, void* Obj);
void OnErrorEx(unsigned long Handle, CallBackOnDeviceResponseEx OnErrorProc, void* Obj);

/* Card fields of the last swipe (single-device reader). The LYNX forms copy the text to Buffer,
   whose capacity *BufferLength gives on entry, and set *BufferLength to the text's length:
   0, 1 when no card data is ready, 13 when the buffer is too small (*BufferLength then says
   how many characters the text has). */
long LYNXGetMaskedTracks(char* Buffer, int* BufferLength);
long LYNXGetTrack1Masked(char* Buffer, int* BufferLength);
long LYNXGetTrack2Masked(char* Buffer, int* BufferLength);
long LYNXGetTrack3Masked(char* Buffer, int* BufferLength);
long LYNXGetTrack1(char* Buffer, int* BufferLength);
long LYNXGetTrack2(char* Buffer, int* BufferLength);
long LYNXGetTrack3(char* Buffer, int* BufferLength);
long LYNXGetFluxmark(char* Buffer, int* BufferLength);
long LYNXGetFluxmarkStatus(char* Buffer, int* BufferLength);
long LYNXGetSessionID(char* Buffer, int* BufferLength);
long LYNXGetKSN(char* Buffer, int* BufferLength);
long LYNXGetDeviceSerial(char* Buffer, int* BufferLength);
const char* GetMaskedTracks(void);
const char* GetTrack1Masked(void);
const char* GetTrack2Masked(void);
const char* GetTrack3Masked(void);
const char* GetTrack1(void);
const char* GetTrack2(void);
const char* GetTrack3(void);
const char* GetFluxmark(void);
const char* GetFluxmarkStatus(void);
const char* GetSessionID(void);
const char* GetKSN(void);
const char* GetPAN(void);
long GetPANLength(void);
int GetCardPANLength(void);
const char* GetCardIIN(void);
const char* GetCardLast4(void);
const char* GetCardName(void);
const char* GetFirstName(void);
const char* GetLastName(void);
const char* GetMiddleName(void);
const char* GetCardExpDate(void);
const char* GetExpDate(void);
const char* GetExpDateYear(void);
const char* GetExpDateMonth(void);
const char* GetCardServiceCode(void);
const char* GetTrackDecodeStatus(void);
const char* GetTrack1DecodeStatus(void);
const char* GetTrack2DecodeStatus(void);
const char* GetTrack3DecodeStatus(void);
const char* GetEncodeType(void);
const char* GetEncryptionStatus(void);
long GetFluxmarkLength(void);
int GetSwipeCount(void);

/* Device information (single-device reader). */
const char* GetFirmware(void);
const char* GetDevicePartNumber(void);
const char* GetDeviceSerial(void);
const char* GetCapTracks(void);
const char* GetCapCardova20Encryption(void);
const char* GetCapMagStripeEncryption(void);
long GetBatteryLevel(void);
int TerminateBLEConnection(void);
const char* GetDeviceName(void);
const char* GetProductID(void);
int GetVANTORMode(void);
void SetVANTORMode(int mode);
bool IsDeviceEMV(void);

/* EMV transaction: the outcome arrives as notifications (0x0300 status, 0x0301 display
   message, 0x0302 user selection, 0x0303 ARQC, 0x0304 result). Amount and cash back are
   decimal texts of at most 12 digits, the currency code 4 hex digits; other texts are refused
   (nothing is sent and the result code becomes 6). */
const char* StartTransaction(unsigned char timeLimit, unsigned char cardType, unsigned char option,
                             const char* amount, unsigned char transactionType,
                             const char* cashBack, const char* currencyCode, unsigned char mode);
const char* GetTransactionProgress(int timeOut);
const char* CancelTransaction(void);
const char* SetUserSelectionResult(unsigned char status, unsigned char selection);
const char* SetAcquirerResponse(const char* response);

/* EMV configuration. */
const char* SetTerminalConfiguration(unsigned char macType, unsigned char slotNumber,
                                     unsigned char operation, unsigned char databaseSelector,
                                     const char* deviceSerialNumber, const char* objectsToWrite,
                                     const char* CMUT);
const char* GetTerminalConfiguration(unsigned char slotNumber, unsigned char operation,
                                     unsigned char databaseSelector, const char* tagsToRead);
const char* SetApplicationConfiguration(unsigned char macType, unsigned char slotNumber,
                                        unsigned char operation, unsigned char databaseSelector,
                                        const char* deviceSerialNumber, const char* objectsToWrite,
                                        const char* CMUT);
const char* GetApplicationConfiguration(unsigned char slotNumber, unsigned char operation,
                                        unsigned char databaseSelector, const char* tagsToRead);
const char* SetAcquirerCAPublicKey(unsigned char macType, unsigned char slotNumber,
                                   unsigned char operation, unsigned char databaseSelector,
                                   const char* deviceSerialNumber, const char* objectsToWrite,
                                   const char* CMUT);
const char* GetAcquirerCAPublicKey(unsigned char slotNumber, unsigned char operation,
                                   unsigned char databaseSelector, const char* tagsToRead);
const char* GetKernelInformation(unsigned char Mode);
const char* SetDateTime(unsigned char macType, const char* deviceSerialNumber,
                        unsigned char byteMonth, unsigned char byteDay, unsigned char byteHour,
                        unsigned char byteMinute, unsigned char byteSecond,
                        unsigned char byteWeekDay, unsigned char byteYear, const char* CMUT);
const char* GetDateTime(void);
const char* CommitConfiguration(unsigned char database);
void SetLEDState(unsigned char state);

/* Extended command "CCCCLLLL<data>" (code, data length in bytes, data; hex). The answer
   "%04x%04x" (result code, length) + data goes to the extended-response callback. */
int SendExtendedCommand(const char* lpCmd);
/* The card record as BER-TLV hex (FA item). */
const char* GetTLVPayload(void);

#ifdef __cplusplus
}
#endif

#endif
