// Arrays: creation, slices, concatenation, dimensions, casts and freeing.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "array_test_support.h"
#include "runtime/array.h"
#include "runtime/exception.h"
#include "runtime/string.h"
#include "tests/support/gc_test_support.h"
#include "tests/support/thrown_test_support.h"

namespace {

// The count without the collector's queued bit.
int32_t countOf(Object* o) { return static_cast<int32_t>(static_cast<uint32_t>(o->refs) & ~OV_QUEUED_BIT); }

template <class Body>
bool refusedAsTooLarge(Body body) {
    return ovTestThrownText(body).find(u"Array too large") != std::u16string::npos;
}

TEST(ArrayCreate, ElementsStartAsTheNullValueOfTheirTag) {
    Array* strings = ovArrayNew1D("$", 3);
    EXPECT_EQ(strings->dataSize, 24);
    EXPECT_EQ(strings->elements<String*>()[2], &ovEmptyString);
    EXPECT_EQ(ovArrayNew1D(":Object", 2)->elements<Object*>()[1], ovNull);
    EXPECT_EQ(ovArrayNew1D("[]i", 2)->elements<Array*>()[1], &ovEmptyArray);
    EXPECT_EQ(ovArrayNew1D("()i", 2)->elements<intptr_t>()[1], reinterpret_cast<intptr_t>(&RaiseNullFunction));
    Array* bytes = ovArrayNew1D("b", 5);
    EXPECT_EQ(bytes->dataSize, 5);
    EXPECT_EQ(contentsOf<uint8_t>(bytes), std::vector<uint8_t>(5, 0));
}

TEST(ArrayCreate, NoElementsGiveTheSharedEmptyArray) {
    EXPECT_EQ(ovEmptyArray.cls, &ArrayType);
    EXPECT_EQ(ovEmptyArray.count(), 0);
    for (Array* empty : {ovArrayNew1D("i", 0), ovArrayNew1D("i", -1), ovArrayNew("i", 2, 3, 0),
                         ovArrayNew("i", 3, 70000, 70000, -2), ovArrayNewEx("i", 0, nullptr),
                         ovArrayFromData("i", 0, nullptr), ovArrayConcat("$", &ovEmptyArray, &ovEmptyArray),
                         ovArraySlice("i", ints({1, 2}), 2, 1), ovArrayDimensions(&ovEmptyArray)})
        EXPECT_EQ(empty, &ovEmptyArray);
}

TEST(ArrayCreate, ScaleWordsAndDimensions) {
    Array* grid = ovArrayNew("i", 2, 3, 4);
    EXPECT_EQ(grid->scales()[0], 12);
    EXPECT_EQ(grid->scales()[1], 4);
    EXPECT_EQ(contentsOf(grid->Dimensions()), (Ints{3, 4}));
    const int32_t lengths[] = {2, 3, 5};
    Array* cube = ovArrayNewEx("d", 3, lengths);
    EXPECT_EQ(cube->scales()[1], 15);
    EXPECT_EQ(cube->dataSize, 240);
    EXPECT_EQ(contentsOf(ovArrayDimensions(cube)), (Ints{2, 3, 5}));
    const auto offset = cube->elements<char>() - reinterpret_cast<char*>(cube);
    EXPECT_TRUE(offset % 8 == 0 && offset >= Array::kScaleOffset + 12) << offset;
}

TEST(ArrayCreate, SizesBeyondThirtyTwoBitsAreRefused) {
    EXPECT_TRUE(refusedAsTooLarge([] { ovArrayNew("i", 2, 65536, 32768); }));
    EXPECT_TRUE(refusedAsTooLarge([] { ovArrayNew1D("d", 300000000); }));
    EXPECT_TRUE(refusedAsTooLarge([] { ovArrayNew1D("b", INT32_MAX); })) << "no room for the header";
    EXPECT_TRUE(refusedAsTooLarge([] { ovArraySlice("i", &ovEmptyArray, INT32_MIN, INT32_MAX); }));
}

TEST(ArraySlice, NullRunsAroundTheCopiedElements) {
    Array* source = ints({1, 2, 3});
    EXPECT_EQ(contentsOf(ovArraySlice("i", source, 0, 2)), (Ints{1, 2}));
    EXPECT_EQ(contentsOf(ovArraySlice("i", source, 0, 5)), (Ints{1, 2, 3, 0, 0}));
    EXPECT_EQ(contentsOf(ovArraySlice("i", source, -1, 4)), (Ints{0, 1, 2, 3, 0}));
    EXPECT_EQ(contentsOf(ovArraySlice("i", source, 5, 7)), (Ints{0, 0}));
    EXPECT_EQ(contentsOf(ovArraySlice("i", source, -5, -2)), (Ints{0, 0, 0}));
    // Raw Ints become Bytes and Shorts by their low bits; the slice one longer ends in 0.
    Array* longer = ovArraySlice("b", ovArrayFromData("b", 2, Ints{0x107, -1}.data()), 0, 3);
    EXPECT_EQ(contentsOf<uint8_t>(longer), (std::vector<uint8_t>{7, 255, 0}));
    EXPECT_EQ(ovArrayFromData("s", 1, Ints{0x12345}.data())->elements<uint16_t>()[0], 0x2345);

    String* a = ovStringFromCString("a");
    Array* strings = ovArrayNew1D("$", 1);
    ovStore(strings->elements<String*>()[0], a);
    Array* padded = ovArraySlice("$", strings, -1, 2);
    EXPECT_EQ(countOf(a), 2);
    EXPECT_EQ(contentsOf<String*>(padded), (std::vector<String*>{&ovEmptyString, a, &ovEmptyString}));
}

TEST(ArrayConcat, ElementsInOrderEachReferenceRetainedOnceMore) {
    String* a = ovStringFromCString("a");
    String* b = ovStringFromCString("b");
    Array* first = ovArrayNew1D("$", 2);
    ovStore(first->elements<String*>()[0], a);
    ovStore(first->elements<String*>()[1], b);
    Array* both = ovArrayConcat("$", first, ovArraySlice("$", first, 1, 2));
    EXPECT_EQ(contentsOf<String*>(both), (std::vector<String*>{a, b, b}));
    EXPECT_EQ(countOf(a), 2);
    EXPECT_EQ(countOf(b), 4);
    EXPECT_NE(ovArrayConcat("$", &ovEmptyArray, first), first) << "a new array even with one side empty";
}

TEST(ArrayCast, TagsDecideWhetherAnObjectPassesAsAnArray) {
    Object* lists = ovArrayNew1D(":TList", 1);
    Object* nested = ovArrayNew1D("[]i", 1);
    EXPECT_EQ(ovArrayCastFromObject(lists, ":Object"), lists);
    EXPECT_EQ(ovArrayCastFromObject(nested, "[]i"), nested);
    EXPECT_EQ(ovArrayCastFromObject(nested, "[]b"), ovNull);
    EXPECT_EQ(ovArrayCastFromObject(ints({1}), "b"), ovNull);
    EXPECT_EQ(ovArrayCastFromObject(ovStringFromCString("x"), "i"), ovNull);
    EXPECT_EQ(ovArrayCastFromObject(ovNull, "i"), ovNull);
    EXPECT_EQ(ovArrayCastFromObject(&ovEmptyArray, ":TList"), &ovEmptyArray);
}

__attribute__((noinline)) void dropArraysHolding(String* s, Object* o, Array* inner) {
    ovStore(ovArrayNew1D("$", 2)->elements<String*>()[1], s);
    ovStore(ovArrayNew1D(":Object", 2)->elements<Object*>()[0], o);
    ovStore(ovArrayNew1D("[]i", 1)->elements<Array*>()[0], inner);
}

// Makes an n-byte array from a raw block with slack and checks it; the
// array is dropped on return.
__attribute__((noinline)) void adoptAndCheck(int32_t n, int64_t inUseAtStart) {
    const int64_t header = ovArrayHeaderSize(1);
    auto* block = static_cast<uint8_t*>(ovMemAlloc(static_cast<size_t>(header + n + 4096)));
    for (int32_t i = 0; i < n; ++i) block[header + i] = static_cast<uint8_t>(i * 7 + 1);
    Array* array = ovArrayAdoptBytes(block, n);
    if (n == 0) {
        EXPECT_EQ(array, &ovEmptyArray);
        return;
    }
    ASSERT_EQ(array->count(), n);
    EXPECT_STREQ(array->tag, "b");
    EXPECT_EQ(array->dimensions, 1);
    EXPECT_EQ(ovGCGetState().bytesInUse, inUseAtStart + header + n);
    const uint8_t* bytes = array->elements<uint8_t>();
    int32_t wrong = 0;
    for (int32_t i = 0; i < n; ++i) wrong += bytes[i] != static_cast<uint8_t>(i * 7 + 1);
    EXPECT_EQ(wrong, 0);
}

// Byte arrays made from raw blocks: a small one is copied into the
// collector's chunks, a large one becomes the array; either way the
// collector returns all of it.
TEST(ArrayAdopt, RawBlocksBecomeByteArraysTheCollectorFrees) {
    ovTestModeGuard manual(0);
    for (const int32_t n : {0, 100, 5000, 1 << 20}) {
        ovTestCollect();
        const int64_t inUseAtStart = ovGCGetState().bytesInUse;
        adoptAndCheck(n, inUseAtStart);
        ovTestCollect();
        EXPECT_EQ(ovGCGetState().bytesInUse, inUseAtStart) << n;
    }
}

TEST(ArrayFree, CollectingAnArrayReleasesItsReferenceElements) {
    ovTestModeGuard manual(0);
    Object* held[] = {ovGCRetain(ovStringFromCString("held")), ovGCRetain(ovObjectNew(&ObjectType)),
                      ovGCRetain(ints({1}))};
    dropArraysHolding(static_cast<String*>(held[0]), held[1], static_cast<Array*>(held[2]));
    EXPECT_EQ(countOf(held[0]), 2);
    ovTestCollect();
    for (Object* o : held) EXPECT_EQ(countOf(o), 1);
    for (Object* o : held) ovGCRelease(o);

    ovEmptyArray.refs = 0;
    ovArrayFree(&ovEmptyArray);
    EXPECT_EQ(ovEmptyArray.refs, OV_STATIC_COUNT);
}

}  // namespace
