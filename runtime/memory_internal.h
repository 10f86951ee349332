// What the collector's units share: membit.cpp (the map of block starts),
// allocator.cpp (small and large blocks, raw memory) and collector.cpp (the
// zero-count table, the trigger and the pass).  The rules that hold over this
// state are stated once, at the top of collector.cpp.
#pragma once

#include <atomic>
#include <cstdint>

#include "runtime/memory.h"
#include "runtime/thread.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OV_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define OV_ASAN 1
#endif

#ifdef OV_ASAN
#include <sanitizer/asan_interface.h>
#define OV_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define OV_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#define OV_NO_ASAN __attribute__((no_sanitize_address))
#else
#define OV_POISON(p, n) ((void)(p), (void)(n))
#define OV_UNPOISON(p, n) ((void)(p), (void)(n))
#define OV_NO_ASAN
#endif

#ifndef OV_GC_INITIAL_MODE
#define OV_GC_INITIAL_MODE 1
#endif

namespace ovgc {

constexpr int32_t kSizeClasses = OV_GC_LARGEST_SMALL_BLOCK / 16;
constexpr int32_t kChunkSize = 65536;

struct FreeBlock {
    FreeBlock* next;
};

using FreeLists = FreeBlock* [kSizeClasses + 1];

// The entries a thread queues before it hands them to the zero-count table,
// and the room it has for more while another thread holds the lock (for a
// sweep, say), so that it need not wait for it.
constexpr int32_t kBatchHandOver = 64;
constexpr int32_t kBatchEntries = 1024;

// A thread's own allocation state; who touches which field is stated at the
// top of runtime/thread_heap.cpp.
struct ThreadHeap {
    FreeLists freeLists;
    char* chunkNext;
    int32_t chunkRemaining;
    int32_t batchLength;      // the owner's
    int32_t handOverAt = kBatchHandOver;  // the length at which the owner looks at its batch again
    int32_t batchHandedOver;  // the entries below it are in the table already
    int32_t privateMark;      // the pad word of its instances nothing has counted (negative)
    int64_t pendingBytes;     // requested since the batch was last emptied: the owner's
    int64_t bytesHandedOver;  // the part of them a pass has counted already
    int64_t keptBytes;        // freed into the own lists while others exist, less what was allocated since
    Object* batch[kBatchEntries];
    ThreadHeap* next;  // in the collector's list of heaps while linked
    bool linked;
    // The last block of each own list where it is known: set by a push onto
    // an empty list (the block stays last while the list is not empty), not
    // known after a shared list was taken whole.  Kept apart from the hot
    // fields above.
    FreeLists freeTails;
};

// The calling thread's heap.  Static TLS of constant initial value: a plain
// load at a fixed offset, as cheap as a global.
extern thread_local ThreadHeap ownHeap;

// The unused part of a chunk its thread gave back when it ended, kept in the
// chunk itself.
struct SpareChunk {
    SpareChunk* next;
    int32_t remaining;
};

struct Collector {
    int32_t mode = OV_GC_INITIAL_MODE;
    int32_t suspended = 0;
    int32_t debug = 0;
    int64_t bytesSinceCollection = 0;
    int32_t tableThreshold = OV_GC_INITIAL_THRESHOLD;
    int64_t bytesInUse = 0;
    int64_t bytesReturned = 0;  // by every deallocation so far
    int32_t objectsFreed = 0;
    int32_t passes = 0;
    int32_t chunks = 0;  // taken from the C heap

    Object** table = nullptr;  // the zero-count table
    int32_t tableLength = 0;
    int32_t tableCapacity = 0;

    uintptr_t* roots = nullptr;
    size_t rootCapacity = 0;

    // Blocks freed while several threads exist and blocks of ended threads,
    // for any thread to take.
    FreeLists sharedFreeLists = {};
    FreeLists sharedFreeTails = {};  // as a heap's freeTails
    SpareChunk* spareChunks = nullptr;

    ThreadHeap* heaps = nullptr;  // every heap that allocated with others alive and has not ended
    int32_t heapCount = 0;
    uint32_t privateMarksGiven = 0;
};

extern Collector gc;

// Guards the allocator, the membit map, the zero-count table and the pass
// once a second thread exists.  A waiter stays suspendable, so a pass on the
// holder can stop and scan it.
extern ovSuspendableLock collectorLock;
// How often the calling thread holds the lock: a pass frees instances whose
// destructors allocate and release, and an allocation may run a pass.
extern thread_local int32_t collectorDepth;

// Waits for the collector lock in a blocking call: the holder may be running
// a pass, which then scans this thread without a signal.
void awaitCollectorLock();

// Holds the collector lock for a scope (re-entered freely by its holder);
// takes nothing while the process has one thread.
class CollectorLock {
public:
    CollectorLock() : held_(ovMultiThreaded.load(std::memory_order_acquire)) {
        if (held_ && collectorDepth++ == 0 && !collectorLock.tryLock()) awaitCollectorLock();
    }
    ~CollectorLock() {
        if (held_ && --collectorDepth == 0) collectorLock.unlock();
    }
    // Whether other threads may run: the blocks and the table are shared.
    bool shared() const { return held_; }
    CollectorLock(const CollectorLock&) = delete;
    CollectorLock& operator=(const CollectorLock&) = delete;

private:
    bool held_;
};


// Grows the zero-count table by a step; the entries are kept.
void growTable();

inline void appendToTable(Object* instance) {
    if (gc.tableLength == gc.tableCapacity) [[unlikely]]
        growTable();
    gc.table[gc.tableLength++] = instance;
}

// The automatic pass and what it resets.
void runTriggeredPass();

// While several threads allocate the table's threshold counts per heap, so
// that passes do not multiply with threads; with one thread the scale is 1
// and the rule is exact.
inline int32_t thresholdScale() { return gc.heapCount > 1 ? gc.heapCount : 1; }

inline bool passIsDue() {
    return gc.bytesSinceCollection > OV_GC_BYTES_TRIGGER ||
           gc.tableLength > static_cast<int64_t>(gc.tableThreshold) * thresholdScale();
}

// The trigger each allocation runs first, in the collector mode in force.
inline void runTrigger(int32_t size) {
    if (gc.mode == OV_GC_AUTOMATIC) {
        if (gc.suspended != 0) return;
        gc.bytesSinceCollection += size;
        if (passIsDue()) [[unlikely]]
            runTriggeredPass();
    } else if (gc.mode == OV_GC_STRESS_MODE) {
        collectMem();
    }
}

// Set by a pass that is about to stop the other threads: a thread that
// allocates meanwhile rests in a blocking call until the pass has let the
// threads go, so that it is stopped without a signal.
extern std::atomic<bool> restWanted;
// Passes waiting for the collector lock: a thread that allocates meanwhile
// makes way for them (makeWayForPass).
extern std::atomic<int32_t> passesWaiting;
void makeWayForPass();
// Threads resting for a pass: they go on allocating as soon as it lets them.
extern std::atomic<int32_t> restingForPass;
void restForPass();

// The heaps (runtime/thread_heap.cpp).  Under the lock.
void linkHeap(ThreadHeap& heap);
// Moves the batch's entries not yet in the table there, and its bytes into
// the counts: by the owner, or by a pass while the owner is stopped.
void takeBatch(ThreadHeap& heap);
// Counts the bytes the batch's allocations requested as in use, and toward
// the trigger unless the thread's own pass has looked at their entries.
enum class BatchBytes : bool { inUseOnly, towardTrigger };
void takeBatchBytes(ThreadHeap& heap, BatchBytes counted);
// Starts the batch afresh, once its entries and bytes are taken.
void emptyBatch(ThreadHeap& heap);
// The owner empties its batch into the table; false leaves the trigger alone.
void handOver(ThreadHeap& heap, bool mayCollect);
// A pass over the thread's own full batch, in the automatic mode: it proves
// under the lock which entries nothing holds and frees them without it.
// False, with the batch untouched, where it does not apply.
bool collectOwnBatch(ThreadHeap& heap);
// Set while the thread frees what its own pass proved: small blocks it
// frees go to its own lists without the lock, counted in freedBytes.
struct OwnSweepState {
    bool running;
    int64_t freedBytes;
};
extern constinit thread_local OwnSweepState ownSweep;
// Runs the automatic pass when the trigger says so (under the lock).
void collectIfDue();
// A batch has reached the hand-over size: in the automatic mode it fills up
// and its thread runs a pass over it (from an allocation, else it goes to the
// table); otherwise it goes to the table unless another thread holds the lock.
void batchFilled(ThreadHeap& heap, bool mayCollect);
// Queues an entry in the thread's own batch.  The entry is written before it
// is counted: a pass that stops the thread between the two leaves it for a
// later pass.
inline void queueInBatch(ThreadHeap& heap, Object* instance, bool mayCollect) {
    heap.batch[heap.batchLength] = instance;
    std::atomic_signal_fence(std::memory_order_release);
    if (++heap.batchLength >= heap.handOverAt) [[unlikely]]
        batchFilled(heap, mayCollect);
}

// Takes every heap's batch, while the other threads are stopped.
void takeAllBatches();
// Returns a small block to the heap's own lists or to the shared ones,
// marked free.
void pushFree(ThreadHeap& heap, bool ownLists, void* block, int32_t sizeClass);
// The uncarved rest of the heap's chunk becomes one free block in the lists.
void retireChunkRest(ThreadHeap& heap, bool ownLists);
// Makes a chunk an ended thread left (room for any small block) the heap's
// chunk; false when there is none.
bool takeSpareChunk(ThreadHeap& heap);

}  // namespace ovgc
