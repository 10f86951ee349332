// Blocks: small ones from size-class free lists carved out of 64 KiB chunks,
// large ones and raw memory from the C heap, 16-byte aligned with the C
// block's address in the word before.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "runtime/membit_internal.h"
#include "runtime/memory_internal.h"

using namespace ovgc;

namespace {

inline int32_t sizeClassOf(int32_t size) { return (size + 15) / 16; }

// Reads the pad word of a block that may be free, and so poisoned.
OV_NO_ASAN bool isFree(void* block) { return readPadWord(reinterpret_cast<uintptr_t>(block)) == kFreeMark; }

// A free block still carries the mark: a block without it is live, and a
// list that holds it is corrupt.
void* popFree(FreeLists& lists, int32_t sizeClass) {
    FreeBlock* head = lists[sizeClass];
    OV_UNPOISON(head, static_cast<size_t>(sizeClass) * 16);
    if (!isFree(head)) [[unlikely]]
        ovRuntimeError("setMemBit error: membit already set");
    lists[sizeClass] = head->next;
    // The next allocation of the class reads the new head's link.
    __builtin_prefetch(head->next, 1);
    return head;
}

char* carveFromChunk(ThreadHeap& heap, int32_t blockSize) {
    char* block = heap.chunkNext;
    heap.chunkNext += blockSize;
    heap.chunkRemaining -= blockSize;
    OV_UNPOISON(block, static_cast<size_t>(blockSize));
    // Free until made an instance: a pass that stops the thread before must
    // not take the fresh memory for a live block.
    padWordOf(block).store(kFreeMark, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    setMemBit(block);
    return block;
}

// A chunk an ended thread left, else a new one.  Chunks live as long as the
// process.
void takeChunk(ThreadHeap& heap) {
    if (takeSpareChunk(heap)) return;
    heap.chunkNext = static_cast<char*>(std::aligned_alloc(kMembitWordSpan, kChunkSize));
    if (heap.chunkNext == nullptr) ovRuntimeError("Out of memory");
    ++gc.chunks;
    heap.chunkRemaining = kChunkSize;
    const auto start = reinterpret_cast<uintptr_t>(heap.chunkNext);
    coverBlocks(start, start + kChunkSize - 16);
    OV_POISON(heap.chunkNext, kChunkSize);
}

// When neither the heap's list nor its chunk can serve the class: a shared
// list, taken whole, or else a further chunk (the rest of this one joins
// the heap's lists).
void* refill(ThreadHeap& heap, int32_t sizeClass) {
    CollectorLock lock;
    if (gc.sharedFreeLists[sizeClass] != nullptr) {
        heap.freeLists[sizeClass] = gc.sharedFreeLists[sizeClass];
        heap.freeTails[sizeClass] = gc.sharedFreeTails[sizeClass];
        gc.sharedFreeLists[sizeClass] = gc.sharedFreeTails[sizeClass] = nullptr;
        return popFree(heap.freeLists, sizeClass);
    }
    retireChunkRest(heap, true);
    takeChunk(heap);
    return carveFromChunk(heap, sizeClass * 16);
}

inline void* carveSmallBlock(ThreadHeap& heap, int32_t sizeClass) {
    if (heap.freeLists[sizeClass] != nullptr) return popFree(heap.freeLists, sizeClass);
    const int32_t blockSize = sizeClass * 16;
    if (blockSize <= heap.chunkRemaining) return carveFromChunk(heap, blockSize);
    return refill(heap, sizeClass);
}

}  // namespace

namespace ovgc {

// The block may still be poisoned (a chunk's uncarved tail), so the link is
// written only after unpoisoning it.
void pushFree(ThreadHeap& heap, bool ownLists, void* block, int32_t sizeClass) {
    FreeLists& lists = ownLists ? heap.freeLists : gc.sharedFreeLists;
    if (lists[sizeClass] == nullptr) (ownLists ? heap.freeTails : gc.sharedFreeTails)[sizeClass] = static_cast<FreeBlock*>(block);
    OV_UNPOISON(block, static_cast<size_t>(sizeClass) * 16);
    auto* free = static_cast<FreeBlock*>(block);
    free->next = lists[sizeClass];
    padWordOf(block).store(kFreeMark, std::memory_order_relaxed);
    lists[sizeClass] = free;
    OV_POISON(block, static_cast<size_t>(sizeClass) * 16);
}

void retireChunkRest(ThreadHeap& heap, bool ownLists) {
    if (heap.chunkRemaining == 0) return;
    const int32_t sizeClass = heap.chunkRemaining / 16;
    pushFree(heap, ownLists, carveFromChunk(heap, heap.chunkRemaining), sizeClass);
}

}  // namespace ovgc

// ---------------------------------------------------------------------------
// Raw blocks
// ---------------------------------------------------------------------------

namespace {

// The C block behind an aligned block of size bytes.
size_t cBlockSize(size_t size) { return size + 16 + sizeof(void*); }

// The aligned block inside a C block: the first 16-byte boundary that
// leaves room for the word before it.
char* alignedIn(char* c) {
    uintptr_t aligned = (reinterpret_cast<uintptr_t>(c) + 15) & ~uintptr_t{15};
    if (aligned == reinterpret_cast<uintptr_t>(c)) aligned += 16;
    return reinterpret_cast<char*>(aligned);
}

// The word before an aligned block keeps the C block's address.
char* cBlockOf(void* block) { return static_cast<char**>(block)[-1]; }
void* withCBlock(char* block, char* c) {
    reinterpret_cast<char**>(block)[-1] = c;
    return block;
}

}  // namespace

void* ovMemAlloc(size_t size) {
    char* c = static_cast<char*>(std::malloc(cBlockSize(size)));
    return withCBlock(alignedIn(c), c);
}

void ovMemFree(void* block) {
    if (block == nullptr) return;
    std::free(cBlockOf(block));
}

void ovMemClear(void* block, size_t length) { std::memset(block, 0, length); }
void ovMemCopy(void* destination, const void* source, size_t length) { std::memcpy(destination, source, length); }
void ovMemMove(void* destination, const void* source, size_t length) { std::memmove(destination, source, length); }

// The C heap resizes the block where it can (a large one by remapping its
// pages, without copying); the kept bytes move only when the new C block
// puts the aligned block at another offset.
void* ovMemExtend(void* old, size_t keep, size_t newSize) {
    if (old == nullptr) return ovMemAlloc(newSize);
    char* c = cBlockOf(old);
    const ptrdiff_t offset = static_cast<char*>(old) - c;
    char* resized = static_cast<char*>(std::realloc(c, cBlockSize(newSize)));
    if (resized == nullptr) ovRuntimeError("Out of memory");
    char* block = resized + offset;
    char* aligned = alignedIn(resized);
    if (aligned != block) std::memmove(aligned, block, keep);
    return withCBlock(aligned, resized);
}

// ---------------------------------------------------------------------------
// Managed blocks
// ---------------------------------------------------------------------------

namespace {

// Makes a block an instance of cls: the count is 0 and the instance is
// queued (no other thread knows it yet).  The pad word (0, or the heap's
// private mark), which makes a small block live for the scan, is written
// last: a pass that stops the thread before must not take the block for a
// root and count it before its count is set.
inline Object* makeInstance(void* block, const ObjectClass* cls, int32_t padWord = 0) {
    auto* instance = static_cast<Object*>(block);
    instance->cls = cls;
    instance->refs = static_cast<int32_t>(OV_QUEUED_BIT);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    padWordOf(block).store(padWord, std::memory_order_relaxed);
    return instance;
}

// The instance joins the table itself.  Under the lock while others exist.
inline Object* enterInstance(void* block, int32_t size, const ObjectClass* cls) {
    Object* instance = makeInstance(block, cls);
    gc.bytesInUse += size;
    appendToTable(instance);
    return instance;
}

// A large block lies outside the chunks, so its own start is covered; its
// bit is set once its header is.
Object* enterLargeInstance(void* block, int32_t size, const ObjectClass* cls) {
    const auto start = reinterpret_cast<uintptr_t>(block);
    coverBlocks(start, start);
    Object* instance = enterInstance(block, size, cls);
    setMemBit(block);
    return instance;
}

inline Object* enterNewInstance(ThreadHeap& heap, int32_t size, const ObjectClass* cls) {
    if (size > OV_GC_LARGEST_SMALL_BLOCK) return enterLargeInstance(ovMemAlloc(static_cast<size_t>(size)), size, cls);
    return enterInstance(carveSmallBlock(heap, sizeClassOf(size)), size, cls);
}

// While others exist, for what the heap alone cannot do: a heap not yet
// linked, a collector mode other than the automatic one, a large block.
Object* allocateLocked(int32_t size, const ObjectClass* cls) {
    CollectorLock lock;
    if (!ownHeap.linked) linkHeap(ownHeap);
    runTrigger(size);
    if (size <= 0) return nullptr;
    return enterNewInstance(ownHeap, size, cls);
}

// While others exist: from the thread's own heap, the entry and the bytes
// counted in its batch.
Object* allocateShared(int32_t size, const ObjectClass* cls) {
    if (restWanted.load(std::memory_order_relaxed) || passesWaiting.load(std::memory_order_relaxed) != 0) [[unlikely]]
        makeWayForPass();
    ThreadHeap& heap = ownHeap;
    const bool ownHeapServes = size > 0 && size <= OV_GC_LARGEST_SMALL_BLOCK && heap.linked &&
                               std::atomic_ref<int32_t>(gc.mode).load(std::memory_order_relaxed) == OV_GC_AUTOMATIC;
    if (!ownHeapServes) [[unlikely]]
        return allocateLocked(size, cls);
    Object* instance = makeInstance(carveSmallBlock(heap, sizeClassOf(size)), cls, heap.privateMark);
    heap.pendingBytes += size;
    heap.keptBytes -= size;
    queueInBatch(heap, instance, true);
    return instance;
}

}  // namespace

Object* ovGCAllocObject(int32_t size, const ObjectClass* cls) {
    if (ovMultiThreaded.load(std::memory_order_acquire)) [[unlikely]]
        return allocateShared(size, cls);
    runTrigger(size);
    if (size <= 0) return nullptr;
    return enterNewInstance(ownHeap, size, cls);
}

Object* ovGCAdoptBlock(void* block, int32_t size, const ObjectClass* cls) {
    if (size <= OV_GC_LARGEST_SMALL_BLOCK) ovRuntimeError("GC ovGCAdoptBlock: block too small to adopt");
    CollectorLock lock;
    runTrigger(size);
    return enterLargeInstance(block, size, cls);
}

namespace {

// While others exist a thread keeps the small blocks it frees (in its sweep,
// so they are still in its cache) up to a budget beyond what it allocated
// since; the others go to the shared lists, for any thread.
constexpr int64_t kKeptBytes = kChunkSize;

bool keepsInOwnLists(ThreadHeap& heap, int32_t size) {
    if (heap.keptBytes < 0) heap.keptBytes = 0;
    if (!heap.linked || heap.keptBytes >= kKeptBytes) return false;
    heap.keptBytes += size;
    return true;
}

void pushFreed(bool ownLists, void* block, int32_t size) {
    if (isFree(block)) ovRuntimeError("clrMemBit error: membit not set");
    pushFree(ownHeap, ownLists, block, sizeClassOf(size));
}

// Under the lock, if there is one: the block goes back and is counted.
void returnBlock(void* block, int32_t size, bool ownLists) {
    if (size > OV_GC_LARGEST_SMALL_BLOCK) {
        clrMemBit(block);
        ovMemFree(block);
    } else {
        pushFreed(ownLists, block, size);
    }
    gc.bytesInUse -= size;
    gc.bytesReturned += size;
}

// While others exist: a thread's own sweep keeps small blocks without the
// lock, as far as its own lists take them.
__attribute__((noinline)) void deallocShared(void* block, int32_t size) {
    const bool ownLists = size <= OV_GC_LARGEST_SMALL_BLOCK && keepsInOwnLists(ownHeap, size);
    if (ownSweep.running && ownLists) {
        pushFreed(true, block, size);
        ownSweep.freedBytes += size;
        return;
    }
    CollectorLock lock;
    returnBlock(block, size, ownLists);
}

}  // namespace

void ovGCDeallocObject(void* block, int32_t size) {
    if (block == nullptr) return;
    if (ovMultiThreaded.load(std::memory_order_acquire)) [[unlikely]] {
        deallocShared(block, size);
        return;
    }
    returnBlock(block, size, true);
}
