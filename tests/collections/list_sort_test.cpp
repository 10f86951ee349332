// Sort: stability in both directions against std::stable_sort, the
// comparisons of the merge of runs, address order through ObjectOrder, a
// comparison that throws at every possible point, and a sort that neither
// allocates nor queues anything.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

#include "collections/list.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/string.h"
#include "tests/collections/list_test_support.h"
#include "tests/support/gc_test_support.h"
#include "tests/support/thrown_test_support.h"

namespace {

using ListSorting = ListTest;

using KeyAndTag = std::pair<int64_t, int64_t>;

std::vector<KeyAndTag> keysAndTags(TList* list) {
    std::vector<KeyAndTag> result;
    for (Object* value : ovTestValues(list)) result.emplace_back(ovTestKeyOf(value), ovTestTagOf(value));
    return result;
}

// n keys from a small range, so that many are equal.
std::vector<int64_t> randomKeys(int n, std::mt19937& random) {
    std::uniform_int_distribution<int64_t> key(0, n / 3);
    std::vector<int64_t> keys(static_cast<size_t>(n));
    for (int64_t& k : keys) k = key(random);
    return keys;
}

// A list of values with the keys, each value's tag its position.
TList* listOfKeys(const std::vector<int64_t>& keys) {
    TList* list = ListNew();
    for (size_t i = 0; i < keys.size(); ++i) list->AddLast(ovTestKeyed(keys[i], static_cast<int64_t>(i)));
    return list;
}

// Counts the comparisons and throws a String at the one numbered throwAt
// (0: never).
int32_t comparisons = 0;
int32_t throwAt = 0;
int32_t byKeyThrowing(Object* a, Object* b) {
    if (++comparisons == throwAt) ovThrow(ovLiteral(u"comparison failed"));
    return ovTestByKey(a, b);
}

TEST_F(ListSorting, EqualKeysKeepTheirOrderInBothDirections) {
    std::mt19937 random(11);
    for (int n : {0, 1, 2, 3, 7, 16, 100, 1000}) {
        for (int32_t ascending : {1, 0}) {
            TList* list = listOfKeys(randomKeys(n, random));
            std::vector<KeyAndTag> expected = keysAndTags(list);
            std::stable_sort(expected.begin(), expected.end(), [&](const KeyAndTag& x, const KeyAndTag& y) {
                return ascending ? x.first < y.first : x.first > y.first;
            });
            EXPECT_EQ(ListSort(list, ascending, ovTestByKey), 0);
            EXPECT_EQ(keysAndTags(list), expected) << n << (ascending ? " ascending" : " descending");
            EXPECT_TRUE(ovTestRingIsWhole(list));
        }
    }
}

// The pairs of positions compared by the merge of runs done pass by pass:
// runs of 1, 2, 4, ... from the front of a ring, each pair merged, taking the
// later run's element only when it orders strictly before.  Simulated on
// positions, with the head at position n.
std::vector<std::pair<int64_t, int64_t>> passByPassComparisons(const std::vector<int64_t>& keys) {
    const int64_t n = static_cast<int64_t>(keys.size());
    const int64_t head = n;
    std::vector<int64_t> succ(static_cast<size_t>(n + 1));
    for (int64_t i = 0; i <= n; ++i) succ[i] = (i + 1) % (n + 1);
    std::vector<std::pair<int64_t, int64_t>> pairs;
    for (int64_t k = 1;; k *= 2) {
        int64_t tail = head;
        int64_t p = succ[head];
        int64_t merges = 0;
        while (p != head) {
            ++merges;
            int64_t q = p;
            int64_t psize = 0;
            while (psize < k && q != head) {
                ++psize;
                q = succ[q];
            }
            int64_t qsize = k;
            while (psize > 0 || (qsize > 0 && q != head)) {
                const bool bothLeft = psize > 0 && qsize > 0 && q != head;
                if (bothLeft) pairs.emplace_back(p, q);
                int64_t taken;
                if (psize == 0 || (bothLeft && keys[p] > keys[q])) {
                    taken = q;
                    q = succ[q];
                    --qsize;
                } else {
                    taken = p;
                    p = succ[p];
                    --psize;
                }
                succ[tail] = taken;
                tail = taken;
            }
            p = q;
        }
        succ[tail] = head;
        if (merges <= 1) return pairs;
    }
}

std::vector<std::pair<int64_t, int64_t>> comparedTags;
int32_t byKeyRecording(Object* a, Object* b) {
    comparedTags.emplace_back(ovTestTagOf(a), ovTestTagOf(b));
    return ovTestByKey(a, b);
}

// Sort may order its merges differently from a pass-by-pass sort, but it
// makes the same comparisons, of the same elements, the earlier one first.
TEST_F(ListSorting, MakesTheComparisonsOfTheMergeOfRunsPassByPass) {
    std::mt19937 random(21);
    for (int n = 0; n <= 1100; n += n < 70 ? 1 : 257) {
        const std::vector<int64_t> keys = randomKeys(n, random);
        comparedTags.clear();
        listOfKeys(keys)->Sort(1, byKeyRecording);
        std::vector<std::pair<int64_t, int64_t>> expected = passByPassComparisons(keys);
        std::sort(comparedTags.begin(), comparedTags.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(comparedTags, expected) << n << " elements";
    }
}

TEST_F(ListSorting, ASmallCaseByHand) {
    TList* list = ovTestListOf({ovTestKeyed(1, 'a'), ovTestKeyed(0, 'b'), ovTestKeyed(1, 'c'), ovTestKeyed(0, 'd')});
    list->Sort(1, ovTestByKey);
    EXPECT_EQ(keysAndTags(list), (std::vector<KeyAndTag>{{0, 'b'}, {0, 'd'}, {1, 'a'}, {1, 'c'}}));
    list->Sort(0, ovTestByKey);
    EXPECT_EQ(keysAndTags(list), (std::vector<KeyAndTag>{{1, 'a'}, {1, 'c'}, {0, 'b'}, {0, 'd'}}));
}

TEST_F(ListSorting, ObjectOrderSortsPlainObjectsByAddress) {
    std::vector<Object*> objects;
    TList* list = ListNew();
    for (int i = 0; i < 50; ++i) objects.push_back(list->AddLast(ovObjectNew(&ObjectType))->Value());
    std::shuffle(objects.begin(), objects.end(), std::mt19937(5));
    TList* shuffled = ListNew();
    for (Object* object : objects) shuffled->AddLast(object);
    shuffled->Sort(1, ObjectOrder);
    std::vector<Object*> values = ovTestValues(shuffled);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    shuffled->Sort(0, ObjectOrder);
    values = ovTestValues(shuffled);
    EXPECT_TRUE(std::is_sorted(values.rbegin(), values.rend()));
    EXPECT_EQ(values.size(), 50u);
}

// Whatever comparison throws, the exception reaches the caller and the list
// is a whole ring of the same values, which a second sort orders.
TEST_F(ListSorting, AThrowingComparisonLeavesEveryElementInTheRing) {
    std::mt19937 random(3);
    for (int n : {2, 3, 5, 8, 13, 40}) {
        const std::vector<int64_t> keys = randomKeys(n, random);
        comparisons = 0;
        throwAt = 0;
        listOfKeys(keys)->Sort(1, byKeyThrowing);
        const int32_t total = comparisons;
        for (int32_t k = 1; k <= total; ++k) {
            TList* list = listOfKeys(keys);
            std::vector<Object*> before = ovTestValues(list);
            comparisons = 0;
            throwAt = k;
            Object* thrown = ovTestThrown([&] { list->Sort(1, byKeyThrowing); });
            EXPECT_TRUE(ovIsInstance(thrown, &StringType)) << n << " elements, comparison " << k;
            ASSERT_TRUE(ovTestRingIsWhole(list)) << n << " elements, comparison " << k;
            std::vector<Object*> after = ovTestValues(list);
            std::sort(before.begin(), before.end());
            std::sort(after.begin(), after.end());
            EXPECT_EQ(after, before) << n << " elements, comparison " << k;
            throwAt = 0;
            list->Sort(1, byKeyThrowing);
            const std::vector<KeyAndTag> sorted = keysAndTags(list);
            EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end(),
                                       [](const KeyAndTag& x, const KeyAndTag& y) { return x.first < y.first; }));
        }
    }
}

TEST_F(ListSorting, SortingAndReversingAllocateAndQueueNothing) {
    ovTestModeGuard manual(0);
    std::mt19937 random(8);
    TList* list = listOfKeys(randomKeys(1000, random));
    ovTestCollect();
    const ovGCState before = ovGCGetState();
    list->Sort(1, ovTestByKey);
    list->Sort(0, ovTestByKey);
    list->Reverse();
    const ovGCState after = ovGCGetState();
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
    EXPECT_EQ(after.queued, before.queued);
}

TEST_F(ListSorting, AMissingComparisonRaisesTheNullFunctionException) {
    TList* list = ovTestListOf({ovTestKeyed(1), ovTestKeyed(2)});
    EXPECT_TRUE(ovIsInstance(ovTestThrown([&] { list->Sort(1, nullptr); }), &TNullFunctionExceptionType));
    EXPECT_EQ(list->Count(), 2);
}

}  // namespace
