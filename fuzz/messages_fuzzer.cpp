// The four message readers and tag-path lookups on arbitrary bytes. Every fault must surface as
// an exception, never as a crash, overrun or huge allocation.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "AsterCommand.h"
#include "AsterFileMessage.h"
#include "AsterNotification.h"
#include "AsterResponse.h"

namespace {
const char* const kPaths[] = {"A4.A4.A0(0).81", "A4.A4.A0(2).81", "A4.A4.A0(1).82",
                              "84.81",          "A2.81",          "81",
                              "BE.9F02(3).5F20"};

template <typename F>
void guarded(F f) {
    try {
        f();
    } catch (const std::exception&) {
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<unsigned char> input(data, data + size);
    guarded([&] {
        const AsterResponse r = AsterResponse::Parse(input);
        (void)r.GetStatus();
        (void)r.GetAllResponseTags();
        for (const char* path : kPaths) (void)r.GetResponseParameter(path);
    });
    guarded([&] {
        const AsterNotification n = AsterNotification::Parse(input);
        (void)n.GetNotificationNode();
        for (const char* path : kPaths) (void)n.GetNotificationParameter(path);
    });
    guarded([&] {
        const AsterCommand c = AsterCommand::Parse(input);
        (void)c.ToBytes();
    });
    guarded([&] {
        const AsterFileMessage f = AsterFileMessage::ParseFileMessage(input);
        (void)f.ToBytes();
    });
    return 0;
}
