#pragma once
#include <string>

#include "MemoryPool.h"

// The three result pools behind every text that the C interface returns:
// pool 1 holds command bytes and the raw responses kept in transaction records, pool 2 the
// device lists, pool 0 everything else. A separate pool per use keeps, for example, a command
// text intact while its response is written.
class StaticStringBuffer {
  public:
    static constexpr int kPoolCount = 3;
    static constexpr size_t kPoolSize = 0x400000;

    constexpr StaticStringBuffer()
        : Pool{MemoryPool(kPoolSize), MemoryPool(kPoolSize), MemoryPool(kPoolSize)} {}

    // A copy of text in that pool, NUL-terminated; null for a pool outside 0..2 or a text that
    // does not fit in a pool.
    const char* GetString(const std::string& text, int pool);
    // size zeroed bytes reserved in that pool without copying; null as for GetString.
    char* GetPointer(size_t size, int pool);

    MemoryPool Pool[kPoolCount];
};

// The process-wide result buffer.
extern StaticStringBuffer staticBuffer;
