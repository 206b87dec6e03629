#pragma once
#include <cstddef>

// The engine's working record of one card report, from which VLMSRDATA is filled. Texts are
// NUL-terminated; the *Raw fields hold the report's bytes as received.
typedef struct _STRIXDATA {
    char m_szCardData[1536];
    char m_szCardDataMasked[1536];
    char m_szTk1Data[512];
    char m_szTk2Data[512];
    char m_szTk3Data[512];
    char m_szTk1DataMasked[512];
    char m_szTk2DataMasked[512];
    char m_szTk3DataMasked[512];
    char m_szFluxmarkData[256];
    char m_szTk1DataRaw[256];
    char m_szTk2DataRaw[256];
    char m_szTk3DataRaw[256];
    char m_szFluxmarkDataRaw[256];
    char m_szFluxmarkStatus[9];
    char m_szDUKPTKSN[256];
    char m_szDUKPTKSNRaw[256];
    char m_szDUKPTSessionID[256];
    char m_szDUKPTSessionIDRaw[256];
    char m_szDeviceSerialNumber[256];
    char m_szCardEncodeType[256];
    char m_szLastName[256];
    char m_szFirstName[256];
    char m_szPAN[256];
    char m_szMonth[256];
    char m_szYear[256];
    char m_szExpDate[256];
    long m_dwTk1Length;
    long m_dwTk2Length;
    long m_dwTk3Length;
    long m_dwTk1LengthMasked;
    long m_dwTk2LengthMasked;
    long m_dwTk3LengthMasked;
    long m_dwTk1DcdStatus;
    long m_dwTk2DcdStatus;
    long m_dwTk3DcdStatus;
    long m_dwDevicePID;
    long m_dwCardSwipeStatus;
    long m_dwFluxmarkLength;
    long m_dwFluxmarkStatus;
    long m_dwCardEncodeType;
    long m_dwBatteryLevel;
    long m_dwEncryptionStatus;
} STRIXDATA;

static_assert(offsetof(STRIXDATA, m_szFluxmarkStatus) == 7424, "STRIXDATA layout");
static_assert(offsetof(STRIXDATA, m_szExpDate) == 10249, "STRIXDATA layout");
static_assert(offsetof(STRIXDATA, m_dwTk1Length) == 10512, "STRIXDATA layout");
static_assert(sizeof(STRIXDATA) == 10640, "STRIXDATA layout");
