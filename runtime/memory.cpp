// The allocator, the membit map, the zero-count table and the collection pass.
#include "runtime/memory.h"

#include <sys/mman.h>

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/exception.h"
#include "runtime/process.h"
#include "runtime/string.h"

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

namespace {

// ---------------------------------------------------------------------------
// Membit map: one bit per 16-byte granule.  A flat directory of bitmap pages
// covers the 47-bit user address space; each page is 512 KiB of bits and
// covers 64 MiB.  The directory is reserved untouched, so only the parts of
// it that are written cost memory.
// ---------------------------------------------------------------------------

constexpr int kGranuleShift = 4;
constexpr int kPageShift = 26;
constexpr uintptr_t kAddressLimit = uintptr_t{1} << 47;
constexpr size_t kDirectoryEntries = size_t{1} << (47 - kPageShift);
constexpr size_t kPageWords = (size_t{1} << (kPageShift - kGranuleShift)) / 64;

uint64_t** membitDirectory = nullptr;

uint64_t** directory() {
    if (membitDirectory == nullptr) {
        void* area = mmap(nullptr, kDirectoryEntries * sizeof(uint64_t*), PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (area == MAP_FAILED) {
            std::fputs("Orvane: cannot reserve the membit directory\n", stderr);
            std::abort();
        }
        membitDirectory = static_cast<uint64_t**>(area);
    }
    return membitDirectory;
}

struct MembitPosition {
    uint64_t** page;
    size_t word;
    uint64_t mask;
};

inline MembitPosition membitOf(uintptr_t address) {
    return {&directory()[address >> kPageShift], (address >> (kGranuleShift + 6)) & (kPageWords - 1),
            uint64_t{1} << ((address >> kGranuleShift) & 63)};
}

void setMemBit(void* block) {
    const MembitPosition at = membitOf(reinterpret_cast<uintptr_t>(block));
    if (*at.page == nullptr) *at.page = static_cast<uint64_t*>(std::calloc(kPageWords, sizeof(uint64_t)));
    uint64_t& word = (*at.page)[at.word];
    if (word & at.mask) ovRuntimeError("setMemBit error: membit already set");
    word |= at.mask;
}

void clrMemBit(void* block) {
    const MembitPosition at = membitOf(reinterpret_cast<uintptr_t>(block));
    if (*at.page == nullptr) ovRuntimeError("clrMemBit error: mempage does not exist");
    uint64_t& word = (*at.page)[at.word];
    if (!(word & at.mask)) ovRuntimeError("clrMemBit error: membit not set");
    word &= ~at.mask;
}

// ---------------------------------------------------------------------------
// Collector state
// ---------------------------------------------------------------------------

constexpr int32_t kSizeClasses = OV_GC_LARGEST_SMALL_BLOCK / 16;
constexpr int32_t kChunkSize = 65536;
constexpr int32_t kTableGrowth = 1024;
constexpr int kSavedRegisters = 6;

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

Collector gc;
char* stackBase = nullptr;

inline int32_t sizeClassOf(int32_t size) { return (size + 15) / 16; }

// The block may still be poisoned (a chunk's uncarved tail), so the link is
// written only after unpoisoning it.
void pushFree(void* block, int32_t sizeClass) {
    OV_UNPOISON(block, static_cast<size_t>(sizeClass) * 16);
    auto* free = static_cast<FreeBlock*>(block);
    free->next = gc.freeLists[sizeClass];
    gc.freeLists[sizeClass] = free;
    OV_POISON(block, static_cast<size_t>(sizeClass) * 16);
}

void* popFree(int32_t sizeClass) {
    FreeBlock* head = gc.freeLists[sizeClass];
    OV_UNPOISON(head, static_cast<size_t>(sizeClass) * 16);
    gc.freeLists[sizeClass] = head->next;
    return head;
}

void* carveSmallBlock(int32_t sizeClass) {
    const int32_t blockSize = sizeClass * 16;
    if (gc.freeLists[sizeClass] != nullptr) return popFree(sizeClass);
    if (blockSize > gc.chunkRemaining) {
        if (gc.chunkRemaining != 0) pushFree(gc.chunkNext, gc.chunkRemaining / 16);
        gc.chunkNext = static_cast<char*>(ovMemAlloc(kChunkSize));
        gc.chunkRemaining = kChunkSize;
        OV_POISON(gc.chunkNext, kChunkSize);
    }
    char* block = gc.chunkNext;
    gc.chunkNext += blockSize;
    gc.chunkRemaining -= blockSize;
    OV_UNPOISON(block, static_cast<size_t>(blockSize));
    return block;
}

void runTrigger(int32_t size) {
    if (gc.mode == OV_GC_AUTOMATIC) {
        if (gc.suspended != 0) return;
        gc.bytesSinceCollection += size;
        if (gc.bytesSinceCollection > OV_GC_BYTES_TRIGGER || gc.tableLength > gc.tableThreshold) {
            collectMem();
            gc.bytesSinceCollection = 0;
            gc.tableThreshold = gc.tableThreshold - gc.objectsFreed + OV_GC_INITIAL_THRESHOLD;
        }
    } else if (gc.mode == OV_GC_STRESS_MODE) {
        collectMem();
    }
}

// ---------------------------------------------------------------------------
// The collection pass
// ---------------------------------------------------------------------------

struct ScanResult {
    size_t rootCount;
    size_t wordsScanned;
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

inline void noteRoot(uintptr_t word, size_t& count) {
    if (ovGCIsObject(word)) gc.roots[count++] = word;
}

// Reads other frames' words, redzones included, on purpose.
OV_NO_ASAN __attribute__((noinline)) ScanResult scanStack() {
    uintptr_t saved[kSavedRegisters];
    saveRegisters(saved);
    auto* sp = reinterpret_cast<uintptr_t*>(__builtin_frame_address(0));
    auto* top = reinterpret_cast<uintptr_t*>(stackBase);
    const size_t words = sp < top ? static_cast<size_t>(top - sp) : 0;
    reserveRoots(words + kSavedRegisters);
    size_t count = 0;
    for (uintptr_t* p = sp; p < top; ++p) noteRoot(*p, count);
    for (uintptr_t word : saved) noteRoot(word, count);
    return {count, words};
}

void reportBadRefs(Object* instance) {
    std::printf("bad refs:obj=$%016" PRIxPTR " refs=$%x\n", reinterpret_cast<uintptr_t>(instance),
                static_cast<uint32_t>(instance->refs));
    if (instance->cls == &StringType)
        std::printf("String:%s\n", ovStringToCString(static_cast<String*>(instance)));
    std::fflush(stdout);
}

// Frees every queued instance whose count is still zero.  The length is read
// afresh at every step, since a destructor that releases a field appends it.
void sweepTable() {
    gc.objectsFreed = 0;
    for (int32_t i = 0; i < gc.tableLength; ++i) {
        Object* instance = gc.table[i];
        if (!(static_cast<uint32_t>(instance->refs) & OV_QUEUED_BIT)) reportBadRefs(instance);
        instance->refs = static_cast<int32_t>(static_cast<uint32_t>(instance->refs) & ~OV_QUEUED_BIT);
        if (instance->refs != 0) continue;
        const ovFreeFunction free = instance == ovNull ? ovObjectFree : instance->cls->free;
        free(instance);
        ++gc.objectsFreed;
    }
    gc.tableLength = 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Raw blocks
// ---------------------------------------------------------------------------

void* ovMemAlloc(size_t size) {
    // The C block's address is kept in the word before the aligned block.
    char* c = static_cast<char*>(std::malloc(size + 16 + sizeof(void*)));
    uintptr_t aligned = (reinterpret_cast<uintptr_t>(c) + 15) & ~uintptr_t{15};
    if (aligned == reinterpret_cast<uintptr_t>(c)) aligned += 16;
    char* block = reinterpret_cast<char*>(aligned);
    reinterpret_cast<char**>(block)[-1] = c;
    return block;
}

void ovMemFree(void* block) {
    if (block == nullptr) return;
    std::free(static_cast<char**>(block)[-1]);
}

void ovMemClear(void* block, size_t length) { std::memset(block, 0, length); }
void ovMemCopy(void* destination, const void* source, size_t length) { std::memcpy(destination, source, length); }
void ovMemMove(void* destination, const void* source, size_t length) { std::memmove(destination, source, length); }

void* ovMemExtend(void* old, size_t keep, size_t newSize) {
    void* block = ovMemAlloc(newSize);
    if (keep != 0) ovMemCopy(block, old, keep);
    ovMemFree(old);
    return block;
}

// ---------------------------------------------------------------------------
// Managed blocks
// ---------------------------------------------------------------------------

Object* ovGCAllocObject(int32_t size, const ObjectClass* cls) {
    runTrigger(size);
    if (size <= 0) return nullptr;
    void* block = size > OV_GC_LARGEST_SMALL_BLOCK ? ovMemAlloc(static_cast<size_t>(size))
                                                   : carveSmallBlock(sizeClassOf(size));
    setMemBit(block);
    gc.bytesInUse += size;
    auto* instance = static_cast<Object*>(block);
    instance->cls = cls;
    instance->refs = 0;
    ovGCFree(instance);
    return instance;
}

void ovGCDeallocObject(void* block, int32_t size) {
    if (block == nullptr) return;
    clrMemBit(block);
    if (size > OV_GC_LARGEST_SMALL_BLOCK)
        ovMemFree(block);
    else
        pushFree(block, sizeClassOf(size));
    gc.bytesInUse -= size;
}

void ovGCFree(Object* instance) {
    if (instance->refs != 0) ovRuntimeError("GC ovGCFree: mem has non-0 refs");
    if (gc.tableLength == gc.tableCapacity) {
        const size_t kept = sizeof(Object*) * static_cast<size_t>(gc.tableLength);
        gc.table = static_cast<Object**>(ovMemExtend(gc.table, kept, kept + sizeof(Object*) * kTableGrowth));
        gc.tableCapacity += kTableGrowth;
    }
    instance->refs = static_cast<int32_t>(OV_QUEUED_BIT);
    gc.table[gc.tableLength++] = instance;
}

int32_t ovGCIsObject(uintptr_t word) {
    if ((word & 15) != 0 || word >= kAddressLimit || membitDirectory == nullptr) return 0;
    const MembitPosition at = membitOf(word);
    return *at.page != nullptr && ((*at.page)[at.word] & at.mask) != 0;
}

int32_t collectMem() {
    if (gc.suspended != 0 || stackBase == nullptr) return 0;
    gc.suspended = 1;
    const int64_t inUseBefore = gc.bytesInUse;
    const int32_t started = gc.debug ? ovMillisecs() : 0;

    const ScanResult scan = scanStack();
    for (size_t i = 0; i < scan.rootCount; ++i) ovGCRetain(reinterpret_cast<Object*>(gc.roots[i]));
    sweepTable();
    for (size_t i = 0; i < scan.rootCount; ++i) ovGCRelease(reinterpret_cast<Object*>(gc.roots[i]));

    const int64_t freed = inUseBefore - gc.bytesInUse;
    ++gc.passes;
    if (gc.debug) {
        std::printf("GC collectMem: memFreed=%" PRId64 ", time=%ims, objsFreed=%i, objsScanned=%zu, objsLive=%zu\n",
                    freed, ovMillisecs() - started, gc.objectsFreed, scan.wordsScanned, scan.rootCount);
        std::fflush(stdout);
    }
    gc.suspended -= 1;
    return freed > INT32_MAX ? INT32_MAX : static_cast<int32_t>(freed);
}

int32_t ovGCCollect() { return collectMem(); }

int32_t ovGCMemInUse() { return gc.bytesInUse > INT32_MAX ? INT32_MAX : static_cast<int32_t>(gc.bytesInUse); }

void ovGCSetMode(int32_t mode) { gc.mode = mode; }
void ovGCSetDebug(int32_t debug) { gc.debug = debug; }
void ovGCSuspend() { gc.suspended += 1; }
int32_t ovGCResume() { return gc.suspended -= 1; }
void ovGCStartup() {}

void ovGCSetStackBaseAt(void* base) { stackBase = static_cast<char*>(base); }
void ovGCClearStackBase() { stackBase = nullptr; }
void* ovGCStackBase() { return stackBase; }

ovGCState ovGCGetState() {
    return {gc.mode,       gc.suspended,    gc.debug,       gc.bytesSinceCollection, gc.tableThreshold,
            gc.bytesInUse, gc.objectsFreed, gc.tableLength, gc.passes,               gc.chunkRemaining};
}
