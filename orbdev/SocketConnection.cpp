#include "SocketConnection.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
// GCC 12 reports a false "may be used uninitialized" inside std::regex when sanitizers are on.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <regex>

#include "ErrorCodes.h"

namespace {

// The first IPv4 address of a host name, or the name itself when it cannot be resolved.
std::string resolveIPv4(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) {
        return name;
    }
    char text[INET_ADDRSTRLEN] = {0};
    const auto* in = reinterpret_cast<const sockaddr_in*>(result->ai_addr);
    std::string address =
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) ? std::string(text) : name;
    ::freeaddrinfo(result);
    return address;
}

int portOf(const std::string& group) {
    // ":digits"; a number beyond the port range becomes 0, which no connection accepts.
    const std::string digits = group.substr(1);
    if (digits.size() > 5) return 0;
    const int port = std::atoi(digits.c_str());
    return port <= 65535 ? port : 0;
}

}  // namespace

SocketConnection::SocketConnection() = default;

SocketConnection::SocketConnection(std::string configuration) {
    static const std::regex dotted(
        R"(tcp\://(\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3})(\:\d+)?((/|;)(.*))?$)",
        std::regex::ECMAScript | std::regex::icase);
    static const std::regex named(R"(tcp\://(\w+)(\:\d+)?((/|;)(.*))?$)",
                                  std::regex::ECMAScript | std::regex::icase);
    std::smatch m;
    portNumber = DEFAULT_PORT;
    if (std::regex_match(configuration, m, dotted)) {
        strIpAddress = m[1].str();
        if (m[2].matched) portNumber = portOf(m[2].str());
    } else if (std::regex_match(configuration, m, named)) {
        strIpAddress = resolveIPv4(m[1].str());
        if (m[2].matched) portNumber = portOf(m[2].str());
    } else {
        strIpAddress = configuration;
    }
}

SocketConnection::~SocketConnection() {
    Close();
}

int SocketConnection::_open(const char* address, int port) {
    in_addr ip{};
    if (address == nullptr || port <= 0 || port > 65535 ||
        ::inet_pton(AF_INET, address, &ip) != 1) {
        return -1;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return -1;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    sa.sin_addr = ip;
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return -1;
    }
    // Packets are small and answers are awaited: send each at once.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const bool started = reader.start(
        fd, 8192, true, [this](unsigned char* data, unsigned int n) { AddToBuffer(data, n); },
        [this] { reportStatus(LINK_LOST); });
    if (!started) {
        ::close(fd);
        return -1;
    }
    strIpAddress = address;
    portNumber = port;
    return fd;
}

int SocketConnection::Open() {
    std::lock_guard<std::mutex> g(closeLock);
    if (s > 0) return ERROR_NO_ERR;
    const int fd = _open(strIpAddress.c_str(), portNumber);
    if (fd <= 0) return ERROR_DEVICE_NOT_OPEN;
    s = fd;
    return ERROR_NO_ERR;
}

int SocketConnection::Close() {
    std::lock_guard<std::mutex> g(closeLock);
    // The reading thread and a status report in progress end before the descriptor goes.
    reader.stop();
    stopStatusThread();
    std::lock_guard<std::mutex> w(sendLock);
    const int fd = s.exchange(-1);
    if (fd > 0) ::close(fd);
    return ERROR_NO_ERR;
}

bool SocketConnection::IsOpen() {
    return s > 0;
}

int SocketConnection::Send(unsigned char* data, unsigned int length) {
    std::lock_guard<std::mutex> g(sendLock);
    const int fd = s;
    if (fd <= 0 || data == nullptr) return ERROR_UNKNOWN;
    size_t done = 0;
    while (done < length) {
        // No SIGPIPE for a peer that has gone: the write just fails.
        const ssize_t n = ::send(fd, data + done, length - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return ERROR_UNKNOWN;
        done += static_cast<size_t>(n);
    }
    return ERROR_NO_ERR;
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
