#include "RLE.h"

bool RLE::decode(const std::string& in, std::string& out) const {
    out.clear();
    size_t i = 0;
    while (i < in.size()) {
        if (i + 1 < in.size() && in[i] == in[i + 1]) {
            if (i + 2 >= in.size()) return false;  // a pair without its count byte
            size_t count = static_cast<unsigned char>(in[i + 2]);
            if (out.size() + count > capacity) return false;
            out.append(count, in[i]);
            i += 3;
        } else {
            if (out.size() + 1 > capacity) return false;
            out += in[i];
            ++i;
        }
    }
    return true;
}
