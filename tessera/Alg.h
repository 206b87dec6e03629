#pragma once
#include <string>
#include <vector>

namespace TESSERA {

// Digests that firmware and file transfers send along. SHA-256 is the only algorithm: the
// name callers pass ("SHA256") is accepted and ignored.
class Alg {
  public:
    // The 32-byte SHA-256 digest of data; empty if it could not be computed.
    static std::vector<unsigned char> hash(std::vector<unsigned char> data, std::string algorithm);

    // Writes the digest of dataSize bytes at data to output, whose capacity the caller passes
    // in *outputSize, and sets *outputSize to 32. False (nothing written) for a negative size,
    // missing data, or an output buffer that is missing or smaller than 32 bytes.
    static bool hash(const char* data, int dataSize, char* output, int* outputSize,
                     const wchar_t* Algorithm);
};

}  // namespace TESSERA
