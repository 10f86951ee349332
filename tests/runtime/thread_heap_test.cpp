// Threads that allocate from their own heaps: what an ending thread leaves
// to the next, what one thread frees while another runs, and instances made
// on one thread and released on another while passes run.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <array>
#include <atomic>
#include <cstdio>

#include "runtime/memory.h"
#include "runtime/string.h"
#include "runtime/thread.h"
#include "tests/runtime/thread_support.h"
#include "tests/support/gc_test_support.h"
#include "tests/support/text_test_support.h"

namespace {

constexpr int32_t kHeldStrings = 4000;  // more than two chunks of them

// Makes Strings held in locals until it returns, so that the thread's heap
// takes several chunks' worth of blocks.
intptr_t holdStrings(intptr_t) {
    String* held[kHeldStrings];
    for (String*& s : held) s = ovStringFromCString("held");
    intptr_t changed = 0;
    for (String* s : held) changed += ovTestText(s) == "held" ? 0 : 1;
    return changed;
}

TEST(ThreadHeap, ThreadsInARowReuseWhatTheEndedOnesLeft) {
    ovTestModeGuard automatic(OV_GC_AUTOMATIC);
    ovTestCollect();
    const int32_t chunksAtStart = ovGCGetState().chunks;
    ASSERT_EQ(ovThreadWait(startThread(holdStrings, 0)), 0);
    ovTestCollect();
    const int32_t chunksOfOne = ovGCGetState().chunks - chunksAtStart;
    for (int32_t round = 0; round < 10; ++round) {
        ASSERT_EQ(ovThreadWait(startThread(holdStrings, 0)), 0);
        ovTestCollect();
    }
    EXPECT_LE(ovGCGetState().chunks - chunksAtStart, chunksOfOne + 1);
}

constexpr int32_t kRounds = 8;  // some 1 MB of Strings, held until a pass in manual mode

intptr_t holdStringsInRounds(intptr_t) {
    intptr_t changed = 0;
    for (int32_t round = 0; round < kRounds; ++round) changed += holdStrings(0);
    return changed;
}

intptr_t holdStringsWhenTold(intptr_t word) {
    return fromWord<PollingLatch>(word)->wait() ? holdStringsInRounds(0) : -1;
}

// A thread that frees while another runs keeps a chunk's worth at most; the
// rest serves the other thread.
TEST(ThreadHeap, BlocksFreedOnOneThreadServeAnother) {
    ovTestModeGuard manual(0);
    PollingLatch told(1);
    ovThreadRecord* later = startThread(holdStringsWhenTold, toWord(&told));
    ASSERT_NE(later, nullptr);
    EXPECT_EQ(holdStringsInRounds(0), 0);
    ovTestCollect();
    const int32_t chunksBefore = ovGCGetState().chunks;
    told.countDown();
    EXPECT_EQ(ovThreadWait(later), 0);
    EXPECT_LE(ovGCGetState().chunks - chunksBefore, 2);
    ovTestCollect();
}

constexpr int32_t kHandedOver = 20000;

struct Handover {
    std::array<std::atomic<String*>, 64> slots{};
};

// Makes each String, counts it and hands it to the main thread through a
// slot, waiting while the slot is still taken.
intptr_t makeAndHandOver(intptr_t word) {
    Handover& handover = *fromWord<Handover>(word);
    char text[16];
    for (int32_t i = 0; i < kHandedOver; ++i) {
        std::snprintf(text, sizeof text, "s%d", i);
        String* s = ovStringFromCString(text);
        ovGCRetain(s);
        std::atomic<String*>& slot = handover.slots[static_cast<size_t>(i) % handover.slots.size()];
        while (slot.load(std::memory_order_acquire) != nullptr) sched_yield();
        slot.store(s, std::memory_order_release);
    }
    return 0;
}

// Takes each String from its slot, checks and releases it, with a pass now
// and then; returns the Strings whose text changed.  A frame of its own, so
// that no local of it outlives the loop.
__attribute__((noinline)) int32_t releaseHandedOver(Handover& handover) {
    int32_t changed = 0;
    char text[16];
    for (int32_t i = 0; i < kHandedOver; ++i) {
        std::atomic<String*>& slot = handover.slots[static_cast<size_t>(i) % handover.slots.size()];
        String* s;
        while ((s = slot.load(std::memory_order_acquire)) == nullptr) sched_yield();
        std::snprintf(text, sizeof text, "s%d", i);
        if (ovTestText(s) != text) ++changed;
        slot.store(nullptr, std::memory_order_release);
        ovGCRelease(s);
        if (i % 500 == 0) ovGCCollect();
    }
    return changed;
}

TEST(ThreadHeap, InstancesMadeOnOneThreadAreReleasedOnAnotherWhilePassesRun) {
    ovTestModeGuard automatic(OV_GC_AUTOMATIC);
    ovTestCollect();
    const int64_t inUseAtStart = ovGCGetState().bytesInUse;
    Handover handover;
    ovThreadRecord* maker = startThread(makeAndHandOver, toWord(&handover));
    ASSERT_NE(maker, nullptr);
    EXPECT_EQ(releaseHandedOver(handover), 0);
    ovThreadWait(maker);
    ovTestCollect();
    EXPECT_EQ(ovGCGetState().bytesInUse, inUseAtStart);
}

constexpr int32_t kChurned = 100000;

// Drops almost every String it makes and holds the first sixteen made at
// a multiple of 1000 in a local until the end; returns how many changed.
intptr_t churnHoldingFew(intptr_t) {
    std::array<String*, 16> held{};
    char text[16];
    for (int32_t i = 0; i < kChurned; ++i) {
        std::snprintf(text, sizeof text, "c%d", i);
        String* s = ovStringFromCString(text);
        if (i % 1000 == 0 && i / 1000 < static_cast<int32_t>(held.size())) held[static_cast<size_t>(i / 1000)] = s;
    }
    intptr_t changed = 0;
    for (size_t k = 0; k < held.size(); ++k) {
        std::snprintf(text, sizeof text, "c%zu", k * 1000);
        if (ovTestText(held[k]) != text) ++changed;
    }
    return changed;
}

// Each thread's passes over its own batch free what it dropped while the
// other runs its own, keep what either holds, and count every byte.
TEST(ThreadHeap, TwoThreadsChurningFreeWhatTheyDropAndKeepWhatTheyHold) {
    ovTestModeGuard automatic(OV_GC_AUTOMATIC);
    ovTestCollect();
    const ovGCState before = ovGCGetState();
    ThreadGroup pair(2, churnHoldingFew, 0);
    ASSERT_TRUE(pair.started());
    EXPECT_EQ(pair.waitAll(), 0);
    EXPECT_GT(ovGCGetState().passes - before.passes, 10);
    ovTestCollect();
    EXPECT_EQ(ovGCGetState().bytesInUse, before.bytesInUse);
}

// Spins with the suspend signal blocked until the churn is done, or for a
// bound a churn with passes that stop it would run into; 1 when the churn
// was done first.
struct Unstoppable {
    std::atomic<bool> masked{false};
    std::atomic<bool> churnDone{false};

    static intptr_t run(intptr_t word) {
        auto* self = fromWord<Unstoppable>(word);
        sigset_t suspend;
        sigemptyset(&suspend);
        sigaddset(&suspend, ovThreadSuspendSignal());
        pthread_sigmask(SIG_BLOCK, &suspend, nullptr);
        self->masked = true;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!self->churnDone && std::chrono::steady_clock::now() < deadline) {
        }
        const bool doneFirst = self->churnDone;
        pthread_sigmask(SIG_UNBLOCK, &suspend, nullptr);
        return doneFirst ? 1 : 0;
    }
};

// Passes over Strings nobody but their maker knows do not stop a thread that
// runs meanwhile: one that cannot be stopped does not hold them up.
TEST(ThreadHeap, OwnPassesOverWhatOnlyTheMakerKnowsStopNoOtherThread) {
    ovTestModeGuard automatic(OV_GC_AUTOMATIC);
    ovTestCollect();
    Unstoppable spinner;
    ovThreadRecord* thread = startThread(Unstoppable::run, toWord(&spinner));
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(eventually([&] { return spinner.masked.load(); }));
    const int32_t passesBefore = ovGCGetState().passes;
    EXPECT_EQ(churnHoldingFew(0), 0);
    spinner.churnDone = true;
    EXPECT_EQ(ovThreadWait(thread), 1);
    EXPECT_GT(ovGCGetState().passes - passesBefore, 10);
}

constexpr const char* kArgumentText = "the new thread's argument";

intptr_t spellsItsArgument(intptr_t word) {
    const bool live = ovGCIsObject(static_cast<uintptr_t>(word)) == 1;
    return live && ovTestText(fromWord<String>(word)) == kArgumentText ? 1 : 0;
}

// Makes a String while another thread runs and gives it, uncounted, to a
// new thread as its argument; no local of this frame outlives it.
__attribute__((noinline)) ovThreadRecord* createWithNewString() {
    return ovThreadCreate(spellsItsArgument, toWord(ovStringFromCString(kArgumentText)));
}

// The maker's own passes do not free what a new thread was given.
TEST(ThreadHeap, AnInstanceGivenToANewThreadOutlivesItsMakersPasses) {
    ovTestModeGuard automatic(OV_GC_AUTOMATIC);
    PollingLatch done(1);
    ovThreadRecord* waiting =
        startThread([](intptr_t word) -> intptr_t { return fromWord<PollingLatch>(word)->wait() ? 0 : 1; }, toWord(&done));
    ASSERT_NE(waiting, nullptr);
    ovThreadRecord* given = createWithNewString();
    ASSERT_NE(given, nullptr);
    EXPECT_EQ(churnHoldingFew(0), 0);
    ovThreadResume(given);
    EXPECT_EQ(ovThreadWait(given), 1);
    done.countDown();
    EXPECT_EQ(ovThreadWait(waiting), 0);
}

intptr_t dropAFewStrings(intptr_t) {
    for (int32_t i = 0; i < 100; ++i) ovStringFromCString("dropped");
    return 0;
}

// A thread that ends frees what its batch holds and nothing holds, as its
// full batches: only what its last frames may still point at waits in the
// table for a later pass.
TEST(ThreadHeap, AnEndingThreadFreesWhatItDroppedSinceItsLastPass) {
    ovTestModeGuard automatic(OV_GC_AUTOMATIC);
    ovTestCollect();
    const int32_t queuedBefore = ovGCGetState().queued;
    EXPECT_EQ(ovThreadWait(startThread(dropAFewStrings, 0)), 0);
    EXPECT_LT(ovGCGetState().queued - queuedBefore, 10);
}

}  // namespace
