// The allocator, the membit map, the zero-count table, the collection pass
// over every registered thread, and the lock that guards them all.
#include "runtime/memory.h"

#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/exception.h"
#include "runtime/process.h"
#include "runtime/string.h"
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

namespace {

// ---------------------------------------------------------------------------
// Membit map: one bit per 16-byte granule.  A flat directory of bitmap pages
// covers the 47-bit user address space; each page is 512 KiB of bits and
// covers 64 MiB.  The directory is reserved untouched, so only the parts of
// it that are written cost memory.
// ---------------------------------------------------------------------------

constexpr int kGranuleShift = 4;
constexpr int kPageShift = 26;
constexpr size_t kDirectoryEntries = size_t{1} << (47 - kPageShift);
constexpr size_t kPageWords = (size_t{1} << (kPageShift - kGranuleShift)) / 64;

uint64_t** membitDirectory = nullptr;

// The lowest and highest addresses a block may start at: every chunk's range
// and every large block.  Most words a stack holds (return addresses, stack
// addresses, small numbers) lie outside them, and one comparison spares
// those the directory lookup and its miss.  Once they hold any block the
// directory exists; pages exist for the covered ranges, not for the gaps
// between them.
uintptr_t lowestBlockStart = UINTPTR_MAX;
uintptr_t highestBlockStart = 0;

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

// Only once the directory exists: coverBlocks made it for every address
// between the block-start bounds.
inline MembitPosition membitOf(uintptr_t address) {
    return {&membitDirectory[address >> kPageShift], (address >> (kGranuleShift + 6)) & (kPageWords - 1),
            uint64_t{1} << ((address >> kGranuleShift) & 63)};
}

// Makes the membit pages for blocks starting from first to last, so that
// setting a membit there needs no test for a missing page.
void coverBlocks(uintptr_t first, uintptr_t last) {
    lowestBlockStart = std::min(lowestBlockStart, first & ~uintptr_t{15});  // the scan's filter wants it aligned
    highestBlockStart = std::max(highestBlockStart, last);
    uint64_t** pages = directory();
    for (uintptr_t page = first >> kPageShift; page <= last >> kPageShift; ++page)
        if (pages[page] == nullptr) pages[page] = static_cast<uint64_t*>(std::calloc(kPageWords, sizeof(uint64_t)));
}

// The block lies in a covered range.
inline void setMemBit(void* block) {
    const MembitPosition at = membitOf(reinterpret_cast<uintptr_t>(block));
    uint64_t& word = (*at.page)[at.word];
    if (word & at.mask) [[unlikely]]
        ovRuntimeError("setMemBit error: membit already set");
    word |= at.mask;
}

void clrMemBit(void* block) {
    const auto address = reinterpret_cast<uintptr_t>(block);
    constexpr const char* kNoPage = "clrMemBit error: mempage does not exist";
    if (address < lowestBlockStart || address > highestBlockStart) ovRuntimeError(kNoPage);
    const MembitPosition at = membitOf(address);
    if (*at.page == nullptr) ovRuntimeError(kNoPage);
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

// ---------------------------------------------------------------------------
// The collector lock
// ---------------------------------------------------------------------------

// Guards the allocator, the membit map, the zero-count table and the pass
// once a second thread exists.  A waiter stays suspendable, so a pass on the
// holder can stop and scan it.
ovSuspendableLock collectorLock;
// How often the calling thread holds the lock: a pass frees instances whose
// destructors allocate and release, and an allocation may run a pass.
[[gnu::tls_model("initial-exec")]] thread_local int32_t collectorDepth = 0;

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

// ---------------------------------------------------------------------------
// Counts and the zero-count table (the table under the lock)
// ---------------------------------------------------------------------------

// Marks an instance whose count is 0 as queued; false when the count is not
// 0.  With several threads the test and the mark are one step, so that of
// two threads whose releases both found zero only one queues it.
bool markQueued(Object* instance) {
    if (ovCountsShared()) {
        int32_t zero = 0;
        return ovSharedCount(instance).compare_exchange_strong(zero, static_cast<int32_t>(OV_QUEUED_BIT));
    }
    if (instance->refs != 0) return false;
    instance->refs = static_cast<int32_t>(OV_QUEUED_BIT);
    return true;
}

// Clears the queued mark and returns the count as it was.
uint32_t takeQueuedMark(Object* instance) {
    if (ovCountsShared())
        return static_cast<uint32_t>(ovSharedCount(instance).fetch_and(static_cast<int32_t>(~OV_QUEUED_BIT)));
    const auto refs = static_cast<uint32_t>(instance->refs);
    instance->refs = static_cast<int32_t>(refs & ~OV_QUEUED_BIT);
    return refs;
}

void appendToTable(Object* instance) {
    if (gc.tableLength == gc.tableCapacity) {
        const size_t kept = sizeof(Object*) * static_cast<size_t>(gc.tableLength);
        gc.table = static_cast<Object**>(ovMemExtend(gc.table, kept, kept + sizeof(Object*) * kTableGrowth));
        gc.tableCapacity += kTableGrowth;
    }
    gc.table[gc.tableLength++] = instance;
}

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
    // The next allocation of the class reads the new head's link.
    __builtin_prefetch(head->next, 1);
    return head;
}

void* carveSmallBlock(int32_t sizeClass) {
    const int32_t blockSize = sizeClass * 16;
    if (gc.freeLists[sizeClass] != nullptr) return popFree(sizeClass);
    if (blockSize > gc.chunkRemaining) {
        if (gc.chunkRemaining != 0) pushFree(gc.chunkNext, gc.chunkRemaining / 16);
        gc.chunkNext = static_cast<char*>(ovMemAlloc(kChunkSize));
        gc.chunkRemaining = kChunkSize;
        const auto start = reinterpret_cast<uintptr_t>(gc.chunkNext);
        coverBlocks(start, start + kChunkSize - 16);
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

// Whether a word is the start of a live block.  The scan tests every stack
// word, so the first test, which most words fail, is one comparison: the
// word is 16-byte aligned and between the block-start bounds.  The lowest
// bound is aligned, so the word's offset from it keeps the word's low four
// bits, and rotated to the top any of them makes the offset compare above
// the span.  Before any block exists the filter passes only the word 1,
// which the directory test then refuses.
class BlockStarts {
public:
    BlockStarts() {
        if (highestBlockStart < lowestBlockStart) return;
        lowest_ = lowestBlockStart;
        granules_ = (highestBlockStart - lowestBlockStart) >> kGranuleShift;
    }

    [[gnu::always_inline]] bool contains(uintptr_t word) const {
        if (std::rotr(word - lowest_, kGranuleShift) > granules_) [[likely]]
            return false;
        if (membitDirectory == nullptr) return false;
        const MembitPosition at = membitOf(word);
        return *at.page != nullptr && ((*at.page)[at.word] & at.mask) != 0;
    }

private:
    uintptr_t lowest_ = 1;
    uintptr_t granules_ = 0;
};

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
class OtherThreads {
public:
    OtherThreads() { stop(); }
    ~OtherThreads() { resume(); }
    OtherThreads(const OtherThreads&) = delete;
    OtherThreads& operator=(const OtherThreads&) = delete;

    void stop() {
        if (ovMultiThreaded.load(std::memory_order_acquire)) registry_ = ovThreadSuspendOthers();
    }
    void resume() {
        if (registry_ != nullptr) ovThreadResumeOthers();
        registry_ = nullptr;
    }
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
    ovThreadRecord* registry_ = nullptr;
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

// A thread the layer does not know has no stack top to scan to.
bool onRegisteredThread() { return ovThreadMain() == nullptr || ovThreadCurrent() != nullptr; }

void reportBadRefs(Object* instance, uint32_t refs) {
    std::printf("bad refs:obj=$%016" PRIxPTR " refs=$%x\n", reinterpret_cast<uintptr_t>(instance), refs);
    if (instance->cls == &StringType)
        std::printf("String:%s\n", ovStringToCString(static_cast<String*>(instance)));
    std::fflush(stdout);
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
// nobody to race, and the walk frees fields in the same pass.
class CollectionPass {
public:
    CollectionPass() {
        gc.suspended = 1;
        findAndHoldRoots();
    }
    ~CollectionPass() {
        keepUnsweptQueued();
        for (size_t i = 0; i < scan_.rootCount; ++i) ovGCRelease(reinterpret_cast<Object*>(gc.roots[i]));
        gc.suspended -= 1;
    }
    CollectionPass(const CollectionPass&) = delete;
    CollectionPass& operator=(const CollectionPass&) = delete;

    // Frees every entry whose count is still zero.  The length is read
    // afresh at every step, since a destructor that releases a field
    // appends it.
    void sweep() {
        gc.objectsFreed = 0;
        while (swept_ < sweepEnd()) {
            ovGCFetchAhead(gc.table, swept_, gc.tableLength);
            Object* instance = gc.table[swept_++];
            const uint32_t refs = takeQueuedMark(instance);
            if (!(refs & OV_QUEUED_BIT)) reportBadRefs(instance, refs);
            if ((refs & ~OV_QUEUED_BIT) != 0) continue;
            const ovFreeFunction free = instance == ovNull ? ovObjectFree : instance->cls->free;
            free(instance);
            ++gc.objectsFreed;
        }
    }
    const ScanResult& scan() const { return scan_; }

private:
    int32_t sweepEnd() const { return othersRan_ ? proved_ : gc.tableLength; }

    // Scans every registered thread and raises the roots' counts while the
    // others are stopped, then lets them go on: the sweep may call anything
    // (the C heap, stdio) that a stopped thread could hold.
    void findAndHoldRoots() {
        OtherThreads others;
        for (;;) {
            scan_ = scanStacks(others);
            if (scan_.rootsNeeded <= gc.rootCapacity) break;
            others.resume();
            reserveRoots(scan_.rootsNeeded);
            others.stop();
        }
        for (size_t i = 0; i < scan_.rootCount; ++i) ovGCRetain(reinterpret_cast<Object*>(gc.roots[i]));
        othersRan_ = others.any();
        if (othersRan_) keepProvedUnreachable();
    }

    // Leaves in the table only the entries that nothing holds now; the
    // others are no longer queued.  An entry that lacks its mark stays for
    // the walk to report (printing here could wait on a stopped thread).
    void keepProvedUnreachable() {
        int32_t kept = 0;
        for (int32_t i = 0; i < gc.tableLength; ++i) {
            Object* instance = gc.table[i];
            const auto refs = static_cast<uint32_t>(ovSharedCount(instance).load(std::memory_order_relaxed));
            if (refs == OV_QUEUED_BIT || !(refs & OV_QUEUED_BIT))
                gc.table[kept++] = instance;
            else
                takeQueuedMark(instance);
        }
        gc.tableLength = proved_ = kept;
    }

    void keepUnsweptQueued() {
        const int32_t left = gc.tableLength - swept_;
        if (left > 0) std::memmove(gc.table, gc.table + swept_, sizeof(Object*) * static_cast<size_t>(left));
        gc.tableLength = left;
    }

    ScanResult scan_{};
    bool othersRan_ = false;
    int32_t proved_ = 0;
    int32_t swept_ = 0;
};

}  // namespace

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

// Makes a block the collector's: word 0 holds cls, the count is 0 and the
// instance is queued.  Under the lock.
Object* enterInstance(void* block, int32_t size, const ObjectClass* cls) {
    setMemBit(block);
    gc.bytesInUse += size;
    auto* instance = static_cast<Object*>(block);
    instance->cls = cls;
    instance->refs = static_cast<int32_t>(OV_QUEUED_BIT);  // no other thread knows it yet
    appendToTable(instance);
    return instance;
}

// A large block lies outside the chunks, so its own start is covered.
void* coveredLargeBlock(void* block) {
    const auto start = reinterpret_cast<uintptr_t>(block);
    coverBlocks(start, start);
    return block;
}

}  // namespace

Object* ovGCAllocObject(int32_t size, const ObjectClass* cls) {
    CollectorLock lock;
    runTrigger(size);
    if (size <= 0) return nullptr;
    void* block = size > OV_GC_LARGEST_SMALL_BLOCK ? coveredLargeBlock(ovMemAlloc(static_cast<size_t>(size)))
                                                   : carveSmallBlock(sizeClassOf(size));
    return enterInstance(block, size, cls);
}

Object* ovGCAdoptBlock(void* block, int32_t size, const ObjectClass* cls) {
    if (size <= OV_GC_LARGEST_SMALL_BLOCK) ovRuntimeError("GC ovGCAdoptBlock: block too small to adopt");
    CollectorLock lock;
    runTrigger(size);
    return enterInstance(coveredLargeBlock(block), size, cls);
}

void ovGCDeallocObject(void* block, int32_t size) {
    if (block == nullptr) return;
    CollectorLock lock;
    clrMemBit(block);
    if (size > OV_GC_LARGEST_SMALL_BLOCK)
        ovMemFree(block);
    else
        pushFree(block, sizeClassOf(size));
    gc.bytesInUse -= size;
}

void ovGCFree(Object* instance) {
    CollectorLock lock;
    if (!markQueued(instance)) ovRuntimeError("GC ovGCFree: mem has non-0 refs");
    appendToTable(instance);
}

// The mark needs no lock: whichever thread sets it owns the queueing.
void ovGCQueueReleased(Object* instance) {
    if (!markQueued(instance)) return;  // retained again since the release
    CollectorLock lock;
    appendToTable(instance);
}

int32_t ovGCIsObject(uintptr_t word) {
    CollectorLock lock;
    return BlockStarts().contains(word) ? 1 : 0;
}

int32_t collectMem() {
    CollectorLock lock;
    if (gc.suspended != 0 || stackBase == nullptr || !onRegisteredThread()) return 0;
    const int64_t inUseBefore = gc.bytesInUse;
    const int32_t started = gc.debug ? ovMillisecs() : 0;
    ScanResult scan;
    {
        CollectionPass pass;
        pass.sweep();
        scan = pass.scan();
    }
    const int64_t freed = inUseBefore - gc.bytesInUse;
    ++gc.passes;
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
    return gc.bytesInUse > INT32_MAX ? INT32_MAX : static_cast<int32_t>(gc.bytesInUse);
}

void ovGCSetMode(int32_t mode) {
    CollectorLock lock;
    gc.mode = mode;
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
    return {gc.mode,       gc.suspended,    gc.debug,       gc.bytesSinceCollection, gc.tableThreshold,
            gc.bytesInUse, gc.objectsFreed, gc.tableLength, gc.passes,               gc.chunkRemaining};
}
