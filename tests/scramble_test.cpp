// Password scrambling against its closed form, over many passwords and seeds.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>

#include "protocol/scramble.h"

namespace {

using Eight = std::array<std::uint8_t, 8>;

// The outputs written out as XOR sums of the derived key bytes and the password.
Eight ClosedForm(const std::uint8_t p[8], std::uint32_t seed) {
    std::uint8_t k[8];
    for (int i = 0; i < 4; ++i) k[i] = static_cast<std::uint8_t>(seed >> (8 * i));
    k[4] = static_cast<std::uint8_t>(k[0] * (k[0] ^ k[3]));
    k[5] = static_cast<std::uint8_t>(k[1] * (k[1] ^ k[2]));
    k[6] = static_cast<std::uint8_t>(k[2] * (k[2] ^ k[1]));
    k[7] = static_cast<std::uint8_t>(k[3] * (k[3] ^ k[0]));
    return {static_cast<std::uint8_t>(k[0] ^ p[0]),
            static_cast<std::uint8_t>(k[0] ^ k[2] ^ p[0] ^ p[2]),
            static_cast<std::uint8_t>(k[2] ^ k[4] ^ p[4]),
            static_cast<std::uint8_t>(k[0] ^ k[4] ^ k[6] ^ p[0] ^ p[2] ^ p[4] ^ p[6]),
            static_cast<std::uint8_t>(k[1] ^ k[5] ^ k[7] ^ p[1] ^ p[3] ^ p[5] ^ p[7]),
            static_cast<std::uint8_t>(k[3] ^ k[5] ^ p[5]),
            static_cast<std::uint8_t>(k[1] ^ k[3] ^ p[1] ^ p[3]),
            static_cast<std::uint8_t>(k[1] ^ p[1])};
}

Eight Scramble(const char* password, std::uint32_t seed) {
    Eight out;
    ScrambleSecret(out.data(), password, seed);
    return out;
}

Eight Scramble(const std::uint8_t p[8], std::uint32_t seed) { return Scramble(reinterpret_cast<const char*>(p), seed); }

}  // namespace

TEST(ScrambleSecret, MatchesTheClosedFormForRandomPasswordsAndSeeds) {
    std::mt19937 random(20261211);
    for (int n = 0; n < 100000; ++n) {
        std::uint8_t p[9] = {};
        for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(random());
        const std::uint32_t seed = random();
        ASSERT_EQ(Scramble(p, seed), ClosedForm(p, seed)) << "seed " << seed;
    }
}

TEST(ScrambleSecret, SeedZeroLeavesOnlyThePasswordChains) {
    const std::uint8_t p[9] = {1, 2, 3, 4, 5, 6, 7, 8, 0};
    const Eight out = Scramble(p, 0);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[7], 2);
    EXPECT_EQ(out[2], 5);
    EXPECT_EQ(out[5], 6);
    const std::uint8_t zeros[9] = {};
    EXPECT_EQ(Scramble(zeros, 0), Eight{});
}

TEST(ScrambleSecret, EqualSeedBytesCancelDerivedKeys) {
    const std::uint8_t zeros[9] = {};
    // Lowest and highest bytes equal: K4 = K7 = 0, so O2 = K2 and O5 = K3 ^ K5.
    const Eight outer = Scramble(zeros, 0x5A12345A);
    EXPECT_EQ(outer[2], 0x12);
    // Middle bytes equal: K5 = K6 = 0, so O5 = K3.
    const Eight middle = Scramble(zeros, 0x12777734);
    EXPECT_EQ(middle[5], 0x12);
}

TEST(ScrambleSecret, ProductsWrapToEightBits) {
    const std::uint8_t zeros[9] = {};
    // K0 = 0xFF, K3 = 0x01: K4 = 0xFF * 0xFE = 0xFD02, low byte 0x02; O2 = K2 ^ K4.
    EXPECT_EQ(Scramble(zeros, 0x010000FF)[2], 0x02);
}

TEST(ScrambleSecret, EachPasswordByteReachesOnlyItsOutputs) {
    const std::uint8_t base[9] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0};
    const Eight reference = Scramble(base, 0xDEADBEEF);
    const std::vector<std::vector<int>> reaches = {{0, 1, 3}, {7, 6, 4}, {1, 3}, {6, 4}, {2, 3}, {5, 4}, {3}, {4}};
    for (int byte = 0; byte < 8; ++byte) {
        std::uint8_t changed[9];
        std::memcpy(changed, base, 9);
        changed[byte] ^= 0x20;
        const Eight out = Scramble(changed, 0xDEADBEEF);
        for (int o = 0; o < 8; ++o) {
            const bool expected = std::find(reaches[byte].begin(), reaches[byte].end(), o) != reaches[byte].end();
            EXPECT_EQ(out[o] != reference[o], expected) << "P" << byte << " O" << o;
        }
    }
}

TEST(ScrambleSecret, ReadsEightBytesOnlyAndShortPasswordsAreZeroFilled) {
    const char full[9] = {'1', '2', '3', '4', '5', '6', '7', '8', '\0'};
    const char withJunk[10] = {'1', '2', '3', '4', '5', '6', '7', '8', 'X', 'Y'};
    EXPECT_EQ(Scramble(full, 77), Scramble(withJunk, 77));
    char field[9] = {};
    std::strcpy(field, "abc");
    const std::uint8_t padded[9] = {'a', 'b', 'c', 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Scramble(field, 0x1234), ClosedForm(padded, 0x1234));
    EXPECT_EQ(Scramble(field, 0x1234), Scramble(field, 0x1234));
}
