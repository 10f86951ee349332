// The zero-count table, the trigger and the collection pass over every
// registered thread.
//
// The rules of counts and the table, stated here once (object.h, memory.h
// and the docs point here):
// - A count from 0 to 0x7fffffff is the number of counted references that
//   hold the instance: fields, globals and array elements.  Locals are not
//   counted; the pass finds them on the stacks (and in the registers).
// - A queued instance is in the zero-count table once: its count carries
//   OV_QUEUED_BIT, and the low bits count the references taken since it
//   entered.  A release never brings a queued count to exactly zero, so it
//   is never queued twice.
// - A new instance is queued as it is made; a release that brings a count to
//   exactly zero queues it (ovGCFree).  With several threads the test and the
//   mark are one compare-and-swap from zero (ovGCQueueReleased), so of two
//   releases that both find zero one queues it; a release that finds the
//   count at 1 makes it the mark in one compare-and-swap (ovGCReleaseShared).
// - A pass frees an entry only when its count, with every root counted, is
//   zero, and takes the mark off every entry it looks at: one still held
//   lives on unqueued, to be queued again by the release that frees it.
// - With other threads, "zero with every root counted" is decided while they
//   are stopped; a count that reaches zero after they go on waits for the
//   next pass (docs/threads.md shows the race it closes).  Entries that all
//   carry their thread's private mark are the exception: no other thread can
//   hold them, so that thread's own stack decides, with the others running.
// - Instances in static data carry a fixed count (OV_STATIC_COUNT, or
//   OV_LITERAL_COUNT for literals) that counting never brings to zero.
// The allocator, the membit map, the table, the roots and the settings are
// guarded by the collector lock once a second thread exists.
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/membit_internal.h"
#include "runtime/memory_internal.h"
#include "runtime/process.h"
#include "runtime/string.h"

namespace ovgc {

Collector gc;
ovSuspendableLock collectorLock;
[[gnu::tls_model("initial-exec")]] thread_local int32_t collectorDepth = 0;

__attribute__((noinline)) void awaitCollectorLock() {
    ovBlockingCall([] {
        collectorLock.lock();
        return 0;
    });
}

void growTable() {
    constexpr int32_t kTableGrowth = 1024;
    const size_t kept = sizeof(Object*) * static_cast<size_t>(gc.tableLength);
    gc.table = static_cast<Object**>(ovMemExtend(gc.table, kept, kept + sizeof(Object*) * kTableGrowth));
    gc.tableCapacity += kTableGrowth;
}

void runTriggeredPass() {
    collectMem();
    gc.bytesSinceCollection = 0;
    gc.tableThreshold = gc.tableThreshold - gc.objectsFreed / thresholdScale() + OV_GC_INITIAL_THRESHOLD;
}

}  // namespace ovgc

using namespace ovgc;

namespace {

constexpr int kSavedRegisters = 6;
char* stackBase = nullptr;

// ---------------------------------------------------------------------------
// Counts and the zero-count table (the table under the lock)
// ---------------------------------------------------------------------------

// Marks an instance whose count is 0 as queued; false when the count is not
// 0.  With several threads the test and the mark are one step.
bool markQueued(Object* instance) {
    if (ovCountsShared()) {
        int32_t zero = 0;
        return ovSharedCount(instance).compare_exchange_strong(zero, static_cast<int32_t>(OV_QUEUED_BIT));
    }
    if (instance->refs != 0) return false;
    instance->refs = static_cast<int32_t>(OV_QUEUED_BIT);
    return true;
}

// Clears the queued mark and returns the count as it was; by one atomic
// step when another thread may change the count meanwhile.
uint32_t takeQueuedMark(Object* instance, bool countMayChange) {
    if (countMayChange)
        return static_cast<uint32_t>(ovSharedCount(instance).fetch_and(static_cast<int32_t>(~OV_QUEUED_BIT)));
    const auto refs = static_cast<uint32_t>(instance->refs);
    instance->refs = static_cast<int32_t>(refs & ~OV_QUEUED_BIT);
    return refs;
}

// ---------------------------------------------------------------------------
// The collection pass
// ---------------------------------------------------------------------------

struct ScanResult {
    size_t rootCount;
    size_t wordsScanned;
    size_t rootsNeeded;  // room the scan wanted; above the capacity, nothing was scanned
};

void reserveRoots(size_t needed) {
    if (gc.rootCapacity >= needed) return;
    const size_t capacity = gc.rootCapacity + 1000 > needed ? gc.rootCapacity + 1000 : needed;
    std::free(gc.roots);
    gc.roots = static_cast<uintptr_t*>(std::malloc(capacity * sizeof(uintptr_t)));
    gc.rootCapacity = capacity;
}

// Copies the callee-saved registers into the buffer, so that a reference a
// caller keeps only in a register is seen by the scan.
__attribute__((noinline)) void saveRegisters(uintptr_t* saved) {
#if defined(__x86_64__)
    asm volatile(
        "movq %%rbx, 0(%0)\n\t"
        "movq %%rbp, 8(%0)\n\t"
        "movq %%r12, 16(%0)\n\t"
        "movq %%r13, 24(%0)\n\t"
        "movq %%r14, 32(%0)\n\t"
        "movq %%r15, 40(%0)\n\t"
        :
        : "r"(saved)
        : "memory");
#else
    // Elsewhere the registers are forced into this frame's spill slots, which
    // lie inside the scanned stack range anyway.
    __builtin_unwind_init();
    for (int i = 0; i < kSavedRegisters; ++i) saved[i] = 0;
#endif
}


// The highest stack address of a thread's frames: the collector's stack base
// for the main thread (and for the only thread before the layer starts).
const uintptr_t* stackTopOf(const ovThreadRecord* thread) {
    const void* top = thread == nullptr || thread == ovThreadMain() ? stackBase : thread->stackTop;
    return static_cast<const uintptr_t*>(top);
}

size_t wordsBetween(const uintptr_t* from, const uintptr_t* to) {
    return from < to ? static_cast<size_t>(to - from) : 0;
}

// Every other registered thread, stopped for the scan, and the words of each
// that the scan reads: its stack from the stopped stack pointer, its
// registers and its data words (which hold the entry's argument).
// A pass over entries no other thread knows leaves them running and reads
// no word of theirs.
class OtherThreads {
public:
    enum Stop : bool { leaveRunning = false, stopThem = true };

    explicit OtherThreads(Stop stop = stopThem) : stops_(stop) { this->stop(); }
    ~OtherThreads() { resume(); }
    OtherThreads(const OtherThreads&) = delete;
    OtherThreads& operator=(const OtherThreads&) = delete;

    void stop() {
        if (!stops_ || !ovMultiThreaded.load(std::memory_order_acquire)) return;
        askThreadsToRest();
        resting_ = true;
        registry_ = ovThreadSuspendOthers();
    }
    // Lowers restWanted whenever stop raised it, also when nobody was stopped,
    // so that no allocation is left resting.
    void resume() {
        if (registry_ != nullptr) ovThreadResumeOthers();
        registry_ = nullptr;
        if (resting_) restWanted.store(false, std::memory_order_release);
        resting_ = false;
    }
    bool stopped() const { return registry_ != nullptr; }
    // Whether any thread besides the caller was stopped.
    bool any() const {
        bool found = false;
        forEach([&](const ovThreadRecord&) { found = true; });
        return found;
    }
    template <class Visit>
    void forEach(Visit visit) const {
        const ovThreadRecord* self = ovThreadCurrent();
        for (const ovThreadRecord* thread = registry_; thread != nullptr; thread = thread->next)
            if (thread != self) visit(*thread);
    }
    size_t rootsNeeded() const {
        size_t words = 0;
        forEach([&](const ovThreadRecord& thread) {
            words += stackWords(thread) + OV_THREAD_SAVED_REGISTERS + OV_THREAD_DATA_WORDS;
        });
        return words;
    }
    static const uintptr_t* stackFrom(const ovThreadRecord& thread) {
        return static_cast<const uintptr_t*>(thread.savedStackPointer);
    }
    static size_t stackWords(const ovThreadRecord& thread) {
        return wordsBetween(stackFrom(thread), stackTopOf(&thread));
    }

private:
    // Gives the threads that allocate a moment to come to rest, yielding the
    // core to them meanwhile; the others get the signal.
    static void askThreadsToRest() {
        constexpr auto kRestWait = std::chrono::microseconds(50);
        restWanted.store(true, std::memory_order_release);
        const auto deadline = std::chrono::steady_clock::now() + kRestWait;
        while (!ovThreadOthersAtRest() && std::chrono::steady_clock::now() < deadline) sched_yield();
    }

    ovThreadRecord* registry_ = nullptr;
    bool stops_;
    bool resting_ = false;  // restWanted is raised
};

// Notes every word that is the start of a live block in the root table.  It
// reads other frames' words, redzones included, on purpose.
class RootCollector {
public:
    // The count and the table are kept in locals, so that the stores into
    // the table do not make the loop reload them.
    OV_NO_ASAN void words(const uintptr_t* from, const uintptr_t* to) {
        uintptr_t* roots = gc.roots;
        size_t count = count_;
        const BlockStarts blocks;
        for (const uintptr_t* p = from; p < to; ++p)
            if (blocks.contains(*p)) roots[count++] = *p;
        count_ = count;
    }
    template <size_t N>
    void words(const uintptr_t (&list)[N]) {
        words(list, list + N);
    }
    void words(const intptr_t (&list)[OV_THREAD_DATA_WORDS]) {
        words(reinterpret_cast<const uintptr_t*>(list), reinterpret_cast<const uintptr_t*>(list) + OV_THREAD_DATA_WORDS);
    }
    size_t count() const { return count_; }

private:
    size_t count_ = 0;
};

// Reads every stack from its own stack pointer to its top, starting in this
// frame, below every frame of the pass.  Scans nothing when the root table
// is too small: growing it takes the C heap's lock, which a stopped thread
// may hold.
__attribute__((noinline)) ScanResult scanStacks(const OtherThreads& others) {
    uintptr_t saved[kSavedRegisters];
    saveRegisters(saved);
    const auto* sp = static_cast<const uintptr_t*>(__builtin_frame_address(0));
    const uintptr_t* top = stackTopOf(ovThreadCurrent());
    const size_t ownWords = wordsBetween(sp, top);
    const size_t needed = ownWords + kSavedRegisters + others.rootsNeeded();
    if (needed > gc.rootCapacity) return {0, 0, needed};

    RootCollector roots;
    size_t words = ownWords;
    roots.words(sp, top);
    roots.words(saved);
    others.forEach([&](const ovThreadRecord& thread) {
        words += OtherThreads::stackWords(thread);
        roots.words(OtherThreads::stackFrom(thread), stackTopOf(&thread));
        roots.words(thread.savedRegisters);
        roots.words(thread.data);
    });
    return {roots.count(), words, needed};
}

// The caller's own entries and bytes join the table and the counts, so that
// what it reads reflects what it did.  Under the lock.
void takeOwnBatch() {
    if (ownHeap.linked) takeBatch(ownHeap);
}

// A thread the layer does not know has no stack top to scan to.
bool onRegisteredThread() { return ovThreadMain() == nullptr || ovThreadCurrent() != nullptr; }

// Whether a pass may run now, on this thread (under the lock).
bool passMayRun() { return gc.suspended == 0 && stackBase != nullptr && onRegisteredThread(); }

void reportBadRefs(Object* instance, uint32_t refs) {
    std::printf("bad refs:obj=$%016" PRIxPTR " refs=$%x\n", reinterpret_cast<uintptr_t>(instance), refs);
    if (instance->cls == &StringType)
        std::printf("String:%s\n", ovStringToCString(static_cast<String*>(instance)));
    std::fflush(stdout);
}

// A count no reference makes: the mark of an entry its thread's own pass
// proved unreachable and frees without the lock.  A pass that meanwhile
// finds a word pointing at it on that thread's stack takes it for no root.
constexpr uint32_t kDyingCount = 0xffffffffu;

bool isDying(Object* instance) {
    return static_cast<uint32_t>(ovSharedCount(instance).load(std::memory_order_relaxed)) == kDyingCount;
}

// A root's hold is a retain that leaves a private mark on: the pass hands
// the reference to no other thread.
void holdRoot(Object* root) {
    if (!ovCountsShared()) {
        ovGCRetain(root);
        return;
    }
    auto count = ovSharedCount(root);
    if (!ovIsFixedCount(count.load(std::memory_order_relaxed))) count.fetch_add(1, std::memory_order_relaxed);
}

// Scans the stacks the pass reads and raises the counts of the roots the
// filter takes.  The root table must be large enough before the others
// stop: when their stacks turn out deeper, they go on while it grows and
// stop again.
template <class Holds>
ScanResult scanAndHoldRoots(OtherThreads& others, Holds holds) {
    ScanResult scan;
    for (;;) {
        scan = scanStacks(others);
        if (scan.rootsNeeded <= gc.rootCapacity) break;
        others.resume();
        reserveRoots(scan.rootsNeeded);
        others.stop();
    }
    size_t held = 0;
    for (size_t i = 0; i < scan.rootCount; ++i) {
        auto* root = reinterpret_cast<Object*>(gc.roots[i]);
        if (!holds(root)) continue;
        holdRoot(root);
        gc.roots[held++] = gc.roots[i];
    }
    scan.rootCount = held;
    return scan;
}

// With the others stopped every root but a dying one is held.
ScanResult scanAndHoldRoots(OtherThreads& others) {
    return scanAndHoldRoots(others, [](Object* root) { return !isDying(root); });
}

void releaseRoots(size_t count) {
    for (size_t i = 0; i < count; ++i) ovGCRelease(reinterpret_cast<Object*>(gc.roots[i]));
}

// Keeps at the front only the entries that nothing holds now and returns
// how many; the others are no longer queued.  An entry that lacks its mark
// stays for the walk to report (printing here could wait on a stopped
// thread).  The other threads are stopped.
int32_t keepUnreachable(Object** entries, int32_t length) {
    int32_t kept = 0;
    for (int32_t i = 0; i < length; ++i) {
        Object* instance = entries[i];
        const auto refs = static_cast<uint32_t>(ovSharedCount(instance).load(std::memory_order_relaxed));
        if (refs == OV_QUEUED_BIT || !(refs & OV_QUEUED_BIT))
            entries[kept++] = instance;
        else
            takeQueuedMark(instance, false);
    }
    return kept;
}

void freeInstance(Object* instance) {
    const ovFreeFunction free = instance == ovNull ? ovObjectFree : instance->cls->free;
    free(instance);
}

// One collection pass: the hold it sets up (suspension, the roots' counts)
// and the walk over the zero-count table.  The destructor undoes the hold on
// every way out, an exception from a destructor among them, and keeps the
// entries not yet swept queued for the next pass.
//
// While the other threads are stopped, the pass proves which entries are
// unreachable: those whose count is zero with every root counted.  The
// others leave the table then.  Once the threads go on, a count that drops
// to zero may belong to an instance that a resumed thread has just read into
// a local, so only the entries proved while the threads were stopped are
// freed; whatever reaches zero later (a field of a freed instance among
// them) waits, queued, for the next pass.  With no other thread there is
// nobody to race, and the walk frees fields in the same pass; so it does
// when every other thread rests in a blocking call and stays stopped.
class CollectionPass {
public:
    CollectionPass() {
        gc.suspended = 1;
        findAndHoldRoots();
    }
    ~CollectionPass() {
        keepUnsweptQueued();
        releaseRoots(scan_.rootCount);
        gc.suspended -= 1;
    }
    CollectionPass(const CollectionPass&) = delete;
    CollectionPass& operator=(const CollectionPass&) = delete;

    // Frees every entry whose count is still zero.  The length is read
    // afresh at every step, since a destructor that releases a field
    // appends it.
    void sweep() {
        gc.objectsFreed = 0;
        // What the pass proved unreachable nobody can count any more, and
        // nobody counts while the others stay stopped.
        const bool countsMayChange = !othersRan_ && !others_.stopped() && ovCountsShared();
        // In locals: the count stores could alias the members, which would
        // then be reloaded at every step.
        const int32_t proved = othersRan_ ? proved_ : -1;
        int32_t swept = swept_;
        while (swept < (proved >= 0 ? proved : gc.tableLength)) {
            ovGCFetchAhead(gc.table, swept, gc.tableLength);
            Object* instance = gc.table[swept++];
            const uint32_t refs = takeQueuedMark(instance, countsMayChange);
            if (!(refs & OV_QUEUED_BIT)) reportBadRefs(instance, refs);
            if ((refs & ~OV_QUEUED_BIT) != 0) continue;
            swept_ = swept;  // for the way out of a destructor that throws
            freeInstance(instance);
            ++gc.objectsFreed;
        }
        swept_ = swept;
    }
    const ScanResult& scan() const { return scan_; }

private:
    // Scans every registered thread and raises the roots' counts while the
    // others are stopped, then lets them go on unless they all rest in
    // blocking calls: the sweep may call anything (the C heap, stdio) that a
    // thread stopped by the signal could hold.
    void findAndHoldRoots() {
        scan_ = scanAndHoldRoots(others_);
        takeAllBatches();
        // Threads that all rest in blocking calls stay stopped for the sweep,
        // and the table is walked once: a blocking call finishes what it
        // does inside whatever the pass does, and only its way out waits.
        othersRan_ = others_.any() && (!ovThreadOthersAtRest() || restingForPass.load(std::memory_order_relaxed) > 0);
        if (!othersRan_) return;
        gc.tableLength = proved_ = keepUnreachable(gc.table, gc.tableLength);
        others_.resume();
    }

    void keepUnsweptQueued() {
        const int32_t left = gc.tableLength - swept_;
        if (left > 0) std::memmove(gc.table, gc.table + swept_, sizeof(Object*) * static_cast<size_t>(left));
        gc.tableLength = left;
    }

    OtherThreads others_;
    ScanResult scan_{};
    bool othersRan_ = false;  // the others went on before the sweep
    int32_t proved_ = 0;
    int32_t swept_ = 0;
};

// The entries a thread's own pass proved unreachable, for it to free.
[[gnu::tls_model("initial-exec")]] constinit thread_local Object* ownProved[kBatchEntries] = {};

// A root's block may meanwhile be freed, and poisoned, by its own thread.
OV_NO_ASAN bool carriesMark(Object* instance, int32_t privateMark) {
    return readPadWord(reinterpret_cast<uintptr_t>(instance)) == privateMark;
}

// Holds the roots among the instances only this thread knows, which no
// other thread counts or frees; of any other word on its stack (stale, say)
// it reads only the pad word, since another thread may be freeing the block.
ScanResult scanAndHoldPrivateRoots(OtherThreads& running, int32_t privateMark) {
    return scanAndHoldRoots(running, [privateMark](Object* root) { return carriesMark(root, privateMark); });
}

// Proves, under the lock, which entries of the thread's batch nothing
// holds; moves them to ownProved, marked dying, and returns how many.  When
// every entry is one only this thread knows, the proof reads its own stack
// and the others go on; else they are stopped and every stack is read.  The
// batch starts afresh.
int32_t proveOwnBatch(ThreadHeap& heap) {
    const int32_t length = heap.batchLength - heap.batchHandedOver;
    std::copy(heap.batch + heap.batchHandedOver, heap.batch + heap.batchLength, ownProved);
    takeBatchBytes(heap, BatchBytes::inUseOnly);
    emptyBatch(heap);
    const int32_t mark = heap.privateMark;
    const bool allPrivate =
        std::all_of(ownProved, ownProved + length, [mark](Object* entry) { return carriesMark(entry, mark); });
    OtherThreads others(allPrivate ? OtherThreads::leaveRunning : OtherThreads::stopThem);
    const ScanResult scan = allPrivate ? scanAndHoldPrivateRoots(others, mark) : scanAndHoldRoots(others);
    const int32_t proved = keepUnreachable(ownProved, length);
    others.resume();
    releaseRoots(scan.rootCount);
    // Nobody counts what is unreachable, and only a pass, which waits for
    // the lock, looks at it: the marks need neither the stop nor an atomic step.
    for (int32_t i = 0; i < proved; ++i) {
        auto count = ovSharedCount(ownProved[i]);
        if (static_cast<uint32_t>(count.load(std::memory_order_relaxed)) == OV_QUEUED_BIT)
            count.store(static_cast<int32_t>(kDyingCount), std::memory_order_relaxed);
    }
    ++gc.passes;
    return proved;
}

// Frees what the thread's own pass proved, without the lock: the blocks go
// to its own lists and are counted once at the end.  An exception from a
// destructor leaves the entries not yet freed queued in the table.
class OwnBatchSweep {
public:
    explicit OwnBatchSweep(int32_t proved) : proved_(proved) { ownSweep = {true, 0}; }
    ~OwnBatchSweep() {
        ownSweep.running = false;
        CollectorLock lock;
        gc.bytesInUse -= ownSweep.freedBytes;
        gc.bytesReturned += ownSweep.freedBytes;
        for (; next_ < proved_; ++next_) {
            int32_t dying = static_cast<int32_t>(kDyingCount);
            ovSharedCount(ownProved[next_]).compare_exchange_strong(dying, static_cast<int32_t>(OV_QUEUED_BIT));
            appendToTable(ownProved[next_]);
        }
    }
    OwnBatchSweep(const OwnBatchSweep&) = delete;
    OwnBatchSweep& operator=(const OwnBatchSweep&) = delete;

    void run() {
        while (next_ < proved_) {
            Object* instance = ownProved[next_++];
            const auto refs = static_cast<uint32_t>(ovSharedCount(instance).load(std::memory_order_relaxed));
            if (refs != kDyingCount) {
                reportBadRefs(instance, refs);
                if (refs != 0) continue;
            }
            freeInstance(instance);
        }
    }

private:
    int32_t proved_;
    int32_t next_ = 0;
};

}  // namespace

namespace ovgc {

[[gnu::tls_model("initial-exec")]] constinit thread_local OwnSweepState ownSweep{};

bool collectOwnBatch(ThreadHeap& heap) {
    int32_t proved;
    {
        CollectorLock lock;
        const bool applies = gc.mode == OV_GC_AUTOMATIC && gc.debug == 0 && !ownSweep.running && passMayRun();
        if (!applies) return false;
        proved = proveOwnBatch(heap);
    }
    OwnBatchSweep sweep(proved);
    sweep.run();
    return true;
}

}  // namespace ovgc

void ovGCFree(Object* instance) {
    CollectorLock lock;
    if (!markQueued(instance)) ovRuntimeError("GC ovGCFree: mem has non-0 refs");
    appendToTable(instance);
}

// The mark needs no lock: whichever thread sets it owns the queueing, in
// its own batch once its heap is linked.
void ovGCQueueReleased(Object* instance) {
    if (markQueued(instance)) ovGCQueueMarked(instance);  // else retained again since the release
}

void ovGCQueueMarked(Object* instance) {
    if (ownHeap.linked && ovMultiThreaded.load(std::memory_order_acquire)) {
        queueInBatch(ownHeap, instance, false);
        return;
    }
    CollectorLock lock;
    appendToTable(instance);
}

// Counts a pass among those waiting for the lock while it is taken.
class PassWaiting {
public:
    PassWaiting() : counted_(ovMultiThreaded.load(std::memory_order_relaxed) && collectorDepth == 0) {
        if (counted_) passesWaiting.fetch_add(1, std::memory_order_relaxed);
    }
    void gotTheLock() {
        if (counted_) passesWaiting.fetch_sub(1, std::memory_order_relaxed);
        counted_ = false;
    }
    ~PassWaiting() { gotTheLock(); }
    PassWaiting(const PassWaiting&) = delete;
    PassWaiting& operator=(const PassWaiting&) = delete;

private:
    bool counted_;
};

int32_t collectMem() {
    PassWaiting waiting;
    CollectorLock lock;
    waiting.gotTheLock();
    if (!passMayRun()) return 0;
    const int64_t returnedBefore = gc.bytesReturned;
    const int32_t started = gc.debug ? ovMillisecs() : 0;
    ScanResult scan;
    {
        CollectionPass pass;
        pass.sweep();
        scan = pass.scan();
    }
    const int64_t freed = gc.bytesReturned - returnedBefore;
    ++gc.passes;
    ovThreadTryCountingAlone();
    if (gc.debug) {
        std::printf("GC collectMem: memFreed=%" PRId64 ", time=%ims, objsFreed=%i, objsScanned=%zu, objsLive=%zu\n",
                    freed, ovMillisecs() - started, gc.objectsFreed, scan.wordsScanned, scan.rootCount);
        std::fflush(stdout);
    }
    return freed > INT32_MAX ? INT32_MAX : static_cast<int32_t>(freed);
}

int32_t ovGCCollect() { return collectMem(); }

int32_t ovGCMemInUse() {
    CollectorLock lock;
    takeOwnBatch();
    return gc.bytesInUse > INT32_MAX ? INT32_MAX : static_cast<int32_t>(gc.bytesInUse);
}

void ovGCSetMode(int32_t mode) {
    CollectorLock lock;
    std::atomic_ref<int32_t>(gc.mode).store(mode, std::memory_order_relaxed);  // read without the lock
}

void ovGCSetDebug(int32_t debug) {
    CollectorLock lock;
    gc.debug = debug;
}

void ovGCSuspend() {
    CollectorLock lock;
    gc.suspended += 1;
}

int32_t ovGCResume() {
    CollectorLock lock;
    return gc.suspended -= 1;
}

void ovGCStartup() {}

void ovGCSetStackBaseAt(void* base) {
    CollectorLock lock;
    stackBase = static_cast<char*>(base);
}

void ovGCClearStackBase() { ovGCSetStackBaseAt(nullptr); }

void* ovGCStackBase() {
    CollectorLock lock;
    return stackBase;
}

ovGCState ovGCGetState() {
    CollectorLock lock;
    takeOwnBatch();
    return {gc.mode,       gc.suspended,    gc.debug,       gc.bytesSinceCollection, gc.tableThreshold,
            gc.bytesInUse, gc.objectsFreed, gc.tableLength, gc.passes,               ownHeap.chunkRemaining,
            gc.chunks};
}

