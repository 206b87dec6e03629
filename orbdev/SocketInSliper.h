#pragma once
// Thread-safe byte collector that also cuts the collected stream into SLIP frames
// (END = 0xC0 opens and closes a frame, ESC = 0xDB escapes).
#include <mutex>
#include <vector>

class SocketInSliper {
  public:
    static constexpr unsigned char END = 0xC0;
    static constexpr unsigned char ESC = 0xDB;
    // Bytes waiting for a closing END beyond this are garbage from a broken stream; they are
    // dropped rather than kept without bound.
    static constexpr size_t MAX_PENDING = 64u << 20;

    void add(unsigned char* data, int length);
    // The whole buffer, which is emptied.
    std::vector<unsigned char> getRaw();
    // The next chunk from one END up to (not including) the next END, or an empty vector when
    // no complete chunk is buffered yet. The closing END stays as the next chunk's opener.
    std::vector<unsigned char> getChunk();
    // Removes the leading END of a chunk and undoes the escaping.
    static std::vector<unsigned char> Sliper(const std::vector<unsigned char>& chunk);
    // The next non-empty decoded frame, or an empty vector.
    std::vector<unsigned char> get();

  private:
    std::vector<unsigned char> getChunkLocked();

    std::mutex lock;
    std::vector<unsigned char> _buffer;
};
