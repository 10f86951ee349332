// The memory manager and collector.
//
// Instances are reference counted with deferred freeing: an instance whose
// count reaches zero waits in the zero-count table, and a collection pass
// frees every entry that neither a count nor a word on a stack holds.  The
// rules of counts and the table are stated once, at the top of
// runtime/collector.cpp; the blocks are made in runtime/allocator.cpp and
// their starts marked in the membit map of runtime/membit.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/object.h"

// Collection modes.
inline constexpr int32_t OV_GC_AUTOMATIC = 1;
inline constexpr int32_t OV_GC_STRESS_MODE = -1;  // a pass before every allocation

// The automatic trigger: bytes requested since the last automatic pass.
inline constexpr int64_t OV_GC_BYTES_TRIGGER = 1048576;
inline constexpr int32_t OV_GC_INITIAL_THRESHOLD = 500;
inline constexpr int32_t OV_GC_LARGEST_SMALL_BLOCK = 240;

// Allocates size bytes for an instance of cls (a collection may run first):
// word 0 holds cls, the count is 0 and the instance is queued.  A size of 0
// or less gives 0.
Object* ovGCAllocObject(int32_t size, const ObjectClass* cls);
// Makes a raw block of size bytes from ovMemAlloc or ovMemExtend an instance
// of cls as ovGCAllocObject would have made it, so that contents built in a C
// block need no copy.  Only blocks larger than OV_GC_LARGEST_SMALL_BLOCK
// (which the collector returns to the C heap) can be adopted.
Object* ovGCAdoptBlock(void* block, int32_t size, const ObjectClass* cls);
// Returns a block; size must be the size it was allocated with.
void ovGCDeallocObject(void* block, int32_t size);

// For walks over many instances that lie all over the heap (a sweep, the
// release of an array's elements): fetches the instance a few entries ahead
// of i, so that its count is in the cache when the walk gets there.
inline void ovGCFetchAhead(Object* const* instances, int32_t i, int32_t count) {
    constexpr int32_t kAhead = 8;
    if (i + kAhead < count) __builtin_prefetch(instances[i + kAhead], 1);
}

int32_t collectMem();
int32_t ovGCCollect();
int32_t ovGCMemInUse();
void ovGCSetMode(int32_t mode);
void ovGCSetDebug(int32_t debug);
void ovGCSuspend();
int32_t ovGCResume();
int32_t ovGCIsObject(uintptr_t word);
void ovGCStartup();
// Called by the thread layer before it creates a thread: the blocks the
// creator's heap holds free become the shared lists', for any thread.
void ovGCThreadCreating();
// Called by the thread layer when a created thread's entry has returned:
// its heap's entries, lists and chunk go back to the collector.
void ovGCThreadEnded();

// Records the caller's frame as the highest stack address a pass scans; must
// be called from the outermost frame that holds managed references.
#define ovGCSetStackBase() ovGCSetStackBaseAt(__builtin_frame_address(0))
void ovGCSetStackBaseAt(void* base);
void ovGCClearStackBase();
void* ovGCStackBase();

// Introspection of the collector's state, for tests and the statistics line.
struct ovGCState {
    int32_t mode;
    int32_t suspended;
    int32_t debug;
    int64_t bytesSinceCollection;
    int32_t tableThreshold;
    int64_t bytesInUse;
    int32_t objectsFreed;  // by the last pass
    int32_t queued;        // entries in the zero-count table now
    int32_t passes;        // passes run so far
    int32_t chunkRemaining;  // bytes of the calling thread's chunk not yet carved
    int32_t chunks;          // chunks taken from the C heap so far
};
ovGCState ovGCGetState();

// Raw 16-byte-aligned blocks from the C heap.
void* ovMemAlloc(size_t size);
void ovMemFree(void* block);
void ovMemClear(void* block, size_t length);
void ovMemCopy(void* destination, const void* source, size_t length);
void ovMemMove(void* destination, const void* source, size_t length);
void* ovMemExtend(void* old, size_t keep, size_t newSize);
