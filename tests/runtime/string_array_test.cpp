// Splitting into String arrays, joining them, and Strings from number arrays.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/array.h"
#include "runtime/memory.h"
#include "string_test_support.h"

namespace {

std::vector<std::u16string> pieces(Array* a) {
    std::vector<std::u16string> result;
    for (int32_t i = 0; i < a->count(); ++i) result.push_back(text(a->elements<String*>()[i]));
    return result;
}

using Pieces = std::vector<std::u16string>;

}  // namespace

TEST(StringSplit, PiecesBetweenSeparatorsIncludingEmptyOnes) {
    EXPECT_EQ(pieces(ovStringSplit(str(u"a,,b"), str(u","))), (Pieces{u"a", u"", u"b"}));
    EXPECT_EQ(pieces(ovStringSplit(str(u"a,"), str(u","))), (Pieces{u"a", u""}));
    EXPECT_EQ(pieces(ovStringSplit(str(u"a"), str(u","))), (Pieces{u"a"}));
    EXPECT_EQ(pieces(ovStringSplit(str(u"aXYbXYXYc"), str(u"XY"))), (Pieces{u"a", u"b", u"", u"c"}));
    EXPECT_EQ(pieces(ovStringSplit(str(u"aaa"), str(u"aa"))), (Pieces{u"", u"a"}));
    Array* one = ovStringSplit(&ovEmptyString, str(u","));
    EXPECT_EQ(pieces(one), (Pieces{u""}));
}

TEST(StringSplit, AgreesWithAModelOnLongTexts) {
    // Texts of up to a few hundred units cross many blocks of the search;
    // some are nothing but separators.
    TextScrambler random{2024};
    for (int round = 0; round < 300; ++round) {
        const std::u16string alphabet = round % 10 == 0 ? u"," : u"ab,";
        const std::u16string separator = random.text(1 + random.next() % 4, alphabet);
        const std::u16string haystack = random.text(random.next() % 300, alphabet);
        Pieces expected;
        size_t from = 0;
        for (size_t at : occurrencesOf(haystack, separator)) {
            expected.push_back(haystack.substr(from, at - from));
            from = at + separator.size();
        }
        expected.push_back(haystack.substr(from));
        ASSERT_EQ(pieces(ovStringSplit(str(haystack), str(separator))), expected) << "round " << round;
    }
}

TEST(StringSplit, TheArrayIsAStringArrayHoldingEachPiece) {
    Array* a = ovStringSplit(str(u"ab cd"), str(u" "));
    EXPECT_STREQ(a->tag, "$");
    EXPECT_EQ(a->dimensions, 1);
    ASSERT_EQ(a->count(), 2);
    String* second = a->elements<String*>()[1];
    // Retained once by the array, and queued no more.
    EXPECT_EQ(second->refs & ~static_cast<int32_t>(OV_QUEUED_BIT), 1);
    ovGCCollect();
    EXPECT_EQ(text(a->elements<String*>()[1]), u"cd");
}

TEST(StringSplit, EmptySeparatorSplitsAtBlankRuns) {
    EXPECT_EQ(pieces(ovStringSplit(str(u"  a  b "), &ovEmptyString)), (Pieces{u"a", u"b"}));
    EXPECT_EQ(pieces(ovStringSplit(str(u"x\t\ny"), &ovEmptyString)), (Pieces{u"x", u"y"}));
    EXPECT_EQ(pieces(ovStringSplit(str(u"word"), &ovEmptyString)), (Pieces{u"word"}));
    EXPECT_EQ(ovStringSplit(&ovEmptyString, &ovEmptyString), &ovEmptyArray);
    EXPECT_EQ(ovStringSplit(str(u" \r\n "), &ovEmptyString), &ovEmptyArray);
}

TEST(StringJoin, SeparatorBetweenElements) {
    Array* abc = ovStringSplit(str(u"a b c"), &ovEmptyString);
    EXPECT_EQ(text(ovStringJoin(str(u", "), abc)), u"a, b, c");
    EXPECT_EQ(text(ovStringJoin(&ovEmptyString, abc)), u"abc");
    EXPECT_EQ(ovStringJoin(str(u","), &ovEmptyArray), &ovEmptyString);
    Array* single = ovStringSplit(str(u"solo"), &ovEmptyString);
    String* joined = ovStringJoin(str(u", "), single);
    EXPECT_NE(joined, single->elements<String*>()[0]);
    EXPECT_EQ(text(joined), u"solo");
    // Empty elements still get their separators.
    EXPECT_EQ(text(ovStringJoin(str(u"-"), ovStringSplit(str(u",,"), str(u",")))), u"--");
}

TEST(StringJoin, SplitAndJoinAreInverse) {
    String* s = str(u"one;;two;three;");
    EXPECT_EQ(text(ovStringJoin(str(u";"), ovStringSplit(s, str(u";")))), text(s));
}

TEST(StringJoin, ArraysOfOtherElementsGiveTheEmptyString) {
    EXPECT_EQ(ovStringJoin(str(u","), ovArrayNew1D("i", 3)), &ovEmptyString);
    EXPECT_EQ(ovStringJoin(str(u","), reinterpret_cast<Array*>(ovNull)), &ovEmptyString);
}

TEST(StringFromArray, BytesShortsAndInts) {
    const int32_t values[] = {'h', 0x1E9, 0x12341};
    EXPECT_EQ(text(ovStringFromArray(ovArrayFromData("b", 3, values))), u"h\u00E9A");
    EXPECT_EQ(text(ovStringFromArray(ovArrayFromData("s", 3, values))), u"h\u01E9\u2341");
    EXPECT_EQ(text(ovStringFromArray(ovArrayFromData("i", 3, values))), u"h\u01E9\u2341");
}

TEST(StringFromArray, OtherArraysGiveTheEmptyString) {
    EXPECT_EQ(ovStringFromArray(&ovEmptyArray), &ovEmptyString);
    EXPECT_EQ(ovStringFromArray(ovArrayNew1D("l", 2)), &ovEmptyString);
    EXPECT_EQ(ovStringFromArray(ovArrayNew("b", 2, 2, 2)), &ovEmptyString);
    EXPECT_EQ(ovStringFromArray(reinterpret_cast<Array*>(ovNull)), &ovEmptyString);
}
