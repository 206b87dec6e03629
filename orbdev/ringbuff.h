#pragma once
// Fixed-capacity FIFO ring buffer. When an append would overflow it, the oldest items are dropped
// so that the newest ones remain.
#include <algorithm>
#include <cstddef>
#include <mutex>
#include <vector>

template <typename T>
class ringbuff {
  public:
    explicit ringbuff(size_t capacity) : _array(capacity), _array_size(capacity) {}

    void push_back(const T* items, size_t count) {
        if (items == nullptr || count == 0 || _array_size == 0) return;
        std::lock_guard<std::mutex> g(lock);
        if (count > _array_size) {  // only the newest items fit
            items += count - _array_size;
            count = _array_size;
        }
        const size_t overflow =
            _item_counts + count > _array_size ? _item_counts + count - _array_size : 0;
        _head = (_head + overflow) % _array_size;
        _item_counts -= overflow;
        for (size_t i = 0; i < count; ++i) {
            _array[_tail] = items[i];
            _tail = (_tail + 1) % _array_size;
        }
        _item_counts += count;
    }

    // Removes up to `count` items in order into target; `count` becomes the number removed.
    void pop_front(T* target, size_t& count) {
        std::lock_guard<std::mutex> g(lock);
        const size_t n = target == nullptr ? 0 : std::min(count, _item_counts);
        for (size_t i = 0; i < n; ++i) {
            target[i] = _array[_head];
            _head = (_head + 1) % _array_size;
        }
        _item_counts -= n;
        if (_item_counts == 0) _head = _tail = 0;
        count = n;
    }

    bool empty() {
        std::lock_guard<std::mutex> g(lock);
        return _item_counts == 0;
    }
    size_t size() {
        std::lock_guard<std::mutex> g(lock);
        return _item_counts;
    }
    size_t capacity() const { return _array_size; }
    // Oldest and newest items; only meaningful when not empty.
    T front() {
        std::lock_guard<std::mutex> g(lock);
        return _item_counts ? _array[_head] : T();
    }
    T back() {
        std::lock_guard<std::mutex> g(lock);
        return _item_counts ? _array[(_tail + _array_size - 1) % _array_size] : T();
    }
    void clear() {
        std::lock_guard<std::mutex> g(lock);
        _head = _tail = _item_counts = 0;
    }

  private:
    std::vector<T> _array;
    size_t _array_size;
    size_t _head = 0;
    size_t _tail = 0;
    size_t _item_counts = 0;
    std::mutex lock;
};
