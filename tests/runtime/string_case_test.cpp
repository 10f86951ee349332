// Case mapping through the fast paths and the two tables.
#include <gtest/gtest.h>

#include "runtime/string_case.h"
#include "string_test_support.h"

namespace {

uint16_t lower(uint16_t u) { return ovStringToLower(ovStringFromShorts(&u, 1))->units()[0]; }
uint16_t upper(uint16_t u) { return ovStringToUpper(ovStringFromShorts(&u, 1))->units()[0]; }

bool strictlyAscending(const ovCasePair* table, int32_t count) {
    for (int32_t i = 1; i < count; ++i)
        if (table[i - 1].source >= table[i].source) return false;
    return true;
}

}  // namespace

// The ends of both tables map through the String functions, and the units
// just past them map to themselves: a table cut short or shifted fails here.
TEST(StringCaseTables, BothEndsMapAndTheUnitsBeyondThemDoNot) {
    const struct {
        uint16_t (*map)(uint16_t);
        uint16_t from, to;
    } cases[] = {
        {lower, 0x00C0, 0x00E0}, {lower, 0xFF3A, 0xFF5A}, {lower, 0x00BF, 0x00BF}, {lower, 0xFF3B, 0xFF3B},
        {upper, 0x00B5, 0x039C}, {upper, 0xFF5A, 0xFF3A}, {upper, 0x00B4, 0x00B4}, {upper, 0xFF5B, 0xFF5B},
    };
    for (const auto& c : cases) EXPECT_EQ(c.map(c.from), c.to) << std::hex << c.from;
    EXPECT_TRUE(strictlyAscending(ovLowerCaseTable, OV_LOWER_CASE_PAIRS));
    EXPECT_TRUE(strictlyAscending(ovUpperCaseTable, OV_UPPER_CASE_PAIRS));
}

TEST(StringCaseTables, LookupFindsEveryRow) {
    for (int32_t i = 0; i < OV_LOWER_CASE_PAIRS; ++i)
        ASSERT_EQ(ovCaseLookup(ovLowerCaseTable, OV_LOWER_CASE_PAIRS, ovLowerCaseTable[i].source),
                  ovLowerCaseTable[i].mapped);
    for (int32_t i = 0; i < OV_UPPER_CASE_PAIRS; ++i)
        ASSERT_EQ(ovCaseLookup(ovUpperCaseTable, OV_UPPER_CASE_PAIRS, ovUpperCaseTable[i].source),
                  ovUpperCaseTable[i].mapped);
    EXPECT_EQ(ovCaseLookup(ovLowerCaseTable, OV_LOWER_CASE_PAIRS, 0xFFFF), 0xFFFF);
    EXPECT_EQ(ovCaseLookup(ovLowerCaseTable, OV_LOWER_CASE_PAIRS, 0x00BF), 0x00BF);
}

TEST(StringToLower, TellingRows) {
    EXPECT_EQ(lower(0x00C0), 0x00E0);
    EXPECT_EQ(lower(0x0130), 'i');
    EXPECT_EQ(lower(0x0178), 0x00FF);
    EXPECT_EQ(lower(0x01C4), 0x01C6);
    EXPECT_EQ(lower(0x01C5), 0x01C6);
    EXPECT_EQ(lower(0x2126), 0x03C9);
    EXPECT_EQ(lower(0x212A), 'k');
    EXPECT_EQ(lower(0x212B), 0x00E5);
    EXPECT_EQ(lower(0x1E9E), 0x00DF);
    EXPECT_EQ(lower(0x2C6D), 0x0251);
    EXPECT_EQ(lower(0xA78B), 0xA78C);
    EXPECT_EQ(lower(0xFF3A), 0xFF5A);
    EXPECT_EQ(lower(0x00DF), 0x00DF);
    EXPECT_EQ(lower(0x00E0), 0x00E0);
}

TEST(StringToUpper, TellingRows) {
    EXPECT_EQ(upper(0x00B5), 0x039C);
    EXPECT_EQ(upper(0x00E0), 0x00C0);
    EXPECT_EQ(upper(0x00FF), 0x0178);
    EXPECT_EQ(upper(0x0131), 'I');
    EXPECT_EQ(upper(0x017F), 'S');
    EXPECT_EQ(upper(0x01C4), 0x01C5);
    EXPECT_EQ(upper(0x01C6), 0x01C5);
    EXPECT_EQ(upper(0x01C9), 0x01C8);
    EXPECT_EQ(upper(0x01CC), 0x01CB);
    EXPECT_EQ(upper(0x01F3), 0x01F2);
    EXPECT_EQ(upper(0x01C5), 0x01C5);  // title-case letters have no row
    EXPECT_EQ(upper(0x0345), 0x0399);
    EXPECT_EQ(upper(0x1FBE), 0x0399);
    EXPECT_EQ(upper(0x1F80), 0x1F88);
    EXPECT_EQ(upper(0x1FB3), 0x1FBC);
    EXPECT_EQ(upper(0x03C2), 0x03A3);
    EXPECT_EQ(upper(0x1E9B), 0x1E60);
    EXPECT_EQ(upper(0x1D79), 0xA77D);
    EXPECT_EQ(upper(0xFF5A), 0xFF3A);
    EXPECT_EQ(upper(0x00DF), 0x00DF);
}

TEST(StringCaseMapping, AsciiPathTouchesLettersOnly) {
    EXPECT_EQ(text(ovStringToLower(str(u"AZaz@[`{09"))), u"azaz@[`{09");
    EXPECT_EQ(text(ovStringToUpper(str(u"AZaz@[`{09"))), u"AZAZ@[`{09");
    // The fast paths end below the tables: U+00AA and U+00BA stay as they are.
    EXPECT_EQ(text(ovStringToUpper(str(u"\u00AA\u00BA"))), u"\u00AA\u00BA");
    EXPECT_EQ(text(ovStringToUpper(str(u"straße"))), u"STRAßE");
    EXPECT_EQ(text(ovStringToLower(str(u"ÀÉÎ"))), u"àéî");
}

TEST(StringCaseMapping, AlwaysANewStringOfTheSameLength) {
    String* s = str(u"abc");
    String* upperS = ovStringToUpper(str(u"ABC"));
    EXPECT_NE(upperS, s);
    String* same = ovStringToLower(s);
    EXPECT_NE(same, s);
    EXPECT_EQ(text(same), u"abc");
    EXPECT_EQ(ovStringToLower(&ovEmptyString), &ovEmptyString);
    EXPECT_EQ(ovStringToUpper(ovLiteral(u"")), &ovEmptyString);
}
