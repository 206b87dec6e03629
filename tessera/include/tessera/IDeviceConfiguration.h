#pragma once
#include <string>
#include <vector>

#include "Enumerations.h"
#include "Export.h"
#include "IConfigurationCallback.h"

namespace TESSERA {

// A device's settings, keys, files and firmware. Owned by its device
// (IDevice::getConfiguration); the order of the operations is part of the interface.
// The int results are 0 when the operation was done or started, otherwise a StatusCode value
// (message-schema readers answer setConfigInfo, updateKeyInfo and setDisplayImage with the
// device's own status code).
class SDK_EXPORT IDeviceConfiguration {
  public:
    // "" when the device cannot tell.
    virtual std::string getDeviceInfo(InfoType infoType) = 0;
    virtual std::vector<unsigned char> getConfigInfo(unsigned char configType,
                                                     std::vector<unsigned char> data) = 0;
    virtual std::vector<unsigned char> getKeyInfo(unsigned char keyType,
                                                  std::vector<unsigned char> data) = 0;
    virtual std::vector<unsigned char> getChallengeToken(std::vector<unsigned char> data) = 0;
    virtual int setConfigInfo(unsigned char configType, std::vector<unsigned char> data,
                              IConfigurationCallback* callback) = 0;
    virtual int updateKeyInfo(unsigned char keyType, std::vector<unsigned char> data,
                              IConfigurationCallback* callback) = 0;
    virtual int updateFirmware(unsigned short firmwareType, std::vector<unsigned char> data,
                               IConfigurationCallback* callback) = 0;
    virtual int getFile(std::vector<unsigned char> fileID, IConfigurationCallback* callback) = 0;
    virtual int sendFile(std::vector<unsigned char> fileType, std::vector<unsigned char> data,
                         IConfigurationCallback* callback) = 0;
    virtual int sendSecureFile(std::vector<unsigned char> fileType, std::vector<unsigned char> data,
                               IConfigurationCallback* callback) = 0;
    virtual int sendImage(unsigned char imageID, std::vector<unsigned char> data,
                          IConfigurationCallback* callback) = 0;
    virtual int setDisplayImage(unsigned char imageID) = 0;

  protected:
    // Never deleted through this interface: the device owns it. The destructor slot follows
    // the operations.
    virtual ~IDeviceConfiguration() = default;
};

}  // namespace TESSERA
