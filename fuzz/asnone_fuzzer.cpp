// One-byte-tag sequences on arbitrary bytes: reading never overruns, and writing what was read
// then reading it again gives the same elements.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ASNOne.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::list<ASNOne> elements = ASNOne::ParseData(data, size);
    std::vector<unsigned char> written;
    for (const ASNOne& e : elements) {
        if (e.Value().size() > size) std::abort();
        const std::vector<unsigned char> bytes = e.toBytes();
        written.insert(written.end(), bytes.begin(), bytes.end());
        (void)e.ParseValue();
        (void)e.getFormattedTagString();
    }
    if (written.size() > size) std::abort();
    const std::list<ASNOne> again = ASNOne::ParseData(written);
    if (again != elements) std::abort();
    if (!elements.empty()) (void)ASNOne::GetTagValue(elements, elements.front().Tag());
    return 0;
}
