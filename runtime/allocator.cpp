// Blocks: small ones from size-class free lists carved out of 64 KiB chunks,
// large ones and raw memory from the C heap, 16-byte aligned with the C
// block's address in the word before.
#include <cstdlib>
#include <cstring>

#include "runtime/membit_internal.h"
#include "runtime/memory_internal.h"

using namespace ovgc;

namespace {

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
