#include "SerialConnection.h"

#include <fcntl.h>
#include <poll.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "ErrorCodes.h"
#include "StrixTimeout.h"
#include "stdafx.h"

struct SerialConnection::ReaderState {
    int fd = -1;
    int wakeFd = -1;
    std::atomic<bool> stop{false};
    ~ReaderState() {
        if (fd >= 0) ::close(fd);
        if (wakeFd >= 0) ::close(wakeFd);
    }
};

namespace {
const char kPrefix[] = "SERIAL://";
constexpr size_t kPrefixLength = sizeof kPrefix - 1;
constexpr int kReadChunk = 2048;

bool parseDecimal(const std::string& s, int& out) {
    if (s.empty() || s.size() > 9) return false;
    for (char c : s) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    out = std::stoi(s);
    return true;
}

// "0X" followed by hex digits; the two digits after "0X" are kept.
bool parseByteSetting(const std::string& value, std::string& out) {
    if (value.size() < 4 || value.compare(0, 2, "0X") != 0) return false;
    for (size_t i = 2; i < value.size(); ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(value[i]))) return false;
    }
    out = value.substr(2, 2);
    return true;
}

speed_t speedOf(int baud, bool& ok) {
    ok = true;
    switch (baud) {
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 500000:
            return B500000;
        case 576000:
            return B576000;
        case 921600:
            return B921600;
        default:
            ok = false;
            return B0;
    }
}
}  // namespace

SerialConnection::SerialConnection() : dataFormat(FormatFilter::GetFilter("SLIP")) {}

SerialConnection::~SerialConnection() {
    SerialConnection::close();
}

bool SerialConnection::parseSettings(const std::string& settings) {
    for (const std::string& entry : SPLIT(settings, ",")) {
        std::vector<std::string> kv = SPLIT(entry, "=");
        if (kv.size() != 2) continue;
        std::string key = UPPER(TRIM(kv[0]));
        std::string raw = TRIM(kv[1]);
        if (key.empty() || raw.empty()) continue;
        std::string value = UPPER(raw);
        if (key == "PORT") {
            portName = raw;
        } else if (key == "BAUDRATE") {
            if (!parseDecimal(value, baudRate)) return false;
        } else if (key == "PARITY") {
            static const char* names[5][2] = {
                {"NONE", "N"}, {"ODD", "O"}, {"EVEN", "E"}, {"MARK", "M"}, {"SPACE", "S"}};
            int found = -1;
            for (int i = 0; i < 5; ++i) {
                if (value == names[i][0] || value == names[i][1]) found = i;
            }
            if (found < 0) return false;
            parity = found;
        } else if (key == "DATABITS") {
            if (!parseDecimal(value, dataBits)) return false;
        } else if (key == "STOPBITS") {
            if (value == "1") {
                stopBits = 0;
            } else if (value == "1.5") {
                stopBits = 1;
            } else if (value == "2") {
                stopBits = 2;
            } else {
                return false;
            }
        } else if (key == "STARTINGBYTE") {
            if (value == "NONE") {
                startingByte.clear();
            } else if (!parseByteSetting(value, startingByte)) {
                return false;
            }
            ustx = startingByte.empty()
                       ? 0
                       : static_cast<unsigned char>(std::stoul(startingByte, nullptr, 16));
        } else if (key == "ENDINGBYTE") {
            if (!parseByteSetting(value, endingByte)) return false;
            uetx = static_cast<unsigned char>(std::stoul(endingByte, nullptr, 16));
        } else if (key == "CRCMODE") {
            if (!parseDecimal(value, crcMode)) return false;
        } else if (key == "FORMAT") {
            try {
                dataFormat = FormatFilter::GetFilter(value);
            } catch (const std::invalid_argument&) {
                return false;
            }
        }
    }
    return true;
}

SerialConnection* SerialConnection::open(const char* pathScheme) {
    if (pathScheme == nullptr || strncasecmp(pathScheme, kPrefix, kPrefixLength) != 0) {
        return nullptr;
    }
    auto* connection = new SerialConnection();
    try {
        if (!connection->parseSettings(pathScheme + kPrefixLength) ||
            connection->_open() != ERROR_NO_ERR) {
            delete connection;
            return nullptr;
        }
    } catch (...) {
        delete connection;
        return nullptr;
    }
    connection->setScheme(pathScheme);
    return connection;
}

int SerialConnection::_open() {
    if (portName.empty()) return ERROR_UNKNOWN;
    bool speedOk;
    speed_t speed = speedOf(baudRate, speedOk);
    if (!speedOk || dataBits < 5 || dataBits > 8) return ERROR_INVALID_PARAMETERS;
    int fd = ::open(portName.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return ERROR_UNKNOWN;
    tcflush(fd, TCIOFLUSH);
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        ::close(fd);
        return ERROR_UNKNOWN;
    }
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | ICRNL | IGNCR | INLCR | ISTRIP | INPCK);
    tio.c_oflag &= ~static_cast<tcflag_t>(ONLCR | OCRNL | OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | ISIG | IEXTEN);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= sizes[dataBits - 5];
    switch (parity) {
        case 1:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            tio.c_cflag |= PARENB;
            break;
        case 3:
            tio.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case 4:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    // 1.5 stop bits exist only with 5 data bits; the line uses 2 for both.
    if (stopBits != 0) tio.c_cflag |= CSTOPB;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 1;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        ::close(fd);
        return ERROR_BAD_COMMUNICATION;
    }
    auto state = std::make_shared<ReaderState>();
    state->fd = fd;
    state->wakeFd = eventfd(0, EFD_CLOEXEC);
    if (state->wakeFd < 0) return ERROR_UNKNOWN;
    std::lock_guard<std::mutex> guard(lifecycleLock);
    hComm = fd;
    readerState = state;
    readThread = std::thread(&SerialConnection::ReceivingThread, this, state);
    return ERROR_NO_ERR;
}

void SerialConnection::close() {
    std::shared_ptr<ReaderState> state;
    std::thread thread;
    {
        std::lock_guard<std::mutex> guard(lifecycleLock);
        state = std::move(readerState);
        thread = std::move(readThread);
        hComm = -1;
    }
    if (state) {
        state->stop.store(true);
        uint64_t one = 1;
        (void)!::write(state->wakeFd, &one, sizeof one);
    }
    {
        // A command waiting for its response gives up now.
        std::lock_guard<std::mutex> guard(responseLock);
        awaitingResponse = false;
    }
    responseReady.notify_all();
    if (thread.joinable()) {
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();  // closing from a callback: the thread ends by itself
        } else {
            thread.join();
        }
    }
}

int SerialConnection::send(char* pData, int dataLen, int) {
    if (pData == nullptr || dataLen < 1) return ERROR_INVALID_PARAMETERS;
    std::shared_ptr<ReaderState> state;
    {
        std::lock_guard<std::mutex> guard(lifecycleLock);
        state = readerState;
    }
    if (!state || state->stop.load()) return ERROR_DEVICE_NOT_OPEN;
    std::string name, hex;
    int channel = 0;
    int count = dataFormat->FilterOutput(
        B2H(reinterpret_cast<unsigned char*>(pData) + 1, dataLen - 1), name, channel, hex);
    if (count <= 0) return ERROR_UNKNOWN;
    std::vector<unsigned char> bytes = H2BV(hex);
    {
        std::lock_guard<std::mutex> guard(responseLock);
        awaitingResponse = true;
        pendingResponse.reset();
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(state->fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done == 0 ? ERROR_UNKNOWN : ERROR_NO_ERR;
}

int SerialConnection::receive(unsigned char* pData, int* dataLen) {
    if (pData == nullptr || dataLen == nullptr) return ERROR_INVALID_PARAMETERS;
    int capacity = *dataLen;
    std::unique_lock<std::mutex> lock(responseLock);
    bool arrived = responseReady.wait_for(lock, std::chrono::milliseconds(_TimeoutMs), [this] {
        return pendingResponse.has_value() || !awaitingResponse;
    });
    std::optional<std::string> response = std::move(pendingResponse);
    pendingResponse.reset();
    awaitingResponse = false;
    lock.unlock();
    if (!arrived || !response) {
        *dataLen = 0;
        return ERROR_DEVICE_TIMEOUT;
    }
    std::vector<unsigned char> bytes = H2BV(*response);
    bytes.insert(bytes.begin(), 0x73);
    if (static_cast<int>(bytes.size()) > capacity) {
        *dataLen = static_cast<int>(bytes.size());
        return ERROR_BUFFER_INSUFFICIENT;
    }
    std::memcpy(pData, bytes.data(), bytes.size());
    *dataLen = static_cast<int>(bytes.size());
    return ERROR_NO_ERR;
}

void SerialConnection::ReceivingThread(std::shared_ptr<ReaderState> state) {
    unsigned char buffer[kReadChunk];
    while (!state->stop.load()) {
        pollfd fds[2] = {{state->wakeFd, POLLIN, 0}, {state->fd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (state->stop.load() || (fds[0].revents & POLLIN)) return;
        if (fds[1].revents & POLLIN) {
            ssize_t n = ::read(state->fd, buffer, sizeof buffer);
            if (n > 0) {
                if (!OnData(state, buffer, static_cast<int>(n))) return;
                continue;
            }
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        } else if (!(fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            continue;
        }
        // The line was hung up (the reader went away).
        if (!state->stop.load()) {
            {
                std::lock_guard<std::mutex> guard(responseLock);
                awaitingResponse = false;
            }
            responseReady.notify_all();
            notifyChanged(1);
        }
        return;
    }
}

bool SerialConnection::OnData(const std::shared_ptr<ReaderState>& state,
                              const unsigned char* buffer, int dataLen) {
    std::string input = B2H(buffer, dataLen);
    for (;;) {
        std::string name, payload;
        int channel = 0;
        int n = dataFormat->FilterInput(input, name, channel, payload);
        input.clear();
        if (n < 0) return true;
        if (n == 0) continue;
        if (channel == FormatFilter::RESPONSE) {
            {
                std::lock_guard<std::mutex> guard(responseLock);
                if (!awaitingResponse) continue;  // nobody asked: dropped
                pendingResponse = payload;
            }
            responseReady.notify_all();
        } else if (channel == FormatFilter::NOTIFICATION ||
                   channel == FormatFilter::MSR_CARD_DATA) {
            std::vector<unsigned char> packet;
            if (channel == FormatFilter::NOTIFICATION) {
                packet = H2BV(payload);
                packet.insert(packet.begin(), 0x02);
            } else {
                packet.assign(payload.begin(), payload.end());
                packet.insert(packet.begin(), 0xC0);
            }
            addBinary(packet.data(), static_cast<unsigned int>(packet.size()));
            notifyData(packet.data(), static_cast<int>(packet.size()));
            // The callback may have closed (and deleted) this connection.
            if (state->stop.load()) return false;
            clear();
        }
    }
}
