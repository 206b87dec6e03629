#include "stdafx.h"

#include <cctype>
#include <chrono>
#include <codecvt>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <thread>

namespace {
const char kHexDigits[] = "0123456789ABCDEF";

void appendHex(std::string& out, unsigned char b) {
    out.push_back(kHexDigits[b >> 4]);
    out.push_back(kHexDigits[b & 0x0F]);
}
}  // namespace

#ifdef SDK_TESSERA_VARIANT
h2i::h2i() {
    for (int i = 0; i < 256; ++i) {
        CharToHex[i].clear();
        appendHex(CharToHex[i], static_cast<unsigned char>(i));
        CharToByte[i] = 0;
    }
    for (int c = '0'; c <= '9'; ++c) CharToByte[c] = c - '0';
    for (int c = 'A'; c <= 'F'; ++c) CharToByte[c] = c - 'A' + 10;
    for (int c = 'a'; c <= 'f'; ++c) CharToByte[c] = c - 'a' + 10;
}
const h2i h2iInstance;
#endif

std::string BV2H(std::vector<unsigned char> bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
#ifdef SDK_TESSERA_VARIANT
    for (unsigned char b : bytes) out += h2iInstance.toHex(b);
#else
    for (unsigned char b : bytes) appendHex(out, b);
#endif
    return out;
}

std::string B2H(const unsigned char* buffer, int length) {
    if (buffer == nullptr || length <= 0) return "";
    try {
        std::string out;
        out.reserve(static_cast<size_t>(length) * 2);
        for (int i = 0; i < length; ++i) appendHex(out, buffer[i]);
        return out;
    } catch (...) {
        return "";
    }
}

std::vector<unsigned char> H2BV(std::string hex) {
    std::vector<unsigned char> out;
#ifdef SDK_TESSERA_VARIANT
    if (hex.size() % 2 != 0) return out;
    out.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) out.push_back(h2iInstance.toByte(hex[i], hex[i + 1]));
#else
    out.reserve(hex.size() / 2 + 1);
    for (size_t i = 0; i < hex.size(); i += 2) {
        // Each pair (or the lone last digit) is read as strtoul reads it: leading blanks and a
        // sign are accepted and conversion stops at the first non-hex character.
        char pair[3] = {hex[i], i + 1 < hex.size() ? hex[i + 1] : '\0', '\0'};
        out.push_back(static_cast<unsigned char>(std::strtoul(pair, nullptr, 16) & 0xFF));
    }
#endif
    return out;
}

void H2B(std::string hex, unsigned char* buffer, int* length) {
    std::vector<unsigned char> bytes = H2BV(std::move(hex));
    int n = static_cast<int>(bytes.size());
    if (buffer != nullptr && *length >= n && n > 0) std::copy(bytes.begin(), bytes.end(), buffer);
    *length = n;
}

std::string I2HEX(int value) {
    if (value <= 0) return "00";
    std::string out;
    bool started = false;
    for (int shift = 24; shift >= 0; shift -= 8) {
        unsigned char b = static_cast<unsigned char>((static_cast<unsigned>(value) >> shift) & 0xFF);
        if (b == 0 && !started) continue;
        started = true;
        appendHex(out, b);
    }
    return out;
}

std::string UL2HEX(unsigned long value) {
    std::string out;
    for (int shift = 56; shift >= 0; shift -= 8)
        appendHex(out, static_cast<unsigned char>((value >> shift) & 0xFF));
    return out;
}

std::string US2HEX4(unsigned short value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(value));
    return buf;
}

std::string UL2HEX8(unsigned long value) {
    // Callers pass 32-bit quantities; a wider value is cut to its low 32 bits rather than
    // overrunning the formatting buffer.
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08lX", value & 0xFFFFFFFFul);
    return buf;
}

#ifdef SDK_TESSERA_VARIANT
std::string UC2HEX(unsigned char value) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(value));
    return buf;
}
#endif

std::string ASCII2H(std::string text) {
    return B2H(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
}

std::string H2ASCII(std::string hex) {
    int n = 0;
    H2B(hex, nullptr, &n);
    std::vector<unsigned char> bytes(static_cast<size_t>(n) + 1, 0);
    H2B(hex, bytes.data(), &n);
#ifdef SDK_TESSERA_VARIANT
    return std::string(bytes.begin(), bytes.begin() + n);
#else
    return std::string(reinterpret_cast<const char*>(bytes.data()));
#endif
}

std::string DUP(std::string s, int n) {
    std::string out;
    if (n <= 0) return out;
    out.reserve(s.size() * static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

std::string UPPER(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

#ifndef SDK_TESSERA_VARIANT
std::string LOWER(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
#endif

bool ALL(std::string s, std::function<bool(int)> predicate) {
    for (char c : s)
        if (!predicate(static_cast<unsigned char>(c))) return false;
    return true;
}

std::vector<std::string> SPLIT(std::string s, std::string delimiter) {
    std::vector<std::string> out;
    if (delimiter.empty()) {
        out.push_back(s);
        return out;
    }
    size_t start = 0;
    while (start < s.size()) {
        size_t pos = s.find(delimiter, start);
        if (pos == std::string::npos) {
            out.push_back(s.substr(start));
            break;
        }
        out.push_back(s.substr(start, pos - start));
        start = pos + delimiter.size();
    }
    return out;
}

static bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string TRIMLEFT(std::string s) {
    size_t i = 0;
    while (i < s.size() && isBlank(s[i])) ++i;
    return s.substr(i);
}

std::string TRIMRIGHT(std::string s) {
    size_t n = s.size();
    while (n > 0 && isBlank(s[n - 1])) --n;
    s.resize(n);
    return s;
}

std::string TRIM(std::string s) { return TRIMRIGHT(TRIMLEFT(std::move(s))); }

std::string ESCAPE(std::string s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
            case '\b': out += "\\b"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\f': out += "\\f"; break;
            case '\r': out += "\\r"; break;
            case '"': out += "\\\""; break;
            case '/': out += "\\/"; break;
            case '\\': out += "\\\\"; break;
            default: out.push_back(c);
        }
    }
    return out;
}

// std::wstring_convert is deprecated but is the standard UTF-8 codec whose range_error callers
// rely on for malformed input.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
std::wstring s2ws(const std::string& s) {
    std::wstring_convert<std::codecvt_utf8<wchar_t>> conv;
    return conv.from_bytes(s);
}

std::string ws2s(const std::wstring& s) {
    std::wstring_convert<std::codecvt_utf8<wchar_t>> conv;
    return conv.to_bytes(s);
}
#pragma GCC diagnostic pop

void SLEEP(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void DebugOutput(const char*, ...) {}
void DebugOutputProtocol(const char*, ...) {}
