#include "SwipeCard.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace sim::swipe {

SwipeCard isoVisaCard() {
    SwipeCard c;
    c.track1 = "%B4111111111111111^TESTER/ALEX M.MR^2512101000000000000000000000000?";
    c.track2 = ";4111111111111111=25121010000000000000?";
    c.encodeType = 0;
    return c;
}

SwipeCard isoMastercardCard() {
    SwipeCard c;
    c.track1 = "%B5454545454545454^CARDHOLDER/PAT^2708201000000000000000?";
    c.track2 = ";5454545454545454=27082010000000000?";
    c.encodeType = 0;
    return c;
}

SwipeCard aamvaLicenceCard() {
    SwipeCard c;
    c.track1 = "%ILSPRINGFIELD^TESTER$ALEX$M^1200 OAK MEADOW DR^?";
    c.track2 = ";636035123456789012=280919900215=?";
    // versions, postal code (11), class (2), restrictions (10), endorsements (4), sex, height,
    // weight, hair, eyes, then the document id.
    c.track3 = std::string("%01") + "62701      " + "D " + "B         " + "    " + "M" + "510" +
               "180" + "BRO" + "BLU" + "0123456789" + "?";
    c.encodeType = 1;
    return c;
}

SwipeCard badSwipeCard() {
    SwipeCard c = isoVisaCard();
    c.track1.clear();
    c.status1 = 0x01;
    return c;
}

static std::string maskDigits(const std::string& pan) {
    if (pan.size() <= 8) return pan;
    return pan.substr(0, 4) + std::string(pan.size() - 8, '*') + pan.substr(pan.size() - 4);
}

std::string maskTrack(const std::string& track, uint8_t encodeType) {
    if (encodeType != 0 || track.size() < 3) return track;
    std::string out = track;
    size_t sep;
    size_t panStart;
    if (track[0] == '%') {
        panStart = 2;  // "%B"
        sep = track.find('^');
        if (sep == std::string::npos) return track;
        size_t second = track.find('^', sep + 1);
        out = track.substr(0, panStart) + maskDigits(track.substr(panStart, sep - panStart)) +
              track.substr(sep, second == std::string::npos ? std::string::npos : second - sep);
        if (second == std::string::npos) return out;
        sep = second;
        out += '^';
    } else if (track[0] == ';') {
        panStart = 1;
        sep = track.find('=');
        if (sep == std::string::npos) return track;
        out = track.substr(0, panStart) + maskDigits(track.substr(panStart, sep - panStart)) + "=";
    } else {
        return track;
    }
    // Expiry and service code (7 characters) stay, the discretionary data is starred out.
    std::string rest = track.substr(sep + 1);
    size_t end = rest.find('?');
    std::string body = rest.substr(0, end);
    std::string tail = end == std::string::npos ? "" : rest.substr(end);
    size_t keep = std::min<size_t>(7, body.size());
    out += body.substr(0, keep) + std::string(body.size() - keep, '*') + tail;
    return out;
}

std::vector<uint8_t> encryptTrack(const std::string& track, const std::array<uint8_t, 10>& ksn) {
    std::vector<uint8_t> out(track.begin(), track.end());
    out.resize((out.size() + 7) / 8 * 8, 0);
    // A keystream from the KSN (xorshift): enough to make the bytes unreadable to the host,
    // which never decrypts them.
    uint64_t s = 0x9E3779B97F4A7C15ull;
    for (uint8_t b : ksn) s = (s ^ b) * 0x100000001B3ull;
    for (auto& b : out) {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        b ^= static_cast<uint8_t>(s);
    }
    return out;
}

static void put(std::vector<uint8_t>& r, size_t at, const void* p, size_t n, size_t room) {
    if (n > room) throw std::length_error("track does not fit the card report");
    if (n > 0) std::memcpy(r.data() + at, p, n);  // an empty track may come as a null pointer
}

std::vector<uint8_t> buildCardReport(const SwipeCard& card, const SwipeModel& model,
                                     const SecureFields& secure, uint8_t reportId) {
    using namespace layout;
    const std::string* tracks[3] = {&card.track1, &card.track2, &card.track3};
    const uint8_t status[3] = {card.status1, card.status2, card.status3};
    std::vector<uint8_t> r;
    if (!model.encrypting) {
        r.assign(kClearSize, 0);
        const size_t at[3] = {kTrack1, kTrack2Clear, kTrack3Clear};
        const size_t room[3] = {kTrack2Clear - kTrack1, kTrack3Clear - kTrack2Clear,
                                kClearSize - kTrack3Clear};
        for (int i = 0; i < 3; ++i) {
            put(r, at[i], tracks[i]->data(), tracks[i]->size(), room[i]);
            r[4 + i] = static_cast<uint8_t>(tracks[i]->size());
        }
    } else {
        r.assign(secure.battery >= 0 ? kSecureSize + 1 : kSecureSize, 0);
        const size_t at[3] = {kTrack1, kTrack2Enc, kTrack3Enc};
        const size_t room[3] = {kTrack2Enc - kTrack1, kTrack3Enc - kTrack2Enc, 112};
        const size_t mat[3] = {kMasked1, kMasked2, kMasked3};
        for (int i = 0; i < 3; ++i) {
            std::vector<uint8_t> enc;
            if (!tracks[i]->empty()) enc = encryptTrack(*tracks[i], secure.ksn);
            put(r, at[i], enc.data(), enc.size(), room[i]);
            r[4 + i] = static_cast<uint8_t>(enc.size());
            std::string masked = maskTrack(*tracks[i], card.encodeType);
            put(r, mat[i], masked.data(), masked.size(), 112);
            r[kMaskedLens + i] = static_cast<uint8_t>(masked.size());
        }
        std::memcpy(&r[kFluxStatus], secure.fluxmarkStatus.data(), 4);
        size_t fl = std::min<size_t>(secure.fluxmark.size(), 128);
        r[kFluxLen] = static_cast<uint8_t>(fl);
        if (fl) std::memcpy(&r[kFlux], secure.fluxmark.data(), fl);
        std::string serial = secure.serial.substr(0, 16);
        std::memcpy(&r[kSerial], serial.data(), serial.size());
        r[kEncStatus] = static_cast<uint8_t>(secure.encryptionStatus & 0xFF);
        r[kEncStatus + 1] = static_cast<uint8_t>(secure.encryptionStatus >> 8);
        std::memcpy(&r[kKsn], secure.ksn.data(), 10);
        std::memcpy(&r[kSession], secure.sessionId.data(), 8);
        if (secure.battery >= 0) r[kBattery] = static_cast<uint8_t>(secure.battery);
    }
    r[0] = reportId;
    for (int i = 0; i < 3; ++i) r[1 + i] = status[i];
    r[7] = card.encodeType;
    return r;
}

}  // namespace sim::swipe
