#pragma once
#include <map>
#include <string>
#include <vector>

// Splits magnetic-stripe track text into named fields: ISO/IEC 7813 financial cards ("ISO") or
// AAMVA driver's licences ("AAMVA"). Works on plain track text (sentinels included), never on
// encrypted data.
class MsrDataParser {
  public:
    // Type 0: ISO only; 1: AAMVA only; anything else: ISO, then AAMVA if ISO failed.
    // The track pointers must not be null.
    MsrDataParser(const char* track1, const char* track2, const char* track3, int Type);

    // The attribute's value, or "" when it was not set.
    std::string GetAttribute(const char* attribute) const;
    // "ISO", "AAMVA" or "" when neither format was recognised.
    std::string GetFormat() const { return Format; }

    bool ParseISO();
    bool ParseAamva();

    static std::string trimString(const std::string& source, const std::string& trim);
    static std::vector<std::string> splitString(const std::string& source,
                                                const std::string& delim);
    static std::string removeSentinels(const std::string& source, const std::string& startSentienl,
                                       const std::string& endSentinel);

  private:
    bool parseIsoTrack2();
    void parseIsoName(const std::string& accountField, const std::string& name);
    void set(const char* name, const std::string& value) { attributes[name] = value; }
    bool has(const char* name) const { return attributes.count(name) != 0; }

    std::string Track1, Track2, Track3;
    std::map<std::string, std::string> attributes;
    std::string Format;
};
