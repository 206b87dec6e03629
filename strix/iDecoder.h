#pragma once
#include <map>

// Hook for connections that could decode report fields themselves. No connection of this library
// does: the defaults answer "not supported".
class iDecoder {
  public:
    iDecoder() = default;
    virtual ~iDecoder() = default;

    virtual bool setDecodingContext(void* context);
    virtual bool setDecodingConfig(std::map<int, unsigned long> config);
    virtual bool getULong(int infoId, unsigned long* data, void* infoBlock, int blockLen);
    virtual bool getBytes(int infoId, unsigned char* data, int* dataLen, void* infoBlock,
                          int blockLen);

  protected:
    void* decodingContext = nullptr;
};
