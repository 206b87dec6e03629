// Defaults and constructors of the request and result records.
#include <gtest/gtest.h>

#include <vector>

#include "tessera/Tessera.h"

using namespace TESSERA;
using Bytes = std::vector<unsigned char>;

TEST(IData, TextAndBytesFormsFollowEachOther) {
    const struct {
        const char* text;
        Bytes bytes;
    } fromText[] = {
        {"0AFF", {0x0A, 0xFF}},
        {"0aff", {0x0A, 0xFF}},
        {"", {}},
        {"ABC", {}},  // odd length: no bytes
    };
    for (const auto& c : fromText) {
        const IData data(std::string(c.text));
        EXPECT_EQ(data.StringValue, c.text);
        EXPECT_EQ(data.ByteArray, c.bytes) << c.text;
    }
    const IData bytes(Bytes{0x0A, 0xFF});
    EXPECT_EQ(bytes.StringValue, "0AFF");
    EXPECT_EQ(bytes.ByteArray, (Bytes{0x0A, 0xFF}));
    // A plain word keeps its text, which is what text payloads are read from.
    EXPECT_EQ(IData(std::string("connected")).StringValue, "connected");

    IData original(Bytes{0x01});
    IData copy = original.Clone();
    original.ByteArray.push_back(0x02);
    EXPECT_EQ(copy.ByteArray, Bytes{0x01});
    EXPECT_EQ(copy.StringValue, "01");
    EXPECT_TRUE(IData().StringValue.empty() && IData().ByteArray.empty());
}

TEST(Records, BarCodeRequestDefaultsAndFullForm) {
    const BarCodeRequest request(QRCODE, BARCODE_FORMAT_BLOB, Bytes{'h', 'i'});
    EXPECT_EQ(request.Type, QRCODE);
    EXPECT_EQ(request.Format, BARCODE_FORMAT_BLOB);
    EXPECT_EQ(request.Data, (Bytes{'h', 'i'}));
    EXPECT_EQ(request.BlockColor, (Bytes{0x00, 0x00, 0x00}));
    EXPECT_EQ(request.BackgroundColor, (Bytes{0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(request.ErrorCorrection, 0);
    EXPECT_EQ(request.MaskPattern, 255);
    EXPECT_EQ(request.MinVersion, 1);
    EXPECT_EQ(request.MaxVersion, 40);

    const BarCodeRequest full(QRCODE, BARCODE_FORMAT_COMMAND_BASE64, Bytes{1}, Bytes{1, 2, 3},
                              Bytes{4, 5, 6}, 2, 7, 3, 9);
    EXPECT_EQ(full.Format, BARCODE_FORMAT_COMMAND_BASE64);
    EXPECT_EQ(full.BlockColor, (Bytes{1, 2, 3}));
    EXPECT_EQ(full.BackgroundColor, (Bytes{4, 5, 6}));
    EXPECT_EQ(full.ErrorCorrection, 2);
    EXPECT_EQ(full.MaskPattern, 7);
    EXPECT_EQ(full.MinVersion, 3);
    EXPECT_EQ(full.MaxVersion, 9);
}

TEST(Records, ImageDataBackgroundDefaultsToWhite) {
    const ImageData white(IMAGE_TYPE_BITMAP, Bytes{1, 2});
    EXPECT_EQ(white.Data, (Bytes{1, 2}));
    EXPECT_EQ(white.BackgroundColor, (Bytes{0xFF, 0xFF, 0xFF}));
    const ImageData red(IMAGE_TYPE_BITMAP, Bytes{}, Bytes{0xFF, 0, 0});
    EXPECT_EQ(red.BackgroundColor, (Bytes{0xFF, 0, 0}));
}

TEST(Records, DeviceCapabilityNeverClaimsAutomaticSignatureCapture) {
    const DeviceCapability capability(7, true, false, true, false, true, true);
    EXPECT_EQ(capability.PaymentMethods, 7);
    EXPECT_TRUE(capability.Display);
    EXPECT_FALSE(capability.PINPad);
    EXPECT_TRUE(capability.Signature);
    EXPECT_FALSE(capability.AutoSignatureCapture);
    EXPECT_FALSE(capability.SRED);
    EXPECT_TRUE(capability.MSRPowerSaver);
    EXPECT_TRUE(capability.BatteryBackedClock);
}

TEST(Records, TransactionDefaults) {
    const ITransaction t;
    EXPECT_EQ(t.Timeout, 60);
    EXPECT_EQ(t.PaymentMethods, 0);
    EXPECT_FALSE(t.QuickChip);
    EXPECT_FALSE(t.EMVOnly);
    EXPECT_FALSE(t.SuppressThankYouMessage);
    EXPECT_FALSE(t.DisplayAmountForQuickChip);
    EXPECT_EQ(t.OverrideFinalTransactionMessage, 0);
    EXPECT_EQ(t.TransactionType, 0);
    EXPECT_EQ(t.Amount, "0");
    EXPECT_EQ(t.CashBack, "0");
    EXPECT_TRUE(t.CurrencyCode.empty() && t.CurrencyExponent.empty() &&
                t.TransactionCategory.empty() && t.MerchantCategory.empty() &&
                t.MerchantID.empty() && t.MerchantCustomData.empty());
    EXPECT_EQ(t.AppleVASMode, VASMode_Dual);
    EXPECT_EQ(t.AppleVASProtocol, VASProtocol_Full);
    EXPECT_EQ(t.TipMode, 0);
    for (unsigned char mode : {t.Tip1DisplayMode, t.Tip2DisplayMode, t.Tip3DisplayMode,
                               t.Tip4DisplayMode, t.Tip5DisplayMode, t.Tip6DisplayMode}) {
        EXPECT_EQ(mode, 0);
    }
    for (const std::string& value : {t.Tip1Value, t.Tip2Value, t.Tip3Value, t.Tip4Value,
                                     t.Tip5Value, t.Tip6Value, t.TaxAmount}) {
        EXPECT_EQ(value, "");
    }
}

TEST(Records, EntryRequestDefaultsAndConstructors) {
    const PINRequest pin;
    EXPECT_EQ(pin.Timeout, 60);
    EXPECT_EQ(pin.PINMode, 0);
    EXPECT_EQ(pin.MinLength, 4);
    EXPECT_EQ(pin.MaxLength, 12);
    EXPECT_EQ(pin.Tone, 1);
    EXPECT_EQ(pin.Format, 1);
    EXPECT_EQ(pin.PAN, "");
    const PINRequest given(30, 1, 6, 8, 0, 3, "4111");
    EXPECT_EQ(given.Timeout, 30);
    EXPECT_EQ(given.PINMode, 1);
    EXPECT_EQ(given.MinLength, 6);
    EXPECT_EQ(given.MaxLength, 8);
    EXPECT_EQ(given.Tone, 0);
    EXPECT_EQ(given.Format, 3);
    EXPECT_EQ(given.PAN, "4111");

    const PANRequest pan;
    EXPECT_EQ(pan.Timeout, 0);
    EXPECT_EQ(pan.PaymentMethods, PAYMENT_METHOD_MSR);
    const PANRequest manual(20, PAYMENT_METHOD_MANUAL_ENTRY);
    EXPECT_EQ(manual.Timeout, 20);
    EXPECT_EQ(manual.PaymentMethods, PAYMENT_METHOD_MANUAL_ENTRY);
}

TEST(Records, ResultRecordDefaultsAndConstructors) {
    const PINData emptyPin;
    EXPECT_TRUE(emptyPin.PINBlock.empty() && emptyPin.KSN.empty());
    EXPECT_EQ(emptyPin.Format, 0);
    EXPECT_EQ(emptyPin.EncryptionType, 0);
    const PINData pin(Bytes{1, 2}, Bytes{3}, 4, 5);
    EXPECT_EQ(pin.PINBlock, (Bytes{1, 2}));
    EXPECT_EQ(pin.KSN, Bytes{3});
    EXPECT_EQ(pin.Format, 4);
    EXPECT_EQ(pin.EncryptionType, 5);

    const PANData emptyPan;
    EXPECT_TRUE(emptyPan.Data.empty() && emptyPan.KSN.empty());
    EXPECT_EQ(emptyPan.EncryptionType, 0);
    EXPECT_TRUE(emptyPan.PINData.PINBlock.empty());
    const PANData pan(Bytes{9}, Bytes{8}, 7, pin);
    EXPECT_EQ(pan.Data, Bytes{9});
    EXPECT_EQ(pan.KSN, Bytes{8});
    EXPECT_EQ(pan.EncryptionType, 7);
    EXPECT_EQ(pan.PINData.PINBlock, (Bytes{1, 2}));

    const BarCodeData emptyBarCode;
    EXPECT_TRUE(emptyBarCode.Data.empty() && emptyBarCode.KSN.empty());
    EXPECT_FALSE(emptyBarCode.Encrypted);
    EXPECT_EQ(emptyBarCode.EncryptionType, 0);
    const BarCodeData barCode(Bytes{1}, true, 2, Bytes{3});
    EXPECT_EQ(barCode.Data, Bytes{1});
    EXPECT_TRUE(barCode.Encrypted);
    EXPECT_EQ(barCode.EncryptionType, 2);
    EXPECT_EQ(barCode.KSN, Bytes{3});

    const NFCData clear(Bytes{1, 2});
    EXPECT_EQ(clear.Data, (Bytes{1, 2}));
    EXPECT_TRUE(clear.KSN.empty());
    EXPECT_FALSE(clear.Encrypted);
    EXPECT_EQ(clear.EncryptionType, 0);
    const NFCData secret(Bytes{1}, true, 3, Bytes{4});
    EXPECT_TRUE(secret.Encrypted);
    EXPECT_EQ(secret.EncryptionType, 3);
    EXPECT_EQ(secret.KSN, Bytes{4});

    const NFCRAPDUData emptyResponse;
    EXPECT_TRUE(emptyResponse.Response.empty() && emptyResponse.Data.empty() &&
                emptyResponse.KSN.empty());
    EXPECT_FALSE(emptyResponse.Encrypted);
    const NFCRAPDUData response(Bytes{0x90, 0x00}, Bytes{1}, true, 2, Bytes{3});
    EXPECT_EQ(response.Response, (Bytes{0x90, 0x00}));
    EXPECT_EQ(response.Data, Bytes{1});
    EXPECT_TRUE(response.Encrypted);
    EXPECT_EQ(response.EncryptionType, 2);
    EXPECT_EQ(response.KSN, Bytes{3});
}

TEST(Records, UnfilledResultNeverReadsAsSuccess) {
    EXPECT_EQ(IResult().Status, STATUS_CODE_ERROR);
    const ConnectionInfo info;
    EXPECT_TRUE(info.Address.empty() && info.CertificateInfo.Data.empty() &&
                info.CertificateInfo.Format.empty() && info.CertificateInfo.Password.empty());
}
