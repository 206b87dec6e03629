// CoreAPI as an application linked against libtessera.so sees it.
#include <gtest/gtest.h>

#include <string>

#include "tessera/Tessera.h"

using namespace TESSERA;

TEST(CoreAPI, Version) {
    EXPECT_EQ(CoreAPI::getAPIVersion(), 125);
}

TEST(CoreAPI, ConnectionTypeTextsBothWays) {
    const struct {
        TSR_DEVICE_CONNECTION_TYPE value;
        const char* written;
        const char* alsoRead;  // another spelling that reads back to the value
    } cases[] = {
        {TSR_USB, "USB", "usb"},
        {TSR_BLE, "BLE", "ble"},
        {TSR_BLE_EMV, "BLEEMV", "BleEmv"},
        {TSR_BLE_EMVT, "BLEEMVT", "bleemvt"},
        {TSR_TCP, "TCP", "tcp"},
        {TSR_TLS12, "TLS12", "tls12"},
        {TSR_TLS12_TRUST, "TLS12TRUST", "Tls12Trust"},
        {TSR_SERIAL, "SERIAL", "serial"},
        {TSR_WS, "WebSocket", "websocket"},
        {TSR_WS_TRUST, "WebSocket_Trust", "WEBSOCKET_TRUST"},
        {TSR_LIGHTNING, "Lightning", "LIGHTNING"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        EXPECT_EQ(CoreAPI::getConnectionTypeString(c.value), c.written);
        EXPECT_EQ(CoreAPI::getConnectionTypeFromString(c.written), c.value);
        EXPECT_EQ(CoreAPI::getConnectionTypeFromString(c.alsoRead), c.value);
    }
}

TEST(CoreAPI, UnknownConnectionTypesAndTexts) {
    for (int value : {-1, 11, 255, 1 << 20}) {
        EXPECT_EQ(CoreAPI::getConnectionTypeString(static_cast<TSR_DEVICE_CONNECTION_TYPE>(value)),
                  "")
            << value;
    }
    // Unknown text reads as USB.
    for (const char* text : {"", "FIREWIRE", "WS", "WEB SOCKET", " USB", "TLS12_TRUST"}) {
        EXPECT_EQ(CoreAPI::getConnectionTypeFromString(text), TSR_USB) << text;
    }
}

TEST(CoreAPI, FamiliesWithoutImplementationHaveNoDevices) {
    for (TSR_DEVICE_TYPE type : {PPSWR, CMF, static_cast<TSR_DEVICE_TYPE>(9)}) {
        SCOPED_TRACE(type);
        EXPECT_TRUE(CoreAPI::getDeviceList(type).empty());
        EXPECT_TRUE(CoreAPI::getDeviceList(std::vector<TSR_DEVICE_TYPE>{type, type}).empty());
        EXPECT_TRUE(CoreAPI::getConnectionTypes(type).empty());
        for (int connection = TSR_USB; connection <= TSR_LIGHTNING; ++connection) {
            const auto c = static_cast<TSR_DEVICE_CONNECTION_TYPE>(connection);
            EXPECT_FALSE(CoreAPI::isEnumable(type, c));
            EXPECT_TRUE(CoreAPI::getDeviceList(type, c).empty());
            EXPECT_EQ(CoreAPI::getDevice(type, c, "HID://1"), nullptr);
            EXPECT_EQ(CoreAPI::getDevice(type, c, "", CertificateInfo()), nullptr);
        }
    }
}

TEST(CoreAPI, ReleasingNothingIsHarmless) {
    CoreAPI::releaseDevice(nullptr);
    std::vector<IDevice*> none{nullptr, nullptr};
    CoreAPI::releaseDeviceList(none);
    EXPECT_TRUE(none.empty());
}

namespace {

// An application's own device object of a family the library does not serve.
class ForeignDevice : public IDevice {
  public:
    ForeignDevice(std::string& journal, bool failDispose)
        : journal_(journal), failDispose_(failDispose) {}
    ~ForeignDevice() override { journal_ += "destroyed;"; }

    void dispose() override {
        journal_ += "disposed;";
        if (failDispose_) throw std::runtime_error("link lost");
    }
    void* getAttachedObject() override { return nullptr; }
    void setAttachedObject(void*) override {}
    std::string getName() override { return "foreign"; }
    ConnectionInfo getConnectionInfo() override {
        ConnectionInfo info;
        info.DeviceType = CMF;
        info.ConnectionType = TSR_TCP;
        return info;
    }
    ConnectionState getConnectionState() override { return CONNECTION_STATE_Disconnected; }
    DeviceInfo getDeviceInfo() override { return {}; }
    DeviceCapability getDeviceCapabilities() override {
        return DeviceCapability(0, false, false, false, false, false, false);
    }
    IDeviceControl* getDeviceControl() override { return nullptr; }
    IDeviceConfiguration* getConfiguration() override { return nullptr; }
    bool subscribeAll(IEventSubscriber*) override { return true; }
    bool unsubscribeAll(IEventSubscriber*) override { return true; }
    bool startTransaction(ITransaction&) override { return false; }
    bool cancelTransaction() override { return false; }
    bool sendSelection(IData) override { return false; }
    bool sendAuthorization(IData) override { return false; }
    bool requestPIN(PINRequest) override { return false; }
    bool requestPAN(PANRequest, PINRequest*) override { return false; }
    bool requestSignature(unsigned char) override { return false; }
    bool sendNFCCommand(IData, bool, bool) override { return false; }
    bool sendClassicNFCCommand(IData, bool, bool) override { return false; }
    bool sendDESFireNFCCommand(IData, bool, bool) override { return false; }

  private:
    std::string& journal_;
    bool failDispose_;
};

}  // namespace

TEST(CoreAPI, ReleaseOfAnUnservedFamilyDisposesThenDestroys) {
    std::string first, second;
    std::vector<IDevice*> devices{new ForeignDevice(first, false),
                                  new ForeignDevice(second, false)};
    CoreAPI::releaseDeviceList(devices);
    EXPECT_TRUE(devices.empty());
    EXPECT_EQ(first, "disposed;destroyed;");
    EXPECT_EQ(second, "disposed;destroyed;");
}

TEST(CoreAPI, ReleaseSwallowsErrorsAndKeepsADeviceThatDidNotClose) {
    // A device whose connection could not be closed may still be called by its library, so
    // it is not destroyed under it.
    std::string journal;
    auto* device = new ForeignDevice(journal, true);
    EXPECT_NO_THROW(CoreAPI::releaseDevice(device));
    EXPECT_EQ(journal, "disposed;");
    delete device;
}
