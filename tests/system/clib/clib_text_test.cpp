// Platform text conversions and the character classes.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <random>
#include <string>

#include "runtime/string.h"
#include "system/clib/clib.h"
#include "tests/support/system_test_support.h"

namespace {

std::string wideBytes(std::u16string_view text) { return ovPlatformText(ovTestString(text), 1).c_str(); }
std::string narrowBytes(std::u16string_view text) { return ovPlatformText(ovTestString(text), 0).c_str(); }
std::u16string decodeWide(const std::string& bytes) {
    return ovTestUnits(ovStringFromPlatformBytes(bytes.data(), bytes.size(), 1));
}

TEST(PlatformText, WideEncodesUtf8WithPairsAsOneSequence) {
    EXPECT_EQ(wideBytes(u"abc"), "abc");
    EXPECT_EQ(wideBytes(u"caf\u00e9"), "caf\xc3\xa9");
    EXPECT_EQ(wideBytes(u"\u20ac"), "\xe2\x82\xac");
    EXPECT_EQ(wideBytes(u"\U0001F600"), "\xf0\x9f\x98\x80");
    // Escaped bytes go out as themselves; other lone surrogates as three bytes.
    EXPECT_EQ(wideBytes(u"a\xdcff\xdc80"), "a\xff\x80");
    EXPECT_EQ(wideBytes(u"\xd800x"), "\xed\xa0\x80x");
    EXPECT_EQ(wideBytes(u"\xdc7f"), "\xed\xb1\xbf");
}

TEST(PlatformText, NarrowKeepsTheLowEightBits) {
    EXPECT_EQ(narrowBytes(u"caf\u00e9"), "caf\xe9");
    EXPECT_EQ(narrowBytes(u"\u0141\u2022"), "A\x22");
    EXPECT_EQ(ovTestUnits(ovStringFromPlatformBytes("\xe9\xff", 2, 0)), u"\u00e9\u00ff");
}

TEST(PlatformText, TextIsCutAtUnitZeroAndLongTextsFit) {
    ovPlatformText cut(ovTestString(std::u16string(u"ab\0cd", 5)), 1);
    EXPECT_STREQ(cut.c_str(), "ab");
    EXPECT_EQ(cut.size(), 2u);
    const std::u16string longText(1000, u'\u00e9');
    ovPlatformText wide(ovTestString(longText), 1);
    EXPECT_EQ(wide.size(), 2000u);
    EXPECT_EQ(decodeWide(wide.c_str()), longText);
    EXPECT_STREQ(ovPlatformText(&ovEmptyString, 1).c_str(), "");
    EXPECT_STREQ(ovPlatformText(nullptr, 1).c_str(), "");
}

TEST(PlatformText, InvalidBytesDecodeToEscapes) {
    EXPECT_EQ(decodeWide("\xff"), u"\xdcff");
    EXPECT_EQ(decodeWide("\xc0\xaf"), u"\xdcc0\xdcaf");          // overlong
    EXPECT_EQ(decodeWide("\xed\xa0\x80"), u"\xdced\xdca0\xdc80");  // encoded surrogate
    EXPECT_EQ(decodeWide("\xf4\x90\x80\x80"), u"\xdcf4\xdc90\xdc80\xdc80");  // beyond U+10FFFF
    EXPECT_EQ(decodeWide("\xe2\x82" "A"), u"\xdce2\xdc82" u"A");  // cut short
    EXPECT_EQ(decodeWide("\xf0\x9f\x98\x80"), u"\U0001F600");
    EXPECT_EQ(ovTestUnits(ovStringFromPlatform(nullptr)), u"");
}

// Every byte sequence survives the way to a String and back, which is what
// lets a name read from a directory reach the same file again.
TEST(PlatformText, BytesRoundTripThroughStrings) {
    std::mt19937 random(12345);
    const std::string pieces[] = {"\x80", "\xbf", "\xc2", "\xc3\xa9", "\xe2\x82\xac", "\xed", "\xf0\x9f\x98\x80",
                                  "\xf4", "\xff", "a", "\xe0\xa0", "\xdc"};
    for (int round = 0; round < 300; ++round) {
        std::string bytes;
        const int count = static_cast<int>(random() % 8);
        for (int k = 0; k < count; ++k) bytes += pieces[random() % std::size(pieces)];
        String* s = ovStringFromPlatformBytes(bytes.data(), bytes.size(), 1);
        ASSERT_EQ(ovPlatformText(s, 1).c_str(), bytes) << "round " << round;
    }
}

TEST(PlatformText, FollowsTheFlagOnEveryCall) {
    String* s = ovTestString(u"\u00e9");
    ovUseWideApi = 1;
    EXPECT_STREQ(ovPlatformText(s).c_str(), "\xc3\xa9");
    ovUseWideApi = 0;
    EXPECT_STREQ(ovPlatformText(s).c_str(), "\xe9");
    EXPECT_EQ(ovTestUnits(ovStringFromPlatform("\xc3\xa9")), u"\u00c3\u00a9");
}

TEST(CharacterClasses, AsciiMatchesTheCLocaleAndHighBytesHaveNoClass) {
    for (int c = 0; c < 128; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(ovCharIsSpace(c) != 0, std::isspace(c) != 0);
        EXPECT_EQ(ovCharIsBlank(c) != 0, std::isblank(c) != 0);
        EXPECT_EQ(ovCharIsDigit(c) != 0, std::isdigit(c) != 0);
        EXPECT_EQ(ovCharIsXDigit(c) != 0, std::isxdigit(c) != 0);
        EXPECT_EQ(ovCharIsAlpha(c) != 0, std::isalpha(c) != 0);
        EXPECT_EQ(ovCharIsAlnum(c) != 0, std::isalnum(c) != 0);
        EXPECT_EQ(ovCharIsUpper(c) != 0, std::isupper(c) != 0);
        EXPECT_EQ(ovCharIsLower(c) != 0, std::islower(c) != 0);
        EXPECT_EQ(ovCharIsPunct(c) != 0, std::ispunct(c) != 0);
        EXPECT_EQ(ovCharIsPrint(c) != 0, std::isprint(c) != 0);
        EXPECT_EQ(ovCharIsCntrl(c) != 0, std::iscntrl(c) != 0);
    }
    for (int c : {-1, 128, 0xA0, 0xE9, 0xFF, 256}) {
        EXPECT_EQ(ovCharIsSpace(c) + ovCharIsAlpha(c) + ovCharIsPrint(c) + ovCharIsCntrl(c) + ovCharIsPunct(c), 0)
            << c;
    }
}

}  // namespace
