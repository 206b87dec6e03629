#pragma once
#include <string>

#include "ConnectionInfo.h"
#include "DeviceCapability.h"
#include "DeviceInfo.h"
#include "Enumerations.h"
#include "Export.h"
#include "IData.h"
#include "IDeviceConfiguration.h"
#include "IDeviceControl.h"
#include "IEventSubscriber.h"
#include "ITransaction.h"
#include "PANRequest.h"
#include "PINRequest.h"

namespace TESSERA {

// One reader. Handed out by CoreAPI and valid until CoreAPI::releaseDevice. The order of the
// operations is part of the interface.
class SDK_EXPORT IDevice {
  public:
    virtual ~IDevice() = default;

    // Closes the connection; the object stays valid and may be opened again.
    virtual void dispose() = 0;
    // One opaque pointer the application may park on the device (initially null).
    virtual void* getAttachedObject() = 0;
    virtual void setAttachedObject(void* object) = 0;
    virtual std::string getName() = 0;
    virtual ConnectionInfo getConnectionInfo() = 0;
    virtual ConnectionState getConnectionState() = 0;
    // May open the device to ask it.
    virtual DeviceInfo getDeviceInfo() = 0;
    virtual DeviceCapability getDeviceCapabilities() = 0;
    // Owned by the device; never null.
    virtual IDeviceControl* getDeviceControl() = 0;
    // Owned by the device; may open it first and be null when that fails.
    virtual IDeviceConfiguration* getConfiguration() = 0;
    // Makes eventCallback the one subscriber (replacing any earlier one); not owned.
    virtual bool subscribeAll(IEventSubscriber* eventCallback) = 0;
    // Clears the subscriber whatever the argument is.
    virtual bool unsubscribeAll(IEventSubscriber* eventCallback) = 0;
    // Progress and outcome arrive as events.
    virtual bool startTransaction(ITransaction& transaction) = 0;
    virtual bool cancelTransaction() = 0;
    // Answers an EVENT_TYPE_InputRequest.
    virtual bool sendSelection(IData data) = 0;
    // Answers an EVENT_TYPE_AuthorizationRequest.
    virtual bool sendAuthorization(IData data) = 0;
    virtual bool requestPIN(PINRequest request) = 0;
    // pinRequest may be null (no PIN entry after the PAN).
    virtual bool requestPAN(PANRequest request, PINRequest* pinRequest) = 0;
    virtual bool requestSignature(unsigned char timeout) = 0;
    virtual bool sendNFCCommand(IData data, bool lastCommand, bool encrypt) = 0;
    virtual bool sendClassicNFCCommand(IData data, bool lastCommand, bool encrypt) = 0;
    virtual bool sendDESFireNFCCommand(IData data, bool lastCommand, bool encrypt) = 0;
};

}  // namespace TESSERA
