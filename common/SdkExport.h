#pragma once
// Marks the declarations that form a library's public interface. Everything else is compiled
// with hidden visibility, so the copies of the helpers that each library carries stay private.
#define SDK_EXPORT __attribute__((visibility("default")))
