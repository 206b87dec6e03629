#pragma once
#include "BarCodeRequest.h"
#include "Export.h"
#include "IData.h"
#include "IResult.h"
#include "ImageData.h"

namespace TESSERA {

// A device's connection and direct commands. Owned by its device (IDevice::getDeviceControl);
// the order of the operations is part of the interface.
class SDK_EXPORT IDeviceControl {
  public:
    // Connect / disconnect; open on an open device succeeds without reconnecting.
    virtual bool open() = 0;
    virtual bool close() = 0;
    // Sends a command given as hex text in data.StringValue; the answer arrives as an
    // EVENT_TYPE_DeviceResponse event.
    virtual bool send(IData data) = 0;
    // Sends a command and waits for the response (STATUS_CODE_SUCCESS with the response in
    // Data, or an error status).
    virtual IResult sendSync(IData data) = 0;
    // Sends a long (multi-packet) command given as hex text.
    virtual bool sendExtendedCommand(IData command) = 0;
    virtual bool endSession() = 0;
    virtual bool setDateTime(IData data) = 0;
    virtual bool playSound(IData data) = 0;
    virtual bool getInput(IData data) = 0;
    virtual bool displayMessage(unsigned char messageID, unsigned char timeout) = 0;
    virtual bool showImage(unsigned char imageID) = 0;
    virtual bool showImage(ImageData data, unsigned char timeout) = 0;
    // prompt may be null.
    virtual bool showBarCode(BarCodeRequest data, unsigned char timeout, IData* prompt) = 0;
    virtual bool startBarCodeReader(unsigned char timeout, unsigned char encryptionMode) = 0;
    virtual bool stopBarCodeReader() = 0;
    virtual bool setLatch(bool enableLock) = 0;
    virtual bool deviceReset() = 0;

  protected:
    // Never deleted through this interface: the device owns it. The destructor slot follows
    // the operations.
    virtual ~IDeviceControl() = default;
};

}  // namespace TESSERA
