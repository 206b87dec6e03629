#include "CallbackRunner.h"

#include <system_error>
#include <thread>

namespace {
// The runner whose callback the current thread is running, if any.
thread_local const void* currentRunner = nullptr;
}  // namespace

CallbackRunner::CallbackRunner() : state(std::make_shared<State>()) {}

CallbackRunner::~CallbackRunner() {
    stop();
}

bool CallbackRunner::spawn(std::function<void()> callback) {
    std::shared_ptr<State> s = state;
    {
        std::lock_guard<std::mutex> g(s->m);
        if (s->stopped) return false;
        ++s->running;
    }
    try {
        std::thread([s, callback = std::move(callback)] {
            currentRunner = s.get();
            try {
                callback();
            } catch (...) {
                // An exception must not leave a callback thread.
            }
            currentRunner = nullptr;
            std::lock_guard<std::mutex> g(s->m);
            --s->running;
            s->idle.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> g(s->m);
        --s->running;
        s->idle.notify_all();
        return false;
    }
    return true;
}

void CallbackRunner::stop() {
    std::shared_ptr<State> s = state;
    std::unique_lock<std::mutex> g(s->m);
    s->stopped = true;
    const int self = currentRunner == s.get() ? 1 : 0;
    s->idle.wait(g, [&] { return s->running <= self; });
}

bool CallbackRunner::onCallbackThread() {
    return currentRunner != nullptr;
}
