#pragma once
// Hex and string helpers compiled into every library. Each library carries its own hidden copy.
// Two variants exist: the device libraries' (default) and libtessera's (SDK_TESSERA_VARIANT):
// the latter converts hex through a lookup table (odd-length or invalid digits behave
// differently), keeps every byte in H2ASCII, adds UC2HEX and has no LOWER.
#include <functional>
#include <string>
#include <vector>

std::string BV2H(std::vector<unsigned char> bytes);
std::string B2H(const unsigned char* buffer, int length);
std::vector<unsigned char> H2BV(std::string hex);
void H2B(std::string hex, unsigned char* buffer, int* length);
std::string I2HEX(int value);
std::string UL2HEX(unsigned long value);
std::string US2HEX4(unsigned short value);
std::string UL2HEX8(unsigned long value);
std::string ASCII2H(std::string text);
std::string H2ASCII(std::string hex);
std::string DUP(std::string s, int n);
std::string UPPER(std::string s);
#ifdef SDK_TESSERA_VARIANT
std::string UC2HEX(unsigned char value);
#else
std::string LOWER(std::string s);
#endif
bool ALL(std::string s, std::function<bool(int)> predicate);
std::vector<std::string> SPLIT(std::string s, std::string delimiter);
std::string TRIMLEFT(std::string s);
std::string TRIMRIGHT(std::string s);
std::string TRIM(std::string s);
std::string ESCAPE(std::string s);
std::wstring s2ws(const std::string& s);
std::string ws2s(const std::wstring& s);
void SLEEP(int milliseconds);

// Diagnostic hooks: they do nothing, so no card data can ever reach a log.
void DebugOutput(const char* format, ...);
void DebugOutputProtocol(const char* format, ...);

#ifdef SDK_TESSERA_VARIANT
// Lookup tables for hex conversion (libtessera only).
class h2i {
public:
    h2i();
    const std::string& toHex(unsigned char b) const { return CharToHex[b]; }
    unsigned char toByte(char H, char L) const {
        return static_cast<unsigned char>(CharToByte[static_cast<unsigned char>(H)] * 16 +
                                          CharToByte[static_cast<unsigned char>(L)]);
    }

    int CharToByte[256];
    std::string CharToHex[256];
};
extern const h2i h2iInstance;
#endif
