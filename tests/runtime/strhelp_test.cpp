// The 1-based string helper functions and the module initialiser.
#include <gtest/gtest.h>

#include "runtime/strhelp.h"
#include "string_test_support.h"

TEST(StrHelpSubstring, PositionAndCount) {
    String* s = str(u"hello");
    EXPECT_EQ(text(Substring(s, 2, 3)), u"ell");
    EXPECT_EQ(text(Substring(s, 4, 10)), u"lo");
    EXPECT_EQ(text(Substring(s, 5, 1)), u"o");
    EXPECT_EQ(Substring(s, 6, 1), &ovEmptyString);
    EXPECT_EQ(text(Substring(s, 1, 5)), u"hello");
    EXPECT_EQ(Substring(s, 1, 0), &ovEmptyString);
    EXPECT_EQ(Substring(s, INT32_MAX, 1), &ovEmptyString);
}

TEST(StrHelpSubstring, PositionsBeforeTheText) {
    String* s = str(u"hello");
    // With a count the part before the text is dropped...
    EXPECT_EQ(text(Substring(s, 0, 2)), u"h");
    EXPECT_EQ(Substring(s, 0, 1), &ovEmptyString);
    EXPECT_EQ(Substring(s, -1, 2), &ovEmptyString);
    EXPECT_EQ(Substring(s, INT32_MIN, INT32_MAX), &ovEmptyString);
    // ...to the end it is padded.
    EXPECT_EQ(text(Substring(s, 3, -1)), u"llo");
    EXPECT_EQ(text(Substring(s, 0, -1)), u" hello");
    EXPECT_EQ(text(Substring(s, -2, -7)), u"   hello");
    EXPECT_EQ(Substring(s, 6, -1), &ovEmptyString);
}

TEST(StrHelpPositionOf, OneBasedAndZeroWhenAbsent) {
    String* commands = str(u"+<?,.");
    EXPECT_EQ(PositionOf(commands, str(u"?"), 1), 3);
    EXPECT_EQ(PositionOf(commands, str(u"x"), 1), 0);
    EXPECT_EQ(PositionOf(str(u"abcabc"), str(u"b"), 3), 5);
    EXPECT_EQ(PositionOf(str(u"abc"), str(u"a"), 0), 1);
    EXPECT_EQ(PositionOf(str(u"abc"), str(u"c"), 4), 0);
    EXPECT_EQ(PositionOf(str(u"abc"), str(u"a"), INT32_MIN), 1);
    EXPECT_EQ(PositionOf(str(u"abc"), &ovEmptyString, 4), 4);
    EXPECT_EQ(PositionOf(str(u"abc"), &ovEmptyString, -3), 1);
    EXPECT_EQ(PositionOf(str(u"abc"), &ovEmptyString, 5), 0);
}

TEST(StrHelpParts, LeftAndRight) {
    String* abc = str(u"abc");
    EXPECT_EQ(text(LeftPart(abc, 2)), u"ab");
    EXPECT_EQ(text(RightPart(abc, 2)), u"bc");
    EXPECT_EQ(text(LeftPart(abc, 5)), u"abc");
    EXPECT_EQ(text(RightPart(abc, 5)), u"abc");
    EXPECT_EQ(LeftPart(abc, -1), &ovEmptyString);
    EXPECT_EQ(RightPart(abc, 0), &ovEmptyString);
    EXPECT_EQ(RightPart(abc, INT32_MIN), &ovEmptyString);
}

TEST(StrHelpAlign, PadsToTheWidth) {
    EXPECT_EQ(text(AlignLeft(str(u"ab"), 4)), u"ab  ");
    EXPECT_EQ(text(AlignRight(str(u"ab"), 4)), u"  ab");
    EXPECT_EQ(text(AlignLeft(str(u"abcdef"), 2)), u"ab");
    EXPECT_EQ(text(AlignRight(str(u"abcdef"), 2)), u"ef");
    EXPECT_EQ(AlignLeft(str(u"ab"), -3), &ovEmptyString);
    EXPECT_EQ(AlignRight(str(u"ab"), 0), &ovEmptyString);
    EXPECT_EQ(AlignRight(str(u"ab"), INT32_MIN), &ovEmptyString);
}

TEST(StrHelpForwarders, PassTheStringOperationsThrough) {
    String* x = str(u"x");
    EXPECT_EQ(TrimBlanks(x), x);
    EXPECT_EQ(ReplaceAll(x, str(u"y"), str(u"z")), x);
    EXPECT_EQ(text(ReplaceAll(str(u"a-b"), str(u"-"), str(u"+"))), u"a+b");
    EXPECT_EQ(text(TrimBlanks(str(u" a "))), u"a");
    EXPECT_EQ(text(LowerCase(str(u"AbÇ"))), u"abç");
    EXPECT_EQ(text(UpperCase(str(u"AbÇ\u01C6"))), u"ABÇ\u01C5");
}

TEST(StrHelpDigits, FixedWidthHexAndBinary) {
    EXPECT_EQ(text(IntToHex(255)), u"000000FF");
    EXPECT_EQ(text(IntToHex(-1)), u"FFFFFFFF");
    EXPECT_EQ(text(IntToHex(0)), u"00000000");
    EXPECT_EQ(text(IntToHex(INT32_MIN)), u"80000000");
    EXPECT_EQ(text(IntToHex(0x1A2B3C4D)), u"1A2B3C4D");
    EXPECT_EQ(text(IntToBin(5)), u"00000000000000000000000000000101");
    EXPECT_EQ(text(IntToBin(-1)), std::u16string(32, u'1'));
    EXPECT_EQ(text(LongToHex(-2)), u"FFFFFFFFFFFFFFFE");
    EXPECT_EQ(text(LongToHex(0x0123456789ABCDEFLL)), u"0123456789ABCDEF");
    EXPECT_EQ(text(LongToBin(1)), std::u16string(63, u'0') + u"1");
    EXPECT_EQ(text(LongToBin(INT64_MIN)), u"1" + std::u16string(63, u'0'));
}

namespace {

int umbrellaRuns = 0;
void countUmbrellaRun() { ++umbrellaRuns; }

}  // namespace

TEST(StrHelpModule, InitialiserRunsTheUmbrellaOnce) {
    ovSetUmbrellaInitializer(countUmbrellaRun);
    EXPECT_EQ(ovStrHelpModuleInit(), 0);
    EXPECT_EQ(ovStrHelpModuleInit(), 0);
    EXPECT_EQ(umbrellaRuns, 1);
}
