#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <string>

#include "runtime/random.h"

namespace {

constexpr int64_t kModulus = 2147483647;
constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();
// The state after which RandomFloat and RandomDouble are as large as they get.
constexpr int32_t kLargestState = 0x7ffffffe;

// Seeds the generator so that its next step yields the given state
// (the seed is state / 48271 modulo 2^31 - 1).
void seedJustBefore(int32_t state) {
    int64_t inverse = 1;
    for (int64_t base = 48271, e = kModulus - 2; e > 0; e >>= 1, base = base * base % kModulus)
        if (e & 1) inverse = inverse * base % kModulus;
    SeedRandom(static_cast<int32_t>(state * inverse % kModulus));
}

TEST(RandomGenerator, FollowsTheMinimalStandardSequence) {
    // The standard library's engine of the same generator is the reference.
    for (const int32_t seed : {1, 123456789, 2147483646}) {
        SeedRandom(seed);
        std::minstd_rand reference(static_cast<uint32_t>(seed));
        for (int i = 0; i < 100; ++i) {
            RandomFloat();
            ASSERT_EQ(RandomSeed(), static_cast<int32_t>(reference())) << "seed " << seed << " step " << i;
        }
    }
}

TEST(RandomGenerator, StartsAtTheFixedStateAndRepeatsForTheSameSeed) {
    // A fresh process, so that no other test has moved the state yet.
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(_exit(RandomSeed() == 4660 ? 0 : 1), testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);
    SeedRandom(987654);
    const double first = RandomDouble(), second = RandomDouble();
    SeedRandom(987654);
    EXPECT_EQ(RandomDouble(), first);
    EXPECT_EQ(RandomDouble(), second);
}

TEST(RandomGenerator, UnusableSeedsBecomeTheFixedState) {
    for (const int32_t seed : {0, -1, kIntMin}) {
        SeedRandom(12345);
        EXPECT_EQ(SeedRandom(seed), 0);
        EXPECT_EQ(RandomSeed(), 4660) << seed;
    }
    SeedRandom(kIntMin + 5);
    EXPECT_EQ(RandomSeed(), 5);  // the sign bit is dropped
}

TEST(RandomFractions, StayBelowOneEvenForTheLargestState) {
    seedJustBefore(kLargestState);
    EXPECT_EQ(RandomFloat(), 0x0ffffff0 / 268435456.0f);
    seedJustBefore(kLargestState);
    const double largest = RandomDouble();
    EXPECT_LT(largest, 1.0);
    EXPECT_GT(largest, 1.0 - 1.0 / (1 << 26));
    for (int i = 0; i < 200; ++i) {
        ASSERT_LT(RandomFloat(), 1.0f);
        const double range = RandomRange(5.0, 2.0);
        ASSERT_TRUE(range >= 2.0 && range < 5.0) << range;
    }
}

TEST(RandomInt, CoversBothBoundsInEitherOrder) {
    SeedRandom(2024);
    std::set<int32_t> forward, backward;
    for (int i = 0; i < 300; ++i) {
        forward.insert(RandomInt(1, 10));
        backward.insert(RandomInt(10, 1));
        ASSERT_EQ(RandomInt(5, 5), 5);
    }
    const std::set<int32_t> oneToTen{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(forward, oneToTen);
    EXPECT_EQ(backward, oneToTen);
    seedJustBefore(kLargestState);
    EXPECT_EQ(RandomInt(10, 1), 10);
    seedJustBefore(1);  // the smallest draw
    EXPECT_EQ(RandomInt(-3, 3), -3);
}

TEST(RandomInt, BoundsFurtherApartThanTheIntRangeDoNotWrap) {
    seedJustBefore(kLargestState);
    EXPECT_GE(RandomInt(kIntMax, -2), kIntMax - 64);
    SeedRandom(99);
    bool negative = false, positive = false;
    for (int i = 0; i < 100; ++i) {
        const int32_t wide = RandomInt(kIntMin, kIntMax);
        negative |= wide < 0;
        positive |= wide > 0;
        ASSERT_GE(RandomInt(-2, kIntMax), -2);
    }
    EXPECT_TRUE(negative && positive);
}

}  // namespace
