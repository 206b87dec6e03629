// Ring buffer of unclaimed received bytes, and the replaceable handler holder.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "GuardedHandler.h"
#include "orbio_helpers.h"
#include "ringbuff.h"

TEST(RingBuffer, KeepsTheNewestItemsInOrder) {
    struct Case {
        size_t capacity;
        std::vector<std::vector<int>> pushes;
        size_t popFirst;  // items taken between the pushes and the final check (after push 1)
        std::vector<int> remaining;
    };
    const Case cases[] = {
        {4, {{1, 2, 3}}, 0, {1, 2, 3}},
        {4, {{1, 2, 3}, {4, 5, 6}}, 0, {3, 4, 5, 6}},   // oldest dropped
        {4, {{1, 2, 3, 4, 5, 6, 7}}, 0, {4, 5, 6, 7}},  // more than fits at once
        {4, {{1, 2, 3}, {4, 5}}, 2, {3, 4, 5}},         // wraps around the end
        {3, {{1, 2}, {3, 4, 5, 6}}, 1, {4, 5, 6}},
    };
    for (const auto& c : cases) {
        ringbuff<int> rb(c.capacity);
        rb.push_back(c.pushes[0].data(), c.pushes[0].size());
        std::vector<int> taken(c.popFirst);
        size_t n = c.popFirst;
        rb.pop_front(taken.data(), n);
        EXPECT_EQ(c.popFirst, n);
        for (size_t i = 1; i < c.pushes.size(); ++i)
            rb.push_back(c.pushes[i].data(), c.pushes[i].size());
        ASSERT_EQ(c.remaining.size(), rb.size());
        EXPECT_EQ(c.remaining.front(), rb.front());
        EXPECT_EQ(c.remaining.back(), rb.back());
        std::vector<int> out(10);
        n = out.size();
        rb.pop_front(out.data(), n);
        out.resize(n);
        EXPECT_EQ(c.remaining, out);
        EXPECT_TRUE(rb.empty());
    }
    ringbuff<unsigned char> rb(8);
    rb.push_back(nullptr, 3);
    EXPECT_TRUE(rb.empty());
    const unsigned char b[] = {1, 2};
    rb.push_back(b, 2);
    rb.clear();
    EXPECT_EQ(0u, rb.size());
}

TEST(GuardedHandler, ReplacementWaitsForACallInProgress) {
    GuardedHandler<void(int)> handler;
    EXPECT_FALSE(handler(1));  // nothing set: not called
    std::atomic<bool> inside{false}, release{false}, finished{false};
    handler = [&](int) {
        inside = true;
        while (!release) std::this_thread::yield();
        finished = true;
    };
    EXPECT_TRUE(static_cast<bool>(handler));
    std::thread caller([&] { EXPECT_TRUE(handler(7)); });
    while (!inside) std::this_thread::yield();
    std::atomic<bool> replaced{false};
    std::thread replacer([&] {
        handler = nullptr;
        // The old callable has returned before the replacement completes.
        EXPECT_TRUE(finished.load());
        replaced = true;
    });
    SLEEP(30);
    EXPECT_FALSE(replaced.load());
    release = true;
    caller.join();
    replacer.join();
    EXPECT_TRUE(replaced.load());
    EXPECT_FALSE(handler(2));
}

TEST(GuardedHandler, CallableMayReplaceOrDestroyItsHolder) {
    GuardedHandler<void(int)> handler;
    std::vector<int> seen;
    handler = [&](int v) {
        seen.push_back(v);
        handler = [&](int w) { seen.push_back(-w); };  // no deadlock on the calling thread
    };
    handler(1);
    handler(2);
    EXPECT_EQ((std::vector<int>{1, -2}), seen);
    std::function<void(int)> saved = handler.get();
    saved(3);
    EXPECT_EQ(-3, seen.back());

    auto* owned = new GuardedHandler<void(int)>();
    int calls = 0;
    *owned = [&](int) {
        ++calls;
        delete owned;
    };
    EXPECT_TRUE((*owned)(1));
    EXPECT_EQ(1, calls);
}
