// The message frame on arbitrary bytes: parsing fails only with an error, and a parsed frame
// written and read again is the same frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "AsterAPIFrameWork.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<unsigned char> input(data, data + size);
    try {
        const AsterAPIFrameWork frame = AsterAPIFrameWork::Parse(input);
        const std::vector<unsigned char> wire = frame.ToBytes();
        if (wire.size() > size) std::abort();
        if (wire.size() > 2) {
            const AsterAPIFrameWork again = AsterAPIFrameWork::Parse(wire);
            if (again.ID() != frame.ID() || again.parameters != frame.parameters) std::abort();
        }
        (void)frame.GetAllParameterTags();
    } catch (const std::runtime_error&) {
        // "invalid data": too short
    }
    return 0;
}
