#include "iDecoder.h"

bool iDecoder::setDecodingContext(void* context) {
    decodingContext = context;
    return true;
}

bool iDecoder::setDecodingConfig(std::map<int, unsigned long>) {
    return false;
}

bool iDecoder::getULong(int, unsigned long*, void*, int) {
    return false;
}

bool iDecoder::getBytes(int, unsigned char*, int* dataLen, void*, int) {
    if (dataLen != nullptr) *dataLen = 0;
    return false;
}
