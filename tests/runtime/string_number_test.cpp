// Numbers written as Strings and read back from them.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "string_test_support.h"

TEST(StringFormat, IntDigitsAndTheMostNegativeValue) {
    EXPECT_EQ(text(ovStringFromInt(0)), u"0");
    EXPECT_EQ(text(ovStringFromInt(7)), u"7");
    EXPECT_EQ(text(ovStringFromInt(-120)), u"-120");
    EXPECT_EQ(text(ovStringFromInt(2147483647)), u"2147483647");
    EXPECT_EQ(text(ovStringFromInt(INT32_MIN)), u"-2147483648");
}

TEST(StringFormat, LongDigitsAndTheMostNegativeValue) {
    EXPECT_EQ(text(ovStringFromLong(0)), u"0");
    EXPECT_EQ(text(ovStringFromLong(-10)), u"-10");
    EXPECT_EQ(text(ovStringFromLong(INT64_MAX)), u"9223372036854775807");
    EXPECT_EQ(text(ovStringFromLong(INT64_MIN)), u"-9223372036854775808");
}

TEST(StringFormat, EveryDigitCountAgreesWithTheStandardLibrary) {
    auto expected = [](int64_t value) {
        const std::string digits = std::to_string(value);
        return std::u16string(digits.begin(), digits.end());
    };
    std::vector<int64_t> values = {INT64_MAX, INT64_MIN, INT64_MIN + 1};
    // Both sides of every power of ten, where the digit count changes.
    for (int64_t power = 1; power <= INT64_MAX / 10; power *= 10)
        for (int64_t value : {power - 1, power, power + 1, 10 * power - 1}) {
            values.push_back(value);
            values.push_back(-value);
        }
    for (int64_t value : values) {
        EXPECT_EQ(text(ovStringFromLong(value)), expected(value)) << value;
        if (value >= INT32_MIN && value <= INT32_MAX) {
            EXPECT_EQ(text(ovStringFromInt(static_cast<int32_t>(value))), expected(value)) << value;
        }
    }
}

TEST(StringFormat, FloatShowsNineSignificantDigits) {
    EXPECT_EQ(text(ovStringFromFloat(1.0f)), u"1.00000000");
    EXPECT_EQ(text(ovStringFromFloat(0.1f)), u"0.100000001");
    EXPECT_EQ(text(ovStringFromFloat(123456789.0f)), u"123456792.");
    EXPECT_EQ(text(ovStringFromFloat(1.5e-5f)), u"1.49999996e-05");
}

TEST(StringFormat, DoubleShowsSeventeenSignificantDigits) {
    EXPECT_EQ(text(ovStringFromDouble(1.0)), u"1.0000000000000000");
    EXPECT_EQ(text(ovStringFromDouble(0.1)), u"0.10000000000000001");
    EXPECT_EQ(text(ovStringFromDouble(-2.5e10)), u"-25000000000.000000");
    EXPECT_EQ(text(ovStringFromDouble(0x1p-20)), u"9.5367431640625000e-07");
}

TEST(StringParseInt, WhiteSpaceSignAndDecimalDigits) {
    EXPECT_EQ(ovStringToInt(str(u"")), 0);
    EXPECT_EQ(ovStringToInt(str(u"   ")), 0);
    EXPECT_EQ(ovStringToInt(str(u" +7")), 7);
    EXPECT_EQ(ovStringToInt(str(u"\t\n\v\f\r-12abc")), -12);
    EXPECT_EQ(ovStringToInt(str(u"- 7")), 0);
    EXPECT_EQ(ovStringToInt(str(u"+-5")), 0);
    EXPECT_EQ(ovStringToInt(str(u"-")), 0);
    EXPECT_EQ(ovStringToInt(str(u"1e3")), 1);
    // U+00A0 and U+2003 are not white space; U+FF11 is not a digit.
    EXPECT_EQ(ovStringToInt(str(u"\u00A05")), 0);
    EXPECT_EQ(ovStringToInt(str(u"\u20035")), 0);
    EXPECT_EQ(ovStringToInt(str(u"4\uFF11")), 4);
}

TEST(StringParseInt, HexAndBinaryPrefixes) {
    EXPECT_EQ(ovStringToInt(str(u"$ff")), 255);
    EXPECT_EQ(ovStringToInt(str(u"$Ab")), 171);
    EXPECT_EQ(ovStringToInt(str(u"-$10")), -16);
    EXPECT_EQ(ovStringToInt(str(u"%1012")), 5);
    EXPECT_EQ(ovStringToInt(str(u"$")), 0);
    EXPECT_EQ(ovStringToInt(str(u"%2")), 0);
    EXPECT_EQ(ovStringToInt(str(u"$g1")), 0);
    EXPECT_EQ(ovStringToInt(str(u"$7fffffff")), 2147483647);
    EXPECT_EQ(ovStringToInt(str(u"$80000000")), INT32_MIN);
}

TEST(StringParseInt, AccumulationWraps) {
    EXPECT_EQ(ovStringToInt(str(u"4294967297")), 1);
    EXPECT_EQ(ovStringToInt(str(u"2147483648")), INT32_MIN);
    EXPECT_EQ(ovStringToInt(str(u"-2147483648")), INT32_MIN);
    EXPECT_EQ(ovStringToInt(str(u"$123456789")), 0x23456789);
}

TEST(StringParseInt, TheMagnitudeIsTheNumberTheDigitsNameBeforeWrapping) {
    EXPECT_EQ(ovStringIntMagnitude(str(u"4294967376")), 4294967376u);
    EXPECT_EQ(ovStringIntMagnitude(str(u" -$10x")), 16u);
    EXPECT_EQ(ovStringIntMagnitude(str(u"%1010000")), 80u);
    EXPECT_EQ(ovStringIntMagnitude(str(u"notanumber")), 0u);
    EXPECT_EQ(ovStringIntMagnitude(str(u"18446744073709551615")), UINT64_MAX);
    EXPECT_EQ(ovStringIntMagnitude(str(u"18446744073709551696")), UINT64_MAX);  // would wrap to 80
    EXPECT_EQ(ovStringIntMagnitude(str(u"$" + std::u16string(17, u'f'))), UINT64_MAX);
}

TEST(StringParseLong, SixtyFourBitAccumulation) {
    EXPECT_EQ(ovStringToLong(str(u"4294967297")), 4294967297LL);
    EXPECT_EQ(ovStringToLong(str(u"-$10")), -16);
    EXPECT_EQ(ovStringToLong(str(u"$FFFFFFFFFFFFFFFF")), -1);
    EXPECT_EQ(ovStringToLong(str(u"9223372036854775808")), INT64_MIN);
    EXPECT_EQ(ovStringToLong(str(u"%" + std::u16string(63, u'1'))), INT64_MAX);
}

TEST(StringParseReal, ReadsTheNarrowedTextWithAtof) {
    EXPECT_DOUBLE_EQ(ovStringToDouble(str(u"  -2.5e3xyz")), -2500.0);
    EXPECT_DOUBLE_EQ(ovStringToDouble(str(u"$10")), 0.0);
    EXPECT_DOUBLE_EQ(ovStringToDouble(str(u"abc")), 0.0);
    EXPECT_FLOAT_EQ(ovStringToFloat(str(u"0.1")), 0.1f);
    // U+0131 narrows to 0x31, the digit 1.
    EXPECT_DOUBLE_EQ(ovStringToDouble(str(u"\u0131.5")), 1.5);
    // A text longer than the short inline buffer.
    EXPECT_DOUBLE_EQ(ovStringToDouble(str(std::u16string(100, u'0') + u"42")), 42.0);
}

TEST(StringParseReal, RoundTripsTheFormattedText) {
    const double values[] = {0.1, -1234.5678, 6.02214076e23, 5e-324};
    for (double v : values) EXPECT_EQ(ovStringToDouble(ovStringFromDouble(v)), v);
    EXPECT_EQ(ovStringToFloat(ovStringFromFloat(3.14159f)), 3.14159f);
}
