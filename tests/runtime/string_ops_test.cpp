// Comparison, search, concatenation, slicing, trimming and replacing.
#include <gtest/gtest.h>

#include "string_test_support.h"

TEST(StringCompare, OrdinalDifferences) {
    EXPECT_EQ(ovStringCompare(str(u"ab"), str(u"abc")), -1);
    EXPECT_EQ(ovStringCompare(str(u"b"), str(u"abc")), 1);
    EXPECT_EQ(ovStringCompare(str(u"A"), str(u"a")), -32);
    EXPECT_EQ(ovStringCompare(str(u"abc"), str(u"abc")), 0);
    EXPECT_EQ(ovStringCompare(&ovEmptyString, ovLiteral(u"")), 0);
    // Units compare unsigned: U+FFFF is above every other unit.
    EXPECT_EQ(ovStringCompare(str(u"\uFFFF"), str(u"a")), 0xFFFF - 'a');
    EXPECT_GT(ovStringCompare(str(u"\xD800"), str(u"\u00E9")), 0);
}

TEST(StringAffixes, StartsEndsContains) {
    String* s = str(u"abcabc");
    EXPECT_EQ(ovStringStartsWith(s, str(u"abc")), 1);
    EXPECT_EQ(ovStringStartsWith(s, &ovEmptyString), 1);
    EXPECT_EQ(ovStringStartsWith(s, str(u"bc")), 0);
    EXPECT_EQ(ovStringStartsWith(str(u"ab"), str(u"abc")), 0);
    EXPECT_EQ(ovStringEndsWith(s, str(u"cabc")), 1);
    EXPECT_EQ(ovStringEndsWith(s, str(u"ab")), 0);
    EXPECT_EQ(ovStringEndsWith(str(u"c"), str(u"abc")), 0);
    EXPECT_EQ(ovStringContains(s, str(u"ca")), 1);
    EXPECT_EQ(ovStringContains(s, str(u"cc")), 0);
}

TEST(StringFind, StartRules) {
    String* s = str(u"abcabc");
    EXPECT_EQ(ovStringFind(s, str(u"c"), -5), 2);
    EXPECT_EQ(ovStringFind(s, str(u"c"), 3), 5);
    EXPECT_EQ(ovStringFind(s, str(u"bc"), 5), -1);
    EXPECT_EQ(ovStringFind(s, str(u"abcabcd"), 0), -1);
    EXPECT_EQ(ovStringFind(s, str(u"c"), INT32_MAX), -1);
    String* abc = str(u"abc");
    EXPECT_EQ(ovStringFind(abc, &ovEmptyString, 3), 3);
    EXPECT_EQ(ovStringFind(abc, &ovEmptyString, 4), -1);
    EXPECT_EQ(ovStringFind(abc, &ovEmptyString, -2), 0);
    // A match of the first unit alone is not a match.
    EXPECT_EQ(ovStringFind(str(u"aab"), str(u"ab"), 0), 1);
}

TEST(StringFind, AgreesWithTheStandardLibraryOnLongTexts) {
    // Texts over a two-letter alphabet are full of near misses: candidates
    // whose first and last units match while the middle differs.
    uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int round = 0; round < 150; ++round) {
        std::u16string haystack(20 + next() % 60, u'a');
        for (auto& unit : haystack) unit = next() % 4 == 0 ? u'b' : u'a';
        std::u16string needle(1 + next() % 6, u'a');
        for (auto& unit : needle) unit = next() % 3 == 0 ? u'b' : u'a';
        const auto start = static_cast<int32_t>(next() % haystack.size());
        const size_t expected = haystack.find(needle, start);
        ASSERT_EQ(ovStringFind(str(haystack), str(needle), start),
                  expected == std::u16string::npos ? -1 : static_cast<int32_t>(expected))
            << "round " << round;
    }
}

TEST(StringFind, MatchAtTheVeryEnd) {
    const std::u16string text = std::u16string(37, u'x') + u"xyz";
    EXPECT_EQ(ovStringFind(str(text), str(u"xyz"), 0), 37);
    EXPECT_EQ(ovStringFind(str(text), str(u"z"), 0), 39);
    EXPECT_EQ(ovStringFind(str(text), str(u"xyzx"), 0), -1);
}

TEST(StringFindLast, StartCountsFromTheEnd) {
    String* s = str(u"abcabc");
    EXPECT_EQ(ovStringFindLast(s, str(u"abc"), 0), 3);
    EXPECT_EQ(ovStringFindLast(s, str(u"abc"), 4), 0);
    EXPECT_EQ(ovStringFindLast(s, str(u"abc"), 7), -1);
    EXPECT_EQ(ovStringFindLast(s, str(u"c"), -3), 5);
    EXPECT_EQ(ovStringFindLast(s, str(u"x"), 0), -1);
    EXPECT_EQ(ovStringFindLast(s, &ovEmptyString, 0), 6);
    EXPECT_EQ(ovStringFindLast(s, &ovEmptyString, 2), 4);
    EXPECT_EQ(ovStringFindLast(s, str(u"abcabcabc"), 0), -1);
    EXPECT_EQ(ovStringFindLast(s, str(u"c"), INT32_MIN), 5);
}

TEST(StringAsc, FirstUnitOrMinusOne) {
    EXPECT_EQ(ovStringAsc(str(u"\uFFFEa")), 0xFFFE);
    EXPECT_EQ(ovStringAsc(&ovEmptyString), -1);
}

TEST(StringConcat, NewStringsAndTheSharedEmpty) {
    EXPECT_EQ(text(ovStringConcat(str(u"ab"), str(u"cd"))), u"abcd");
    EXPECT_EQ(ovStringConcat(&ovEmptyString, ovLiteral(u"")), &ovEmptyString);
    String* a = str(u"a");
    String* copy = ovStringConcat(a, &ovEmptyString);
    EXPECT_NE(copy, a);
    EXPECT_EQ(text(copy), u"a");
    EXPECT_EQ(text(ovStringConcat(&ovEmptyString, a)), u"a");
}

TEST(StringSlice, PadsOutsideTheText) {
    String* s = str(u"abc");
    EXPECT_EQ(text(ovStringSlice(s, 0, 2)), u"ab");
    EXPECT_EQ(text(ovStringSlice(s, -2, 2)), u"  ab");
    EXPECT_EQ(text(ovStringSlice(s, 1, 5)), u"bc  ");
    EXPECT_EQ(text(ovStringSlice(s, 5, 7)), u"  ");
    EXPECT_EQ(text(ovStringSlice(s, -5, -2)), u"   ");
    EXPECT_EQ(text(ovStringSlice(s, -1, 4)), u" abc ");
    EXPECT_EQ(ovStringSlice(s, 2, 2), &ovEmptyString);
    EXPECT_EQ(ovStringSlice(s, 3, 1), &ovEmptyString);
    EXPECT_EQ(ovStringSlice(s, INT32_MAX, INT32_MIN), &ovEmptyString);
}

TEST(StringSlice, RangeTooLongForAStringIsAnError) {
    String* s = str(u"abc");
    EXPECT_EQ(raisedText([s] { ovStringSlice(s, INT32_MIN, INT32_MAX); }), u"String too long");
}

TEST(StringTrim, BlanksAreUnitsUpToSpace) {
    EXPECT_EQ(text(ovStringTrim(str(u"\t x \r\n"))), u"x");
    EXPECT_EQ(text(ovStringTrim(str(std::u16string(u"\0a b\x1F", 5)))), u"a b");
    EXPECT_EQ(text(ovStringTrim(str(u"\u00A0x\u00A0"))), u"\u00A0x\u00A0");
    EXPECT_EQ(ovStringTrim(str(u" \t\n")), &ovEmptyString);
    EXPECT_EQ(ovStringTrim(&ovEmptyString), &ovEmptyString);
    String* x = str(u"x");
    EXPECT_EQ(ovStringTrim(x), x);
}

TEST(StringReplace, NonOverlappingLeftToRight) {
    EXPECT_EQ(text(ovStringReplace(str(u"aaa"), str(u"aa"), str(u"b"))), u"ba");
    EXPECT_EQ(text(ovStringReplace(str(u"a.b.c"), str(u"."), str(u"::"))), u"a::b::c");
    EXPECT_EQ(text(ovStringReplace(str(u"xabx"), str(u"x"), str(u"yy"))), u"yyabyy");
    EXPECT_EQ(text(ovStringReplace(str(u"abcab"), str(u"ab"), &ovEmptyString)), u"c");
}

TEST(StringReplace, AgreesWithAModelOnLongTexts) {
    TextScrambler random{77};
    for (int round = 0; round < 300; ++round) {
        const std::u16string alphabet = round % 10 == 0 ? u"a" : u"aab";
        const std::u16string find = random.text(1 + random.next() % 5, alphabet);
        const std::u16string with = random.text(random.next() % 3, u"xy");
        const std::u16string haystack = random.text(random.next() % 300, alphabet);
        std::u16string expected;
        size_t from = 0;
        for (size_t at : occurrencesOf(haystack, find)) {
            expected += haystack.substr(from, at - from) + with;
            from = at + find.size();
        }
        expected += haystack.substr(from);
        ASSERT_EQ(text(ovStringReplace(str(haystack), str(find), str(with))), expected) << "round " << round;
    }
}

TEST(StringReplace, UnchangedTextIsTheSameObject) {
    String* abc = str(u"abc");
    EXPECT_EQ(ovStringReplace(abc, &ovEmptyString, str(u"x")), abc);
    EXPECT_EQ(ovStringReplace(abc, str(u"z"), str(u"x")), abc);
    EXPECT_EQ(ovStringReplace(str(u"abab"), str(u"ab"), &ovEmptyString), &ovEmptyString);
}
