#include "MemoryPool.h"

#include <cstring>
#include <new>

char* MemoryPool::reserveLocked(size_t size) {
    if (size > PoolSize || PoolSize - size < kSlack) return nullptr;
    size_t total = size + kSlack;
    if (!PoolPtr) {
        PoolPtr.reset(new (std::nothrow) char[PoolSize]);
        if (!PoolPtr) return nullptr;
        LatestReference = 0;
    }
    if (PoolSize - LatestReference < total) LatestReference = 0;
    char* p = PoolPtr.get() + LatestReference;
    LatestReference += total;
    std::memset(p, 0, total);
    return p;
}

char* MemoryPool::GetNextPointer(size_t size) {
    std::lock_guard<std::mutex> guard(lock);
    return reserveLocked(size);
}

const char* MemoryPool::Store(const char* text, size_t length) {
    std::lock_guard<std::mutex> guard(lock);
    char* p = reserveLocked(length);
    if (p != nullptr && length > 0) std::memcpy(p, text, length);
    return p;
}
