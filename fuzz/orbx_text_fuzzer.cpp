// The C API's text functions on arbitrary application and reader text: formatted commands,
// response, notification and file inspection, and command building. Input: selector byte, then
// the text (up to a 0x00) and a tag path after it. Nothing crashes or reads past the text; a
// returned text is terminated and made of upper-case hex where it is message hex.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "orbx.h"

namespace {

void requireHex(const char* text) {
    if (text == nullptr) return;
    const size_t n = std::strlen(text);
    if (n % 2 != 0) std::abort();
    for (size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) std::abort();
    }
}

void requireText(const char* text) {
    if (text != nullptr) (void)std::strlen(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string all(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t cut = all.find('\0');
    const std::string text = all.substr(0, cut);
    const std::string path = cut == std::string::npos ? std::string("81") : all.substr(cut + 1);
    const char* t = text.c_str();

    switch (data[0] % 4) {
        case 0: {
            const char* hex = ORBX_GetFormattedCommandBytesInHex(t);
            requireHex(hex);
            if (hex != nullptr) {
                // A built command reads back as a command, never as a response or notification.
                if (ORBX_GetResponseCommandID(hex) != 0) std::abort();
                if (ORBX_IsNotification(hex, 0, 0)) std::abort();
            }
            break;
        }
        case 1:
            ORBX_IsNotification(t, 0, 0);
            ORBX_IsNotification(t, ORBX_GetNotificationCode(t), 0x0101);
            ORBX_GetNotificationId(t);
            requireText(ORBX_GetNotificationParameter(t, path.c_str()));
            break;
        case 2:
            ORBX_GetCommandStatus(t);
            ORBX_GetOperationStatus(t);
            ORBX_GetResponseCommandID(t);
            ORBX_GetStatusCode(t);
            requireText(ORBX_GetResponseParameter(t, path.c_str()));
            break;
        default: {
            ORBX_IsFile(t);
            ORBX_GetFileID(t);
            requireText(ORBX_GetFilePayload(t));
            requireHex(ORBX_GetFileMessage(0x1234, t, 0x0100));
            void* command = ORBX_CreateCommand(static_cast<unsigned short>(size));
            ORBX_SetCommandParameter(command, static_cast<unsigned char>(data[0] | 0x80), t);
            requireHex(ORBX_GetCommandBytesInHex(command));
            ORBX_DeleteCommand(command);
            break;
        }
    }
    // Null texts are "no text", never a crash.
    ORBX_GetFormattedCommandBytesInHex(nullptr);
    ORBX_GetResponseParameter(nullptr, path.c_str());
    ORBX_GetNotificationParameter(t, nullptr);
    return 0;
}
