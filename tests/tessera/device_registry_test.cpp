// CoreAPI composes the families registered through DeviceFamilyRegistration. Two test families
// stand in for real ones on the otherwise empty family types PPSWR and CMF.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DeviceFamily.h"
#include "IBaseDevice.h"
#include "tessera/CoreAPI.h"
#include "tessera/FeatureStatusBuilder.h"

using namespace TESSERA;

namespace {

// Records what reaches it; everything else answers "nothing done".
class TestDevice : public IBaseDevice {
  public:
    TestDevice(TSR_DEVICE_TYPE family, TSR_DEVICE_CONNECTION_TYPE type, std::string address,
               std::vector<std::string>& journal)
        : journal_(journal) {
        info_.DeviceType = family;
        info_.ConnectionType = type;
        info_.Address = std::move(address);
    }
    ~TestDevice() override { journal_.push_back("destroyed " + info_.Address); }

    void sendEvent(EventType evt, IData data) override {
        if (subscriber_ != nullptr) subscriber_->OnEvent(evt, data);
    }

    void dispose() override { journal_.push_back("disposed " + info_.Address); }
    std::string getName() override { return info_.Address; }
    ConnectionInfo getConnectionInfo() override { return info_; }
    ConnectionState getConnectionState() override { return CONNECTION_STATE_Disconnected; }
    DeviceInfo getDeviceInfo() override { return {}; }
    DeviceCapability getDeviceCapabilities() override {
        return DeviceCapability(0, false, false, false, false, false, false);
    }
    IDeviceControl* getDeviceControl() override { return nullptr; }
    IDeviceConfiguration* getConfiguration() override { return nullptr; }
    bool subscribeAll(IEventSubscriber* cb) override {
        subscriber_ = cb;
        return true;
    }
    bool unsubscribeAll(IEventSubscriber*) override {
        subscriber_ = nullptr;
        return true;
    }
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
    ConnectionInfo info_;
    IEventSubscriber* subscriber_ = nullptr;
    std::vector<std::string>& journal_;
};

// Each family has its own device class, as the real families do.
template <TSR_DEVICE_TYPE F>
class FamilyDevice : public TestDevice {
  public:
    using TestDevice::TestDevice;
};

// A family in the shape the adapters have: static operations over a registry of live devices
// keyed by address. Family F keeps its own state.
template <TSR_DEVICE_TYPE F>
class TestFamily {
  public:
    static std::vector<std::string> journal;
    static std::map<TSR_DEVICE_CONNECTION_TYPE, std::vector<std::string>> attached;
    static std::map<std::string, FamilyDevice<F>*> active;
    static std::string lastCertificateFormat;

    static std::vector<TSR_DEVICE_CONNECTION_TYPE> getSupportedConnectionTypes() {
        return {TSR_USB, TSR_TCP, TSR_BLE};
    }
    static bool IsEnumable(TSR_DEVICE_CONNECTION_TYPE type) {
        return type == TSR_USB || type == TSR_BLE;
    }
    static std::vector<FamilyDevice<F>*> enumDevices(TSR_DEVICE_CONNECTION_TYPE type) {
        std::vector<FamilyDevice<F>*> out;
        for (const auto& address : attached[type]) {
            auto it = active.find(address);
            if (it == active.end()) {
                it = active.emplace(address, new FamilyDevice<F>(F, type, address, journal)).first;
            }
            out.push_back(it->second);
        }
        return out;
    }
    static FamilyDevice<F>* getDevice(TSR_DEVICE_CONNECTION_TYPE type, std::string path) {
        auto it = active.find(path);
        if (it != active.end()) return it->second;
        return active.emplace(path, new FamilyDevice<F>(F, type, path, journal)).first->second;
    }
    static void releaseDevice(FamilyDevice<F>* device) {
        active.erase(device->getConnectionInfo().Address);
        delete device;
    }

    static void reset() {
        for (auto& entry : active) delete entry.second;
        active.clear();
        attached.clear();
        journal.clear();
        lastCertificateFormat.clear();
    }
};
template <TSR_DEVICE_TYPE F>
std::vector<std::string> TestFamily<F>::journal;
template <TSR_DEVICE_TYPE F>
std::map<TSR_DEVICE_CONNECTION_TYPE, std::vector<std::string>> TestFamily<F>::attached;
template <TSR_DEVICE_TYPE F>
std::map<std::string, FamilyDevice<F>*> TestFamily<F>::active;
template <TSR_DEVICE_TYPE F>
std::string TestFamily<F>::lastCertificateFormat;

// The second family also takes certificates, as the message-schema family does.
class SecuredFamily : public TestFamily<CMF> {
  public:
    using TestFamily<CMF>::getDevice;
    static FamilyDevice<CMF>* getDevice(TSR_DEVICE_CONNECTION_TYPE type, std::string path,
                                        CertificateInfo cert) {
        lastCertificateFormat = cert.Format;
        return getDevice(type, path);
    }
};

using Plain = TestFamily<PPSWR>;

class Registry : public ::testing::Test {
  protected:
    void SetUp() override {
        plain_ = std::make_unique<DeviceFamilyRegistration<Plain>>(PPSWR);
        secured_ = std::make_unique<DeviceFamilyRegistration<SecuredFamily>>(CMF);
    }
    void TearDown() override {
        DeviceFamily::registerFamily(PPSWR, nullptr);
        DeviceFamily::registerFamily(CMF, nullptr);
        Plain::reset();
        SecuredFamily::reset();
    }
    std::unique_ptr<DeviceFamily> plain_, secured_;
};

std::vector<std::string> addresses(const std::vector<IDevice*>& devices) {
    std::vector<std::string> out;
    for (IDevice* d : devices) out.push_back(d->getConnectionInfo().Address);
    return out;
}

}  // namespace

TEST_F(Registry, FamilyListCoversEnumerableTypesInTheFamilysOrder) {
    Plain::attached[TSR_BLE] = {"ble-1"};
    Plain::attached[TSR_TCP] = {"tcp-1"};  // not enumerable: reached by address only
    Plain::attached[TSR_USB] = {"usb-1", "usb-2"};
    EXPECT_EQ(addresses(CoreAPI::getDeviceList(PPSWR)),
              (std::vector<std::string>{"usb-1", "usb-2", "ble-1"}));
    // Asking for one connection type lets the family decide, enumerable or not.
    EXPECT_EQ(addresses(CoreAPI::getDeviceList(PPSWR, TSR_TCP)), std::vector<std::string>{"tcp-1"});
    EXPECT_TRUE(CoreAPI::isEnumable(PPSWR, TSR_BLE));
    EXPECT_FALSE(CoreAPI::isEnumable(PPSWR, TSR_TCP));
    EXPECT_EQ(CoreAPI::getConnectionTypes(PPSWR),
              (std::vector<TSR_DEVICE_CONNECTION_TYPE_Tag>{TSR_USB, TSR_TCP, TSR_BLE}));
}

TEST_F(Registry, TypesAreListedInTheOrderAskedAndRepeatedListingGivesTheSameObjects) {
    Plain::attached[TSR_USB] = {"p"};
    SecuredFamily::attached[TSR_USB] = {"s"};
    const auto first = CoreAPI::getDeviceList({CMF, PPSWR, CMF});
    EXPECT_EQ(addresses(first), (std::vector<std::string>{"s", "p", "s"}));
    EXPECT_EQ(first[0], first[2]);
    EXPECT_EQ(CoreAPI::getDeviceList({CMF, PPSWR, CMF}), first);

    // The full list runs SWR, PPSWR, CMF, ORB: the test families' devices in that order.
    std::vector<IDevice*> all = CoreAPI::getDeviceList();
    std::vector<IDevice*> ours;
    std::copy_if(all.begin(), all.end(), std::back_inserter(ours),
                 [&](IDevice* d) { return d == first[0] || d == first[1]; });
    EXPECT_EQ(ours, (std::vector<IDevice*>{first[1], first[0]}));
}

TEST_F(Registry, GetDevicePassesTheCertificateOnlyToFamiliesThatTakeOne) {
    CertificateInfo cert;
    cert.Format = "PEM";
    IDevice* secured = CoreAPI::getDevice(CMF, TSR_TLS12, "10.0.0.1", cert);
    ASSERT_NE(secured, nullptr);
    EXPECT_EQ(SecuredFamily::lastCertificateFormat, "PEM");
    EXPECT_EQ(secured->getConnectionInfo().ConnectionType, TSR_TLS12);

    IDevice* plain = CoreAPI::getDevice(PPSWR, TSR_SERIAL, "SERIAL://PORT=/dev/ttyS0", cert);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->getConnectionInfo().Address, "SERIAL://PORT=/dev/ttyS0");
    EXPECT_EQ(CoreAPI::getDevice(PPSWR, TSR_SERIAL, "SERIAL://PORT=/dev/ttyS0"), plain);
}

TEST_F(Registry, ReleaseDisposesAndGoesThroughTheOwningFamily) {
    Plain::attached[TSR_USB] = {"a", "b"};
    std::vector<IDevice*> devices = CoreAPI::getDeviceList(PPSWR);
    CoreAPI::releaseDeviceList(devices);
    EXPECT_TRUE(devices.empty());
    EXPECT_TRUE(Plain::active.empty());
    EXPECT_EQ(Plain::journal,
              (std::vector<std::string>{"disposed a", "destroyed a", "disposed b", "destroyed b"}));
    // Listing again creates new objects for the same readers.
    EXPECT_EQ(CoreAPI::getDeviceList(PPSWR).size(), 2u);
    EXPECT_EQ(Plain::active.size(), 2u);
}

TEST_F(Registry, ADeviceThatClaimsAFamilyItDoesNotBelongToIsNotHandedToThatFamily) {
    // A CMF-family object reporting PPSWR: the PPSWR registry never held it and must not be
    // asked to release it as one of its own.
    std::vector<std::string> journal;
    auto* stray = new FamilyDevice<CMF>(PPSWR, TSR_USB, "stray", journal);
    auto* ownedByPlain = Plain::getDevice(TSR_USB, "stray");
    CoreAPI::releaseDevice(stray);
    EXPECT_EQ(journal, (std::vector<std::string>{"disposed stray", "destroyed stray"}));
    // The family's own device of the same address is untouched.
    EXPECT_EQ(Plain::active.at("stray"), ownedByPlain);
}

TEST_F(Registry, UnregisteredFamilyHasNoDevicesAgain) {
    Plain::attached[TSR_USB] = {"a"};
    ASSERT_EQ(CoreAPI::getDeviceList(PPSWR).size(), 1u);
    DeviceFamily::registerFamily(PPSWR, nullptr);
    EXPECT_TRUE(CoreAPI::getDeviceList(PPSWR).empty());
    EXPECT_TRUE(CoreAPI::getConnectionTypes(PPSWR).empty());
    EXPECT_EQ(CoreAPI::getDevice(PPSWR, TSR_USB, "a"), nullptr);
}

namespace {
struct Recorder : IEventSubscriber {
    std::vector<std::pair<EventType, std::string>> events;
    void OnEvent(EventType type, IData data) override {
        events.emplace_back(type, data.StringValue);
    }
};
}  // namespace

TEST(BaseDevice, FeatureStatusEventJoinsFeatureAndStatusStrings) {
    std::vector<std::string> journal;
    TestDevice device(ORB, TSR_USB, "x", journal);
    Recorder first, second;
    device.subscribeAll(&first);
    device.subscribeAll(&second);  // replaces the first
    const struct {
        DeviceFeature feature;
        FeatureStatus status;
        const char* text;
    } cases[] = {
        {TSR_DEVICE_FEATURE_PINEntry, TSR_FEATURE_STATUS_Success,
         "feature_pin_entry,status_success"},
        {TSR_DEVICE_FEATURE_ScanBarCode, TSR_FEATURE_STATUS_HardwareNA,
         "feature_scan_bar_code,status_hardware_na"},
        {TSR_DEVICE_FEATURE_DisplayMessage, TSR_FEATURE_STATUS_NoStatus, ","},
    };
    for (const auto& c : cases) device.sendFeatureStatusEvent(c.feature, c.status);
    ASSERT_EQ(second.events.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(second.events[i].first, EVENT_TYPE_FeatureStatus);
        EXPECT_EQ(second.events[i].second, cases[i].text);
    }
    EXPECT_TRUE(first.events.empty());

    EXPECT_EQ(device.getAttachedObject(), nullptr);
    int parked = 0;
    device.setAttachedObject(&parked);
    EXPECT_EQ(device.getAttachedObject(), &parked);
}

TEST(BaseDevice, DefaultSendEventDeliversNothing) {
    // A family that does not route events through sendEvent gets the base version.
    struct Quiet : TestDevice {
        using TestDevice::TestDevice;
        void sendEvent(EventType evt, IData data) override { IBaseDevice::sendEvent(evt, data); }
    };
    std::vector<std::string> journal;
    Quiet device(SWR, TSR_USB, "q", journal);
    Recorder recorder;
    device.subscribeAll(&recorder);
    device.sendFeatureStatusEvent(TSR_DEVICE_FEATURE_PINEntry, TSR_FEATURE_STATUS_Failed);
    EXPECT_TRUE(recorder.events.empty());
}
