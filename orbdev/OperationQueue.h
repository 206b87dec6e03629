#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>

// Runs handler calls one at a time, in the order they were queued, on one worker thread owned
// by the queue. The worker sleeps until something is queued; queuing never blocks on a running
// handler, so a reading thread can hand over messages at any rate and none is lost or reordered.
// Failures thrown by a handler are swallowed so that the worker keeps running.
template <typename... Args>
class OperationQueue {
  public:
    using Handler = std::function<void(Args...)>;

    OperationQueue() : state(std::make_shared<State>()) {}
    ~OperationQueue() { stop(); }
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    // Queues the call handler(args...). Does nothing for an empty handler or a stopped queue.
    void queue(Handler handler, Args... args) {
        if (!handler) return;
        auto task = [handler = std::move(handler),
                     tuple = std::make_tuple(std::move(args)...)]() mutable {
            std::apply(handler, std::move(tuple));
        };
        {
            std::lock_guard<std::mutex> guard(state->lock);
            if (state->stopping) return;
            state->_queue.emplace_back(std::move(task));
        }
        run();
    }

    // Drops what is still queued and ends the worker. Waits for a running handler to return,
    // except when called from that handler itself (the worker then ends once it returns).
    // Idempotent; nothing is queued afterwards.
    void stop() {
        {
            std::lock_guard<std::mutex> guard(state->lock);
            state->stopping = true;
            state->_queue.clear();
        }
        state->wake.notify_all();
        std::lock_guard<std::mutex> guard(threadLock);
        if (!worker.joinable()) return;
        if (worker.get_id() == std::this_thread::get_id()) {
            // The worker holds its own reference to the shared state and touches nothing else
            // once the current handler has returned.
            worker.detach();
        } else {
            worker.join();
        }
    }

    // True on the worker thread (inside a handler).
    bool isWorkerThread() const {
        std::lock_guard<std::mutex> guard(state->lock);
        return state->workerId == std::this_thread::get_id();
    }

    // Tasks waiting or running.
    size_t size() const {
        std::lock_guard<std::mutex> guard(state->lock);
        return state->_queue.size() + (state->isRunning ? 1 : 0);
    }

  private:
    struct State {
        std::mutex lock;
        std::condition_variable wake;
        std::deque<std::function<void()>> _queue;
        bool isRunning = false;
        bool stopping = false;
        std::thread::id workerId;
    };

    // Wakes the worker, starting it on first use.
    void run() {
        {
            std::lock_guard<std::mutex> guard(threadLock);
            std::lock_guard<std::mutex> stateGuard(state->lock);
            if (!started && !state->stopping) {
                started = true;
                worker = std::thread(runQueue, state);
            }
        }
        state->wake.notify_one();
    }

    static void runQueue(std::shared_ptr<State> s) {
        std::unique_lock<std::mutex> guard(s->lock);
        s->workerId = std::this_thread::get_id();
        for (;;) {
            s->wake.wait(guard, [&] { return s->stopping || !s->_queue.empty(); });
            if (s->stopping) break;
            std::function<void()> task = std::move(s->_queue.front());
            s->_queue.pop_front();
            s->isRunning = true;
            guard.unlock();
            try {
                task();
            } catch (...) {
            }
            task = nullptr;  // release what the task holds before taking the lock again
            guard.lock();
            s->isRunning = false;
        }
        s->workerId = std::thread::id();
    }

    std::shared_ptr<State> state;
    std::mutex threadLock;  // guards worker and started
    std::thread worker;
    bool started = false;
};
