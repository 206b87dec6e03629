#include "StatusThreads.h"

#include <condition_variable>

namespace {
// The start signal, shared by the reporter and the new thread: whichever finishes last frees it.
struct StartSignal {
    std::mutex m;
    std::condition_variable cv;
    bool started = false;
};
}  // namespace

StatusThreads::~StatusThreads() {
    // A callback may report again while the others are joined: repeat until none is left.
    for (;;) {
        std::list<Entry> all;
        {
            std::lock_guard<std::mutex> guard(lock);
            all.swap(threads);
        }
        if (all.empty()) break;
        for (Entry& e : all) {
            if (e.thread.joinable()) e.thread.join();
        }
    }
}

void StatusThreads::reapFinished(std::list<Entry>& done) {
    for (auto it = threads.begin(); it != threads.end();) {
        if (*it->finished) {
            done.splice(done.end(), threads, it++);
        } else {
            ++it;
        }
    }
}

void StatusThreads::run(Body body, std::chrono::milliseconds startWait) {
    auto signal = std::make_shared<StartSignal>();
    auto finished = std::make_shared<bool>(false);
    std::list<Entry> done;
    {
        std::lock_guard<std::mutex> guard(lock);
        reapFinished(done);
        std::thread t([this, signal, finished, body = std::move(body)]() {
            std::function<void()> started = [signal] {
                std::lock_guard<std::mutex> g(signal->m);
                signal->started = true;
                signal->cv.notify_all();
            };
            try {
                body(started);
            } catch (...) {
            }
            std::lock_guard<std::mutex> g(lock);
            *finished = true;
        });
        threads.push_back(Entry{std::move(t), finished});
    }
    for (Entry& e : done) e.thread.join();

    std::unique_lock<std::mutex> g(signal->m);
    signal->cv.wait_for(g, startWait, [&] { return signal->started; });
}

size_t StatusThreads::size() {
    std::lock_guard<std::mutex> guard(lock);
    return threads.size();
}
