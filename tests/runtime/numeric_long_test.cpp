#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdint>
#include <limits>

#include "runtime/numeric.h"
#include "tests/runtime/fault_support.h"

namespace {

constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(LongArithmetic, WrapsAndKeepsTheMostNegativeValue) {
    EXPECT_EQ(ovLongAdd(kMax, 1), kMin);
    EXPECT_EQ(ovLongSub(kMin, 1), kMax);
    EXPECT_EQ(ovLongMul(0x100000001, 0x100000001), 0x200000001);  // carries across the words
    EXPECT_EQ(ovLongMul(kMax, 2), -2);
    EXPECT_EQ(ovLongNeg(kMin), kMin);
    EXPECT_EQ(ovLongAbs(kMin), kMin);
    EXPECT_EQ(ovLongAbs(-5), 5);
    EXPECT_EQ(ovLongSgn(int64_t{1} << 40), 1);  // a zero low word is not zero
    EXPECT_EQ(ovLongSgn(kMin), -1);
}

TEST(LongDivision, TruncatesTowardZeroWithRemainderSignedLikeTheDividend) {
    struct Case {
        int64_t a, b, quotient, remainder;
    };
    const Case cases[] = {
        {-7, 2, -3, -1},     {7, -2, -3, 1},      {-7, -2, 3, -1},    {kMin, -1, kMin, 0},
        {kMax, -1, -kMax, 0}, {kMin, kMax, -1, -1}, {-1, kMin, 0, -1}, {int64_t{1} << 40, 3, 366503875925, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " / " << c.b);
        EXPECT_EQ(ovLongDiv(c.a, c.b), c.quotient);
        EXPECT_EQ(ovLongMod(c.a, c.b), c.remainder);
    }
}

TEST(LongShifts, UseTheLowSixBitsOfTheCountAndCrossTheWords) {
    EXPECT_EQ(ovLongShl(1, 63), kMin);
    EXPECT_EQ(ovLongShl(1, 64), 1);
    EXPECT_EQ(ovLongShl(1, -1), kMin);  // -1 has the low six bits 63
    EXPECT_EQ(ovLongShl(0x0000000080000001, 33), 0x0000000200000000);
    EXPECT_EQ(ovLongShr(int64_t(0x8000000100000000), 33), 0x0000000040000000);
    EXPECT_EQ(ovLongShr(-1, 60), 15);
    EXPECT_EQ(ovLongSar(-8, 1), -4);
    EXPECT_EQ(ovLongSar(int64_t(0x8000000100000000), 36), int64_t(0xfffffffff8000000));
    EXPECT_EQ(ovLongSar(kMin, 128 + 63), -1);
}

TEST(LongComparison, IsSignedOverTheWholeValue) {
    // (smaller, larger): the low words compare the other way round in the
    // first two pairs, the signs differ in the others.
    const std::pair<int64_t, int64_t> ordered[] = {
        {0x00000000ffffffff, 0x0000000100000000}, {-0x100000000, -1}, {-1, 0}, {kMin, kMax}};
    for (const auto& [small, large] : ordered) {
        SCOPED_TRACE(testing::Message() << small << " < " << large);
        EXPECT_EQ(ovLongLt(small, large) + ovLongLe(small, large) + ovLongNe(small, large), 3);
        EXPECT_EQ(ovLongGt(small, large) + ovLongGe(small, large) + ovLongEq(small, large), 0);
        EXPECT_EQ(ovLongMin(large, small), small);
        EXPECT_EQ(ovLongMax(small, large), large);
    }
    EXPECT_EQ(ovLongLe(kMin, kMin) + ovLongGe(kMin, kMin) + ovLongEq(kMin, kMin), 3);
}

TEST(LongConversion, FromAndToOtherTypes) {
    EXPECT_EQ(ovLongFromInt(-1), -1);
    EXPECT_EQ(ovLongFromDouble(-3.9), -3);
    EXPECT_EQ(ovLongFromDouble(9223372036854774784.0), 9223372036854774784LL);  // largest below 2^63
    EXPECT_EQ(ovLongFromDouble(-9223372036854775808.0), kMin);
    for (const double outside : {9223372036854775808.0, -9223372036854777856.0, 1e300, -HUGE_VAL, kNaN})
        EXPECT_EQ(ovLongFromDouble(outside), kMin) << outside;
    EXPECT_EQ(ovLongToDouble((int64_t{1} << 53) + 1), 9007199254740992.0);  // tie goes to even
    EXPECT_EQ(ovLongToDouble(kMax), 9223372036854775808.0);
}

using LongDivisionDeathTest = testing::Test;

TEST_F(LongDivisionDeathTest, ZeroDivisorEndsTheProcessThroughTheFaultReport) {
    EXPECT_EXIT({ detachStdinFromTerminal(); ovLongDiv(1, 0); }, testing::ExitedWithCode(128 + SIGFPE),
                "Windows exception: EXCEPTION_INT_DIVIDE_BY_ZERO");
    EXPECT_EXIT({ detachStdinFromTerminal(); ovLongMod(kMin, 0); }, testing::ExitedWithCode(128 + SIGFPE),
                "Windows exception: EXCEPTION_INT_DIVIDE_BY_ZERO");
}

}  // namespace
