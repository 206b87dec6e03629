#pragma once
#include <mutex>
#include <string>
#include <vector>

// The lower-case hex text of the last raw packets seen, oldest first, at most kMaxEntries.
// Every operation is safe to call from several threads.
class RawDataStore {
  public:
    static constexpr size_t kMaxEntries = 256;

    RawDataStore() = default;
    RawDataStore(const RawDataStore&) = delete;
    RawDataStore& operator=(const RawDataStore&) = delete;

    void addBinary(const unsigned char* buffer, unsigned int bufferLength);
    // All entries joined by "\n" (no trailing newline); "" when empty.
    std::string getAll();
    void clear();
    static std::string binary2Hex(const unsigned char* buffer, unsigned int bufferLength);

  private:
    std::mutex lock;
    std::vector<std::string> HexData;
};
