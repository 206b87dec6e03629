#include "CommPort.h"

#include <errno.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

#include "ErrorCodes.h"
#include "stdafx.h"

namespace {

speed_t speedOf(int baud) {
    switch (baud) {
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
            return B0;
    }
}

}  // namespace

CommPort::CommPort(std::string configuration) {
    _config = configuration;
    for (const std::string& item : SPLIT(configuration, ",")) {
        const std::vector<std::string> kv = SPLIT(item, "=");
        if (kv.size() != 2 || kv[0].empty() || kv[1].empty()) continue;
        const std::string key = UPPER(TRIM(kv[0]));
        const std::string value = TRIM(kv[1]);
        if (key == "PORT") {
            portName = value;
        } else if (key == "BAUDRATE") {
            baudRate = std::atoi(value.c_str());
        } else if (key == "DATABITS") {
            dataBits = std::atoi(value.c_str());
        } else if (key == "PARITY") {
            if (value == "NONE" || value == "N")
                parity = 0;
            else if (value == "ODD" || value == "O")
                parity = 1;
            else if (value == "EVEN" || value == "E")
                parity = 2;
            else if (value == "MARK" || value == "M")
                parity = 3;
            else if (value == "SPACE" || value == "S")
                parity = 4;
        } else if (key == "STOPBITS") {
            if (value == "1")
                stopBits = 0;
            else if (value == "1.5")
                stopBits = 1;
            else if (value == "2")
                stopBits = 2;
        }
    }
}

CommPort::~CommPort() {
    Close();
}

bool CommPort::Enum(std::function<bool(std::string, std::string)>, std::string) {
    return false;
}

int CommPort::configure(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return ERROR_UNKNOWN;
    // Raw bytes both ways: no translation, flow control, echo, signals or line editing.
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
    tio.c_oflag &= ~(OPOST | ONLCR | OCRNL);
    tio.c_lflag &= ~(ICANON | ECHO | ECHONL | ISIG | IEXTEN);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VTIME] = 1;
    tio.c_cc[VMIN] = 0;
    // Character format from the settings (invalid data bits leave the port's own).
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (dataBits >= 5 && dataBits <= 8) {
        tio.c_cflag = (tio.c_cflag & ~CSIZE) | sizes[dataBits - 5];
    }
    tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (parity) {
        case 1:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            tio.c_cflag |= PARENB;
            break;
        case 3:
            tio.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case 4:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    if (stopBits == 0) {
        tio.c_cflag &= ~CSTOPB;
    } else {
        tio.c_cflag |= CSTOPB;
    }
    const speed_t speed = speedOf(baudRate);
    if (speed == B0) return ERROR_INVALID_PARAMETERS;
    ::cfsetspeed(&tio, speed);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) return ERROR_BAD_COMMUNICATION;
    return ERROR_NO_ERR;
}

int CommPort::Open() {
    std::lock_guard<std::mutex> g(closeLock);
    if (hComm > 0) return ERROR_NO_ERR;
    // Non-blocking so that opening never waits for a carrier; reads and writes block afterwards.
    const int fd = ::open(portName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd <= 0) {
        if (fd == 0) ::close(fd);
        return ERROR_UNKNOWN;
    }
    ::tcflush(fd, TCIOFLUSH);
    const int rc = configure(fd);
    if (rc != ERROR_NO_ERR) {
        ::close(fd);
        return rc;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    hComm = fd;
    if (!ReceivingThread()) {
        hComm = -1;
        ::close(fd);
        return ERROR_UNKNOWN;
    }
    return ERROR_NO_ERR;
}

bool CommPort::ReceivingThread() {
    return reader.start(
        hComm, 2048, false, [this](unsigned char* data, unsigned int n) { AddToBuffer(data, n); },
        [this] { reportStatus(LINK_LOST); });
}

int CommPort::Close() {
    std::lock_guard<std::mutex> g(closeLock);
    reader.stop();
    stopStatusThread();
    std::lock_guard<std::mutex> w(sendLock);
    std::lock_guard<std::mutex> r(receiveLock);
    const int fd = hComm.exchange(-1);
    if (fd > 0) ::close(fd);
    return ERROR_NO_ERR;
}

bool CommPort::IsOpen() {
    return hComm > 0;
}

int CommPort::Send(unsigned char* data, unsigned int length) {
    std::lock_guard<std::mutex> g(sendLock);
    const int fd = hComm;
    if (fd <= 0 || data == nullptr) return ERROR_UNKNOWN;
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, data + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return ERROR_UNKNOWN;
        done += static_cast<size_t>(n);
    }
    return ERROR_NO_ERR;
}

int CommPort::Receive(unsigned char* data, unsigned int* length) {
    if (length == nullptr) return ERROR_INVALID_PARAMETERS;
    std::lock_guard<std::mutex> g(receiveLock);  // the descriptor stays valid during the read
    const int fd = hComm;
    if (fd <= 0) return ERROR_UNKNOWN;
    if (data == nullptr || *length == 0) {
        *length = 0;
        return 1;
    }
    const ssize_t n = ::read(fd, data, *length);
    if (n <= 0) {
        *length = 0;
        return 1;
    }
    *length = static_cast<unsigned int>(n);
    return ERROR_NO_ERR;
}
