#include "PassThroughCommunication.h"

void PassThroughCommunication::SendPayload(std::vector<unsigned char> payload,
                                           std::function<void(unsigned char*, unsigned int)> fnSend,
                                           std::function<void(double)> progress) {
    if (fnSend) fnSend(payload.data(), static_cast<unsigned int>(payload.size()));
    if (progress) progress(1.0);
}

void PassThroughCommunication::ParseReport(std::vector<unsigned char> data) {
    SendReceived(std::move(data));
}
