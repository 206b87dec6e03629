#include "KestrelBle.h"

#include <chrono>
#include <cstring>
#include <vector>

#include "ErrorCodes.h"
#include "stdafx.h"

KestrelBle::KestrelBle() = default;

KestrelBle::~KestrelBle() {
    close();
}

int KestrelBle::sendCommand(unsigned char* command, int commandLength) {
    {
        std::lock_guard<std::mutex> g(cmdDataMutex);
        dataReady = false;  // a signal belongs to the command sent after it was cleared
    }
    return Kestrel::sendCommand(command, commandLength);
}

int KestrelBle::waitForCommand() {
    std::unique_lock<std::mutex> g(cmdDataMutex);
    bool ready = commandDataReady.wait_for(g, std::chrono::milliseconds(kReadyWaitMs),
                                           [this] { return dataReady; });
    dataReady = false;
    return ready ? ERROR_NO_ERR : ERROR_DEVICE_TIMEOUT;
}

void KestrelBle::onData(iConnection* connObject, unsigned char* pData, int dataLen) {
    if (pData == nullptr || dataLen < 1) return;
    try {
        if (dataLen == 2 && pData[0] == 1) {
            {
                std::lock_guard<std::mutex> g(cmdDataMutex);
                dataReady = true;
            }
            commandDataReady.notify_all();
            return;
        }
        if (dataLen >= kBufferSize - 1) return;
        std::vector<unsigned char> packet(kBufferSize, 0);
        if (pData[0] == 0 || pData[0] == 1) {
            // Card data: report ID 1 in front of the packet.
            packet[0] = 1;
            std::memcpy(&packet[1], pData, static_cast<size_t>(dataLen));
            Kestrel::onData(connObject, packet.data(), dataLen + 1);
        } else if (pData[0] == 2 || pData[0] == 3) {
            std::memcpy(packet.data(), pData, static_cast<size_t>(dataLen));
            packet[0] = 2;
            addNotification(packet.data(), dataLen);
        }
    } catch (...) {
    }
}

void KestrelBle::addNotification(unsigned char* pData, int dataLen) {
    if (pData == nullptr || dataLen < kExtendedHeaderSize) {
        dropNotification(const_cast<char*>("Invalid notification package data length!"));
        return;
    }
    addNotificationChunk(pData, dataLen, pData[1] << 8 | pData[2]);
}

int KestrelBle::receiveExtendedCommand(unsigned char* buffer, int* bufferLen) {
    if (buffer == nullptr || bufferLen == nullptr) return ERROR_INVALID_PARAMETERS;
    iConnection* c = connection.load();
    if (c == nullptr) return ERROR_DEVICE_NOT_OPEN;
    try {
        const int capacity = *bufferLen;
        std::vector<unsigned char> chunk(kBufferSize);
        std::vector<unsigned char> assembled;
        for (int busy = 0;;) {
            std::fill(chunk.begin(), chunk.end(), 0);
            chunk[0] = 1;
            int n = kBufferSize - 1;
            int rc = c->receive(chunk.data() + 1, &n);
            if (rc != ERROR_NO_ERR) return rc;
            n = std::min(n + 1, kBufferSize);
            const unsigned char status = chunk[2];
            if (status == kStatusBusy || status == kStatusBusyOther) {
                if (++busy > kMaxBusyAnswers) return ERROR_DEVICE_TIMEOUT;
                SLEEP(kBusyWaitMs);
                continue;
            }
            if (status == kStatusExtendedChunk && n >= kExtendedHeaderSize + 1) {
                const int L = chunk[3] == 0 ? 256 : chunk[3];
                if (L < 6 || L + 4 > n) return ERROR_BAD_COMMUNICATION;
                assembled.insert(assembled.end(), chunk.begin() + 1, chunk.begin() + 4 + L);
                const unsigned offset = chunk[4] << 8 | chunk[5];
                const unsigned total = chunk[8] << 8 | chunk[9];
                if (static_cast<unsigned>(L) + offset == total + 6u) break;
                unsigned char next[3] = {0x01, 0x4A, 0x00};
                rc = c->send(reinterpret_cast<char*>(next), 3, 1);
                if (rc != ERROR_NO_ERR) return rc;
                waitForCommand();
                continue;
            }
            // A plain answer, leading byte included.
            if (n > capacity) return ERROR_BUFFER_INSUFFICIENT;
            std::memcpy(buffer, chunk.data(), static_cast<size_t>(n));
            *bufferLen = n;
            return ERROR_NO_ERR;
        }
        if (assembled.size() > static_cast<size_t>(std::max(capacity, 0))) {
            return ERROR_BUFFER_INSUFFICIENT;
        }
        std::memcpy(buffer, assembled.data(), assembled.size());
        *bufferLen = static_cast<int>(assembled.size());
        return ERROR_NO_ERR;
    } catch (...) {
        return ERROR_UNKNOWN;
    }
}

void KestrelBle::startupCommand(const char* text) {
    std::vector<unsigned char> cmd(text, text + std::strlen(text));
    if (sendCommand(cmd.data(), static_cast<int>(cmd.size())) != ERROR_NO_ERR) return;
    if (waitForCommand() != ERROR_NO_ERR) return;
    unsigned char response[1024];
    getResponse(response, static_cast<int>(sizeof response));
}

void KestrelBle::afterOpen() {
    startupCommand("4801");
    startupCommand("4601000014");
}
