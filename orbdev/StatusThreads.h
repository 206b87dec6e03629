#pragma once
#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

// Runs each link-status report on a thread of its own, so that an application callback never
// runs on the thread that reported (the closing thread or a reading thread) and can call back
// into the library. The reporter is held until the callback has started (or until a time limit),
// but not until it has finished. The threads are owned here: finished ones are joined at the
// next report, the rest when the owner is destroyed.
class StatusThreads {
  public:
    // The body gets a function with which it signals that it has started.
    using Body = std::function<void(const std::function<void()>& started)>;

    StatusThreads() = default;
    ~StatusThreads();
    StatusThreads(const StatusThreads&) = delete;
    StatusThreads& operator=(const StatusThreads&) = delete;

    // Starts body on a new thread and waits up to startWait for it to signal its start. A body
    // that never signals (it found nothing to report) holds the caller for the whole wait.
    void run(Body body, std::chrono::milliseconds startWait);

    // Threads not yet joined (for tests).
    size_t size();

  private:
    struct Entry {
        std::thread thread;
        std::shared_ptr<bool> finished;  // guarded by lock
    };
    void reapFinished(std::list<Entry>& done);

    std::mutex lock;
    std::list<Entry> threads;
};
