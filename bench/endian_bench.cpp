// Big-endian Ints through a "bigendian::" file stream against fread and
// __builtin_bswap32 reading the same 16 MiB file four bytes at a time.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/scratch_files.h"
#include "runtime/memory.h"
#include "runtime/string.h"
#include "streams/endianstream.h"
#include "streams/factory.h"
#include "streams/load_save.h"

namespace {

constexpr size_t kFileBytes = size_t{16} << 20;
constexpr size_t kInts = kFileBytes / sizeof(uint32_t);

// Words that vary (xorshift), written once.
const std::string& sourceFile() {
    static const std::string path = [] {
        std::string p = ScratchFiles::instance().path("ints.bin");
        std::FILE* file = std::fopen(p.c_str(), "wb");
        if (file == nullptr) {
            std::perror(p.c_str());
            std::exit(1);
        }
        std::vector<uint32_t> words(kInts);
        uint32_t state = 2463534242u;
        for (uint32_t& word : words) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            word = state;
        }
        std::fwrite(words.data(), sizeof(uint32_t), words.size(), file);
        std::fclose(file);
        return p;
    }();
    return path;
}

// The checksum both sides compute, so that each can be checked.
uint32_t mix(uint32_t sum, uint32_t value) { return sum * 31u + value; }

uint32_t expectedSum() {
    static const uint32_t sum = [] {
        std::FILE* file = std::fopen(sourceFile().c_str(), "rb");
        std::vector<uint32_t> words(kInts);
        const size_t n = file == nullptr ? 0 : std::fread(words.data(), sizeof(uint32_t), kInts, file);
        if (file != nullptr) std::fclose(file);
        uint32_t s = 0;
        for (size_t i = 0; i < n; ++i) s = mix(s, __builtin_bswap32(words[i]));
        return s;
    }();
    return sum;
}

void oursEndianInts(benchmark::State& state) {
    ovStreamModuleInit();
    ovEndianStreamModuleInit();
    String* name = ovStringFromCString(("bigendian::" + sourceFile()).c_str());
    const uint32_t expected = expectedSum();
    for (auto _ : state) {
        TStream* stream = StreamOpenRead(name);
        if (stream == ovNullOf<TStream>()) {
            state.SkipWithError("cannot open the file");
            break;
        }
        ovStreamCloser closer(stream);
        uint32_t sum = 0;
        for (size_t i = 0; i < kInts; ++i) sum = mix(sum, static_cast<uint32_t>(stream->ReadInt()));
        closer.close();
        if (sum != expected) state.SkipWithError("wrong checksum");
    }
    ovKeepAlive(name);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

void baseEndianInts(benchmark::State& state) {
    const std::string& path = sourceFile();
    const uint32_t expected = expectedSum();
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) {
            state.SkipWithError("cannot open the file");
            break;
        }
        uint32_t sum = 0;
        for (size_t i = 0; i < kInts; ++i) {
            uint32_t word = 0;
            if (std::fread(&word, sizeof word, 1, file) != 1) break;
            sum = mix(sum, __builtin_bswap32(word));
        }
        std::fclose(file);
        if (sum != expected) state.SkipWithError("wrong checksum");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

}  // namespace

BENCHMARK(oursEndianInts)->Name("ours/stream.endian_ints")->Unit(benchmark::kMillisecond);
BENCHMARK(baseEndianInts)->Name("base/stream.endian_ints")->Unit(benchmark::kMillisecond);
