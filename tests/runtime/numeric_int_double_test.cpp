#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdint>
#include <limits>

#include "runtime/numeric.h"
#include "tests/runtime/fault_support.h"

namespace {

constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(IntHelpers, AbsModAndWrappingArithmetic) {
    EXPECT_EQ(ovIntAbs(kIntMin), kIntMin);
    EXPECT_EQ(ovIntMax(kIntMax, kIntMin), kIntMax);
    EXPECT_EQ(ovIntMod(-7, 2), -1);
    EXPECT_EQ(ovIntMod(7, -2), 1);
    EXPECT_EQ(ovIntMod(kIntMin, -3), -2);
    EXPECT_EQ(ovIntAddWrap(kIntMax, 1), kIntMin);
    EXPECT_EQ(ovIntMulWrap(kIntMax, 3), 2147483645);
    EXPECT_EQ(ovIntNegWrap(kIntMin), kIntMin);
}

using IntModDeathTest = testing::Test;

TEST_F(IntModDeathTest, ZeroDivisorAndTheOverflowingPairEndTheProcess) {
    EXPECT_EXIT({ detachStdinFromTerminal(); ovIntMod(1, 0); }, testing::ExitedWithCode(128 + SIGFPE),
                "Windows exception: EXCEPTION_INT_DIVIDE_BY_ZERO");
    EXPECT_EXIT({ detachStdinFromTerminal(); ovIntMod(kIntMin, -1); }, testing::ExitedWithCode(128 + SIGFPE),
                "Windows exception: EXCEPTION_INT_OVERFLOW");
}

TEST(DoubleHelpers, SignMinAndMaxOnZerosAndNaN) {
    for (const double x : {-0.0, kNaN}) {
        const double sign = ovDoubleSgn(x);
        EXPECT_TRUE(sign == 0.0 && !std::signbit(sign)) << x;
    }
    EXPECT_EQ(ovDoubleSgn(-1e-310), -1.0);
    EXPECT_TRUE(std::isnan(ovDoubleMin(1.0, kNaN)));
    EXPECT_EQ(ovDoubleMin(kNaN, 1.0), 1.0);
    EXPECT_EQ(ovDoubleMax(1.0, kNaN), 1.0);
    EXPECT_TRUE(std::isnan(ovDoubleMax(kNaN, 1.0)));
    // Zeros of both signs compare equal: the second operand is the result.
    EXPECT_TRUE(std::signbit(ovDoubleMin(0.0, -0.0)));
    EXPECT_TRUE(std::signbit(ovDoubleMax(0.0, -0.0)));
    EXPECT_FALSE(std::signbit(ovDoubleMax(-0.0, 0.0)));
}

TEST(DoubleToInt, TruncatesTowardZero) {
    const std::pair<double, int32_t> cases[] = {
        {2.5, 2},          {-2.5, -2},      {3.7, 3},
        {-3.7, -3},        {-0.5, 0},       {std::nextafter(3.0, 0.0), 2},
        {-1e-300, 0},      {2147483647.4, kIntMax}, {-2147483647.9, -2147483647},
        {-2147483648.4, kIntMin},
    };
    for (const auto& [x, expected] : cases) EXPECT_EQ(ovDoubleToInt(x), expected) << std::hexfloat << x;
}

TEST(DoubleToInt, GivesTheMostNegativeIntWhenTheNearestIntegerDoesNotFit) {
    // 2147483647.5 rounds to 2^31: no saturation to the largest Int.
    for (const double x : {2147483647.5, 3e9, -2147483648.6, HUGE_VAL, kNaN}) EXPECT_EQ(ovDoubleToInt(x), kIntMin) << x;
}

}  // namespace
