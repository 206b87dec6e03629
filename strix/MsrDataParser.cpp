#include "MsrDataParser.h"

namespace {
const char kBlanks[] = " \t\r\n";

std::string cut(const std::string& s, size_t pos, size_t len = std::string::npos) {
    return pos < s.size() ? s.substr(pos, len) : std::string();
}
}  // namespace

MsrDataParser::MsrDataParser(const char* track1, const char* track2, const char* track3, int Type)
    : Track1(track1 != nullptr ? track1 : ""),
      Track2(track2 != nullptr ? track2 : ""),
      Track3(track3 != nullptr ? track3 : "") {
    if (Type == 0)
        ParseISO();
    else if (Type == 1)
        ParseAamva();
    else if (!ParseISO())
        ParseAamva();
}

std::string MsrDataParser::GetAttribute(const char* attribute) const {
    if (attribute == nullptr) return "";
    auto it = attributes.find(attribute);
    return it == attributes.end() ? "" : it->second;
}

std::string MsrDataParser::trimString(const std::string& source, const std::string& trim) {
    size_t first = source.find_first_not_of(trim);
    if (first == std::string::npos) return "";
    size_t last = source.find_last_not_of(trim);
    return source.substr(first, last - first + 1);
}

std::vector<std::string> MsrDataParser::splitString(const std::string& source,
                                                    const std::string& delim) {
    std::vector<std::string> pieces;
    if (delim.empty()) {
        std::string piece = trimString(source, kBlanks);
        if (!piece.empty()) pieces.push_back(piece);
        return pieces;
    }
    size_t start = 0;
    while (start <= source.size()) {
        size_t pos = source.find(delim, start);
        std::string piece = trimString(
            source.substr(start, pos == std::string::npos ? std::string::npos : pos - start),
            kBlanks);
        if (!piece.empty()) pieces.push_back(piece);
        if (pos == std::string::npos) break;
        start = pos + delim.size();
    }
    return pieces;
}

std::string MsrDataParser::removeSentinels(const std::string& source,
                                           const std::string& startSentienl,
                                           const std::string& endSentinel) {
    if (source.size() < endSentinel.size() ||
        source.compare(source.size() - endSentinel.size(), endSentinel.size(), endSentinel) != 0)
        return source;
    std::string inner = source.substr(0, source.size() - endSentinel.size());
    if (inner.compare(0, startSentienl.size(), startSentienl) == 0)
        inner.erase(0, startSentienl.size());
    return inner;
}

bool MsrDataParser::parseIsoTrack2() {
    std::vector<std::string> parts =
        splitString(trimString(removeSentinels(Track2, ";", "?"), kBlanks), "=");
    if (parts.size() != 2) return false;
    set("AccountNumber", parts[0]);
    const std::string& rest = parts[1];
    if (!has("ExpirationDate") && rest.size() > 3) set("ExpirationDate", rest.substr(0, 4));
    if (!has("ServiceCode") && rest.size() > 6) set("ServiceCode", rest.substr(4, 3));
    if (rest.size() > 7) set("Track2DiscretionaryData", rest.substr(7));
    return true;
}

void MsrDataParser::parseIsoName(const std::string& accountField, const std::string& name) {
    set("Name", name);
    std::vector<std::string> parts = splitString(name, "/");
    if (parts.size() == 2) {
        if (accountField.compare(0, 2, "59") == 0) {
            set("CountryCode", parts[0].substr(0, 3));
            set("Surname", trimString(cut(parts[0], 3), kBlanks));
        } else {
            set("Surname", trimString(parts[0], kBlanks));
        }
        std::vector<std::string> words = splitString(trimString(parts[1], kBlanks), " ");
        if (!words.empty()) set("FirstName", words[0]);
        if (words.size() > 1) {
            std::vector<std::string> initial = splitString(words[1], ".");
            if (initial.size() >= 2) {
                set("MiddleInitial", initial[0]);
                set("Title", initial[1]);
            } else {
                set("MiddleInitial", words[1]);
            }
        }
    } else if (!name.empty() && name.back() == '/') {
        if (!parts.empty()) set("Surname", trimString(parts[0], kBlanks));
    } else if (!name.empty() && name.front() == '/') {
        if (parts.empty()) return;
        std::vector<std::string> words = splitString(trimString(parts[0], kBlanks), " ");
        if (!words.empty()) set("FirstName", words[0]);
        if (words.size() > 1) set("MiddleInitial", words[1]);
    } else {
        std::vector<std::string> words = splitString(trimString(name, kBlanks), " ");
        if (!words.empty()) set("FirstName", words[0]);
        if (words.size() == 2) {
            set("Surname", words[1]);
        } else if (words.size() > 2) {
            set("MiddleInitial", words[1]);
            set("Surname", words[2]);
            if (words.size() > 3) {
                std::string suffix = words[3];
                for (size_t i = 4; i < words.size() && i < 6; ++i) suffix += " " + words[i];
                set("Suffix", suffix);
            }
        }
    }
}

bool MsrDataParser::ParseISO() {
    attributes.clear();
    Format.clear();
    try {
        std::vector<std::string> fields =
            splitString(trimString(removeSentinels(Track1, "%", "?"), kBlanks), "^");
        if (fields.size() == 3 && !fields[0].empty()) {
            std::string account = fields[0].substr(1);  // without the format code
            if (!account.empty()) set("AccountNumber", account);
            const std::string& tail = fields[2];
            if (tail.size() > 3) set("ExpirationDate", tail.substr(0, 4));
            if (tail.size() > 6) set("ServiceCode", tail.substr(4, 3));
            if (tail.size() > 7) set("Track1DiscretionaryData", tail.substr(7));
            parseIsoName(account, fields[1]);
            parseIsoTrack2();
            Format = "ISO";
            return true;
        }
        if (parseIsoTrack2()) {
            Format = "ISO";
            return true;
        }
    } catch (...) {
    }
    attributes.clear();
    return false;
}

bool MsrDataParser::ParseAamva() {
    attributes.clear();
    Format.clear();
    try {
        std::string t1 = removeSentinels(Track1, "%", "?");
        if (t1.size() < 2) return false;
        set("State", t1.substr(0, 2));
        t1.erase(0, 2);

        // City and name are "^"-terminated, or fixed-width when no "^" comes within the width.
        auto takeField = [&t1](size_t width) {
            size_t p = t1.find('^');
            std::string field;
            if (p == std::string::npos || p > width - 1) {
                field = t1.substr(0, width);
                t1.erase(0, width);
            } else {
                field = t1.substr(0, p);
                t1.erase(0, p + 1);
            }
            return field;
        };
        set("City", takeField(13));
        std::string name = takeField(35);
        set("Name", name);
        std::vector<std::string> nameParts = splitString(name, "$");
        if (nameParts.size() > 0) set("Surname", nameParts[0]);
        if (nameParts.size() > 1) set("FirstName", nameParts[1]);
        if (nameParts.size() > 2) set("Suffix", nameParts[2]);
        set("Address", trimString(t1, "^"));

        std::string t2 = removeSentinels(Track2, ";", "?");
        if (t2.size() <= 5) return false;
        set("IIN", t2.substr(0, 6));
        size_t eq = t2.find('=');
        if (eq != std::string::npos) set("AccountNumber", t2.substr(0, eq));
        std::string rest = t2.substr(6);
        eq = rest.find('=');
        if (eq != std::string::npos) {
            std::string licence = rest.substr(0, eq);
            rest.erase(0, eq + 1);
            if (rest.size() > 11) {
                set("ExpirationDate", rest.substr(0, 4));
                set("BirthDate", rest.substr(4, 8));
                std::string overflow = trimString(rest.substr(12), "=");
                licence += overflow;  // the overflow of long licence numbers
            }
            set("LicenseNumber", licence);
        }

        std::string t3 = removeSentinels(Track3, "%", "?");
        if (t3.size() > 41) {
            set("PostalCode", t3.substr(2, 11));
            set("Class", t3.substr(13, 2));
            set("Restrictions", t3.substr(15, 10));
            set("Endorsements", t3.substr(25, 4));
            set("Gender", t3.substr(29, 1));
            set("Height", t3.substr(30, 3));
            set("Weight", t3.substr(33, 3));
            set("HairColor", t3.substr(36, 3));
            set("EyeColor", t3.substr(39, 3));
        }
        Format = "AAMVA";
        return true;
    } catch (...) {
        attributes.clear();
        return false;
    }
}
