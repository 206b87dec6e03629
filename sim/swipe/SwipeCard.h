#pragma once
// Magnetic-stripe cards for scripted swipes, and the card-data report a reader builds from one.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "SwipeModel.h"

namespace sim::swipe {

// What the read head saw: up to three tracks of text (sentinels included) with their decode
// status (bit 0 set: the track could not be read) and the card's encode type
// (0 ISO, 1 AAMVA, 2 CADL, 3 blank, 4 other, 5 undetermined, 6 none).
struct SwipeCard {
    std::string track1, track2, track3;
    uint8_t status1 = 0, status2 = 0, status3 = 0;
    uint8_t encodeType = 0;
};

// Realistic test cards (test account numbers, made-up holders).
SwipeCard isoVisaCard();        // three-field track 1 with "SURNAME/GIVEN M.TITLE", track 2
SwipeCard isoMastercardCard();  // tracks 1 and 2, no title
SwipeCard aamvaLicenceCard();   // driver's licence: tracks 1, 2 and 3
SwipeCard badSwipeCard();       // track 1 unreadable, track 2 fine

// Masked copy of a track as an encrypting reader prints it: the account number keeps its first
// four and last four digits, expiry and service code stay, discretionary data becomes '*'.
// Non-financial (AAMVA) tracks are returned unchanged.
std::string maskTrack(const std::string& track, uint8_t encodeType);

// The secure fields an encrypting reader adds to each report.
struct SecureFields {
    std::string serial = "B1234567890ABCDE";  // 16 characters
    std::array<uint8_t, 10> ksn{};            // DUKPT key serial number (counter in the low bits)
    std::array<uint8_t, 8> sessionId{};
    std::array<uint8_t, 4> fluxmarkStatus{};
    std::vector<uint8_t> fluxmark;  // up to 128 bytes
    uint16_t encryptionStatus = 0;
    int battery = -1;  // -1: the report ends before the battery byte
};

// Offsets of the card-data report (report ID at 0).
namespace layout {
constexpr size_t kTrack1 = 8;
constexpr size_t kTrack2Clear = 118, kTrack3Clear = 228, kClearSize = 338;
constexpr size_t kTrack2Enc = 120, kTrack3Enc = 232;
constexpr size_t kFluxStatus = 345, kFluxLen = 349, kFlux = 350, kSerial = 478, kEncStatus = 494;
constexpr size_t kKsn = 496, kMaskedLens = 506, kMasked1 = 509, kMasked2 = 621, kMasked3 = 733;
constexpr size_t kSession = 845, kBattery = 931, kSecureSize = 931;
}  // namespace layout

// The input report of one swipe, starting with reportId. A non-encrypting model yields the
// 338-byte clear layout; an encrypting one the secure layout (931 bytes, 932 with a battery
// byte) with tracks encrypted under a key derived from the KSN.
std::vector<uint8_t> buildCardReport(const SwipeCard& card, const SwipeModel& model,
                                     const SecureFields& secure, uint8_t reportId);

// The reversible track cipher of the simulated readers (padding to 8-byte blocks with zeros).
std::vector<uint8_t> encryptTrack(const std::string& track, const std::array<uint8_t, 10>& ksn);

}  // namespace sim::swipe
