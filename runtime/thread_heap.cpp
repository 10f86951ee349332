// Every thread's own heap: its free lists, its chunk and its batch of
// queued entries, and what a pass and an ending thread do with them.
//
// The rules of the heaps, stated here once (memory_internal.h and
// docs/threads.md point here):
// - While one thread exists it allocates from its heap's lists and chunk
//   and appends new entries to the table itself, taking no lock: the table,
//   the trigger and the threshold behave as with no threads at all.
// - While others exist, a thread allocates small blocks from its own lists
//   and chunk without the lock and queues entries in its own batch; only
//   the owner writes its lists, its chunk, batchLength and pendingBytes.
//   It takes the lock to refill (from the shared lists, a spare chunk or a
//   new chunk), to empty a batch into the table, and for large blocks; a
//   batch waits for a free lock while it has room.
// - A pass takes every heap's batch while the other threads are stopped:
//   it moves the entries from batchHandedOver to batchLength into the table
//   and raises batchHandedOver (and bytesHandedOver) to match.  The owner
//   writes an entry before it counts it, so a thread stopped between the
//   two has its newest entry taken by a later pass.  The owner resets both
//   marks only under the lock, when no pass runs.
// - In the automatic mode a batch fills up and its thread runs a pass over
//   it alone (collectOwnBatch): what that pass proves unreachable the thread
//   frees without the lock, into its own lists.  Its bytes count as in use
//   but not toward the byte trigger.  A thread that ends runs one over what
//   its batch holds.
// - While others exist, what a heap makes carries its private mark until a
//   counted reference is taken to it (object.h); a heap gets a mark no heap
//   had when it is linked and when its thread creates another.
// - Blocks freed while others exist go to the shared lists, under the lock
//   (a pass holds it for its sweep), once the freeing thread has kept a
//   chunk's worth beyond what it allocated since in its own lists; a
//   thread takes a shared list whole when its own list and chunk cannot
//   serve an allocation.
// - A thread that creates another shares its lists (the blocks freed
//   while it was alone went there).  A thread that ends empties its batch
//   into the table, puts its lists in front of the shared ones (without a
//   walk where their last blocks are known) and leaves the rest of its chunk
//   as a spare chunk, then leaves the list of heaps.
// - A pass that is about to stop the others raises restWanted; a thread
//   that allocates meanwhile rests in a blocking call until the pass lowers
//   it, so that the pass stops it without a signal.  The pass waits for
//   that only briefly: a thread that does not allocate gets the signal.
//   A pass waiting for the lock is counted in passesWaiting, and a thread
//   that allocates without holding the lock yields meanwhile, for a while.
// - The membit map is shared by every heap, but a chunk fills whole words
//   of it and only the heap that carves the chunk sets its bits; a small
//   block keeps its bit while free, marked free in its pad word.
#include <sched.h>

#include <chrono>

#include "runtime/memory_internal.h"

namespace ovgc {

[[gnu::tls_model("initial-exec")]] constinit thread_local ThreadHeap ownHeap{};

// Each on a line of its own: every allocation reads the first two, which
// only passes write, and every thread that comes to rest writes the third.
// (Beside one another the compiler may place them in any order.)
alignas(64) std::atomic<bool> restWanted{false};
alignas(64) std::atomic<int32_t> passesWaiting{0};
alignas(64) std::atomic<int32_t> restingForPass{0};

// A thread that holds the collector lock must go on, or the pass waits for
// ever; one that does not yields while a pass waits for the lock and until
// the pass has raised restWanted, so that the lock comes free (its holder
// may be a thread waiting for a core) and the pass gets it.  For a while
// only: the waiting thread may itself be suspended.
__attribute__((noinline)) void makeWayForPass() {
    constexpr auto kLongestWay = std::chrono::milliseconds(2);
    if (collectorDepth == 0) {
        const auto deadline = std::chrono::steady_clock::now() + kLongestWay;
        while (passesWaiting.load(std::memory_order_relaxed) != 0 && !restWanted.load(std::memory_order_relaxed) &&
               std::chrono::steady_clock::now() < deadline)
            sched_yield();
    }
    if (restWanted.load(std::memory_order_relaxed)) restForPass();
}

// The context a pass scans is published on the way in; the way out parks
// while the pass still holds the thread.
__attribute__((noinline)) void restForPass() {
    restingForPass.fetch_add(1, std::memory_order_relaxed);
    ovBlockingCall([] {
        while (restWanted.load(std::memory_order_acquire)) sched_yield();
        return 0;
    });
    restingForPass.fetch_sub(1, std::memory_order_relaxed);
}

// A private mark no heap has had before, so that an instance marked by an
// ended thread or in an earlier stretch of the heap is never taken for one
// the heap's thread alone knows.
void renewPrivateMark(ThreadHeap& heap) {
    heap.privateMark = static_cast<int32_t>(OV_QUEUED_BIT | ++gc.privateMarksGiven);
}

void linkHeap(ThreadHeap& heap) {
    renewPrivateMark(heap);
    heap.next = gc.heaps;
    gc.heaps = &heap;
    heap.linked = true;
    ++gc.heapCount;
}

namespace {

void unlinkHeap(ThreadHeap& heap) {
    for (ThreadHeap** link = &gc.heaps; *link != nullptr; link = &(*link)->next) {
        if (*link != &heap) continue;
        *link = heap.next;
        --gc.heapCount;
        break;
    }
    heap.linked = false;
}

// Puts a heap's free list in front of the shared one.  Its blocks are
// poisoned but their links, read and written here under the unpoisoning of
// each.  The walk to its last block is needed only where that is not known.
void shareList(ThreadHeap& heap, int32_t sizeClass) {
    FreeBlock* list = heap.freeLists[sizeClass];
    FreeBlock* knownLast = heap.freeTails[sizeClass];
    heap.freeLists[sizeClass] = heap.freeTails[sizeClass] = nullptr;
    if (list == nullptr) return;
    FreeBlock*& to = gc.sharedFreeLists[sizeClass];
    if (to == nullptr) {  // the common case: threads take shared lists whole
        to = list;
        gc.sharedFreeTails[sizeClass] = knownLast;
        return;
    }
    const size_t blockSize = static_cast<size_t>(sizeClass) * 16;
    FreeBlock* last = knownLast != nullptr ? knownLast : list;
    for (;;) {
        OV_UNPOISON(last, blockSize);
        FreeBlock* next = last->next;
        if (next == nullptr) break;
        OV_POISON(last, blockSize);
        last = next;
    }
    last->next = to;
    OV_POISON(last, blockSize);
    to = list;
}

// A rest too small for the largest block joins the shared lists, so that
// every spare chunk can serve any small block.
void leaveSpareChunk(ThreadHeap& heap) {
    if (heap.chunkRemaining <= OV_GC_LARGEST_SMALL_BLOCK) {
        retireChunkRest(heap, false);
        return;
    }
    OV_UNPOISON(heap.chunkNext, sizeof(SpareChunk));
    auto* spare = reinterpret_cast<SpareChunk*>(heap.chunkNext);
    spare->next = gc.spareChunks;
    spare->remaining = heap.chunkRemaining;
    OV_POISON(heap.chunkNext, sizeof(SpareChunk));
    gc.spareChunks = spare;
    heap.chunkNext = nullptr;
    heap.chunkRemaining = 0;
}

}  // namespace

void takeBatchBytes(ThreadHeap& heap, BatchBytes counted) {
    const int64_t bytes = heap.pendingBytes - heap.bytesHandedOver;
    if (counted == BatchBytes::towardTrigger) gc.bytesSinceCollection += bytes;
    gc.bytesInUse += bytes;
    heap.bytesHandedOver = heap.pendingBytes;
}

void takeBatch(ThreadHeap& heap) {
    const int32_t length = heap.batchLength;
    for (int32_t i = heap.batchHandedOver; i < length; ++i) appendToTable(heap.batch[i]);
    heap.batchHandedOver = length;
    takeBatchBytes(heap, BatchBytes::towardTrigger);
}

void emptyBatch(ThreadHeap& heap) {
    heap.batchLength = heap.batchHandedOver = 0;
    heap.pendingBytes = heap.bytesHandedOver = 0;
    heap.handOverAt = kBatchHandOver;
}

void handOver(ThreadHeap& heap, bool mayCollect) {
    CollectorLock lock;
    takeBatch(heap);
    emptyBatch(heap);
    if (mayCollect) collectIfDue();
}

void collectIfDue() {
    if (gc.mode == OV_GC_AUTOMATIC && gc.suspended == 0 && passIsDue()) runTriggeredPass();
}

void batchFilled(ThreadHeap& heap, bool mayCollect) {
    const bool full = heap.batchLength >= kBatchEntries;
    const bool automatic = std::atomic_ref<int32_t>(gc.mode).load(std::memory_order_relaxed) == OV_GC_AUTOMATIC;
    if (!full && automatic) {
        heap.handOverAt = kBatchEntries;
        return;
    }
    if (!full && collectorLock.taken()) return;
    if (full && mayCollect && collectOwnBatch(heap)) {
        CollectorLock lock;
        collectIfDue();
    } else {
        handOver(heap, mayCollect);
    }
    ovThreadTryCountingAlone();
}

void takeAllBatches() {
    for (ThreadHeap* heap = gc.heaps; heap != nullptr; heap = heap->next) takeBatch(*heap);
}

bool takeSpareChunk(ThreadHeap& heap) {
    SpareChunk* spare = gc.spareChunks;
    if (spare == nullptr) return false;
    OV_UNPOISON(spare, sizeof(SpareChunk));
    gc.spareChunks = spare->next;
    heap.chunkNext = reinterpret_cast<char*>(spare);
    heap.chunkRemaining = spare->remaining;
    OV_POISON(spare, sizeof(SpareChunk));
    return true;
}

}  // namespace ovgc

using namespace ovgc;

namespace {

void shareFreeLists(ThreadHeap& heap) {
    for (int32_t sizeClass = 1; sizeClass <= kSizeClasses; ++sizeClass) shareList(heap, sizeClass);
}

}  // namespace

void ovGCThreadCreating() {
    CollectorLock lock;
    shareFreeLists(ownHeap);
    // What the creator made so far may reach the new thread, through its
    // argument or counts taken while the creator was alone.
    renewPrivateMark(ownHeap);
}

void ovGCThreadEnded() {
    ThreadHeap& heap = ownHeap;
    // What the batch's own pass frees joins the lists handed on whole, with
    // the blocks it shares cache lines with, rather than another thread's.
    if (heap.linked && heap.batchLength > heap.batchHandedOver) collectOwnBatch(heap);
    CollectorLock lock;
    if (heap.linked) {
        handOver(heap, false);
        unlinkHeap(heap);
    }
    shareFreeLists(heap);
    leaveSpareChunk(heap);
}
