// Sorting arrays: the order of every element type, the pairs compared
// against a recursive model of the quicksort, and orders that would make a
// recursive sort overflow the machine stack.
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "array_test_support.h"
#include "runtime/array.h"
#include "runtime/exception.h"
#include "runtime/string.h"
#include "tests/support/gc_test_support.h"

namespace {

// ---------------------------------------------------------------------------
// The model: the quicksort as a recursion into the left part, the loop going
// on with the right part.  The runtime's sort must compare the same pairs in
// the same order and leave every element where the model leaves it.
// ---------------------------------------------------------------------------

template <class T, class Before>
void modelQuicksort(T* element, int32_t lo, int32_t hi, Before before, int32_t depth, int32_t& deepest) {
    deepest = std::max(deepest, depth);
    while (hi > lo) {
        if (hi == lo + 1) {
            if (before(element[hi], element[lo])) std::swap(element[hi], element[lo]);
            return;
        }
        int32_t mid = lo + (hi - lo) / 2;
        if (before(element[mid], element[lo])) std::swap(element[mid], element[lo]);
        if (before(element[hi], element[mid])) {
            std::swap(element[hi], element[mid]);
            if (before(element[mid], element[lo])) std::swap(element[mid], element[lo]);
        }
        int32_t i = lo + 1;
        int32_t j = hi - 1;
        for (;;) {
            while (i < hi && before(element[i], element[mid])) ++i;
            while (j > lo && before(element[mid], element[j])) --j;
            if (i > j) break;
            if (i < j) {
                std::swap(element[i], element[j]);
                if (mid == i)
                    mid = j;
                else if (mid == j)
                    mid = i;
            }
            ++i;
            --j;
            if (i > j) break;
        }
        modelQuicksort(element, lo, j, before, depth + 1, deepest);
        lo = i;
    }
}

// Sorts the values as the model does and returns how deep its calls nested.
template <class T, class Before>
int32_t modelSort(std::vector<T>& values, Before before) {
    int32_t deepest = 0;
    modelQuicksort(values.data(), 0, static_cast<int32_t>(values.size()) - 1, before, 1, deepest);
    return deepest;
}

template <class T>
std::function<bool(T, T)> valueOrder(bool ascending) {
    if (ascending) return [](T x, T y) { return x < y; };
    return [](T x, T y) { return x > y; };
}

std::function<bool(Object*, Object*)> compareOrder(bool ascending) {
    if (ascending) return [](Object* x, Object* y) { return x->Compare(y) < 0; };
    return [](Object* x, Object* y) { return x->Compare(y) > 0; };
}

// A cheap deterministic generator for test data.
struct Scrambler {
    uint64_t state;
    uint32_t next() {
        state = state * 6364136223846793005u + 1442695040888963407u;
        return static_cast<uint32_t>(state >> 33);
    }
};

// The values 0 to n - 1 in an order that drives the pivot of each of the
// first `driven` partitions to the top of its range: the element at hi is the
// largest left and the one at mid the next largest, so partitioning moves the
// pivot to hi - 1 and leaves a left part of all but two elements.  Built by
// playing those partitions on the starting positions of the elements; the
// values left below them come in a scrambled order, so the sort of that rest
// is an ordinary one.
Ints pivotsDrivenToTheTop(int32_t n, int32_t driven = INT32_MAX) {
    std::vector<int32_t> startOf(static_cast<size_t>(n));
    std::iota(startOf.begin(), startOf.end(), 0);
    Ints value(static_cast<size_t>(n));
    int32_t largestLeft = n - 1;
    int32_t hi = n - 1;
    auto take = [&](int32_t at) { value[static_cast<size_t>(startOf[static_cast<size_t>(at)])] = largestLeft--; };
    for (int32_t partition = 0; partition < driven && hi >= 2; ++partition, hi -= 2) {
        const int32_t mid = hi / 2;
        take(hi);
        take(mid);
        std::swap(startOf[static_cast<size_t>(mid)], startOf[static_cast<size_t>(hi - 1)]);
    }
    Scrambler scrambler{3};
    for (int32_t k = hi; k > 0; --k)
        std::swap(startOf[static_cast<size_t>(k)], startOf[scrambler.next() % static_cast<size_t>(k + 1)]);
    for (; hi >= 0; --hi) take(hi);
    return value;
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


// ---------------------------------------------------------------------------
// Instances whose Compare records every call
// ---------------------------------------------------------------------------

// Instances with a number and a sort key, whose Compare records each call as
// (receiver, argument).  They live in static storage with the static count,
// as literals do, so that the thousands of them the tests sort cost the
// collector nothing.
struct Keyed : Object {
    int64_t number;
    int64_t key;
};

using Calls = std::vector<std::pair<int64_t, int64_t>>;
Calls compareCalls;
Scrambler randomAnswers{1};

int64_t numberOf(Object* o) { return static_cast<Keyed*>(o)->number; }

int32_t compareKeys(Object* self, Object* other) {
    compareCalls.emplace_back(numberOf(self), numberOf(other));
    return static_cast<int32_t>(static_cast<Keyed*>(self)->key - static_cast<Keyed*>(other)->key);
}

// Below, equal or above at random, whatever the keys: an order that
// contradicts itself, so that the scans run into the ends of their ranges.
int32_t compareAtRandom(Object* self, Object* other) {
    compareCalls.emplace_back(numberOf(self), numberOf(other));
    return static_cast<int32_t>(randomAnswers.next() % 3) - 1;
}

// The elements being sorted, for a Compare that swaps two of them now and
// then: the sort must see the swapped elements where the model sees them.
Object** elementsBeingSorted = nullptr;
size_t countBeingSorted = 0;
int32_t compareAndMeddle(Object* self, Object* other) {
    const int32_t order = compareKeys(self, other);
    if (compareCalls.size() % 5 == 0) std::swap(elementsBeingSorted[0], elementsBeingSorted[countBeingSorted / 2]);
    return order;
}

int32_t comparesLeft = 0;
int32_t compareUntilTired(Object* self, Object* other) {
    if (--comparesLeft < 0) ovRuntimeError("tired of comparing");
    return compareKeys(self, other);
}

constexpr ovScope keyedScope = {OV_SCOPE_CLASS, "TKeyed", ovNoScopeEntries};

template <int32_t (*Compare)(Object*, Object*)>
constexpr ObjectClass keyedClass =
    ovMakeClass<ObjectClass, Keyed>(ObjectType, &keyedScope, [](auto& record) { record.Compare = Compare; });

constexpr size_t kMostKeyed = 1000;
Keyed keyedPool[kMostKeyed];

Array* objectsWithKeys(const ObjectClass& record, const std::vector<int64_t>& keys) {
    Array* objects = ovArrayNew1D(":TKeyed", static_cast<int32_t>(keys.size()));
    for (size_t k = 0; k < keys.size(); ++k) {
        Keyed& o = keyedPool[k];
        o.cls = &record;
        o.refs = OV_STATIC_COUNT;
        o.number = static_cast<int64_t>(k);
        o.key = keys[k];
        ovStore(objects->elements<Object*>()[k], static_cast<Object*>(&o));
    }
    return objects;
}

std::vector<int64_t> numbersOf(const std::vector<Object*>& objects) {
    std::vector<int64_t> numbers;
    for (Object* o : objects) numbers.push_back(numberOf(o));
    return numbers;
}

void startRecording(Object** elements, size_t count) {
    compareCalls.clear();
    randomAnswers = Scrambler{1};
    elementsBeingSorted = elements;
    countBeingSorted = count;
}

// Where two sequences first differ, or -1 when they are equal.
template <class T>
int64_t firstDifference(const std::vector<T>& a, const std::vector<T>& b) {
    const auto [x, y] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return x == a.end() && y == b.end() ? -1 : x - a.begin();
}

void expectTheComparesOfTheModel(const std::vector<int64_t>& keys) {
    const std::pair<const ObjectClass*, const char*> records[] = {{&keyedClass<compareKeys>, "by keys"},
                                                                  {&keyedClass<compareAtRandom>, "at random"},
                                                                  {&keyedClass<compareAndMeddle>, "meddling"}};
    for (const auto& [record, order] : records)
        for (bool ascending : {true, false}) {
            Array* objects = objectsWithKeys(*record, keys);
            std::vector<Object*> model = contentsOf<Object*>(objects);
            startRecording(model.data(), model.size());
            modelSort(model, compareOrder(ascending));
            const Calls modelCalls = compareCalls;
            startRecording(objects->elements<Object*>(), model.size());
            ovArraySort(objects, ascending ? 1 : 0);
            EXPECT_EQ(firstDifference(compareCalls, modelCalls), -1)
                << keys.size() << " keys, " << order << (ascending ? ", ascending" : ", descending");
            EXPECT_EQ(numbersOf(contentsOf<Object*>(objects)), numbersOf(model)) << order;
        }
}

std::vector<int64_t> widened(const Ints& values) { return {values.begin(), values.end()}; }

TEST(ArraySortCompares, SamePairsInTheSameOrderAsTheModel) {
    Scrambler scrambler{7};
    for (int32_t n = 2; n <= 9; ++n)
        for (int round = 0; round < 3; ++round) {
            std::vector<int64_t> keys;
            for (int32_t k = 0; k < n; ++k) keys.push_back(scrambler.next() % 4);
            expectTheComparesOfTheModel(keys);
        }
    std::vector<int64_t> manyEqual;
    for (int32_t k = 0; k < 300; ++k) manyEqual.push_back(scrambler.next() % 50);
    std::vector<int64_t> ascending(300);
    std::iota(ascending.begin(), ascending.end(), 0);
    std::vector<int64_t> organPipe(ascending.begin(), ascending.begin() + 150);
    organPipe.insert(organPipe.end(), ascending.rbegin() + 150, ascending.rend());
    // The crafted order keeps hundreds of ranges waiting at once.
    for (const auto& keys : {manyEqual, ascending, std::vector<int64_t>(ascending.rbegin(), ascending.rend()),
                             std::vector<int64_t>(300, 7), organPipe, widened(pivotsDrivenToTheTop(kMostKeyed))})
        expectTheComparesOfTheModel(keys);
}

// NaN is neither below nor above anything and the two zeros are equal, so
// where they end up shows every swap the sort made.
template <class T>
void expectTheArrangementOfTheModel(const char* tag, const std::vector<T>& values) {
    for (bool ascending : {true, false}) {
        std::vector<T> model = values;
        modelSort(model, valueOrder<T>(ascending));
        Array* array = arrayOf(tag, values);
        ovArraySort(array, ascending ? 1 : 0);
        const std::vector<T> sorted = contentsOf<T>(array);
        EXPECT_EQ(std::memcmp(sorted.data(), model.data(), sizeof(T) * model.size()), 0)
            << tag << " of " << values.size() << (ascending ? ", ascending" : ", descending");
    }
}

template <class T>
std::vector<T> withUnorderedValues(std::vector<T> values) {
    const T unordered[] = {static_cast<T>(std::nan("1")), static_cast<T>(-std::nan("2")), T{0}, -T{0},
                           static_cast<T>(std::nan("3"))};
    for (size_t k = 0; k < values.size(); k += 4) values[k] = unordered[(k / 4) % 5];
    return values;
}

TEST(ArraySortCompares, NumbersEndWhereTheModelLeavesThem) {
    for (int32_t n : {2, 3, 4, 5, 9, 300}) {
        expectTheArrangementOfTheModel("d", withUnorderedValues(scrambled<double>(n)));
        expectTheArrangementOfTheModel("f", withUnorderedValues(scrambled<float>(n)));
        expectTheArrangementOfTheModel("i", scrambled<int32_t>(n));
    }
    expectTheArrangementOfTheModel("b", scrambled<uint8_t>(300));
    expectTheArrangementOfTheModel("s", scrambled<uint16_t>(300));
    expectTheArrangementOfTheModel("l", scrambled<int64_t>(300));
    expectTheArrangementOfTheModel("i", pivotsDrivenToTheTop(1000));
}

TEST(ArraySortCompares, ACompareThatThrowsLeavesEveryElementInTheArray) {
    Array* objects = objectsWithKeys(keyedClass<compareUntilTired>, widened(pivotsDrivenToTheTop(kMostKeyed)));
    const std::vector<Object*> before = contentsOf<Object*>(objects);
    comparesLeft = 50000;  // far into the sort, with hundreds of ranges waiting
    const std::u16string raised = [&] {
        OV_TRY { ovArraySort(objects, 1); }
        OV_CATCH(e) {
            if (e != ovNull && e->cls == &StringType) {
                auto* s = static_cast<String*>(e);
                return std::u16string(reinterpret_cast<const char16_t*>(s->units()), s->length);
            }
        }
        OV_END_TRY
        return std::u16string(u"(no error)");
    }();
    EXPECT_EQ(raised, u"tired of comparing");
    const std::vector<Object*> after = contentsOf<Object*>(objects);
    EXPECT_TRUE(std::is_permutation(after.begin(), after.end(), before.begin(), before.end()));
}

// ---------------------------------------------------------------------------
// Depth
// ---------------------------------------------------------------------------

// Runs the call on a thread whose machine stack has the given size.
void runWithStackOf(size_t bytes, const std::function<void()>& call) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, bytes);
    pthread_t thread;
    auto entry = [](void* argument) -> void* {
        (*static_cast<const std::function<void()>*>(argument))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, entry, const_cast<std::function<void()>*>(&call)), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

TEST(ArraySortDepth, TheCraftedOrderNestsARecursiveSortOneCallPerDrivenPivot) {
    const std::pair<int32_t, int32_t> orders[] = {{9, INT32_MAX}, {100, INT32_MAX}, {2001, INT32_MAX}, {3000, 500}};
    for (const auto& [n, driven] : orders) {
        Ints values = pivotsDrivenToTheTop(n, driven);
        EXPECT_GE(modelSort(values, std::less<int32_t>()), std::min(driven, n / 2)) << n;
        EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    }
}

TEST(ArraySortDepth, TheCraftedOrderSortsWithinASmallStack) {
    constexpr int32_t n = 200000;
    // A recursion into each left part would nest a call for every driven
    // pivot: 6,000 frames of several dozen bytes each at least.
    Array* array = ints(pivotsDrivenToTheTop(n, 6000));
    runWithStackOf(size_t{128} << 10, [array] { ovArraySort(array, 1); });
    Ints expected(n);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_TRUE(contentsOf(array) == expected);
}

}  // namespace
