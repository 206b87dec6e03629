#pragma once
#include <string>
#include <vector>

#include "Enumerations.h"
#include "Export.h"

namespace TESSERA {

// The parameters of IDevice::startTransaction.
class SDK_EXPORT ITransaction {
  public:
    unsigned char Timeout = 60;  // seconds
    int PaymentMethods = 0;      // OR of PaymentMethods flags
    bool QuickChip = false;
    bool EMVOnly = false;
    bool PreventMSRSignatureForCardWithICC = false;
    bool SuppressThankYouMessage = false;
    bool DisplayAmountForQuickChip = false;
    unsigned char OverrideFinalTransactionMessage = 0;
    unsigned char EMVResponseFormat = 0;
    unsigned char TransactionType = 0;
    std::string Amount = "0";    // decimal amount as typed, for example 1.50
    std::string CashBack = "0";  // decimal amount
    std::vector<unsigned char> CurrencyCode;
    std::vector<unsigned char> CurrencyExponent;
    std::vector<unsigned char> TransactionCategory;
    std::vector<unsigned char> MerchantCategory;
    std::vector<unsigned char> MerchantID;
    std::vector<unsigned char> MerchantCustomData;
    unsigned char ManualEntryType = 0;
    unsigned char ManualEntryFormat = 0;
    unsigned char ManualEntrySound = 0;
    VASMode AppleVASMode = VASMode_Dual;
    VASProtocol AppleVASProtocol = VASProtocol_Full;
    unsigned char TipMode = 0;
    unsigned char Tip1DisplayMode = 0;
    unsigned char Tip2DisplayMode = 0;
    unsigned char Tip3DisplayMode = 0;
    unsigned char Tip4DisplayMode = 0;
    unsigned char Tip5DisplayMode = 0;
    unsigned char Tip6DisplayMode = 0;
    std::string Tip1Value;
    std::string Tip2Value;
    std::string Tip3Value;
    std::string Tip4Value;
    std::string Tip5Value;
    std::string Tip6Value;
    std::string TaxAmount;
};

}  // namespace TESSERA
