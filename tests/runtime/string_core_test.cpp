// The String record, the shared empty string, literals, allocation, the
// buffer conversions and the ring of temporary conversions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>

#include "runtime/memory.h"
#include "runtime/reflection.h"
#include "string_test_support.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OV_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define OV_TEST_ASAN 1
#endif
#ifdef OV_TEST_ASAN
#include <sanitizer/asan_interface.h>
#endif

TEST(StringRecord, FixedWordsAndOwnSlotsInOrder) {
    EXPECT_EQ(StringType.super, &ObjectType);
    EXPECT_EQ(StringType.free, ovStringFree);
    EXPECT_EQ(StringType.size, 0);
    EXPECT_EQ(StringType.New, nullptr);
    EXPECT_EQ(StringType.Delete, nullptr);
    EXPECT_EQ(StringType.SendMessage, ObjectType.SendMessage);
    EXPECT_STREQ(StringType.scope->name, "String");
    EXPECT_EQ(StringType.scope->entries[0].kind, OV_SCOPE_END);
    // Word 12 is the first own slot, word 38 the last.
    EXPECT_EQ(offsetof(StringClass, Find), 12 * sizeof(void*));
    EXPECT_EQ(offsetof(StringClass, ToUTF8String), 38 * sizeof(void*));
    EXPECT_EQ(sizeof(StringClass), 39 * sizeof(void*));
    EXPECT_EQ(StringType.Split, ovStringSplit);
    EXPECT_EQ(StringType.FromUTF8String, ovStringFromUTF8String);
}

TEST(StringRecord, DispatchReachesTheStringOperations) {
    String* s = str(u"abc");
    EXPECT_EQ(s->ToString(), s);
    EXPECT_LT(s->Compare(str(u"abd")), 0);
    EXPECT_EQ(s->Compare(str(u"abc")), 0);
    EXPECT_EQ(StringType.Find(s, str(u"c"), 0), 2);
    EXPECT_EQ(text(StringType.FromInt(-5)), u"-5");
}

TEST(StringRecord, CompareWithANonStringFallsBackToAddressOrder) {
    String* s = str(u"x");
    EXPECT_EQ(s->Compare(ovNull), ovObjectCompare(s, ovNull));
    EXPECT_NE(s->Compare(ovNull), 0);
}

TEST(StringEmpty, IsStaticAndSurvivesRelease) {
    EXPECT_EQ(ovEmptyString.length, 0);
    EXPECT_EQ(ovEmptyString.cls, &StringType);
    EXPECT_EQ(ovStringNew(0), &ovEmptyString);
    EXPECT_EQ(ovStringNew(-3), &ovEmptyString);
    ovStringFree(&ovEmptyString);
    EXPECT_EQ(ovEmptyString.refs, OV_STATIC_COUNT);
}

TEST(StringLiteral, SharesOneStaticBlockPerText) {
    String* a = ovLiteral(u"héllo");
    EXPECT_EQ(a, ovLiteral(u"héllo"));
    EXPECT_EQ(a->cls, &StringType);
    EXPECT_EQ(a->refs, OV_LITERAL_COUNT);
    EXPECT_EQ(text(a), u"héllo");
    EXPECT_EQ(ovLiteral(u"")->length, 0);
    ovGCRetain(a);
    ovGCRelease(a);
    EXPECT_EQ(a->refs, OV_LITERAL_COUNT);
}

TEST(StringNew, SizesTheBlockAndRefusesLengthsBeyondTheAllocator) {
    String* s = ovStringNew(3);
    EXPECT_EQ(s->length, 3);
    EXPECT_EQ(s->cls, &StringType);
    EXPECT_EQ(reinterpret_cast<char*>(s->units()) - reinterpret_cast<char*>(s), 20);
    EXPECT_EQ(raisedText([] { ovStringNew(OV_STRING_MAX_LENGTH + 1); }), u"String too long");
}

TEST(StringCreate, FromBuffers) {
    const uint8_t bytes[] = {'a', 0xE9, 0xFF};
    EXPECT_EQ(text(ovStringFromBytes(bytes, 3)), u"a\u00E9\u00FF");
    EXPECT_EQ(ovStringFromBytes(nullptr, 0), &ovEmptyString);
    const uint16_t shorts[] = {0x20AC, 0xD800};
    EXPECT_EQ(text(ovStringFromShorts(shorts, 2)), u"\u20AC\xD800");
    const int32_t ints[] = {0x12341, -1};
    EXPECT_EQ(text(ovStringFromInts(ints, 2)), u"\u2341\uFFFF");
    EXPECT_EQ(text(ovStringFromChar(0x10041)), u"A");
}

// Widening goes by steps of sixteen and eight bytes with a tail: every
// count up to three steps writes each unit once and nothing past the count.
TEST(StringCreate, WideningWritesExactlyTheCountsUnits) {
    uint8_t bytes[48];
    for (int i = 0; i < 48; ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 200);
    for (int32_t n = 0; n <= 48; ++n) {
        uint16_t units[50];
        std::fill(std::begin(units), std::end(units), uint16_t{0xAAAA});
        ovWidenBytes(units, bytes, n);
        for (int32_t i = 0; i < n; ++i) ASSERT_EQ(units[i], bytes[i]) << n << " " << i;
        for (int32_t i = n; i < 50; ++i) ASSERT_EQ(units[i], 0xAAAA) << n << " " << i;
    }
}

TEST(StringCreate, FromTerminatedTexts) {
    EXPECT_EQ(ovStringFromCString(nullptr), &ovEmptyString);
    EXPECT_EQ(ovStringFromCString(""), &ovEmptyString);
    EXPECT_EQ(text(ovStringFromCString("caf\xC3\xA9")), u"caf\u00C3\u00A9");  // bytes, not UTF-8
    EXPECT_EQ(ovStringFromWString(nullptr), &ovEmptyString);
    const uint16_t wide[] = {'h', 0x3A9, 0, 'x'};
    EXPECT_EQ(text(ovStringFromWString(wide)), u"h\u03A9");
}

TEST(StringConvert, CStringKeepsTheLowByte) {
    char* c = ovStringToCString(str(u"A\u0141\u00E9"));
    EXPECT_EQ(std::memcmp(c, "A\x41\xE9", 4), 0);
    ovMemFree(c);
}

TEST(StringConvert, WStringIsTerminated) {
    uint16_t* w = ovStringToWString(str(u"\u20ACb"));
    EXPECT_EQ(w[0], 0x20AC);
    EXPECT_EQ(w[1], 'b');
    EXPECT_EQ(w[2], 0);
    ovMemFree(w);
    uint16_t* empty = ovStringToWString(&ovEmptyString);
    EXPECT_EQ(empty[0], 0);
    ovMemFree(empty);
}

TEST(StringTmpRing, ThirtyThirdConversionFreesTheFirst) {
    String* s = str(u"kept");
    char* first = ovTmpCString(s);
    for (int i = 0; i < 31; ++i) ovTmpUTF8String(s);
    // 32 conversions made: the first is still held and intact.
    EXPECT_EQ(ovTmpRingHolds(first), 1);
    EXPECT_STREQ(first, "kept");
    uint16_t* thirtyThird = ovTmpWString(s);
    EXPECT_EQ(ovTmpRingHolds(first), 0);
    EXPECT_EQ(ovTmpRingHolds(thirtyThird), 1);
#ifdef OV_TEST_ASAN
    EXPECT_TRUE(__asan_address_is_poisoned(first));
#endif
}
