// Arrays: creation, slices, concatenation, dimensions, casts, freeing and sorting.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "runtime/array.h"
#include "runtime/exception.h"
#include "runtime/string.h"
#include "tests/support/gc_test_support.h"
#include "tests/support/thrown_test_support.h"

namespace {

using Ints = std::vector<int32_t>;

template <class T>
Array* arrayOf(const char* tag, const std::vector<T>& values) {
    Array* array = ovArrayNew1D(tag, static_cast<int32_t>(values.size()));
    std::memcpy(array->elements<T>(), values.data(), values.size() * sizeof(T));
    return array;
}
template <class T = int32_t>
std::vector<T> contentsOf(Array* array) {
    return {array->elements<T>(), array->elements<T>() + array->count()};
}
Array* ints(const Ints& values) { return arrayOf("i", values); }
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

// n values over the whole range of the type, repeating every 61 positions.
template <class T>
std::vector<T> scrambled(int32_t n) {
    std::vector<T> values;
    for (int32_t k = 0; k < n; ++k) {
        const auto bits = static_cast<int64_t>(static_cast<uint64_t>(k % 61 + 1) * 0x9e3779b97f4a7c15u);
        if constexpr (std::is_floating_point_v<T>)
            values.push_back(static_cast<T>(bits >> 40) / T{1000});
        else
            values.push_back(static_cast<T>(bits >> 7));
    }
    return values;
}

template <class T>
void expectSortsLikeTheStandardLibrary(const char* tag, const std::vector<T>& values) {
    std::vector<T> expected = values;
    std::sort(expected.begin(), expected.end());
    Array* array = arrayOf(tag, values);
    ovArraySort(array, 1);
    EXPECT_EQ(contentsOf<T>(array), expected) << "ascending, tag " << tag;
    std::sort(expected.begin(), expected.end(), std::greater<T>());
    array = arrayOf(tag, values);
    array->Sort(0);
    EXPECT_EQ(contentsOf<T>(array), expected) << "descending, tag " << tag;
}

TEST(ArraySort, EveryNumberTypeBothWays) {
    expectSortsLikeTheStandardLibrary<uint8_t>("b", scrambled<uint8_t>(200));
    expectSortsLikeTheStandardLibrary<uint16_t>("s", scrambled<uint16_t>(200));
    expectSortsLikeTheStandardLibrary<int32_t>("i", scrambled<int32_t>(200));
    expectSortsLikeTheStandardLibrary<int64_t>("l", scrambled<int64_t>(200));
    expectSortsLikeTheStandardLibrary<float>("f", scrambled<float>(200));
    expectSortsLikeTheStandardLibrary<double>("d", scrambled<double>(200));
    for (int32_t n = 2; n <= 5; ++n) expectSortsLikeTheStandardLibrary<int64_t>("l", scrambled<int64_t>(n));
}

TEST(ArraySort, EqualSortedReversedAndNaNRunsStayInBounds) {
    Ints sorted(300);
    for (int32_t k = 0; k < 300; ++k) sorted[static_cast<size_t>(k)] = k / 3;
    Ints organPipe(sorted.begin(), sorted.begin() + 150);
    organPipe.insert(organPipe.end(), sorted.rbegin() + 150, sorted.rend());
    for (const Ints& values : {Ints(300, 7), sorted, Ints(sorted.rbegin(), sorted.rend()), organPipe})
        expectSortsLikeTheStandardLibrary("i", values);

    std::vector<double> withNaN = scrambled<double>(200);
    for (size_t k = 0; k < withNaN.size(); k += 3) withNaN[k] = std::nan("");
    Array* doubles = arrayOf("d", withNaN);
    ovArraySort(doubles, 1);
    const std::vector<double> result = contentsOf<double>(doubles);
    auto sameBits = [](double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; };
    EXPECT_TRUE(std::is_permutation(result.begin(), result.end(), withNaN.begin(), withNaN.end(), sameBits));
}

TEST(ArraySort, StringsByOrdinalCompare) {
    Array* strings = ovArrayNew1D("$", 3);
    for (int32_t k = 0; k < 3; ++k) ovStore(strings->elements<String*>()[k], ovStringFromChar("bBa"[k]));
    auto joined = [&] { return std::string(ovTmpCString(ovStringJoin(&ovEmptyString, strings))); };
    ovArraySort(strings, 1);
    EXPECT_EQ(joined(), "Bab");
    ovArraySort(strings, 0);
    EXPECT_EQ(joined(), "baB");
}

int32_t alwaysSmaller(Object*, Object*) { return -1; }

TEST(ArraySort, ASelfContradictingCompareStaysInBounds) {
    // Counted test instances whose record calls every instance smaller than any other.
    static ObjectClass contrary = TCountedType;
    contrary.Compare = alwaysSmaller;
    Array* objects = ovArrayNew1D(":TCounted", 40);
    for (int32_t k = 0; k < 40; ++k) {
        ovStore(objects->elements<Object*>()[k], ovObjectNew(&TCountedType));
        objects->elements<Object*>()[k]->cls = &contrary;
    }
    const std::vector<Object*> before = contentsOf<Object*>(objects);
    ovArraySort(objects, 1);
    const std::vector<Object*> after = contentsOf<Object*>(objects);
    EXPECT_TRUE(std::is_permutation(after.begin(), after.end(), before.begin(), before.end()));
}

TEST(ArraySort, UnorderedTagsAndShortArraysAreLeftAlone) {
    Array* nested = ovArrayNew1D("[]i", 2);
    ovStore(nested->elements<Array*>()[0], ints({1}));
    const std::vector<Array*> arrays = contentsOf<Array*>(nested);
    ovArraySort(nested, 1);
    EXPECT_EQ(contentsOf<Array*>(nested), arrays);
    const std::vector<intptr_t> functions = {2, 1};
    Array* calls = arrayOf("()i", functions);
    ovArraySort(calls, 1);
    EXPECT_EQ(contentsOf<intptr_t>(calls), functions);
    Array* one = ints({5});
    ovArraySort(one, 0);
    EXPECT_EQ(contentsOf(one), Ints{5});
    EXPECT_EQ(ovArraySort(&ovEmptyArray, 0), 0);
}

}  // namespace
