// What threads share and what each keeps to itself: counts of one instance
// changed by two threads, the lock whose waiters stay suspendable, each
// thread's own try stack, and the ring of temporary buffers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/process.h"
#include "runtime/string.h"
#include "tests/runtime/thread_support.h"
#include "tests/support/gc_test_support.h"

namespace {

// ---------------------------------------------------------------------------
// Counts
// ---------------------------------------------------------------------------

constexpr int32_t kCountChanges = 1000000;

struct SharedInstance {
    Object* instance;
    PollingLatch retained{2};
    PollingLatch release{1};
};

intptr_t retainThenRelease(intptr_t word) {
    auto* shared = fromWord<SharedInstance>(word);
    for (int32_t i = 0; i < kCountChanges; ++i) ovGCRetain(shared->instance);
    shared->retained.countDown();
    shared->release.wait();
    for (int32_t i = 0; i < kCountChanges; ++i) ovGCRelease(shared->instance);
    return 0;
}

// Two threads retain the instance a million times each, then release it as
// often; returns its count while they held it and once they let go.
std::pair<int32_t, int32_t> countFromTwoThreads(Object* instance) {
    SharedInstance shared{instance};
    ThreadGroup pair(2, retainThenRelease, toWord(&shared));
    EXPECT_TRUE(pair.started());
    shared.retained.wait();
    const int32_t held = instance->refs;
    shared.release.countDown();
    pair.waitAll();
    return {held, instance->refs};
}

TEST(ThreadCounts, TwoThreadsRetainingAndReleasingOneInstanceLoseNoCount) {
    ovTestModeGuard manual(0);
    Object* instance = ovObjectNew(&ObjectType);
    ovTestHoldOutsideTable(instance);
    EXPECT_EQ(countFromTwoThreads(instance), std::make_pair(1 + 2 * kCountChanges, 1));
    ovGCRelease(instance);
}

// Every thread counts these; their counts stay put rather than bounce
// between the cores.
TEST(ThreadCounts, InstancesInStaticDataKeepTheirCountWhileThreadsCountThem) {
    for (Object* instance : {ovNull, static_cast<Object*>(&ovEmptyString)}) {
        const int32_t before = instance->refs;
        EXPECT_EQ(countFromTwoThreads(instance), std::make_pair(before, before));
    }
}

constexpr int32_t kRaces = 2000;

struct LastReferences {
    Object* instance = nullptr;
    PollingBarrier round{3};  // the main thread and the two releasers
};

intptr_t dropOneReferencePerRound(intptr_t word) {
    auto* last = fromWord<LastReferences>(word);
    for (int32_t i = 0; i < kRaces; ++i) {
        last->round.arriveAndWait();  // the instance is ready
        ovGCRelease(last->instance);
        last->round.arriveAndWait();  // both have released
    }
    return 0;
}

// Each round an instance held by two references loses both at once; exactly
// one of the two releases that can see zero queues it.
TEST(ThreadCounts, TwoThreadsDroppingTheLastTwoReferencesAtOnceQueueTheInstanceOnce) {
    ovTestModeGuard manual(0);
    LastReferences last;
    ThreadGroup pair(2, dropOneReferencePerRound, toWord(&last));
    ASSERT_TRUE(pair.started());
    int32_t queuedOnce = 0;
    for (int32_t i = 0; i < kRaces; ++i) {
        last.instance = ovObjectNew(&ObjectType);
        ovGCRetain(last.instance);
        ovTestHoldOutsideTable(last.instance);  // two references, not queued
        const int32_t queuedBefore = ovGCGetState().queued;
        last.round.arriveAndWait();
        last.round.arriveAndWait();
        if (ovGCGetState().queued == queuedBefore + 1 && static_cast<uint32_t>(last.instance->refs) == OV_QUEUED_BIT)
            ++queuedOnce;
    }
    pair.waitAll();
    EXPECT_EQ(queuedOnce, kRaces);
}

// A thread that sleeps most of the time and, awake, counts the instance the
// main thread counts alone while it sleeps.
struct Sleeper {
    Object* instance;
    std::atomic<bool> done{false};
    static constexpr int32_t kRounds = 20;

    static intptr_t run(intptr_t word) {
        auto* sleeper = fromWord<Sleeper>(word);
        for (int32_t round = 0; round < kRounds; ++round) {
            ovDelay(5);
            for (int32_t i = 0; i < 1000; ++i) ovGCRelease(ovGCRetain(sleeper->instance));
        }
        sleeper->done = true;
        return 0;
    }
};

// The main thread counts plainly while the other sleeps; each wake takes
// that back between two of its updates, so no update of either is lost.
TEST(ThreadCounts, AThreadCountingAloneLosesNoCountWhenAnotherWakes) {
    Object* instance = ovObjectNew(&ObjectType);
    ovTestHoldOutsideTable(instance);
    Sleeper sleeper{instance};
    ovThreadRecord* thread = startThread(Sleeper::run, toWord(&sleeper));
    ASSERT_NE(thread, nullptr);
    int32_t timesAlone = 0;
    while (!sleeper.done) {
        for (int32_t i = 0; i < 1000; ++i) {
            ovGCRetain(instance);
            ovStringFromCString("a new String queues an entry");
            ovGCRelease(instance);
        }
        timesAlone += ovThreadIsCountingAlone(ovThreadCurrent());
    }
    ovThreadWait(thread);
    EXPECT_GT(timesAlone, 0);
    EXPECT_EQ(instance->refs, 1);
    ovGCRelease(instance);
}

// ---------------------------------------------------------------------------
// The lock
// ---------------------------------------------------------------------------

constexpr int32_t kLockedIncrements = 200000;

struct Guarded {
    ovSuspendableLock lock;
    int64_t plainCount = 0;  // changed only under the lock
    PollingBarrier start{2};
};

intptr_t incrementUnderTheLock(intptr_t word) {
    auto* guarded = fromWord<Guarded>(word);
    guarded->start.arriveAndWait();
    for (int32_t i = 0; i < kLockedIncrements; ++i) {
        guarded->lock.lock();
        ++guarded->plainCount;
        guarded->lock.unlock();
    }
    return 0;
}

TEST(ThreadLock, TwoThreadsLoseNoUpdateMadeUnderIt) {
    Guarded guarded;
    ThreadGroup pair(2, incrementUnderTheLock, toWord(&guarded));
    ASSERT_TRUE(pair.started());
    pair.waitAll();
    EXPECT_EQ(guarded.plainCount, 2 * kLockedIncrements);
}

struct Waiter {
    ovSuspendableLock lock;
    std::atomic<bool> waiting{false};
};

intptr_t takeTheLock(intptr_t word) {
    auto* waiter = fromWord<Waiter>(word);
    waiter->waiting = true;
    waiter->lock.lock();
    waiter->lock.unlock();
    return 1;
}

TEST(ThreadLock, AThreadWaitingForItCanBeSuspendedAndResumed) {
    Waiter waiter;
    waiter.lock.lock();
    ovThreadRecord* thread = startThread(takeTheLock, toWord(&waiter));
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(eventually([&] { return waiter.waiting.load(); }));
    yieldALot();  // most likely asleep in the lock by now
    EXPECT_EQ(ovThreadSuspend(thread), 0);
    EXPECT_LT(reinterpret_cast<uintptr_t>(thread->savedStackPointer), reinterpret_cast<uintptr_t>(thread->stackTop));
    EXPECT_EQ(ovThreadResume(thread), 1);
    waiter.lock.unlock();
    EXPECT_EQ(ovThreadWait(thread), 1);
}

// ---------------------------------------------------------------------------
// Try stacks and the temporary ring
// ---------------------------------------------------------------------------

constexpr int32_t kThrows = 1000;

struct TryStacks {
    ovTryStack* mains = nullptr;
    PollingLatch workerDone{1};
};

// Throws and catches in nested blocks; reports whether its try stack was
// always its own and gone once its outermost block ended.
intptr_t throwAndCatch(intptr_t word) {
    auto* stacks = fromWord<TryStacks>(word);
    bool own = ovTryCurrent() == nullptr;
    int32_t caught = 0;
    for (int32_t i = 0; i < kThrows; ++i) {
        OV_TRY {
            OV_TRY {
                own = own && ovTryCurrent() != nullptr && ovTryCurrent() != stacks->mains;
                ovRuntimeError("inner");
            }
            OV_CATCH(e) {
                ++caught;
                ovThrow(e);
            }
            OV_END_TRY
        }
        OV_CATCH(e) { caught += e != ovNull ? 1 : 0; }
        OV_END_TRY
    }
    own = own && ovTryCurrent() == nullptr;
    stacks->workerDone.countDown();
    return own && caught == 2 * kThrows ? 1 : 0;
}

TEST(ThreadTryStacks, EachThreadThrowsToItsOwnTryBlocks) {
    TryStacks stacks;
    intptr_t workerResult = 0;
    Object* caughtOnMain = nullptr;
    OV_TRY {
        stacks.mains = ovTryCurrent();
        const char* mainsTop = stacks.mains->top;
        ovThreadRecord* worker = startThread(throwAndCatch, toWord(&stacks));
        ASSERT_NE(worker, nullptr);
        stacks.workerDone.wait();
        EXPECT_EQ(ovTryCurrent(), stacks.mains);
        EXPECT_EQ(ovTryCurrent()->top, mainsTop);
        workerResult = ovThreadWait(worker);
    }
    OV_CATCH(e) { caughtOnMain = e; }
    OV_END_TRY
    EXPECT_EQ(caughtOnMain, nullptr) << "the worker's throws stay on its own thread";
    EXPECT_EQ(workerResult, 1);
}

constexpr int32_t kConverters = 4;
constexpr int32_t kConversionsEach = 8;  // 32 in all: the ring holds every one

struct Conversions {
    PollingBarrier start{kConverters};
    char* buffers[kConverters][kConversionsEach] = {};
};

struct Converter {
    Conversions* conversions;
    int32_t index;
};

std::string conversionText(int32_t converter, int32_t i) {
    return "c" + std::to_string(converter) + "-" + std::to_string(i);
}

intptr_t convertTemporarily(intptr_t word) {
    const Converter& converter = *fromWord<Converter>(word);
    converter.conversions->start.arriveAndWait();
    for (int32_t i = 0; i < kConversionsEach; ++i) {
        String* s = ovStringFromCString(conversionText(converter.index, i).c_str());
        converter.conversions->buffers[converter.index][i] = ovTmpCString(s);
    }
    return 0;
}

TEST(ThreadTemporaryRing, ThreadsConvertingAtOnceEachGetSlotsOfTheirOwn) {
    Conversions conversions;
    std::vector<Converter> converters;
    for (int32_t c = 0; c < kConverters; ++c) converters.push_back({&conversions, c});
    std::vector<ovThreadRecord*> threads;
    for (Converter& converter : converters) threads.push_back(startThread(convertTemporarily, toWord(&converter)));
    for (ovThreadRecord* thread : threads) ovThreadWait(thread);

    std::set<const char*> distinct;
    for (int32_t c = 0; c < kConverters; ++c) {
        for (int32_t i = 0; i < kConversionsEach; ++i) {
            const char* buffer = conversions.buffers[c][i];
            ASSERT_NE(buffer, nullptr);
            distinct.insert(buffer);
            EXPECT_EQ(ovTmpRingHolds(buffer), 1);
            EXPECT_STREQ(buffer, conversionText(c, i).c_str());
        }
    }
    EXPECT_EQ(distinct.size(), static_cast<size_t>(kConverters * kConversionsEach));
}

}  // namespace
