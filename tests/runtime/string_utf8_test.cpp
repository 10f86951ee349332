// UTF-8 decoding and encoding, one 16-bit unit per character.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/memory.h"
#include "string_test_support.h"

namespace {

std::string encoded(String* s) {
    char* bytes = ovStringToUTF8String(s);
    std::string result(bytes);
    ovMemFree(bytes);
    return result;
}

// Decodes bytes held in a malloc'd block of exactly their size plus the NUL,
// so that a read past the NUL is caught by the address sanitizer.
std::u16string decodedFromExactBlock(const std::string& bytes) {
    char* block = static_cast<char*>(std::malloc(bytes.size() + 1));
    std::memcpy(block, bytes.c_str(), bytes.size() + 1);
    std::u16string result = text(ovStringFromUTF8String(block));
    std::free(block);
    return result;
}

}  // namespace

TEST(StringUTF8Decode, OneTwoThreeAndFourByteForms) {
    EXPECT_EQ(ovStringFromUTF8String(nullptr), &ovEmptyString);
    EXPECT_EQ(ovStringFromUTF8String(""), &ovEmptyString);
    EXPECT_EQ(text(ovStringFromUTF8String("a\xC3\xA9z")), u"a\u00E9z");
    EXPECT_EQ(text(ovStringFromUTF8String("\xE2\x82\xAC")), u"\u20AC");
    EXPECT_EQ(text(ovStringFromUTF8String("\xF0\x8F\xBF\xBF")), u"\uFFFF");
}

TEST(StringUTF8Decode, LenientForms) {
    // Overlong forms and a stray continuation byte used as a lead byte.
    EXPECT_EQ(text(ovStringFromUTF8String("\xC1\x81")), u"A");
    EXPECT_EQ(text(ovStringFromUTF8String("\xE0\x81\x81")), u"A");
    EXPECT_EQ(text(ovStringFromUTF8String("\x81\x41")), u"A");
    // Continuation bytes are not checked for their pattern.
    EXPECT_EQ(text(ovStringFromUTF8String("\xC3\x29")), u"\u00E9");
}

TEST(StringUTF8Decode, BeyondSixteenBitsIsRefused) {
    EXPECT_EQ(raisedText([] { ovStringFromUTF8String("ok\xF0\x9F\x98\x80"); }),
              u"Unicode character out of UCS-2 range");
    EXPECT_EQ(raisedText([] { ovStringFromUTF8String("\xF4\x80\x80\x80"); }),
              u"Unicode character out of UCS-2 range");
}

TEST(StringUTF8Decode, CutSequenceStopsAtTheTerminator) {
    EXPECT_EQ(decodedFromExactBlock("ab\xC3"), u"ab");
    EXPECT_EQ(decodedFromExactBlock("ab\xE2\x82"), u"ab");
    EXPECT_EQ(decodedFromExactBlock("\xF0\x9F\x98"), u"");
    EXPECT_EQ(decodedFromExactBlock("\xE2"), u"");
}

TEST(StringUTF8Decode, LongTextUsesTheHeapWorkBuffer) {
    std::string bytes;
    for (int i = 0; i < 400; ++i) bytes += "\xC3\xA9";
    EXPECT_EQ(decodedFromExactBlock(bytes), std::u16string(400, u'\u00E9'));
}

TEST(StringUTF8Encode, UnitByUnit) {
    EXPECT_EQ(encoded(str(u"a")), "a");
    EXPECT_EQ(encoded(str(u"\u00E9\u07FF")), "\xC3\xA9\xDF\xBF");
    EXPECT_EQ(encoded(str(u"\u20AC")), "\xE2\x82\xAC");
    EXPECT_EQ(encoded(str(u"\xD800")), "\xED\xA0\x80");
    EXPECT_EQ(encoded(&ovEmptyString), "");
}

TEST(StringUTF8Encode, ZeroUnitEndsTheText) {
    char* bytes = ovStringToUTF8String(str(std::u16string(u"a\0b", 3)));
    EXPECT_EQ(bytes[0], 'a');
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[2], 'b');
    ovMemFree(bytes);
}

TEST(StringUTF8, RoundTripOfEverySixteenBitRangeBoundary) {
    const std::u16string units = u"\x01\x7F\x80\u07FF\u0800\uD7FF\xDFFF\uE000\uFFFF";
    char* bytes = ovStringToUTF8String(str(units));
    EXPECT_EQ(text(ovStringFromUTF8String(bytes)), units);
    ovMemFree(bytes);
}
