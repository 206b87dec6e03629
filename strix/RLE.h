#pragma once
#include <string>
#include <vector>

// Run-length decoding: two equal consecutive bytes followed by a count byte N stand for that
// byte repeated N times; any other byte stands for itself. The output is bounded by the size
// given at construction.
class RLE {
  public:
    explicit RLE(size_t bufferSize) : capacity(bufferSize) {}

    // Decodes `encoded`; false (and `decoded` unspecified) when a pair lacks its count byte or
    // the output would exceed the buffer size.
    bool decode(const std::string& encoded, std::string& decoded) const;

  private:
    size_t capacity;
};
