// ovArraySort against std::sort on the same data: a million Ints and a
// hundred thousand Strings.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/array.h"
#include "runtime/memory.h"
#include "runtime/string.h"

namespace {

std::vector<int32_t> randomInts(size_t n) {
    std::mt19937 random(42);
    std::vector<int32_t> values(n);
    for (auto& v : values) v = static_cast<int32_t>(random());
    return values;
}

std::vector<std::u16string> randomWords(size_t n) {
    std::mt19937 random(7);
    std::vector<std::u16string> words(n);
    for (auto& w : words) {
        const size_t length = 4 + random() % 12;
        for (size_t i = 0; i < length; ++i) w += static_cast<char16_t>(u'a' + random() % 26);
    }
    return words;
}

void oursInts(benchmark::State& state) {
    const std::vector<int32_t> source = randomInts(1000000);
    Array* array = ovArrayNew1D("i", static_cast<int32_t>(source.size()));
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(array->elements<int32_t>(), source.data(), source.size() * sizeof(int32_t));
        state.ResumeTiming();
        ovArraySort(array, 1);
    }
    ovKeepAlive(array);
}

void baseInts(benchmark::State& state) {
    const std::vector<int32_t> source = randomInts(1000000);
    std::vector<int32_t> values;
    for (auto _ : state) {
        state.PauseTiming();
        values = source;
        state.ResumeTiming();
        std::sort(values.begin(), values.end());
    }
}

void oursStrings(benchmark::State& state) {
    const std::vector<std::u16string> words = randomWords(100000);
    Array* source = ovArrayNew1D("$", static_cast<int32_t>(words.size()));
    for (size_t i = 0; i < words.size(); ++i)
        ovStore(source->elements<String*>()[i],
                ovStringFromShorts(reinterpret_cast<const uint16_t*>(words[i].data()),
                                   static_cast<int32_t>(words[i].size())));
    Array* array = ovArrayNew1D("$", static_cast<int32_t>(words.size()));
    for (auto _ : state) {
        state.PauseTiming();
        for (size_t i = 0; i < words.size(); ++i)
            ovStore(array->elements<String*>()[i], source->elements<String*>()[i]);
        state.ResumeTiming();
        ovArraySort(array, 1);
    }
    ovKeepAlive(source);
    ovKeepAlive(array);
}

void baseStrings(benchmark::State& state) {
    const std::vector<std::u16string> source = randomWords(100000);
    std::vector<std::u16string> words;
    for (auto _ : state) {
        state.PauseTiming();
        words = source;
        state.ResumeTiming();
        std::sort(words.begin(), words.end());
    }
}

}  // namespace

BENCHMARK(oursInts)->Name("ours/sort.ints_1m")->Unit(benchmark::kMillisecond);
BENCHMARK(baseInts)->Name("base/sort.ints_1m")->Unit(benchmark::kMillisecond);
BENCHMARK(oursStrings)->Name("ours/sort.strings_100k")->Unit(benchmark::kMillisecond);
BENCHMARK(baseStrings)->Name("base/sort.strings_100k")->Unit(benchmark::kMillisecond);
