#pragma once
// Reading thread for a socket or terminal descriptor.
//
// The thread sleeps in poll() on the descriptor and on an eventfd until bytes arrive or it is
// told to stop, so an idle link costs no wake-ups, bytes are handed on as soon as they arrive,
// and stop() returns as soon as the thread has seen the wake-up and ended (it is joined). When
// the descriptor reports the end of the stream, a hang-up or an error, onLost is called once and
// the thread ends; the descriptor itself stays with its owner, who closes it after stop().
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <thread>

class DescriptorReader {
  public:
    DescriptorReader() = default;
    DescriptorReader(const DescriptorReader&) = delete;
    DescriptorReader& operator=(const DescriptorReader&) = delete;
    ~DescriptorReader();

    // zeroReadIsEnd: a read of 0 bytes means the peer has gone (sockets); on a terminal it only
    // means nothing was there. Returns false if the wake-up descriptor cannot be made.
    bool start(int fd, size_t bufferSize, bool zeroReadIsEnd,
               std::function<void(unsigned char*, unsigned int)> onBytes,
               std::function<void()> onLost);
    // Wakes the thread and joins it. From the reading thread itself (a handler that closes the
    // link) the thread is let go instead and ends as soon as the handler returns.
    void stop();
    bool running() const { return thread.joinable(); }

  private:
    struct Shared {
        std::atomic<bool> stopping{false};
        int wakeFd = -1;
        ~Shared();
    };
    static void run(std::shared_ptr<Shared> shared, int fd, size_t bufferSize, bool zeroReadIsEnd,
                    std::function<void(unsigned char*, unsigned int)> onBytes,
                    std::function<void()> onLost);

    std::shared_ptr<Shared> shared;
    std::thread thread;
};
