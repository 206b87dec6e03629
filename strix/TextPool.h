#pragma once
#include <mutex>
#include <string>

// Rotating storage for texts handed to C callers, who copy them and never free them. Each text
// gets its own slot, whatever its length, and stays valid for the next kSlots - 1 texts stored
// by the same thread: every thread has its own ring, so concurrent callers never see each
// other's texts, torn or overlapping.
class TextPool {
  public:
    static constexpr int kSlots = 100;

    // Copies s into the next slot of the calling thread's ring and returns it.
    const char* store(const std::string& s);
    const char* store(const char* s) { return store(std::string(s != nullptr ? s : "")); }
};
