#pragma once
#include <cstddef>
#include <memory>
#include <mutex>

// One rotating block for returned texts. Reservations are taken one after the other; when the
// next one does not fit behind the last, it starts again at the beginning of the block. A result
// therefore stays intact until about the block's size of later results went through the pool.
// The block is allocated on first use, so a process that never asks for a result pays nothing.
class MemoryPool {
  public:
    // Bytes reserved beyond each request (room for the terminator and a little slack).
    static constexpr size_t kSlack = 22;

    constexpr explicit MemoryPool(size_t size) : PoolSize(size) {}
    MemoryPool(const MemoryPool&) = delete;
    MemoryPool& operator=(const MemoryPool&) = delete;

    // Reserves size + kSlack zeroed bytes and returns their start; null when the request cannot
    // fit in the block at all or the block cannot be allocated.
    char* GetNextPointer(size_t size);
    // Reserves and copies length bytes followed by a terminator, under one lock, so that two
    // threads never receive overlapping memory and no copy is torn by a concurrent reservation.
    const char* Store(const char* text, size_t length);

    std::unique_ptr<char[]> PoolPtr;
    size_t PoolSize;
    size_t LatestReference = 0;

  private:
    char* reserveLocked(size_t size);
    std::mutex lock;
};
