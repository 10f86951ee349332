// The linked list against std::list<Object*> on the same million objects:
// Sort by a comparison function against std::list::sort calling the same
// function, and AddLast then a full enumeration against push_back and a loop.
#include <benchmark/benchmark.h>

#include <climits>
#include <cstdint>
#include <list>
#include <random>
#include <vector>

#include "collections/list.h"
#include "runtime/array.h"
#include "runtime/memory.h"
#include "runtime/object.h"

namespace {

constexpr int32_t kCount = 1000000;

// An object holding an Int key and its place in creation order.
struct TBenchInt : Object {
    int32_t key;
    int32_t index;
};

extern const ObjectClass benchIntType;
constexpr ovScope benchIntScope = {OV_SCOPE_CLASS, "TBenchInt", ovNoScopeEntries};
constexpr ObjectClass benchIntType = ovMakeClass<ObjectClass, TBenchInt>(ObjectType, &benchIntScope, [](auto& r) {
    r.New = ovFieldlessNew<benchIntType>;
    r.Delete = ovChainDelete<benchIntType>;
});

TBenchInt* asInt(Object* object) { return static_cast<TBenchInt*>(object); }

int32_t byKey(Object* a, Object* b) {
    const int32_t x = asInt(a)->key;
    const int32_t y = asInt(b)->key;
    return (x > y) - (x < y);
}

int32_t byIndex(Object* a, Object* b) { return asInt(a)->index - asInt(b)->index; }

// A million objects with random keys, created in order and held for the
// whole run, like a module's globals.
Array* values() {
    static Array* const array = [] {
        ovLinkedListModuleInit();
        Array* a = ovArrayNew1D(":Object", kCount);
        ovGCRetain(a);
        std::mt19937 random(42);
        for (int32_t i = 0; i < kCount; ++i) {
            auto* value = ovNew<TBenchInt>(&benchIntType);
            value->key = static_cast<int32_t>(random());
            value->index = i;
            ovStore(a->elements<Object*>()[i], static_cast<Object*>(value));
        }
        return a;
    }();
    return array;
}

Object* valueAt(int32_t i) { return values()->elements<Object*>()[i]; }

// The comparison as the caller hands it in: a pointer the compiler cannot
// see through, for both sides alike.
ovCompareFunction opaque(ovCompareFunction compare) {
    benchmark::DoNotOptimize(compare);
    return compare;
}

template <class Links>
bool sortedByKey(const Links& links) {
    int32_t previous = INT32_MIN;
    for (Object* value : links) {
        if (asInt(value)->key < previous) return false;
        previous = asInt(value)->key;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Sort
// ---------------------------------------------------------------------------
//
// Each side sorts one list of the million values, built once; before each
// timed sort it is put back in creation order by sorting by index, which
// also puts the links (nodes) back in the order they were allocated.

std::vector<Object*> valuesOfList(TList* list) {
    std::vector<Object*> result;
    for (TLink* link : *list) result.push_back(link->_value);
    return result;
}

void oursSort(benchmark::State& state) {
    static TList* const list = [] {
        TList* l = ListOfArray(values());
        ovGCRetain(l);
        return l;
    }();
    const ovCompareFunction compare = opaque(byKey);
    for (auto _ : state) {
        state.PauseTiming();
        list->Sort(1, byIndex);
        state.ResumeTiming();
        list->Sort(1, compare);
    }
    if (!sortedByKey(valuesOfList(list))) state.SkipWithError("not sorted");
}

void baseSort(benchmark::State& state) {
    static std::list<Object*> list = [] {
        std::list<Object*> l;
        for (int32_t i = 0; i < kCount; ++i) l.push_back(valueAt(i));
        return l;
    }();
    const ovCompareFunction compare = opaque(byKey);
    const auto before = [compare](Object* a, Object* b) { return compare(a, b) < 0; };
    for (auto _ : state) {
        state.PauseTiming();
        list.sort([](Object* a, Object* b) { return byIndex(a, b) < 0; });
        state.ResumeTiming();
        list.sort(before);
    }
    if (!sortedByKey(list)) state.SkipWithError("not sorted");
}

// ---------------------------------------------------------------------------
// AddLast and enumeration
// ---------------------------------------------------------------------------
//
// Freeing the list is left out on both sides: the C++ list is destroyed and
// ours dropped and collected while the timer is paused.

__attribute__((noinline)) int64_t appendAndEnumerate() {
    TList* list = ListNew();
    for (int32_t i = 0; i < kCount; ++i) list->AddLast(valueAt(i));
    int64_t sum = 0;
    TListEnum* enumerator = list->ObjectEnumerator();
    while (enumerator->HasNext()) sum += asInt(enumerator->NextObject())->key;
    return sum;
}

// Overwrites the stack below the caller, so that no stale pointer to the
// dropped list keeps it from the pass.
__attribute__((noinline)) void scrubStack() {
    volatile char area[16384];
    for (char& c : const_cast<char (&)[16384]>(area)) c = 0;
}

void oursAppendIterate(benchmark::State& state) {
    values();
    for (auto _ : state) {
        benchmark::DoNotOptimize(appendAndEnumerate());
        state.PauseTiming();
        scrubStack();
        ovGCCollect();
        state.ResumeTiming();
    }
}

void baseAppendIterate(benchmark::State& state) {
    values();
    for (auto _ : state) {
        auto* list = new std::list<Object*>;
        for (int32_t i = 0; i < kCount; ++i) list->push_back(valueAt(i));
        int64_t sum = 0;
        for (Object* value : *list) sum += asInt(value)->key;
        benchmark::DoNotOptimize(sum);
        state.PauseTiming();
        delete list;
        state.ResumeTiming();
    }
}

}  // namespace

BENCHMARK(oursSort)->Name("ours/list.sort_1m")->Unit(benchmark::kMillisecond);
BENCHMARK(baseSort)->Name("base/list.sort_1m")->Unit(benchmark::kMillisecond);
BENCHMARK(oursAppendIterate)->Name("ours/list.append_iterate_1m")->Unit(benchmark::kMillisecond);
BENCHMARK(baseAppendIterate)->Name("base/list.append_iterate_1m")->Unit(benchmark::kMillisecond);
