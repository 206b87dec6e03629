// Reader input is untrusted: random card reports, notification chunks and response buffers of
// every length must give a clean result (ready/error, a delivered or dropped notification, a
// status code) with every text terminated inside its field. Meant to run under ASan+UBSan.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "engine_fixture.h"

namespace {

Bytes randomBytes(std::mt19937& rng, size_t n, int fillBias) {
    Bytes b(n);
    for (auto& x : b) {
        int v = static_cast<int>(rng() % 256);
        // Some reports are mostly one value, so that lengths and offsets hit their limits.
        x = static_cast<unsigned char>(fillBias >= 0 && rng() % 4 != 0 ? fillBias : v);
    }
    return b;
}

TEST(RandomInput, CardReportsOfEveryLength) {
    std::mt19937 rng(20261211);
    const long models[] = {0x0001, 0x0019};
    for (long pid : models) {
        RecordingDelegate delegate;
        TestEngine<Kestrel> engine;
        engine.configure(modelRow(pid));
        engine.setDelegate(&delegate);
        for (int i = 0; i < 3000; ++i) {
            size_t n = i < 1200 ? static_cast<size_t>(i) : 1 + rng() % 2100;
            const int biases[] = {-1, 0x00, 0xFF, 0x70};
            Bytes r = randomBytes(rng, n, biases[i % 4]);
            if (!r.empty()) r[0] = 1;
            engine.onData(nullptr, r.data(), static_cast<int>(r.size()));
            VLMSRDATA m = engine.getCardData();
            ASSERT_LT(strnlen(m.m_szCardData, sizeof m.m_szCardData), sizeof m.m_szCardData);
            ASSERT_LT(strnlen(m.m_szPAN, 256), 256u);
            ASSERT_LT(strnlen(m.m_szFirstName, 256), 256u);
            ASSERT_LE(m.m_dwFluxmarkLength, 128);
            engine.GetCardDataStr("|");
        }
        EXPECT_EQ(delegate.cardStates.size(), 3000u - 1);  // the empty report is not a report
    }
}

TEST(RandomInput, NotificationChunks) {
    std::mt19937 rng(7);
    RecordingDelegate delegate;
    TestEngine<Kestrel> engine;
    engine.setDelegate(&delegate);
    for (int i = 0; i < 5000; ++i) {
        Bytes chunk = randomBytes(rng, rng() % 300, -1);
        if (!chunk.empty()) chunk[0] = 2;
        if (chunk.size() > 8 && rng() % 2) {
            chunk[7] = 0;  // small totals, so that some notifications complete
            chunk[8] = static_cast<unsigned char>(rng() % 64);
            chunk[3] = 0;
            chunk[4] = static_cast<unsigned char>(rng() % 2 ? 0 : rng() % 64);
            chunk[2] = static_cast<unsigned char>(rng() % 70);
        }
        engine.onData(nullptr, chunk.data(), static_cast<int>(chunk.size()));
    }
    for (const auto& n : delegate.notifications)
        EXPECT_TRUE(n.nullData ? n.data.empty() : !n.data.empty());
    EXPECT_FALSE(delegate.notifications.empty());
    EXPECT_FALSE(delegate.errors.empty());
}

TEST(RandomInput, ResponseBuffers) {
    std::mt19937 rng(99);
    Kestrel engine;
    for (int i = 0; i < 5000; ++i) {
        Bytes b = randomBytes(rng, rng() % 400, i % 2 ? 0x0A : -1);
        char out[300];
        int outLen = static_cast<int>(rng() % sizeof out);
        int rc = engine.MakeHexStringFromResponse(b.empty() ? nullptr : b.data(),
                                                  static_cast<int>(b.size()), out, &outLen);
        ASSERT_GE(rc, 0);
        if (rc == 0) {
            ASSERT_EQ(static_cast<int>(strnlen(out, sizeof out)), outLen);
        }
    }
}

}  // namespace
