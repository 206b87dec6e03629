// Both BER-TLV readers on arbitrary bytes, plus re-encoding of what they return.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "TLV.h"
#include "stdafx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int length = static_cast<int>(size);
    const std::list<TLV> nested = TLV::parseTLVData(data, length);
    for (const TLV& e : nested) {
        // No value can hold more bytes than the input.
        if (e.second.size() > 2 * size || e.len < 0) std::abort();
        (void)e.getFormattedTagString();
    }

    // The flat reader's elements re-encode in the shortest form, so together they never take
    // more bytes than the input did, and reading the re-encoding gives the same elements.
    const std::list<TLV> flat = TLV::parseTLVDataFlat(data, length);
    std::string reencoded;
    for (const TLV& e : flat) reencoded += e.toString();
    if (reencoded.size() > 2 * size) std::abort();
    const std::list<TLV> again = TLV::parseTLVDataFlat(H2BV(reencoded));
    if (again.size() != flat.size()) std::abort();
    auto a = again.begin();
    for (const TLV& e : flat) {
        if (a->first != e.first || a->second != e.second) std::abort();
        ++a;
    }
    if (!flat.empty()) (void)TLV::getTagValue(nested, flat.front().first);
    return 0;
}
