// Payload decoders, data builders, configuration identifiers and nested tag data.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tessera/Tessera.h"

using namespace TESSERA;
using Bytes = std::vector<unsigned char>;

namespace {

Bytes hex(const std::string& text) {
    Bytes out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        out.push_back(static_cast<unsigned char>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return out;
}

// One BER-TLV element in hex (short length form; the values here stay below 128 bytes).
std::string tlv(const std::string& tag, const std::string& value) {
    char length[3];
    std::snprintf(length, sizeof length, "%02X", static_cast<unsigned>(value.size() / 2));
    return tag + length + value;
}

const std::string kPinBlock = "1122334455667788";
const std::string kPinKsn = "FFFF9876543210E00001";
const std::string kPinElements =
    tlv("DFDF71", "02") + tlv("99", kPinBlock) + tlv("DFDF41", kPinKsn) + tlv("DFDF42", "05");

}  // namespace

TEST(ORBAPI, PINDataComesFromATopLevelF5ContainerOnly) {
    const struct {
        const char* name;
        std::string input;
        std::string block, ksn;
        unsigned char format, type;
    } cases[] = {
        {"full container", tlv("F5", kPinElements), kPinBlock, kPinKsn, 2, 5},
        {"container after other elements", tlv("DFDF59", "AA") + tlv("F5", kPinElements), kPinBlock,
         kPinKsn, 2, 5},
        {"missing format and type", tlv("F5", tlv("99", kPinBlock)), kPinBlock, "", 0, 0},
        {"empty type value", tlv("F5", tlv("99", kPinBlock) + tlv("DFDF42", "")), kPinBlock, "", 0,
         0},
        {"elements without container", kPinElements, "", "", 0, 0},
        {"container nested below top level", tlv("E1", tlv("F5", kPinElements)), "", "", 0, 0},
        {"container running past the end", "F540" + kPinElements, "", "", 0, 0},
        {"empty container", tlv("F5", ""), "", "", 0, 0},
        {"no input", "", "", "", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PINData pin = ORBAPI::getPINData(hex(c.input));
        EXPECT_EQ(pin.PINBlock, hex(c.block));
        EXPECT_EQ(pin.KSN, hex(c.ksn));
        EXPECT_EQ(pin.Format, c.format);
        EXPECT_EQ(pin.EncryptionType, c.type);
    }
}

TEST(ORBAPI, PANDataAtAnyDepthWithAnAccompanyingPINBlock) {
    const std::string pan =
        tlv("DFDF59", "A1A2A3A4") + tlv("DFDF56", "0102030405") + tlv("DFDF57", "0380");
    const struct {
        const char* name;
        std::string input;
        std::string data, ksn;
        unsigned char type;
        std::string pinBlock;
    } cases[] = {
        {"top level", pan, "A1A2A3A4", "0102030405", 3, ""},
        {"inside a container", tlv("FA", pan), "A1A2A3A4", "0102030405", 3, ""},
        {"with a PIN container beside", pan + tlv("F5", kPinElements), "A1A2A3A4", "0102030405", 3,
         kPinBlock},
        {"PIN only", tlv("F5", kPinElements), "", "", 0, kPinBlock},
        {"no input", "", "", "", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PANData data = ORBAPI::getPANData(hex(c.input));
        EXPECT_EQ(data.Data, hex(c.data));
        EXPECT_EQ(data.KSN, hex(c.ksn));
        EXPECT_EQ(data.EncryptionType, c.type);
        EXPECT_EQ(data.PINData.PINBlock, hex(c.pinBlock));
    }
}

TEST(ORBAPI, BarCodeDataPrefersClearData) {
    const std::string secret =
        tlv("DFDF59", "C0C1C2") + tlv("DFDF50", "0A0B") + tlv("DFDF51", "07");
    const struct {
        const char* name;
        std::string input;
        std::string data;
        bool encrypted;
        unsigned char type;
        std::string ksn;
    } cases[] = {
        {"clear", tlv("DF74", "48656C6C6F"), "48656C6C6F", false, 0, ""},
        {"clear wins over encrypted", secret + tlv("DF74", "4142"), "4142", false, 0, ""},
        {"encrypted", secret, "C0C1C2", true, 7, "0A0B"},
        {"encrypted inside a container", tlv("FC", secret), "C0C1C2", true, 7, "0A0B"},
        {"empty clear value falls back", tlv("DF74", "") + secret, "C0C1C2", true, 7, "0A0B"},
        {"no known tag", tlv("9F02", "000000000100"), "", true, 0, ""},
        {"no input", "", "", false, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const BarCodeData data = ORBAPI::getBarCodeData(hex(c.input));
        EXPECT_EQ(data.Data, hex(c.data));
        EXPECT_EQ(data.Encrypted, c.encrypted);
        EXPECT_EQ(data.EncryptionType, c.type);
        EXPECT_EQ(data.KSN, hex(c.ksn));
    }
}

TEST(ORBAPI, NFCDataPrefersClearData) {
    const std::string secret = tlv("DFDF59", "D0D1") + tlv("DFDF50", "0C") + tlv("DFDF51", "02");
    const struct {
        const char* name;
        std::string input;
        std::string data;
        bool encrypted;
        unsigned char type;
        std::string ksn;
    } cases[] = {
        {"clear", tlv("DF7A", "04A1B2C3"), "04A1B2C3", false, 0, ""},
        {"clear wins over encrypted", secret + tlv("DF7A", "01"), "01", false, 0, ""},
        {"encrypted", secret, "D0D1", true, 2, "0C"},
        {"no known tag", tlv("DF01", "01"), "", true, 0, ""},
        {"no element (zero padding)", "0000", "", false, 0, ""},
        {"no input", "", "", false, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const NFCData data = ORBAPI::getNFCData(hex(c.input));
        EXPECT_EQ(data.Data, hex(c.data));
        EXPECT_EQ(data.Encrypted, c.encrypted);
        EXPECT_EQ(data.EncryptionType, c.type);
        EXPECT_EQ(data.KSN, hex(c.ksn));
    }
}

TEST(ORBAPI, NFCResponseKeepsTheWholeInputBehindItsLengthPrefix) {
    const std::string clear = "0007" + tlv("DF7A", "9000AB");
    const std::string secret =
        "0010" + tlv("DFDF59", "EEEE") + tlv("DFDF50", "01") + tlv("DFDF51", "03");
    const struct {
        const char* name;
        std::string input;
        std::string response, data;
        bool encrypted;
        unsigned char type;
        std::string ksn;
    } cases[] = {
        {"status word only", "9000", "9000", "", false, 0, ""},
        {"clear data", clear, clear, "9000AB", false, 0, ""},
        // The prefix is not checked against the length that follows.
        {"prefix that lies", "FFFF" + tlv("DF7A", "01"), "FFFF" + tlv("DF7A", "01"), "01", false, 0,
         ""},
        {"encrypted data", secret, secret, "EEEE", true, 3, "01"},
        {"no element after the prefix", "00020000", "", "", false, 0, ""},
        {"one byte", "90", "", "", false, 0, ""},
        {"no input", "", "", "", false, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const NFCRAPDUData data = ORBAPI::getNFCRAPDUData(hex(c.input));
        EXPECT_EQ(data.Response, hex(c.response));
        EXPECT_EQ(data.Data, hex(c.data));
        EXPECT_EQ(data.Encrypted, c.encrypted);
        EXPECT_EQ(data.EncryptionType, c.type);
        EXPECT_EQ(data.KSN, hex(c.ksn));
    }
}

TEST(DataBuilders, OnlyMessageSchemaReadersSendDecodablePayloads) {
    const Bytes pin = hex(tlv("F5", kPinElements));
    const Bytes pan = hex(tlv("DFDF59", "A1A2"));
    const Bytes bar = hex(tlv("DF74", "4142"));
    const Bytes nfc = hex(tlv("DF7A", "0102"));

    EXPECT_EQ(PINDataBuilder::GetPINData(ORB, pin).PINBlock, hex(kPinBlock));
    EXPECT_EQ(PANDataBuilder::GetPANData(ORB, pan).Data, hex("A1A2"));
    EXPECT_EQ(BarCodeBuilder::GetBarCodeData(ORB, bar).Data, hex("4142"));
    EXPECT_EQ(NFCDataBuilder::GetNFCData(ORB, nfc).Data, hex("0102"));

    for (TSR_DEVICE_TYPE type : {SWR, PPSWR, CMF, static_cast<TSR_DEVICE_TYPE>(7)}) {
        SCOPED_TRACE(type);
        const PINData p = PINDataBuilder::GetPINData(type, pin);
        EXPECT_TRUE(p.PINBlock.empty() && p.KSN.empty() && p.Format == 0);
        const PANData a = PANDataBuilder::GetPANData(type, pan);
        EXPECT_TRUE(a.Data.empty() && a.PINData.PINBlock.empty());
        const BarCodeData b = BarCodeBuilder::GetBarCodeData(type, bar);
        EXPECT_TRUE(b.Data.empty() && !b.Encrypted);
        const NFCData n = NFCDataBuilder::GetNFCData(type, nfc);
        EXPECT_TRUE(n.Data.empty() && !n.Encrypted && n.KSN.empty());
    }
}

TEST(ConfigurationInfo, IdentifiersInDottedAndHexForms) {
    const std::string empty123456 = "E208E306E404E502C600";
    const std::string hw221114 = "E209E107E105E103C40101";
    const struct {
        const char* oid;
        std::string value;
        unsigned char type;
        std::string encoded;
    } cases[] = {
        {"1.2.3.4.5.6", "", 1, empty123456},
        {"2.2.1.1.1.4", "01", 2, hw221114},
        {"020201010104", "01", 2, hw221114},
        {"0a0201010104", "", 10, "E208E106E104E102C400"},
        {"9.9.9.9.9.9", "", 9, "E908E906E904E902C900"},
        // Numbers are cut to a byte: 311 is 0x137, leaf tag C0 + 37.
        {"1.2.3.4.5.311", "", 1, "E208E306E404E502F700"},
        // A trailing dot adds no part.
        {"1.2.3.4.5.6.", "", 1, empty123456},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.oid);
        const ConfigurationInfo info = ConfigurationInfo::fromASN1Oid(c.oid, hex(c.value));
        EXPECT_EQ(info.configType, c.type);
        EXPECT_EQ(info.OidAndValue, hex(c.encoded));
        EXPECT_TRUE(info.valid());
    }
    // The hex-text and no-value forms give the same as the byte form.
    EXPECT_EQ(ConfigurationInfo::fromASN1Oid("2.2.1.1.1.4", std::string("01")).OidAndValue,
              hex(hw221114));
    EXPECT_EQ(ConfigurationInfo::fromASN1Oid("1.2.3.4.5.6").OidAndValue, hex(empty123456));
}

TEST(ConfigurationInfo, MalformedIdentifiersGiveTheEmptyItem) {
    for (const char* oid : {"1.2.3.4.5.10", "0.2.3.4.5.6", "1.2.3.4.5", "1.2.3.4.5.6.7",
                            "1..2.3.4.5", "1.2.3.4.5.a", "-1.2.3.4.5.6", "1.2.3.4.5.99999999999",
                            "", "02020101010", "0202010101044", "02020101010G", "2 2 1 1 1 4"}) {
        SCOPED_TRACE(oid);
        const ConfigurationInfo info = ConfigurationInfo::fromASN1Oid(oid, Bytes{0x01});
        EXPECT_EQ(info.configType, 0);
        EXPECT_TRUE(info.OidAndValue.empty());
        EXPECT_FALSE(info.valid());
    }
}

TEST(BuildTagData, NestsOutermostFirstWithExactLengths) {
    const Bytes b200(200, 0x5A);
    const Bytes b128(128, 0x11);
    const Bytes b300(300, 0x22);
    auto join = [](Bytes head, const Bytes& tail) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    const struct {
        const char* name;
        const char* path;
        Bytes data;
        Bytes expected;
    } cases[] = {
        {"five levels", "E2.E1.E1.E1.C4", {0x01}, hex("E209E107E105E103C40101")},
        {"multi-byte tag", "DFDF59", {0xAB}, hex("DFDF5901AB")},
        {"empty data", "C1", {}, hex("C100")},
        {"length 128", "C4", b128, join(hex("C48180"), b128)},
        {"length 300", "C4", b300, join(hex("C482012C"), b300)},
        // 200 data bytes, inner element 203 bytes: both lengths in long form.
        {"long inner and outer", "E1.C4", b200, join(hex("E181CBC481C8"), b200)},
        {"no tags", "", {0x01, 0x02}, {0x01, 0x02}},
        {"lower-case tags", "e1.c4", {0x07}, hex("E103C40107")},
        {"empty tag", "E2..C4", {0x01}, {}},
        {"odd tag", "E.C4", {0x01}, {}},
        {"non-hex tag", "E2.G4", {0x01}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BuildTagData(c.path, c.data), c.expected);
    }
}
