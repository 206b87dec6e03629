#pragma once
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// Runs application callbacks, each on a new thread, and knows which are still running: stop()
// refuses new ones and waits until the running ones have returned (except the calling thread's
// own, when a callback closes its device), so that no callback outlives the object that
// registered it.
class CallbackRunner {
  public:
    CallbackRunner();
    ~CallbackRunner();
    CallbackRunner(const CallbackRunner&) = delete;
    CallbackRunner& operator=(const CallbackRunner&) = delete;

    // False when the thread could not be started or the runner is stopped.
    bool spawn(std::function<void()> callback);
    void stop();
    // Whether the calling thread is one of this library's callback threads.
    static bool onCallbackThread();

  private:
    struct State {
        std::mutex m;
        std::condition_variable idle;
        int running = 0;
        bool stopped = false;
    };
    std::shared_ptr<State> state;
};
