// Connection base pieces: the raw-data store, the decoder hook and the base connection's
// defaults and factory rules that need no device.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "ErrorCodes.h"
#include "HIDConnection.h"
#include "RawDataStore.h"
#include "iConnection.h"

namespace {

TEST(RawDataStore, KeepsLowerCaseHexOfTheLast256Packets) {
    RawDataStore store;
    EXPECT_EQ(store.getAll(), "");
    for (unsigned int i = 0; i < 300; ++i) {
        unsigned char packet[2] = {static_cast<unsigned char>(i >> 8),
                                   static_cast<unsigned char>(i & 0xFF)};
        store.addBinary(packet, 2);
    }
    std::string all = store.getAll();
    // 256 entries of 4 characters, 255 separators, oldest kept entry is packet 44 (0x002c).
    EXPECT_EQ(all.size(), 256u * 4 + 255);
    EXPECT_EQ(all.substr(0, 5), "002c\n");
    EXPECT_EQ(all.substr(all.size() - 4), "012b");
    EXPECT_EQ(all.back(), 'b');
    store.clear();
    EXPECT_EQ(store.getAll(), "");
}

TEST(RawDataStore, JoinsEntriesWithNewlines) {
    RawDataStore store;
    const unsigned char a[] = {0xAB, 0x01};
    const unsigned char b[] = {0xFF};
    store.addBinary(a, 2);
    store.addBinary(b, 1);
    EXPECT_EQ(store.getAll(), "ab01\nff");
    EXPECT_EQ(RawDataStore::binary2Hex(a, 2), "ab01");
    EXPECT_EQ(RawDataStore::binary2Hex(nullptr, 3), "");
}

// A connection without a transport, to see the base class's defaults.
class BareConnection : public iConnection {
  public:
    using iConnection::setScheme;
};

TEST(ConnectionBase, DefaultsAndNameComparison) {
    BareConnection c;
    EXPECT_STREQ(c.getScheme(), "dummy");
    EXPECT_EQ(c.getDeviceInfoEx(nullptr), ERROR_DEVICE_NOT_SUPPORT);
    EXPECT_EQ(c.getDefaultGuardingTime(), 0);
    EXPECT_EQ(c.send(nullptr, 0, 1), 0);
    EXPECT_EQ(c.receive(nullptr, nullptr), 0);

    c.setScheme("HID://ABC123");
    const struct {
        const char* path;
        bool me;
    } cases[] = {{"HID://ABC123", true},
                 {"hid://abc123", true},
                 {"HID://ABC", false},
                 {"HID://ABC1234", false},
                 {"", false},
                 {nullptr, false}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.path ? k.path : "(null)");
        EXPECT_EQ(c.isMe(k.path), k.me);
    }
}

TEST(ConnectionBase, DecoderHookDecodesNothing) {
    BareConnection c;
    int context = 0;
    EXPECT_TRUE(c.setDecodingContext(&context));
    EXPECT_FALSE(c.setDecodingConfig({{1, 2ul}}));
    unsigned long value = 7;
    EXPECT_FALSE(c.getULong(1, &value, nullptr, 0));
    unsigned char bytes[4];
    int len = 4;
    EXPECT_FALSE(c.getBytes(1, bytes, &len, nullptr, 0));
    EXPECT_EQ(len, 0);
    EXPECT_FALSE(c.getBytes(1, bytes, nullptr, nullptr, 0));
    EXPECT_FALSE(iConnection::iConnectionDefEnumDevice("HID://X", nullptr));
}

TEST(HidConnectionNames, StringsThatNameNoHidDeviceOpenNothing) {
    const char* names[] = {"HID://",
                           "hid://",
                           "SERIAL://PORT=/dev/null",
                           "COM1",
                           "HID:/x",
                           "HID://no-such-serial-4711",
                           "HID:///dev/no-such-hidraw"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        HIDConnection* c = HIDConnection::open(name);
        EXPECT_EQ(c, nullptr);
        delete c;
    }
    EXPECT_EQ(HIDConnection::open(nullptr), nullptr);
}

}  // namespace
