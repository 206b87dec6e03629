#include "Kestrel.h"

#include <algorithm>
#include <cstring>

#include "ErrorCodes.h"
#include "stdafx.h"

namespace {
unsigned be16(const unsigned char* p) {
    return (static_cast<unsigned>(p[0]) << 8) | p[1];
}

void putBe16(unsigned char* p, unsigned v) {
    p[0] = static_cast<unsigned char>((v >> 8) & 0xFF);
    p[1] = static_cast<unsigned char>(v & 0xFF);
}

char kNotificationLength[] = "Invalid notification package data length!";
char kHeaderMismatch[] = "Header is not match!";
char kNotificationId[] = "Invalid notification id!";
char kException[] = "Exception!";
char kInvalidInput[] = "Invalid input data!";
}  // namespace

Kestrel::Kestrel() {
    std::memset(notificationHeader, 0, sizeof notificationHeader);
}

Kestrel::~Kestrel() {
    // Stop the reading thread while the reassembly state still exists.
    close();
}

void Kestrel::afterOpen() {
    unsigned char command[] = "4800";
    if (sendCommand(command, 4) != ERROR_NO_ERR) return;
    waitForCommand();
    unsigned char response[1024];
    getResponse(response, static_cast<int>(sizeof response));
}

// ---- commands ----

bool Kestrel::composeExtendedCommand(unsigned char* hexCmd, int hexCmdLen, unsigned char* buffer,
                                     int* bufferLen) {
    if (hexCmd == nullptr || hexCmdLen <= 0) return false;
    const unsigned char* end = hexCmd + hexCmdLen;
    const unsigned char* colon = std::find(static_cast<const unsigned char*>(hexCmd), end, ':');
    if (colon == end || KESTREL_COMMAND_LENGTH_LIMITATION == 0)
        return composeCommand(hexCmd, hexCmdLen, buffer, bufferLen);

    std::vector<unsigned char> code, data;
    if (colon - hexCmd != 4 || !hexToBytes(hexCmd, 4, code)) return false;
    if (!hexToBytes(colon + 1, static_cast<int>(end - colon - 1), data)) return false;
    if (data.size() > 0xFFFF || buffer == nullptr || bufferLen == nullptr) return false;

    const size_t chunkData = static_cast<size_t>(getExtendedCommandLength() - kExtendedHeaderSize);
    const size_t chunks = data.empty() ? 1 : (data.size() + chunkData - 1) / chunkData;
    const size_t needed = (chunks - 1) * (kExtendedHeaderSize + chunkData) + kExtendedHeaderSize +
                          (data.size() - (chunks - 1) * chunkData);
    if (*bufferLen < 0 || static_cast<size_t>(*bufferLen) < needed) {
        *bufferLen = static_cast<int>(needed);
        return false;
    }
    unsigned char* out = buffer;
    for (size_t k = 0; k < chunks; ++k) {
        const size_t offset = k * chunkData;
        const size_t n = std::min(chunkData, data.size() - offset);
        out[0] = 0x01;
        out[1] = 0x49;
        out[2] = static_cast<unsigned char>(6 + n);
        putBe16(out + 3, static_cast<unsigned>(offset));
        out[5] = code[0];
        out[6] = code[1];
        putBe16(out + 7, static_cast<unsigned>(data.size()));
        std::copy(data.begin() + static_cast<long>(offset),
                  data.begin() + static_cast<long>(offset + n), out + kExtendedHeaderSize);
        out += kExtendedHeaderSize + n;
    }
    *bufferLen = static_cast<int>(needed);
    return true;
}

int Kestrel::sendCommand(unsigned char* command, int commandLength) {
    std::vector<unsigned char> buffer(kExtendedCommandBufferSize, 0);
    buffer[0] = 1;
    int length = kExtendedCommandBufferSize;
    if (!composeExtendedCommand(command, commandLength, buffer.data(), &length)) {
        // Too small for the composed chunks: the size needed came back in length.
        if (length <= kExtendedCommandBufferSize) return ERROR_INVALID_PARAMETERS;
        buffer.assign(static_cast<size_t>(length), 0);
        buffer[0] = 1;
        if (!composeExtendedCommand(command, commandLength, buffer.data(), &length))
            return ERROR_INVALID_PARAMETERS;
    }
    iConnection* c = connection.load();
    if (c == nullptr) return ERROR_DEVICE_NOT_OPEN;
    char* bytes = reinterpret_cast<char*>(buffer.data());
    const int piece = static_cast<int>(KESTREL_COMMAND_LENGTH_LIMITATION) + 1;
    if (KESTREL_COMMAND_LENGTH_LIMITATION == 0 || length <= piece) return c->send(bytes, length, 1);
    for (int offset = 0; offset < length; offset += piece) {
        const int n = std::min(piece, length - offset);
        const int rc = c->send(bytes + offset, n, 1);
        if (rc != ERROR_NO_ERR) return rc;
        // The pacing answer does not stop the sending.
        if (offset + n < length)
            waitForMore();
        else
            waitForCommand();
    }
    return ERROR_NO_ERR;
}

int Kestrel::waitForMore() {
    iConnection* c = connection.load();
    if (c == nullptr) return ERROR_DEVICE_NOT_OPEN;
    unsigned char answer[256] = {0};
    answer[0] = 1;
    int length = static_cast<int>(sizeof answer);
    if (c->receive(answer, &length) != ERROR_NO_ERR) {
        SLEEP(kBusyWaitMs);
        return ERROR_NO_ERR;
    }
    const unsigned char status = answer[1];
    return (status == 0 || status == kStatusExtendedChunk || status == kStatusBusy)
               ? ERROR_NO_ERR
               : ERROR_BAD_COMMUNICATION;
}

int Kestrel::requestNextChunk() {
    unsigned char next[] = "4A";
    return sendCommand(next, 2);
}

int Kestrel::receiveExtendedCommand(unsigned char* buffer, int* bufferLen) {
    if (buffer == nullptr || bufferLen == nullptr) return ERROR_INVALID_PARAMETERS;
    iConnection* c = connection.load();
    if (c == nullptr) return ERROR_DEVICE_NOT_OPEN;
    const int capacity = *bufferLen;
    std::vector<unsigned char> chunk(kResponseBufferSize);
    std::vector<unsigned char> assembled;
    int busyAnswers = 0;
    int rc = ERROR_NO_ERR;
    for (;;) {
        std::fill(chunk.begin(), chunk.end(), 0);
        chunk[0] = 1;
        int n = kResponseBufferSize;
        rc = c->receive(chunk.data(), &n);
        if (rc != ERROR_NO_ERR) break;
        n = std::min(n, kResponseBufferSize);
        if (n < 2) {
            rc = ERROR_BAD_COMMUNICATION;
            break;
        }
        const unsigned char status = chunk[1];
        if (status == kStatusBusy || status == kStatusBusyOther) {
            SLEEP(kBusyWaitMs);
            if (++busyAnswers > kMaxBusyAnswers) {
                rc = ERROR_DEVICE_TIMEOUT;
                break;
            }
            rc = requestNextChunk();
            if (rc != ERROR_NO_ERR) break;
            continue;
        }
        if (status == kStatusExtendedChunk) {
            const int L = n >= 3 && chunk[2] == 0 ? 256 : chunk[2];
            if (n < kExtendedHeaderSize || L < 6 || L + 3 > n ||
                assembled.size() + static_cast<size_t>(L + 3) > kResponseBufferSize) {
                rc = ERROR_BAD_COMMUNICATION;
                break;
            }
            assembled.insert(assembled.end(), chunk.begin(), chunk.begin() + L + 3);
            if (static_cast<unsigned>(L) + be16(&chunk[3]) == be16(&chunk[7]) + 6u) break;
            rc = requestNextChunk();
            if (rc != ERROR_NO_ERR) break;
            continue;
        }
        // A plain response.
        if (n > capacity) return ERROR_BUFFER_INSUFFICIENT;
        std::memcpy(buffer, chunk.data(), static_cast<size_t>(n));
        *bufferLen = n;
        return ERROR_NO_ERR;
    }
    if (rc == ERROR_NO_ERR) {
        if (assembled.size() > static_cast<size_t>(std::max(capacity, 0)))
            return ERROR_BUFFER_INSUFFICIENT;
        std::memcpy(buffer, assembled.data(), assembled.size());
        *bufferLen = static_cast<int>(assembled.size());
        return ERROR_NO_ERR;
    }
    // Read the device's pending answer so that the next command starts clean.
    unsigned char discard[128] = {0};
    discard[0] = 1;
    int discardLength = static_cast<int>(sizeof discard);
    c->receive(discard, &discardLength);
    return rc;
}

int Kestrel::getResponse(unsigned char* buf, int* BufferLength) {
    if (buf == nullptr || BufferLength == nullptr) return ERROR_INVALID_PARAMETERS;
    try {
        buf[0] = 1;
        return receiveExtendedCommand(buf, BufferLength);
    } catch (...) {
        return ERROR_UNKNOWN;
    }
}

int Kestrel::getResponse(unsigned char* buf, int BufferLength) {
    int length = BufferLength;
    return getResponse(buf, &length);
}

int Kestrel::MakeHexStringFromResponse(unsigned char* buf, int BufferLength, char* out,
                                       int* outLen) {
    if (buf == nullptr || BufferLength < 2 || buf[1] != kStatusExtendedChunk)
        return formatPlainResponse(buf, BufferLength, out, outLen);
    if (out == nullptr || outLen == nullptr) return ERROR_INVALID_PARAMETERS;
    try {
        const int capacity = *outLen;
        if (capacity > 0) out[0] = '\0';
        *outLen = 0;
        resultCode.store(buf[1]);
        static const char digits[] = "0123456789ABCDEF";
        std::string hex;
        long total = -1;
        bool complete = false;
        int pos = 0;
        while (pos + kExtendedHeaderSize <= BufferLength) {
            const unsigned char* chunk = buf + pos;
            const int L = chunk[2] == 0 ? 256 : chunk[2];
            if (pos + L + 3 > BufferLength) break;
            if (L < 6) return ERROR_BAD_COMMUNICATION;
            const long offset = be16(chunk + 3);
            const long chunkTotal = be16(chunk + 7);
            if (total < 0) {
                total = chunkTotal;
                hex.assign(static_cast<size_t>(2 * total), '0');
            } else if (chunkTotal != total) {
                return ERROR_BAD_COMMUNICATION;
            }
            resultCode.store(static_cast<int>(be16(chunk + 5)));
            const long dataLength = L - 6;
            if (offset + dataLength > total) return ERROR_BAD_COMMUNICATION;
            for (long i = 0; i < dataLength; ++i) {
                const unsigned char b = chunk[kExtendedHeaderSize + i];
                hex[static_cast<size_t>(2 * (offset + i))] = digits[b >> 4];
                hex[static_cast<size_t>(2 * (offset + i) + 1)] = digits[b & 0x0F];
            }
            pos += L + 3;
            if (offset + dataLength >= total) {
                complete = true;
                break;
            }
        }
        if (!complete) return ERROR_BAD_COMMUNICATION;
        if (static_cast<long>(hex.size()) + 1 > capacity) return ERROR_BUFFER_INSUFFICIENT;
        std::memcpy(out, hex.c_str(), hex.size() + 1);
        *outLen = static_cast<int>(hex.size());
        return ERROR_NO_ERR;
    } catch (...) {
        return ERROR_UNKNOWN;
    }
}

// ---- input reports ----

void Kestrel::KestrelReceiveData(iConnection* connObject, unsigned char* pData, int dataLen) {
    onData(connObject, pData, dataLen);
}

void Kestrel::onData(iConnection*, unsigned char* pData, int dataLen) {
    if (pData == nullptr || dataLen < 1) return;
    try {
        if (pData[0] == 1) {
            getMSRResult(pData, dataLen);
        } else if (pData[0] == 2) {
            try {
                addNotification(pData, dataLen);
            } catch (...) {
                dropNotification(kException);
            }
        }
    } catch (...) {
        setError(ERROR_BAD_COMMUNICATION, kInvalidInput, nullptr);
    }
}

void Kestrel::dropNotification(const char* message) {
    std::memset(notificationHeader, 0, sizeof notificationHeader);
    notificationData.clear();
    notificationReceived = 0;
    setError(ERROR_BAD_COMMUNICATION, const_cast<char*>(message), nullptr);
}

void Kestrel::addNotification(unsigned char* pData, int dataLen) {
    if (pData == nullptr || dataLen < kExtendedHeaderSize) {
        dropNotification(kNotificationLength);
        return;
    }
    addNotificationChunk(pData, dataLen, pData[2] == 0 ? 256 : pData[2]);
}

void Kestrel::addNotificationChunk(const unsigned char* pData, int dataLen, int chunkDataLength) {
    const size_t offset = be16(pData + 3);
    const unsigned short messageId = static_cast<unsigned short>(be16(pData + 5));
    const size_t total = be16(pData + 7);
    static const unsigned char kNoHeader[kExtendedHeaderSize] = {0};
    const bool pending = std::memcmp(notificationHeader, kNoHeader, sizeof notificationHeader) != 0;
    if (!pending && total == 0) {
        // An empty notification is complete with its first chunk, whatever its count says.
        notificationData.clear();
        notificationReceived = 0;
        if (Cardova_Delegate* d = getDelegate()) d->OnNotification(this, messageId, nullptr, 0);
        return;
    }
    if (chunkDataLength < 0 || chunkDataLength > dataLen - kExtendedHeaderSize) {
        dropNotification(kNotificationLength);
        return;
    }
    const size_t count = static_cast<size_t>(chunkDataLength);

    if (!pending) {
        std::memcpy(notificationHeader, pData, sizeof notificationHeader);
        notificationData.assign(total, 0);
        notificationReceived = 0;
    } else if (notificationHeader[0] == 2) {
        if (std::memcmp(notificationHeader + 5, pData + 5, 4) != 0) {
            dropNotification(kHeaderMismatch);
            return;
        }
        std::memcpy(notificationHeader, pData, sizeof notificationHeader);
    } else {
        dropNotification(kNotificationId);
        return;
    }
    // Chunks continue one another without gaps and stay within the announced total.
    if (offset != notificationReceived || offset + count > total) {
        dropNotification(kNotificationLength);
        return;
    }
    std::memcpy(notificationData.data() + offset, pData + kExtendedHeaderSize, count);
    notificationReceived += count;
    if (notificationReceived == total) {
        std::memset(notificationHeader, 0, sizeof notificationHeader);
        notificationReceived = 0;
        // Last statement: the delegate may close and delete this engine.
        if (Cardova_Delegate* d = getDelegate())
            d->OnNotification(this, messageId, notificationData.data(), static_cast<int>(total));
    }
}
