// Allocation: small blocks against malloc, churn against Boehm's collector,
// and the cost of a collection pass by the size of the zero-count table.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "runtime/memory.h"
#include "runtime/object.h"

#ifdef OV_HAVE_BOEHM
#include <gc.h>
#endif

namespace {

constexpr int kSizeClasses = 15;
constexpr int kBatch = 1000;

// One record per block size, so that each instance is freed with the size
// it was allocated with.
struct SizedRecords {
    ObjectClass records[kSizeClasses];
    SizedRecords() {
        for (int k = 0; k < kSizeClasses; ++k) {
            records[k] = ObjectType;
            records[k].size = 16 * (k + 1);
        }
    }
};
const SizedRecords sized;

class ModeGuard {
public:
    explicit ModeGuard(int32_t mode) : saved_(ovGCGetState().mode) { ovGCSetMode(mode); }
    ~ModeGuard() { ovGCSetMode(saved_); }

private:
    int32_t saved_;
};

// Allocates a batch of unreferenced blocks of every small size; the next
// pass frees them all.
__attribute__((noinline)) void allocateBatch(int count) {
    for (int i = 0; i < count; ++i) {
        const ObjectClass& cls = sized.records[i % kSizeClasses];
        benchmark::DoNotOptimize(ovGCAllocObject(cls.size, &cls));
    }
}

__attribute__((noinline)) void scrubStack() {
    volatile char area[4096];
    for (char& c : const_cast<char(&)[4096]>(area)) c = 0;
}

void oursSmallBlocks(benchmark::State& state) {
    ModeGuard manual(0);
    for (auto _ : state) {
        allocateBatch(kBatch);
        scrubStack();
        ovGCCollect();
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void baseSmallBlocks(benchmark::State& state) {
    void* blocks[kBatch];
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            blocks[i] = std::malloc(static_cast<size_t>(16 * (i % kSizeClasses + 1)));
            benchmark::DoNotOptimize(blocks[i]);
        }
        for (void* b : blocks) std::free(b);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

constexpr int kChurn = 1000000;

void oursChurn(benchmark::State& state) {
    ModeGuard automatic(OV_GC_AUTOMATIC);
    for (auto _ : state) allocateBatch(kChurn);
    state.SetItemsProcessed(state.iterations() * kChurn);
}

#ifdef OV_HAVE_BOEHM
void baseChurn(benchmark::State& state) {
    GC_INIT();
    for (auto _ : state)
        for (int i = 0; i < kChurn; ++i) benchmark::DoNotOptimize(GC_MALLOC(static_cast<size_t>(16 * (i % kSizeClasses + 1))));
    state.SetItemsProcessed(state.iterations() * kChurn);
}
#endif

// Live instances held by a count, kept outside the zero-count table.
std::vector<Object*> holdInstances(int count) {
    std::vector<Object*> held;
    held.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        Object* o = ovGCAllocObject(32, &sized.records[1]);
        ovGCRetain(o);
        held.push_back(o);
    }
    ovGCCollect();  // takes them out of the table, still held
    return held;
}

// A pass over a table of `queued` held instances, with `heap` further live
// instances that are not queued.
void passOver(benchmark::State& state, int queued, int heap) {
    ModeGuard manual(0);
    std::vector<Object*> table = holdInstances(queued);
    std::vector<Object*> rest = holdInstances(heap);
    for (auto _ : state) {
        state.PauseTiming();
        for (Object* o : table) {
            ovGCRelease(o);  // queued again
            ovGCRetain(o);
        }
        state.ResumeTiming();
        ovGCCollect();
    }
    state.SetItemsProcessed(state.iterations() * queued);
}

void oursPass(benchmark::State& state) { passOver(state, static_cast<int>(state.range(0)), 0); }
void oursPassBigHeap(benchmark::State& state) { passOver(state, 10000, 1000000); }
void basePassBigHeap(benchmark::State& state) { passOver(state, 10000, 0); }

}  // namespace

BENCHMARK(oursSmallBlocks)->Name("ours/alloc.small_blocks");
BENCHMARK(baseSmallBlocks)->Name("base/alloc.small_blocks");
BENCHMARK(oursChurn)->Name("ours/alloc.churn")->Unit(benchmark::kMillisecond);
#ifdef OV_HAVE_BOEHM
BENCHMARK(baseChurn)->Name("base/alloc.churn")->Unit(benchmark::kMillisecond);
#endif
BENCHMARK(oursPass)->Name("alloc.pass")->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
// Same table, a heap 100 times larger: the ratio shows the pass ignores the heap.
BENCHMARK(oursPassBigHeap)->Name("ours/alloc.pass_with_large_heap")->Unit(benchmark::kMicrosecond);
BENCHMARK(basePassBigHeap)->Name("base/alloc.pass_with_large_heap")->Unit(benchmark::kMicrosecond);
