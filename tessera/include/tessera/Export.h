#pragma once
// Marks the classes and functions of libtessera's public interface. Everything else in the
// library is compiled with hidden visibility. The definition is the same as the one the
// libraries use internally, so both may be seen in one translation unit.
#ifndef SDK_EXPORT
#define SDK_EXPORT __attribute__((visibility("default")))
#endif
