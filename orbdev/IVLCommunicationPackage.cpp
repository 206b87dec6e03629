#include "IVLCommunicationPackage.h"

void IVLCommunicationPackage::SendReceived(unsigned char* ptr, int length) {
    SendReceived(MAKE_DATA(ptr, length));
}

void IVLCommunicationPackage::SendReceived(std::vector<unsigned char> data) {
    onPayloadReceived(std::move(data));
}

IVLCommunicationPackage::~IVLCommunicationPackage() = default;

std::vector<unsigned char> IVLCommunicationPackage::MAKE_DATA(unsigned char* data, int length) {
    if (data == nullptr || length <= 0) return {};
    return std::vector<unsigned char>(data, data + length);
}
