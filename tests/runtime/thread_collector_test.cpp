// Collection passes with several threads running managed code: what a
// worker's locals hold survives passes started on any thread, a thread
// blocked in a system call is stopped and scanned too, and memory in use
// returns to its start once the workers have ended.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "runtime/memory.h"
#include "runtime/process.h"
#include "runtime/string.h"
#include "tests/runtime/thread_support.h"
#include "tests/support/gc_test_support.h"

namespace {

// True when the String holds exactly the text.
bool spells(String* s, const char* text) {
    const size_t length = std::strlen(text);
    if (static_cast<size_t>(s->length) != length) return false;
    for (size_t i = 0; i < length; ++i)
        if (s->units()[i] != static_cast<uint8_t>(text[i])) return false;
    return true;
}

// An instance's address kept where a scan does not take it for a root: the
// tests must not keep alive by accident what a worker's stack should.
uintptr_t hidden(const void* p) { return reinterpret_cast<uintptr_t>(p) ^ 1; }
// Not inlined, so that the revealed address stays in a frame that the next
// pass's scrub clears.
__attribute__((noinline)) bool isLive(uintptr_t hiddenAddress) { return ovGCIsObject(hiddenAddress ^ 1) == 1; }

constexpr const char* kWorkerText = "kept only by a worker's local";

struct Handover {
    std::atomic<uintptr_t> string{0};  // hidden; set once the worker holds its String
    std::atomic<bool> mainCollected{false};
};

intptr_t holdAStringThroughTwoPasses(intptr_t word) {
    auto* handover = fromWord<Handover>(word);
    String* local = ovStringFromCString(kWorkerText);
    handover->string = hidden(local);
    if (!eventually([&] { return handover->mainCollected.load(); })) return 0;
    ovGCCollect();  // scans this stack up to this thread's own top
    const bool intact = spells(local, kWorkerText) && isLive(hidden(local));
    ovKeepAlive(local);
    return intact ? 1 : 0;
}

TEST(ThreadCollector, AWorkersLocalSurvivesPassesOnMainAndOnTheWorker) {
    ovTestModeGuard manual(0);
    Handover handover;
    ovThreadRecord* worker = startThread(holdAStringThroughTwoPasses, toWord(&handover));
    ASSERT_NE(worker, nullptr);
    ASSERT_TRUE(eventually([&] { return handover.string != 0; }));
    ovTestCollect();
    EXPECT_TRUE(isLive(handover.string)) << "a pass on main scans the worker's stack";
    handover.mainCollected = true;
    EXPECT_EQ(ovThreadWait(worker), 1) << "a pass on the worker keeps its local";

    ovTestCollect();
    EXPECT_FALSE(isLive(handover.string)) << "freed once the worker has ended";
}

// ---------------------------------------------------------------------------
// A thread blocked in a system call
// ---------------------------------------------------------------------------

struct BlockedReader {
    int pipe[2] = {-1, -1};
    std::atomic<uintptr_t> string{0};
};

// Holds a String while it waits in poll for a byte on the pipe.  (poll rather
// than read: ThreadSanitizer holds signals back from a thread blocked in read.)
intptr_t holdAStringWhileBlocked(intptr_t word) {
    auto* reader = fromWord<BlockedReader>(word);
    String* local = ovStringFromCString(kWorkerText);
    reader->string = hidden(local);
    pollfd readable = {reader->pipe[0], POLLIN, 0};
    while (poll(&readable, 1, -1) < 0 && errno == EINTR) {
    }
    const bool intact = spells(local, kWorkerText);
    ovKeepAlive(local);
    return intact ? 1 : 0;
}

intptr_t collectAndProbe(intptr_t word) {
    auto* reader = fromWord<BlockedReader>(word);
    ovGCCollect();
    return isLive(reader->string) ? 1 : 0;
}

TEST(ThreadCollector, APassFromAWorkerStopsAndScansAThreadBlockedInASystemCall) {
    ovTestModeGuard manual(0);
    BlockedReader reader;
    ASSERT_EQ(::pipe(reader.pipe), 0);
    ovThreadRecord* blocked = startThread(holdAStringWhileBlocked, toWord(&reader));
    ASSERT_NE(blocked, nullptr);
    ASSERT_TRUE(eventually([&] { return reader.string != 0; }));

    ovThreadRecord* collector = startThread(collectAndProbe, toWord(&reader));
    ASSERT_NE(collector, nullptr);
    EXPECT_EQ(ovThreadWait(collector), 1);
    ASSERT_EQ(::write(reader.pipe[1], "x", 1), 1);
    EXPECT_EQ(ovThreadWait(blocked), 1);
    ::close(reader.pipe[0]);
    ::close(reader.pipe[1]);
}

TEST(ThreadCollector, APassOnAThreadTheLayerDidNotStartDoesNothing) {
    ovTestModeGuard manual(0);
    ovTestCollect();
    const uintptr_t dropped = ovTestNewCountedAddress();
    int32_t freed = -1;
    std::thread([&] { freed = ovGCCollect(); }).join();
    EXPECT_EQ(freed, 0);
    EXPECT_TRUE(isLive(dropped));
    EXPECT_GT(ovTestCollect(), 0);
    EXPECT_FALSE(isLive(dropped));
}

// ---------------------------------------------------------------------------
// A count that drops to zero while the sweep runs
// ---------------------------------------------------------------------------

// Reader R takes the global's value into a local after the pass has scanned
// it; writer W then replaces the global.  The value was made since the last
// pass, so it sits in the zero-count table, and the sweep must not free it.
struct LateRelease {
    ovRef<String> global;
    std::mutex lock;  // the program's own
    std::atomic<bool> sweepHeld{false}, read{false}, replaced{false}, passDone{false};
};
// Static, so that the global is no word on a stack.
LateRelease lateReleaseState;
LateRelease* const lateRelease = &lateReleaseState;

// Holds the sweep open until R has read and W has replaced, or for a short
// while if W is made to wait for the pass (as a sound collector makes it).
int32_t holdTheSweepOpen(Object*) {
    lateRelease->sweepHeld = true;
    eventually([] { return lateRelease->read.load(); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (!lateRelease->replaced && std::chrono::steady_clock::now() < deadline) sched_yield();
    return 0;
}
constexpr ovScope holderScope = {OV_SCOPE_CLASS, "THolder", ovNoScopeEntries};
extern const ObjectClass holderClass;
constexpr ObjectClass holderClass = ovMakeClass<ObjectClass, Object>(ObjectType, &holderScope, [](auto& r) {
    r.New = ovFieldlessNew<holderClass>;
    r.Delete = holdTheSweepOpen;
});

intptr_t readTheGlobalDuringTheSweep(intptr_t) {
    if (!eventually([] { return lateRelease->sweepHeld.load(); })) return 0;
    String* local;
    {
        std::lock_guard<std::mutex> hold(lateRelease->lock);
        local = lateRelease->global;
    }
    lateRelease->read = true;
    eventually([] { return lateRelease->passDone.load(); });
    const bool intact = ovGCIsObject(reinterpret_cast<uintptr_t>(local)) == 1 && spells(local, kWorkerText);
    ovKeepAlive(local);
    return intact ? 1 : 0;
}

intptr_t replaceTheGlobalAfterTheRead(intptr_t) {
    if (!eventually([] { return lateRelease->read.load(); })) return 0;
    {
        std::lock_guard<std::mutex> hold(lateRelease->lock);
        lateRelease->global.set(&ovEmptyString);
    }
    lateRelease->replaced = true;
    return 1;
}

// Queues the holder first, then the global's value, on a thread that ends
// before the pass, so that no stack keeps a copy of either.
intptr_t queueTheHolderAndTheValue(intptr_t) {
    ovObjectNew(&holderClass);
    lateRelease->global.init(ovStringFromCString(kWorkerText));
    return 1;
}

TEST(ThreadCollector, AnInstanceReleasedAfterTheThreadsResumedWaitsForTheNextPass) {
    ovTestModeGuard manual(0);
    ovThreadRecord* reader = startThread(readTheGlobalDuringTheSweep, 0);
    ovThreadRecord* writer = startThread(replaceTheGlobalAfterTheRead, 0);
    ASSERT_NE(reader, nullptr);
    ASSERT_NE(writer, nullptr);
    ovTestCollect();
    ASSERT_EQ(ovThreadWait(startThread(queueTheHolderAndTheValue, 0)), 1);
    ovTestCollect();
    lateRelease->passDone = true;
    EXPECT_EQ(ovThreadWait(reader), 1) << "the reader's local outlived the pass";
    EXPECT_EQ(ovThreadWait(writer), 1);
    lateRelease->global.release();
}

// ---------------------------------------------------------------------------
// Many workers allocating and dropping Strings
// ---------------------------------------------------------------------------

constexpr int32_t kWorkers = 8;
constexpr int32_t kWindow = 16;  // Strings each worker holds at a time, in locals only

intptr_t sleepUntilTold(intptr_t word) {
    const auto& stop = *fromWord<std::atomic<bool>>(word);
    while (!stop) ovDelay(100);
    return 0;
}

__attribute__((noinline)) void makeChainOfTwo() {
    auto* head = ovNew<TCounted>(&TCountedType);
    head->other.set(ovObjectNew(&TCountedType));
}

// While every other thread sleeps in a blocking call the pass keeps it
// stopped for the sweep, which then frees a freed instance's field in the
// same pass, as with one thread.  (The sleeper wakes now and then; one of
// three tries is enough.)
TEST(ThreadCollector, WithTheOthersAsleepAPassFreesAFieldInTheSamePass) {
    ovTestModeGuard manual(0);
    std::atomic<bool> stop{false};
    ovThreadRecord* sleeper = startThread(sleepUntilTold, toWord(&stop));
    ASSERT_NE(sleeper, nullptr);
    ASSERT_TRUE(eventually([&] { return ovThreadIsBlocking(sleeper) != 0; }));
    bool freedTogether = false;
    for (int32_t attempt = 0; attempt < 3 && !freedTogether; ++attempt) {
        ovTestCollect();
        makeChainOfTwo();
        ovTestCollect();
        freedTogether = ovGCGetState().objectsFreed == 2;
    }
    EXPECT_TRUE(freedTogether);
    stop = true;
    ovThreadWait(sleeper);
    ovTestCollect();
}

struct ChurnJob {
    int32_t worker;
    int32_t strings;
    int32_t passEvery;  // the worker runs a pass itself after this many Strings
    PollingBarrier* start;
};

const char* labelOf(char (&text)[32], int32_t worker, int32_t index) {
    std::snprintf(text, sizeof text, "w%d-%d", worker, index);
    return text;
}

// Allocates the job's Strings, each held in a local slot until it is
// replaced, and checks every one against its label when it leaves its slot
// and at the end.  Returns the number of Strings whose contents changed.
intptr_t churnStrings(intptr_t word) {
    const ChurnJob& job = *fromWord<ChurnJob>(word);
    String* window[kWindow];
    char text[32];
    intptr_t wrong = 0;
    job.start->arriveAndWait();
    for (int32_t i = 0; i < job.strings; ++i) {
        String*& slot = window[i % kWindow];
        if (i >= kWindow && !spells(slot, labelOf(text, job.worker, i - kWindow))) ++wrong;
        slot = ovStringFromCString(labelOf(text, job.worker, i));
        if ((i + 1) % job.passEvery == 0) ovGCCollect();
    }
    for (int32_t i = job.strings - kWindow; i < job.strings; ++i)
        if (!spells(window[i % kWindow], labelOf(text, job.worker, i))) ++wrong;
    return wrong;
}

// Runs the workers in the collector mode given and returns the Strings that
// were lost or overwritten; memory in use must be back at its start after.
intptr_t churnOnWorkers(int32_t mode, int32_t strings, int32_t passEvery) {
    ovTestModeGuard guard(mode);
    ovTestCollect();
    const int64_t inUseAtStart = ovGCGetState().bytesInUse;
    const int32_t passesAtStart = ovGCGetState().passes;

    PollingBarrier start(kWorkers);
    std::vector<ChurnJob> jobs;
    for (int32_t w = 0; w < kWorkers; ++w) jobs.push_back({w, strings, passEvery, &start});
    std::vector<ovThreadRecord*> workers;
    for (ChurnJob& job : jobs) workers.push_back(startThread(churnStrings, toWord(&job)));
    intptr_t wrong = 0;
    for (ovThreadRecord* worker : workers) {
        EXPECT_NE(worker, nullptr);
        if (worker != nullptr) wrong += ovThreadWait(worker);
    }
    EXPECT_GE(ovGCGetState().passes - passesAtStart, kWorkers * (strings / passEvery));

    ovGCSetMode(0);
    ovTestCollect();
    EXPECT_EQ(ovGCGetState().bytesInUse, inUseAtStart);
    return wrong;
}

#ifdef OV_TEST_UNDER_TSAN
constexpr int32_t kChurnStrings = 100000;  // the race detector runs the same code far slower
#else
constexpr int32_t kChurnStrings = 1000000;
#endif

TEST(ThreadCollector, EightWorkersChurningStringsKeepEveryOneTheyHold) {
    EXPECT_EQ(churnOnWorkers(OV_GC_AUTOMATIC, kChurnStrings, 50000), 0);
}

TEST(ThreadCollector, EightWorkersChurningStringsWithAPassBeforeEveryAllocation) {
    EXPECT_EQ(churnOnWorkers(OV_GC_STRESS_MODE, 2000, 500), 0);
}

}  // namespace
