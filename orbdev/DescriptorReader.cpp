#include "DescriptorReader.h"

#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

DescriptorReader::Shared::~Shared() {
    if (wakeFd >= 0) ::close(wakeFd);
}

DescriptorReader::~DescriptorReader() {
    stop();
}

bool DescriptorReader::start(int fd, size_t bufferSize, bool zeroReadIsEnd,
                             std::function<void(unsigned char*, unsigned int)> onBytes,
                             std::function<void()> onLost) {
    stop();
    auto s = std::make_shared<Shared>();
    s->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (s->wakeFd < 0) return false;
    shared = s;
    thread =
        std::thread(run, s, fd, bufferSize, zeroReadIsEnd, std::move(onBytes), std::move(onLost));
    return true;
}

void DescriptorReader::stop() {
    if (!thread.joinable()) return;
    shared->stopping = true;
    const uint64_t one = 1;
    ssize_t ignored = ::write(shared->wakeFd, &one, sizeof one);
    (void)ignored;
    if (thread.get_id() == std::this_thread::get_id()) {
        thread.detach();
    } else {
        thread.join();
    }
    shared.reset();
}

void DescriptorReader::run(std::shared_ptr<Shared> shared, int fd, size_t bufferSize,
                           bool zeroReadIsEnd,
                           std::function<void(unsigned char*, unsigned int)> onBytes,
                           std::function<void()> onLost) {
    std::vector<unsigned char> buffer(bufferSize);
    pollfd fds[2] = {{fd, POLLIN, 0}, {shared->wakeFd, POLLIN, 0}};
    bool lost = false;
    while (!shared->stopping) {
        const int n = ::poll(fds, 2, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            lost = true;
            break;
        }
        if (shared->stopping || (fds[1].revents & POLLIN)) break;
        const short ev = fds[0].revents;
        if (ev & POLLIN) {
            const ssize_t got = ::read(fd, buffer.data(), buffer.size());
            if (got > 0) {
                if (onBytes) onBytes(buffer.data(), static_cast<unsigned int>(got));
                continue;
            }
            if (got == 0 ? zeroReadIsEnd : (errno != EINTR && errno != EAGAIN)) {
                lost = true;
                break;
            }
            if (got == 0 && !(ev & (POLLHUP | POLLERR))) continue;
        }
        if (ev & (POLLHUP | POLLERR | POLLNVAL)) {
            lost = true;
            break;
        }
    }
    if (lost && !shared->stopping && onLost) onLost();
}
