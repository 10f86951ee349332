#include "app/tape.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace {

TEST(Tape, LongGrowthInBothDirectionsKeepsEveryCell) {
    Tape tape;
    std::set<int64_t> set;
    std::mt19937 random(7);
    for (int64_t step = 1; step <= 3000; ++step) {
        const int64_t left = -step, right = 63 + step;
        ASSERT_TRUE(tape.cover(left, left + 1));
        ASSERT_TRUE(tape.cover(right, right + 1));
        ASSERT_EQ(tape.cell(left), 0);
        ASSERT_EQ(tape.cell(right), 0);
        for (const int64_t p : {left, right}) {
            if (random() % 3 == 0) {
                tape.flip(p);
                set.insert(p);
            }
        }
    }
    EXPECT_EQ(tape.offset(), 3000);
    EXPECT_EQ(tape.size(), 3064);
    for (int64_t p = -3000; p < 3064; ++p) ASSERT_EQ(tape.cell(p), set.count(p) ? 1 : 0) << p;
}

TEST(Tape, BytesReadWithTheFirstCellMostSignificantAcrossWords) {
    for (const int64_t start : {0, 3, 60, 63, 64}) {
        Tape fresh;
        fresh.cover(start, start + 8);
        fresh.flip(start);
        fresh.flip(start + 7);
        EXPECT_EQ(fresh.readByte(start), 0x81) << start;
        fresh.flip(start + 1);
        EXPECT_EQ(fresh.readByte(start), 0xC1) << start;
    }
}

TEST(Tape, BitsWrittenLowFirstReadBackReversed) {
    Tape tape;
    tape.writeBitsLowFirst(60, 'A');
    const int expected[8] = {1, 0, 0, 0, 0, 0, 1, 0};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(tape.cell(60 + k), expected[k]) << k;
    EXPECT_EQ(tape.readByte(60), 130);
    tape.writeBitsLowFirst(60, 0xFF);
    EXPECT_EQ(tape.readByte(60), 0xFF);
    tape.writeBitsLowFirst(60, 0);
    EXPECT_EQ(tape.readByte(60), 0);
    EXPECT_EQ(tape.cell(59), 0);
    EXPECT_EQ(tape.cell(68), 0);
}

TEST(Tape, MaskedFlipMatchesSingleFlipsAtEveryAlignment) {
    std::mt19937 random(11);
    for (int64_t start = -70; start < 70; start += 13) {
        for (const int64_t bits : {1, 8, 63, 64, 65, 200}) {
            Tape masked, single;
            ASSERT_TRUE(masked.cover(start, start + bits));
            ASSERT_TRUE(single.cover(start, start + bits));
            std::vector<uint64_t> mask(static_cast<size_t>((bits + 63) / 64), 0);
            for (int64_t i = 0; i < bits; ++i) {
                if (random() % 2 == 0) continue;
                mask[static_cast<size_t>(i / 64)] |= (uint64_t{1} << 63) >> (i % 64);
                single.flip(start + i);
            }
            masked.flipMasked(start, mask.data(), bits);
            for (int64_t p = -masked.offset(); p < masked.size(); ++p)
                ASSERT_EQ(masked.cell(p), single.cell(p)) << start << " " << bits << " " << p;
        }
    }
}

TEST(Tape, RefusesToGrowPastItsLimitAndStaysUnchanged) {
    Tape tape(100);
    EXPECT_TRUE(tape.cover(-36, -35));
    EXPECT_EQ(tape.length(), 100);
    EXPECT_FALSE(tape.cover(-37, -36));
    EXPECT_FALSE(tape.cover(64, 65));
    EXPECT_EQ(tape.offset(), 36);
    EXPECT_EQ(tape.size(), 64);
    EXPECT_TRUE(tape.cover(-36, 64));
}

TEST(Tape, TheDefaultLimitIsTheIntRange) {
    Tape tape;
    EXPECT_FALSE(tape.cover(INT32_MAX, int64_t{INT32_MAX} + 1));
    EXPECT_FALSE(tape.cover(INT32_MIN, int64_t{INT32_MIN} + 1));
    EXPECT_EQ(tape.length(), 64);
}

}  // namespace
