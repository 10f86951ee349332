// What the collector's units share: membit.cpp (the map of block starts),
// allocator.cpp (small and large blocks, raw memory) and collector.cpp (the
// zero-count table, the trigger and the pass).  The rules that hold over this
// state are stated once, at the top of collector.cpp.
#pragma once

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

struct Collector {
    int32_t mode = OV_GC_INITIAL_MODE;
    int32_t suspended = 0;
    int32_t debug = 0;
    int64_t bytesSinceCollection = 0;
    int32_t tableThreshold = OV_GC_INITIAL_THRESHOLD;
    int64_t bytesInUse = 0;
    int32_t objectsFreed = 0;
    int32_t passes = 0;

    Object** table = nullptr;  // the zero-count table
    int32_t tableLength = 0;
    int32_t tableCapacity = 0;

    uintptr_t* roots = nullptr;
    size_t rootCapacity = 0;

    FreeBlock* freeLists[kSizeClasses + 1] = {};
    char* chunkNext = nullptr;
    int32_t chunkRemaining = 0;
};

extern Collector gc;

// Guards the allocator, the membit map, the zero-count table and the pass
// once a second thread exists.  A waiter stays suspendable, so a pass on the
// holder can stop and scan it.
extern ovSuspendableLock collectorLock;
// How often the calling thread holds the lock: a pass frees instances whose
// destructors allocate and release, and an allocation may run a pass.
extern thread_local int32_t collectorDepth;

// Holds the collector lock for a scope (re-entered freely by its holder);
// takes nothing while the process has one thread.
class CollectorLock {
public:
    CollectorLock() : held_(ovMultiThreaded.load(std::memory_order_acquire)) {
        if (held_ && collectorDepth++ == 0) collectorLock.lock();
    }
    ~CollectorLock() {
        if (held_ && --collectorDepth == 0) collectorLock.unlock();
    }
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

// The trigger each allocation runs first, in the collector mode in force.
inline void runTrigger(int32_t size) {
    if (gc.mode == OV_GC_AUTOMATIC) {
        if (gc.suspended != 0) return;
        gc.bytesSinceCollection += size;
        if (gc.bytesSinceCollection > OV_GC_BYTES_TRIGGER || gc.tableLength > gc.tableThreshold) [[unlikely]]
            runTriggeredPass();
    } else if (gc.mode == OV_GC_STRESS_MODE) {
        collectMem();
    }
}

}  // namespace ovgc
