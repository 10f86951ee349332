// The membit map's pages and the bounds of the addresses blocks start at.
#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "runtime/membit_internal.h"
#include "runtime/memory_internal.h"

namespace ovgc {

uint64_t** membitDirectory = nullptr;

uintptr_t lowestBlockStart = UINTPTR_MAX;
uintptr_t highestBlockStart = 0;

namespace {

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

}  // namespace

void coverBlocks(uintptr_t first, uintptr_t last) {
    lowestBlockStart = std::min(lowestBlockStart, first & ~uintptr_t{15});  // the scan's filter wants it aligned
    highestBlockStart = std::max(highestBlockStart, last);
    uint64_t** pages = directory();
    for (uintptr_t page = first >> kPageShift; page <= last >> kPageShift; ++page)
        if (pages[page] == nullptr) pages[page] = static_cast<uint64_t*>(std::calloc(kPageWords, sizeof(uint64_t)));
}

void clrMemBit(void* block) {
    const auto address = reinterpret_cast<uintptr_t>(block);
    constexpr const char* kNoPage = "clrMemBit error: mempage does not exist";
    if (address < lowestBlockStart || address > highestBlockStart) ovRuntimeError(kNoPage);
    const MembitPosition at = membitOf(address);
    if (*at.page == nullptr) ovRuntimeError(kNoPage);
    std::atomic_ref<uint64_t> word((*at.page)[at.word]);
    const uint64_t before = word.load(std::memory_order_relaxed);
    if (!(before & at.mask)) ovRuntimeError("clrMemBit error: membit not set");
    word.store(before & ~at.mask, std::memory_order_relaxed);
}

}  // namespace ovgc

OV_NO_ASAN int32_t ovGCIsObject(uintptr_t word) {
    ovgc::CollectorLock lock;
    return ovgc::BlockStarts().contains(word) ? 1 : 0;
}
