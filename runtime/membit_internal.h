// The membit map: one bit per 16-byte granule marks every block start, so
// that the conservative scan can tell a pointer to a block from any other
// word.  A small block keeps its bit from the carving on, also while it is
// free: a free block carries kFreeMark in the header's pad word instead, so
// that taking and returning one writes only the block.  A large block has
// its bit while it is live.  A flat directory of bitmap pages covers the
// 47-bit user address space; each page is 512 KiB of bits and covers 64 MiB.  The directory is
// reserved untouched, so only the parts of it that are written cost memory.
// Under the collector lock.
#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "runtime/exception.h"
#include "runtime/object.h"

namespace ovgc {

constexpr int kGranuleShift = 4;
constexpr int kPageShift = 26;
constexpr size_t kDirectoryEntries = size_t{1} << (47 - kPageShift);
constexpr size_t kPageWords = (size_t{1} << (kPageShift - kGranuleShift)) / 64;

extern uint64_t** membitDirectory;

// The lowest and highest addresses a block may start at: every chunk's range
// and every large block.  Most words a stack holds (return addresses, stack
// addresses, small numbers) lie outside them, and one comparison spares
// those the directory lookup and its miss.  Once they hold any block the
// directory exists; pages exist for the covered ranges, not for the gaps
// between them.
extern uintptr_t lowestBlockStart;
extern uintptr_t highestBlockStart;

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
void coverBlocks(uintptr_t first, uintptr_t last);

// What the pad word of a free small block holds; 0 in an instance.
constexpr int32_t kFreeMark = 0x46524545;

// The pad word of a block, written as an atomic word: a thread that takes a
// block from its own list writes it without the lock while another may test
// the block under it.
inline std::atomic_ref<int32_t> padWordOf(void* block) {
    return std::atomic_ref<int32_t>(static_cast<Object*>(block)->headerPad);
}
// Its read, as a builtin expanded in the caller: a caller that skips the
// address sanitizer may read the word of a poisoned free block.
[[gnu::always_inline]] inline int32_t readPadWord(uintptr_t block) {
    return __atomic_load_n(&reinterpret_cast<const Object*>(block)->headerPad, __ATOMIC_RELAXED);
}

// A membit word covers this many bytes.  Chunks are aligned to it and fill
// whole words, so every word of a chunk is written by the one thread that
// carves the chunk, and the words of large blocks only under the lock.
constexpr size_t kMembitWordSpan = size_t{64} << kGranuleShift;

// The block lies in a covered range.  Written with atomic loads and stores
// (plain moves) since ovGCIsObject may read the word meanwhile.
inline void setMemBit(void* block) {
    const MembitPosition at = membitOf(reinterpret_cast<uintptr_t>(block));
    std::atomic_ref<uint64_t> word((*at.page)[at.word]);
    const uint64_t before = word.load(std::memory_order_relaxed);
    if (before & at.mask) [[unlikely]]
        ovRuntimeError("setMemBit error: membit already set");
    word.store(before | at.mask, std::memory_order_relaxed);
}

// A large block's bit, when it is freed.
void clrMemBit(void* block);

// Whether a word is the start of a live block.  It reads the pad word of a
// free block, which may be poisoned: callers skip the address sanitizer.
// The scan tests every stack word, so the first test, which most words
// fail, is one comparison: the word is 16-byte aligned and between the
// block-start bounds.  The lowest bound is aligned, so the word's offset
// from it keeps the word's low four bits, and rotated to the top any of them
// makes the offset compare above the span.  Before any block exists the filter passes only the word 1,
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
        if (*at.page == nullptr) return false;
        if ((std::atomic_ref<uint64_t>((*at.page)[at.word]).load(std::memory_order_relaxed) & at.mask) == 0) return false;
        return readPadWord(word) != kFreeMark;
    }

private:
    uintptr_t lowest_ = 1;
    uintptr_t granules_ = 0;
};

}  // namespace ovgc
