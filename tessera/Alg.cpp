#include "Alg.h"

#include <openssl/evp.h>

#include <algorithm>

#include "stdafx.h"

namespace TESSERA {

namespace {
constexpr int kDigestSize = 32;
constexpr int kOutputCapacity = 256;
}  // namespace

std::vector<unsigned char> Alg::hash(std::vector<unsigned char> data, std::string algorithm) {
    std::wstring name;
    try {
        name = s2ws(algorithm);
    } catch (...) {
        // The name is not used; a name that is not UTF-8 must not stop the digest.
    }
    char output[kOutputCapacity];
    int outputSize = kOutputCapacity;
    if (!hash(reinterpret_cast<const char*>(data.data()), static_cast<int>(data.size()), output,
              &outputSize, name.c_str())) {
        return {};
    }
    return std::vector<unsigned char>(output, output + outputSize);
}

bool Alg::hash(const char* data, int dataSize, char* output, int* outputSize, const wchar_t*) {
    if (dataSize < 0 || (data == nullptr && dataSize > 0) || output == nullptr ||
        outputSize == nullptr || *outputSize < kDigestSize) {
        return false;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestSize = 0;
    static const char empty = 0;
    if (EVP_Digest(data != nullptr ? data : &empty, static_cast<size_t>(dataSize), digest,
                   &digestSize, EVP_sha256(), nullptr) != 1 ||
        digestSize != kDigestSize) {
        return false;
    }
    std::copy(digest, digest + kDigestSize, reinterpret_cast<unsigned char*>(output));
    *outputSize = kDigestSize;
    return true;
}

}  // namespace TESSERA
