#include "sim/EventLoop.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace sim {

EventLoop::EventLoop() {
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    thread_ = std::thread([this] { run(); });
}

EventLoop::~EventLoop() {
    stop();
    ::close(wakeFd_);
}

void EventLoop::stop() {
    {
        std::lock_guard<std::mutex> g(lock_);
        stopping_ = true;
    }
    wake();
    if (thread_.joinable() && !inLoopThread()) thread_.join();
}

void EventLoop::wake() {
    std::uint64_t one = 1;
    ssize_t r = ::write(wakeFd_, &one, sizeof one);
    (void)r;  // a full counter still wakes the loop
}

bool EventLoop::postChecked(Task task) {
    {
        std::lock_guard<std::mutex> g(lock_);
        if (stopping_) return false;
        tasks_.push_back(std::move(task));
    }
    wake();
    return true;
}

void EventLoop::post(Task task) {
    postChecked(std::move(task));
}

EventLoop::TimerId EventLoop::after(Millis delay, Task task) {
    TimerId id;
    {
        std::lock_guard<std::mutex> g(lock_);
        if (stopping_) return 0;
        id = nextTimer_++;
        timers_.emplace(Clock::now() + delay, Timer{id, std::move(task)});
    }
    wake();
    return id;
}

void EventLoop::cancel(TimerId id) {
    std::lock_guard<std::mutex> g(lock_);
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->second.id == id) {
            timers_.erase(it);
            return;
        }
    }
}

void EventLoop::watch(int fd, short events, FdHandler handler) {
    watches_[fd] = Watch{events, ++generation_, std::make_shared<FdHandler>(std::move(handler))};
}

void EventLoop::setEvents(int fd, short events) {
    auto it = watches_.find(fd);
    if (it != watches_.end()) it->second.events = events;
}

void EventLoop::unwatch(int fd) {
    watches_.erase(fd);
}

int EventLoop::nextTimeoutMs() {
    std::lock_guard<std::mutex> g(lock_);
    if (!tasks_.empty()) return 0;
    if (timers_.empty()) return -1;
    auto wait = std::chrono::ceil<Millis>(timers_.begin()->first - Clock::now()).count();
    return wait < 0 ? 0 : static_cast<int>(wait);
}

void EventLoop::runDueTimers() {
    for (;;) {
        Task task;
        {
            std::lock_guard<std::mutex> g(lock_);
            if (stopping_ || timers_.empty() || timers_.begin()->first > Clock::now()) return;
            task = std::move(timers_.begin()->second.task);
            timers_.erase(timers_.begin());
        }
        task();
    }
}

void EventLoop::run() {
    for (;;) {
        std::vector<Task> tasks;
        {
            std::lock_guard<std::mutex> g(lock_);
            if (stopping_) break;
            tasks.swap(tasks_);
        }
        for (auto& t : tasks) t();
        runDueTimers();

        std::vector<pollfd> fds;
        std::vector<std::uint64_t> generations;
        fds.push_back({wakeFd_, POLLIN, 0});
        generations.push_back(0);
        for (auto& [fd, w] : watches_) {
            fds.push_back({fd, w.events, 0});
            generations.push_back(w.generation);
        }
        int n = ::poll(fds.data(), fds.size(), nextTimeoutMs());
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents & POLLIN) {
            std::uint64_t v;
            while (::read(wakeFd_, &v, sizeof v) > 0) {
            }
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            // A handler may have removed or replaced this watch in the meantime.
            auto it = watches_.find(fds[i].fd);
            if (it == watches_.end() || it->second.generation != generations[i]) continue;
            auto handler = it->second.handler;
            (*handler)(fds[i].revents);
        }
    }
    // Destroy what is left outside the lock: a task's captures may post in their destructors.
    std::vector<Task> dropped;
    std::multimap<Clock::time_point, Timer> droppedTimers;
    {
        std::lock_guard<std::mutex> g(lock_);
        dropped.swap(tasks_);
        droppedTimers.swap(timers_);
    }
}

}  // namespace sim
