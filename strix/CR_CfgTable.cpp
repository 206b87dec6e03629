// The reader model table, exported for applications (declared extern "C" in StrixRecords.h).
#include "SdkExport.h"
#include "StrixRecords.h"

SDK_EXPORT CRConfigTable CR_CfgTable[STRIX_MODEL_COUNT] = {
    {0, 0x0011, "Cardova V4/V5 Swipe", 1, 1, 1, 1, 1, 0, 1},
    {0, 0x0013, "Cardova Insert", 1, 1, 1, 1, 1, 0, 1},
    {0, 0x0001, "Standard Swipe in Keyboard Mode", 0, 0, 0, 0, 0, 0, 0},
    {0, 0x0002, "Standard Swipe", 0, 0, 0, 0, 0, 0, 0},
    {0, 0x0003, "Standard Insert", 0, 0, 0, 0, 0, 0, 0},
    {0, 0x0017, "VANTOR Bluetooth Smart in Keyboard Mode", 0, 0, 0, 0, 0, 0, 0},
    {0, 0x0018, "VANTOR Bluetooth Smart", 1, 1, 1, 1, 1, 0, 1},
    {0, 0x0019, "eTorvo", 1, 1, 1, 1, 1, 0, 1},
    {0, 0x0119, "eTorvo Bluetooth Smart", 1, 1, 1, 1, 1, 0, 1},
    {0, 0x2251, "Chexon", 1, 1, 1, 1, 1, 0, 1},
    {0, 0x0012, "Cardova Boot Loader Mode", 1, 1, 1, 1, 1, 0, 1},
    {0, 0x5357, "ODM(I) Boot Loader Mode", 1, 1, 1, 1, 1, 0, 1},
    {0, 0x0014, "Cardova Wireless Reader", 1, 1, 1, 1, 1, 0, 1},
    {0, 0x001A, "eTorvo OEM", 1, 1, 1, 1, 1, 0, 1},
    {0, 0x001C, "tTorvo", 1, 1, 1, 1, 1, 0, 1},
    {0, 0x001D, "kTorvo", 1, 1, 1, 1, 1, 0, 1},
    {0, 0x001E, "Brevo", 1, 1, 1, 1, 1, 0, 1},
    {0, 0x001F, "iTorvo 6", 1, 1, 1, 1, 1, 0, 1},
    {0, 0x0020, "iTorvo5 Gen 3", 1, 1, 1, 1, 1, 0, 1},
    {0, 0x0021, "iTorvo5 Gen 3 Keyboard Mode", 1, 1, 1, 1, 1, 0, 1},
    {0, 0x011C, "tTorvo Bluetooth Smart", 1, 1, 1, 1, 1, 0, 1},
    {0, 0x0000, "Invalid", 0, 0, 0, 0, 0, 0, 0},
};
