#include "TextPool.h"

#include <array>
#include <map>

namespace {
struct Ring {
    std::array<std::string, TextPool::kSlots> slots;
    int index = 0;
};
}  // namespace

const char* TextPool::store(const std::string& s) {
    // One ring per pool and thread. The rings of a thread go with the thread.
    thread_local std::map<const TextPool*, Ring> rings;
    Ring& ring = rings[this];
    // The slot order of the classic pool: +3 each time, modulo 100, which visits all slots.
    ring.index += 3;
    if (ring.index >= kSlots) ring.index %= kSlots;
    std::string& slot = ring.slots[static_cast<size_t>(ring.index)];
    slot = s;
    return slot.c_str();
}
