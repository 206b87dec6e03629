#pragma once
// Lookup in the fixed tables that pair an enumerator with its event string. Used by the
// builders, whose strings are exact, case-sensitive vocabularies.
#include <cstddef>
#include <string>

namespace TESSERA {

template <typename E>
struct NamedValue {
    E value;
    const std::string* text;
};

// The value whose string equals text exactly, else fallback.
template <typename E, std::size_t N>
E valueOf(const NamedValue<E> (&table)[N], const std::string& text, E fallback) {
    for (const auto& entry : table) {
        if (*entry.text == text) return entry.value;
    }
    return fallback;
}

// The string of value, else "".
template <typename E, std::size_t N>
std::string stringOf(const NamedValue<E> (&table)[N], E value) {
    for (const auto& entry : table) {
        if (entry.value == value) return *entry.text;
    }
    return std::string();
}

}  // namespace TESSERA
