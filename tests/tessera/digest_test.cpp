// SHA-256 digests sent along with firmware and file transfers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Alg.h"
#include "stdafx.h"

using namespace TESSERA;

TEST(Alg, Sha256KnownVectors) {
    const struct {
        std::string input;
        const char* digest;
    } cases[] = {
        {"", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
        {"abc", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
        {std::string(1000000, 'a'),
         "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 16));
        const std::vector<unsigned char> data(c.input.begin(), c.input.end());
        EXPECT_EQ(BV2H(Alg::hash(data, "SHA256")), c.digest);
    }
}

TEST(Alg, AlgorithmNameIsIgnored) {
    const std::vector<unsigned char> abc{'a', 'b', 'c'};
    const std::string sha = BV2H(Alg::hash(abc, "SHA256"));
    for (const char* name : {"MD5", "", "sha1", "\xFF\xFE not UTF-8"}) {
        EXPECT_EQ(BV2H(Alg::hash(abc, name)), sha) << name;
    }
}

TEST(Alg, WorkerRefusesBuffersItCannotFill) {
    char out[256];
    const struct {
        const char* name;
        const char* data;
        int size;
        char* output;
        int capacity;
        bool ok;
    } cases[] = {
        {"fits", "abc", 3, out, 256, true},
        {"exactly 32", "abc", 3, out, 32, true},
        {"too small", "abc", 3, out, 31, false},
        {"no output", "abc", 3, nullptr, 256, false},
        {"negative size", "abc", -1, out, 256, false},
        {"no data but a size", nullptr, 3, out, 256, false},
        {"no data, no size", nullptr, 0, out, 256, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int size = c.capacity;
        EXPECT_EQ(Alg::hash(c.data, c.size, c.output, &size, L"SHA256"), c.ok);
        EXPECT_EQ(size, c.ok ? 32 : c.capacity);
    }
    EXPECT_FALSE(Alg::hash("abc", 3, out, nullptr, L"SHA256"));
}
