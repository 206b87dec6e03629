#ifndef STRIX_RECORDS_H
#define STRIX_RECORDS_H
/* Records and states shared by the swipe-reader library and its applications. The card record
   VLMSRDATA is copied into application memory byte for byte: its field order and widths are a
   binary interface (LP64: long is 64 bits). */

#ifdef __cplusplus
extern "C" {
#endif

typedef enum EDeviceStateValues {
    STRIX_STATE_DISCONNECTED = 0,
    STRIX_STATE_CONNECTED = 1,
    STRIX_STATE_ERROR = 2
} EDeviceStateValues;

typedef enum ECardDataStateValues {
    STRIX_DATA_NOTREADY = 0,
    STRIX_DATA_READY = 1,
    STRIX_DATA_ERROR = 2
} ECardDataStateValues;

/* One reader model: its USB product ID, display name and what its card reports carry. */
typedef struct _CRConfigTable {
    long dwIndex;
    long dwPID;
    char strDesc[256];
    long dwFluxmarkCapable;
    long dwEncryptionCapable;
    long dwMaskingCapable;
    long dwSessionIDCapable;
    long dwDUKPTKSNCapable;
    long dwSequenceCounterCapable;
    long dwDeviceSerialNumberCapable;
} CRConfigTable;

/* The known reader models; the last row ("Invalid", product ID 0) ends the table. */
#define STRIX_MODEL_COUNT 22
extern CRConfigTable CR_CfgTable[STRIX_MODEL_COUNT];

/* Card data as handed to applications. Texts are NUL-terminated. */
typedef struct _VLMSRDATA {
    char m_szCardData[768];
    char m_szCardDataMasked[768];
    char m_szTrack1Data[256];
    char m_szTrack2Data[256];
    char m_szTrack3Data[256];
    char m_szTrack1DataMasked[256];
    char m_szTrack2DataMasked[256];
    char m_szTrack3DataMasked[256];
    char m_szFluxmarkData[256];
    char m_szCardEncodeType[256];
    char m_szFluxmarkStatus[256];
    char m_szDUKPTSessionID[256];
    char m_szDeviceSerialNumber[256];
    char m_szDUKPTKSN[256];
    char m_szFirstName[256];
    char m_szLastName[256];
    char m_szPAN[256];
    char m_szMonth[256];
    char m_szYear[256];
    long m_dwReaderID;
    long m_dwFluxmarkLength;
    long m_dwFluxmarkStatus;
    long m_dwTrack1Length;
    long m_dwTrack2Length;
    long m_dwTrack3Length;
    long m_dwTrack1LengthMasked;
    long m_dwTrack2LengthMasked;
    long m_dwTrack3LengthMasked;
    long m_dwCardEncodeType;
    long m_dwTrack1DcdStatus;
    long m_dwTrack2DcdStatus;
    long m_dwTrack3DcdStatus;
    long m_dwCardSwipeStatus;
    long m_dwBatteryLevel;
    long m_dwEncryptionStatus;
} VLMSRDATA;

#ifdef __cplusplus
}

#include <cstddef>
static_assert(sizeof(long) == 8, "the card record assumes 64-bit long");
static_assert(offsetof(VLMSRDATA, m_szTrack1Data) == 1536, "VLMSRDATA layout");
static_assert(offsetof(VLMSRDATA, m_szFluxmarkData) == 3072, "VLMSRDATA layout");
static_assert(offsetof(VLMSRDATA, m_szPAN) == 5120, "VLMSRDATA layout");
static_assert(offsetof(VLMSRDATA, m_szYear) == 5632, "VLMSRDATA layout");
static_assert(offsetof(VLMSRDATA, m_dwReaderID) == 5888, "VLMSRDATA layout");
static_assert(offsetof(VLMSRDATA, m_dwCardEncodeType) == 5960, "VLMSRDATA layout");
static_assert(offsetof(VLMSRDATA, m_dwEncryptionStatus) == 6008, "VLMSRDATA layout");
static_assert(sizeof(VLMSRDATA) == 6016, "VLMSRDATA layout");
static_assert(offsetof(CRConfigTable, strDesc) == 16, "CRConfigTable layout");
static_assert(sizeof(CRConfigTable) == 328, "CRConfigTable layout");
#endif

#endif
