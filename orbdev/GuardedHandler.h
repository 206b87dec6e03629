#pragma once
// A replaceable callback that one thread may call while another thread replaces it.
//
// Assigning a new callable (or nullptr) waits until every call of the previous callable that runs
// on another thread has returned, so once the assignment is done the old callable (and whatever it
// captured, such as a promise on the replacing thread's stack) is never touched again. A callable
// may replace or clear its own holder from inside a call: the wait skips the calling thread.
// Calls take a reference to the shared state first, so a holder destroyed from inside a call
// (for instance a connection released from its own status handler) is not touched afterwards.
#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

template <typename Signature>
class GuardedHandler;

template <typename... Args>
class GuardedHandler<void(Args...)> {
  public:
    using Function = std::function<void(Args...)>;

    GuardedHandler() : state(std::make_shared<State>()) {}
    GuardedHandler(const GuardedHandler&) = delete;
    GuardedHandler& operator=(const GuardedHandler&) = delete;

    GuardedHandler& operator=(Function fn) {
        set(std::move(fn));
        return *this;
    }
    GuardedHandler& operator=(std::nullptr_t) {
        set(Function());
        return *this;
    }

    // A copy of the current callable (empty when none is set), e.g. to restore it later.
    Function get() const {
        std::lock_guard<std::mutex> g(state->m);
        return state->fn ? *state->fn : Function();
    }
    explicit operator bool() const {
        std::lock_guard<std::mutex> g(state->m);
        return state->fn != nullptr;
    }

    // Calls the current callable if one is set; returns whether it was called.
    bool operator()(Args... args) const {
        std::shared_ptr<State> st = state;  // keeps the state alive if the owner goes away
        std::shared_ptr<Function> fn;
        {
            std::lock_guard<std::mutex> g(st->m);
            if (!st->fn) return false;
            fn = st->fn;
            st->callers.push_back(std::this_thread::get_id());
        }
        struct Leave {
            State& s;
            ~Leave() {
                std::lock_guard<std::mutex> g(s.m);
                auto it = std::find(s.callers.begin(), s.callers.end(), std::this_thread::get_id());
                if (it != s.callers.end()) s.callers.erase(it);
                s.cv.notify_all();
            }
        } leave{*st};
        (*fn)(std::forward<Args>(args)...);
        return true;
    }

  private:
    struct State {
        std::mutex m;
        std::condition_variable cv;
        std::shared_ptr<Function> fn;
        std::vector<std::thread::id> callers;
        bool othersCalling() const {
            auto self = std::this_thread::get_id();
            return std::any_of(callers.begin(), callers.end(),
                               [self](const std::thread::id& id) { return id != self; });
        }
    };

    void set(Function fn) {
        std::shared_ptr<Function> next = fn ? std::make_shared<Function>(std::move(fn)) : nullptr;
        std::shared_ptr<Function> previous;
        {
            std::unique_lock<std::mutex> g(state->m);
            previous = std::move(state->fn);
            state->fn = std::move(next);
            state->cv.wait(g, [this] { return !state->othersCalling(); });
        }
        // The previous callable is destroyed here, outside the lock (unless a call on this very
        // thread still holds it).
    }

    std::shared_ptr<State> state;
};
