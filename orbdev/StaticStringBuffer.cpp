#include "StaticStringBuffer.h"

const char* StaticStringBuffer::GetString(const std::string& text, int pool) {
    if (pool < 0 || pool >= kPoolCount) return nullptr;
    return Pool[pool].Store(text.data(), text.size());
}

char* StaticStringBuffer::GetPointer(size_t size, int pool) {
    if (pool < 0 || pool >= kPoolCount) return nullptr;
    return Pool[pool].GetNextPointer(size);
}
