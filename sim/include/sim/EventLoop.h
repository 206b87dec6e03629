#pragma once
// One thread that waits on file descriptors and timers and runs their handlers. Every transport of
// the bench lives on such a loop, so all transport state is touched by one thread only; other
// threads hand work over with post() or call().
#include <poll.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <vector>

#include "sim/Types.h"

namespace sim {

class EventLoop {
  public:
    using FdHandler = std::function<void(short revents)>;
    using Task = std::function<void()>;
    using TimerId = std::uint64_t;

    EventLoop();   // starts the thread
    ~EventLoop();  // stops and joins it; pending tasks are dropped
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Stops the thread and joins it (idempotent). Afterwards post() drops its task.
    void stop();
    bool inLoopThread() const { return std::this_thread::get_id() == thread_.get_id(); }

    // Any thread: queue a task for the loop thread.
    void post(Task task);
    // Any thread: run f on the loop thread and wait for its result (direct call when already on
    // the loop thread). Exceptions thrown by f reach the caller.
    template <class F>
    auto call(F f) -> decltype(f()) {
        using R = decltype(f());
        if (inLoopThread()) return f();
        auto task = std::make_shared<std::packaged_task<R()>>(std::move(f));
        auto result = task->get_future();
        if (!postChecked([task] { (*task)(); })) throw std::runtime_error("event loop stopped");
        return result.get();
    }

    // Loop thread only: watch fd for events (POLLIN/POLLOUT); a second watch replaces the first.
    void watch(int fd, short events, FdHandler handler);
    void setEvents(int fd, short events);
    void unwatch(int fd);

    // Any thread: run task after delay on the loop thread. cancel() of a fired timer is harmless.
    TimerId after(Millis delay, Task task);
    void cancel(TimerId id);

  private:
    struct Watch {
        short events;
        std::uint64_t generation;
        std::shared_ptr<FdHandler> handler;
    };
    struct Timer {
        TimerId id;
        Task task;
    };
    bool postChecked(Task task);
    void run();
    void wake();
    int nextTimeoutMs();
    void runDueTimers();

    int wakeFd_ = -1;
    std::mutex lock_;  // guards tasks_, timers_, stopping_
    std::vector<Task> tasks_;
    std::multimap<Clock::time_point, Timer> timers_;
    TimerId nextTimer_ = 1;
    bool stopping_ = false;
    std::map<int, Watch> watches_;  // loop thread only
    std::uint64_t generation_ = 0;
    std::thread thread_;
};

}  // namespace sim
