// The two atomic Int operations, alone and with two threads contending.
#include <gtest/gtest.h>

#include <climits>
#include <latch>

#include "tests/runtime/thread_support.h"

namespace {

TEST(Atomics, AddReturnsThePreviousValueAndWraps) {
    int32_t word = 5;
    EXPECT_EQ(ovAtomicAdd(&word, 1), 5);
    EXPECT_EQ(word, 6);
    word = INT_MAX;
    EXPECT_EQ(ovAtomicAdd(&word, 1), INT_MAX);
    EXPECT_EQ(word, INT_MIN);
}

TEST(Atomics, CASStoresOnlyWhenTheWordHoldsTheExpectedValue) {
    int32_t word = 5;
    EXPECT_EQ(ovAtomicCAS(&word, 4, 9), 0);
    EXPECT_EQ(word, 5);
    EXPECT_EQ(ovAtomicCAS(&word, 5, 9), 1);
    EXPECT_EQ(word, 9);
}

constexpr int32_t kRounds = 20000;

struct Contended {
    int32_t word = 0;
    std::latch start{1};  // both threads begin together, so they overlap
};

// Each round adds 2: once by fetch-and-add, once by a CAS retried until it lands.
intptr_t incrementRounds(intptr_t shared) {
    auto* contended = fromWord<Contended>(shared);
    contended->start.wait();
    for (int32_t i = 0; i < kRounds; ++i) {
        ovAtomicAdd(&contended->word, 1);
        int32_t seen;
        do {
            seen = std::atomic_ref<int32_t>(contended->word).load();
        } while (ovAtomicCAS(&contended->word, seen, seen + 1) == 0);
    }
    return 0;
}

TEST(Atomics, LoseNoIncrementUnderContention) {
    Contended contended;
    ovThreadRecord* first = startThread(incrementRounds, toWord(&contended));
    ovThreadRecord* second = startThread(incrementRounds, toWord(&contended));
    ASSERT_TRUE(first && second);
    contended.start.count_down();
    ovThreadWait(first);
    ovThreadWait(second);
    EXPECT_EQ(contended.word, 4 * kRounds);
}

}  // namespace
