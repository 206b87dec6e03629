#pragma once
// Tag paths address a value nested inside a message parameter, e.g. "A4.A4.A0(2).81":
//   - steps are separated by ".";
//   - the first step is a hex number naming an inner-frame parameter by its tag (0x80..0xBE);
//   - every further step is "TAG" or "TAG(k)": the k-th (from 0, default 0) top-level BER-TLV
//     element with that tag inside the current value (read with TLV::parseTLVDataFlat). Tags are
//     compared as upper-case text exactly, so steps must write them in upper case ("A0", not
//     "a0").
// A step that matches nothing (missing tag, missing occurrence, or text that is not of the form
// above) makes the result empty: the rest of the path is not resolved against a stale value.
#include <functional>
#include <string>
#include <vector>

// Looks up an inner-frame parameter by its tag byte; returns an empty vector when absent.
using ParameterLookup = std::function<std::vector<unsigned char>(unsigned char tag)>;

// Resolves a whole path. A null or empty path, or a first step outside 0x80..0xBE, gives an
// empty result. Throws std::invalid_argument when the first step is not a hex number.
std::vector<unsigned char> ResolveTagPath(const char* path, const ParameterLookup& parameterByTag);

// Applies the steps after the first to a value (the descent part of ResolveTagPath).
std::vector<unsigned char> DescendTagPath(std::vector<unsigned char> value,
                                          const std::vector<std::string>& steps);
