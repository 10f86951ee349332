// Suspending and resuming single threads and all threads but the caller:
// suspend counts, and the stack pointer and registers captured at a stop.
#include <gtest/gtest.h>

#include <signal.h>

#include "runtime/process.h"
#include "runtime/string.h"
#include "tests/runtime/thread_support.h"
#include "tests/support/gc_test_support.h"

namespace {

uintptr_t address(const void* p) { return reinterpret_cast<uintptr_t>(p); }

// A stopped thread's stack in use lies just below its top.
void expectStoppedWithinItsStack(const ovThreadRecord* thread) {
    constexpr uintptr_t kGenerousDepth = 1 << 20;
    EXPECT_LT(address(thread->savedStackPointer), address(thread->stackTop));
    EXPECT_GT(address(thread->savedStackPointer), address(thread->stackTop) - kGenerousDepth);
}

TEST(ThreadSuspend, CountsStackAndOnlyTheLastResumeRestarts) {
    Counter counter;
    ovThreadRecord* thread = startThread(Counter::run, toWord(&counter));
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(ovThreadResume(thread), 0);  // running: nothing to lift
    for (int i = 0; i < 200; ++i) {        // a stop right after a restart is not lost
        ASSERT_EQ(ovThreadSuspend(thread), 0);
        ASSERT_EQ(ovThreadResume(thread), 1);
    }

    EXPECT_EQ(ovThreadSuspend(thread), 0);
    EXPECT_TRUE(counter.frozen());
    expectStoppedWithinItsStack(thread);
    EXPECT_EQ(ovThreadSuspend(thread), 1);
    EXPECT_EQ(ovThreadResume(thread), 2);
    EXPECT_TRUE(counter.frozen());
    EXPECT_EQ(ovThreadResume(thread), 1);
    EXPECT_TRUE(counter.advances());
    counter.stop = true;
    EXPECT_EQ(ovThreadWait(thread), 0);
}

// A suspension may be signalled more than once; a signal that finds no
// stop requested neither stops the thread nor acknowledges anything.
TEST(ThreadSuspend, ASignalWithoutAStopRequestedIsIgnored) {
    Counter counter;
    ovThreadRecord* thread = startThread(Counter::run, toWord(&counter));
    ASSERT_NE(thread, nullptr);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(pthread_kill(thread->handle, ovThreadSuspendSignal()), 0);
    EXPECT_TRUE(counter.advances());
    EXPECT_EQ(ovThreadSuspend(thread), 0);
    EXPECT_TRUE(counter.frozen()) << "no stray acknowledgement let the suspension return early";
    EXPECT_EQ(ovThreadResume(thread), 1);
    EXPECT_TRUE(counter.advances());
    counter.stop = true;
    EXPECT_EQ(ovThreadWait(thread), 0);
}

intptr_t suspendItself(intptr_t) { return ovThreadSuspend(ovThreadCurrent()) + 10; }

TEST(ThreadSuspend, AThreadThatSuspendsItselfWaitsForAnotherToResumeIt) {
    ovThreadRecord* thread = startThread(suspendItself, 0);
    ASSERT_NE(thread, nullptr);
    // Until it has stopped itself our suspension finds it running and is undone.
    ASSERT_TRUE(eventually([&] {
        if (ovThreadSuspend(thread) == 1) return true;
        ovThreadResume(thread);
        return false;
    }));
    expectStoppedWithinItsStack(thread);
    EXPECT_EQ(ovThreadResume(thread), 2);
    EXPECT_EQ(ovThreadResume(thread), 1);
    EXPECT_EQ(ovThreadWait(thread), 10);  // its own suspend returned 0
}

TEST(ThreadSuspendOthers, WithNoOtherThreadSuspendsNothingAndReturnsTheMainRecord) {
    ASSERT_TRUE(eventually([] { return ovThreadGetLists().registered == 1; }));
    EXPECT_EQ(ovThreadSuspendOthers(), ovThreadMain());
    EXPECT_EQ(ovThreadMain()->next, nullptr);
    ovThreadResumeOthers();
}

// The release is polled: a thread asleep in std::latch's futex wait never
// takes the suspend signal under ThreadSanitizer.
struct StackProbe {
    std::atomic<const void*> marker{nullptr};
    PollingLatch release{1};
};

intptr_t blockBelowAMarker(intptr_t word) {
    auto* probe = fromWord<StackProbe>(word);
    int marker = 1;
    probe->marker = &marker;
    probe->release.wait();
    return marker;
}

TEST(ThreadSuspendOthers, StopsEveryOtherThreadInsideItsStackAndUndoesOnlyItsOwnHolds) {
    StackProbe probe;
    Counter counter;
    Counter heldAlone;
    ovThreadRecord* blocked = startThread(blockBelowAMarker, toWord(&probe));
    ovThreadRecord* alone = startThread(Counter::run, toWord(&heldAlone));
    ovThreadRecord* spinning = startThread(Counter::run, toWord(&counter));
    ASSERT_TRUE(blocked && alone && spinning);
    ASSERT_TRUE(eventually([&] { return probe.marker != nullptr; }));
    EXPECT_EQ(ovThreadSuspend(alone), 0);

    EXPECT_EQ(ovThreadSuspendOthers(), spinning);  // newest first
    EXPECT_TRUE(counter.frozen());
    expectStoppedWithinItsStack(spinning);
    expectStoppedWithinItsStack(blocked);
    EXPECT_LT(address(blocked->savedStackPointer), address(probe.marker.load()));  // below the frame it waits in
    ovThreadRecord* createdMeanwhile = ovThreadCreate(Counter::run, toWord(&counter));
    ASSERT_NE(createdMeanwhile, nullptr);
    ovThreadResumeOthers();

    EXPECT_TRUE(counter.advances());
    EXPECT_EQ(ovThreadResume(alone), 1);             // its own suspension remained
    EXPECT_EQ(ovThreadResume(createdMeanwhile), 1);  // still at its start
    counter.stop = true;
    heldAlone.stop = true;
    probe.release.countDown();
    for (ovThreadRecord* thread : {blocked, alone, spinning, createdMeanwhile}) ovThreadWait(thread);
}

#if defined(__x86_64__)
struct RegisterProbe {
    int32_t ready = 0;
    int32_t stop = 0;
};

constexpr uint64_t kRbxValue = 0x0123456789abcdefULL;
constexpr uint64_t kR15Value = 0xfedcba9876543210ULL;
constexpr int kRbxIndex = 2;
constexpr int kR15Index = 14;

// Spins with known values in RBX and R15 until told to stop.
intptr_t spinWithKnownRegisters(intptr_t word) {
    auto* probe = fromWord<RegisterProbe>(word);
    asm volatile(
        "movq %[rbx], %%rbx\n\t"
        "movq %[r15], %%r15\n\t"
        "movl $1, %[ready]\n"
        "1:\n\t"
        "pause\n\t"
        "cmpl $0, %[stop]\n\t"
        "je 1b\n\t"
        : [ready] "=m"(probe->ready)
        : [rbx] "r"(kRbxValue), [r15] "r"(kR15Value), [stop] "m"(probe->stop)
        : "rbx", "r15", "memory", "cc");
    return 0;
}

TEST(ThreadSuspendOthers, CapturesTheRegistersOfTheInterruptedCode) {
#ifdef OV_TEST_UNDER_TSAN
    GTEST_SKIP() << "ThreadSanitizer runs a signal handler only at its next interception point, "
                    "which a loop of plain instructions never reaches";
#endif
    RegisterProbe probe;
    ovThreadRecord* thread = startThread(spinWithKnownRegisters, toWord(&probe));
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(eventually([&] { return std::atomic_ref<int32_t>(probe.ready).load() == 1; }));

    ovThreadSuspendOthers();
    const uintptr_t rbx = thread->savedRegisters[kRbxIndex];
    const uintptr_t r15 = thread->savedRegisters[kR15Index];
    ovThreadResumeOthers();
    EXPECT_EQ(rbx, kRbxValue);
    EXPECT_EQ(r15, kR15Value);
    std::atomic_ref<int32_t>(probe.stop).store(1);
    EXPECT_EQ(ovThreadWait(thread), 0);
}
#endif

}  // namespace

// ---------------------------------------------------------------------------
// Blocking calls
// ---------------------------------------------------------------------------

struct Sleeper {
    std::atomic<bool> woke{false};
    std::atomic<bool> release{false};
};

// Blocks the suspend signal and then waits in ovThreadWait for a thread that
// waits for the test: only a pass that needs no signal gets past it.
intptr_t waitWithTheSuspendSignalBlocked(intptr_t word) {
    ovThreadRecord* waited = startThread(  // before the mask, which a new thread inherits
        [](intptr_t w) -> intptr_t { return eventually([&] { return fromWord<Sleeper>(w)->release.load(); }); },
        word);
    sigset_t suspend;
    sigemptyset(&suspend);
    sigaddset(&suspend, ovThreadSuspendSignal());
    pthread_sigmask(SIG_BLOCK, &suspend, nullptr);
    String* local = ovStringFromCString("held across the wait");
    ovThreadWait(waited);
    const bool intact = ovGCIsObject(reinterpret_cast<uintptr_t>(local)) == 1 && local->length == 20;
    ovKeepAlive(local);
    pthread_sigmask(SIG_UNBLOCK, &suspend, nullptr);
    return intact ? 1 : 0;
}

TEST(ThreadBlocking, APassScansAThreadInABlockingCallWithoutStoppingIt) {
    ovTestModeGuard manual(0);
    Sleeper sleeper;
    ovThreadRecord* thread = startThread(waitWithTheSuspendSignalBlocked, toWord(&sleeper));
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(eventually([&] { return ovThreadIsBlocking(thread) == 1; }));
    ovTestCollect();  // would wait for ever for a signal the thread never takes
    sleeper.release = true;
    EXPECT_EQ(ovThreadWait(thread), 1) << "its local survived the pass";
}

intptr_t delayThenMark(intptr_t word) {
    auto* sleeper = fromWord<Sleeper>(word);
    ovDelay(50);
    sleeper->woke = true;
    return 0;
}

TEST(ThreadBlocking, ASuspensionDuringABlockingCallTakesEffectWhenItReturns) {
    Sleeper sleeper;
    ovThreadRecord* thread = startThread(delayThenMark, toWord(&sleeper));
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(eventually([&] { return ovThreadIsBlocking(thread) == 1; }));
    EXPECT_EQ(ovThreadSuspend(thread), 0);
    ovDelay(150);
    EXPECT_FALSE(sleeper.woke) << "held when its delay ended";
    EXPECT_EQ(ovThreadResume(thread), 1);
    EXPECT_EQ(ovThreadWait(thread), 0);
    EXPECT_TRUE(sleeper.woke);
}
