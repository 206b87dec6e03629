#include "TagPath.h"

#include <cerrno>
#include <cstdlib>
// GCC 12 reports false maybe-uninitialized warnings inside <regex> when sanitizers are on.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <regex>
#include <stdexcept>

#include "TLV.h"
#include "stdafx.h"

namespace {
// "TAG" or "TAG(k)": a tag in hex, optionally followed by a decimal occurrence number.
const std::regex& stepPattern() {
    static const std::regex pattern(R"(([A-Fa-f0-9]+)(\((\d+)\))?)", std::regex::ECMAScript);
    return pattern;
}

// Value of the occurrence-th top-level element tagged `tag` in `value`; false when there is none.
bool findElement(const std::vector<unsigned char>& value, const std::string& tag,
                 unsigned long occurrence, std::vector<unsigned char>& found) {
    for (const TLV& e : TLV::parseTLVDataFlat(value)) {
        if (e.first != tag) continue;
        if (occurrence == 0) {
            found = H2BV(e.second);
            return true;
        }
        --occurrence;
    }
    return false;
}
}  // namespace

std::vector<unsigned char> DescendTagPath(std::vector<unsigned char> value,
                                          const std::vector<std::string>& steps) {
    for (const std::string& step : steps) {
        std::smatch m;
        if (!std::regex_match(step, m, stepPattern())) return {};
        unsigned long occurrence = 0;
        if (m[3].matched) {
            errno = 0;
            const std::string digits = m[3].str();
            occurrence = std::strtoul(digits.c_str(), nullptr, 10);
            if (errno == ERANGE) return {};  // no list holds that many elements
        }
        std::vector<unsigned char> next;
        if (!findElement(value, m[1].str(), occurrence, next)) return {};
        value = std::move(next);
    }
    return value;
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

std::vector<unsigned char> ResolveTagPath(const char* path, const ParameterLookup& parameterByTag) {
    if (path == nullptr) return {};
    std::vector<std::string> steps = SPLIT(path, ".");
    if (steps.empty()) return {};

    // The first step names the parameter as a hex number (read like strtoul does: leading blanks
    // and a valid prefix are accepted).
    const std::string& first = steps.front();
    char* end = nullptr;
    errno = 0;
    const unsigned long tag = std::strtoul(first.c_str(), &end, 16);
    if (end == first.c_str()) throw std::invalid_argument("Invalid tag path: " + first);
    if (errno == ERANGE || tag < 0x80 || tag > 0xBE) return {};

    std::vector<unsigned char> value = parameterByTag(static_cast<unsigned char>(tag));
    steps.erase(steps.begin());
    return DescendTagPath(std::move(value), steps);
}
