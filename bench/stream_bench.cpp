// Whole-file stream work against plain C stdio doing the same in the same
// run: FileDuplicate of a 64 MiB file against an fread/fwrite loop with a
// 4096-byte buffer, and LoadBytes of that file against one fread into a
// buffer of the file's size allocated for it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/scratch_files.h"
#include "runtime/array.h"
#include "runtime/memory.h"
#include "runtime/string.h"
#include "streams/load_save.h"
#include "streams/stream.h"
#include "system/filesystem/filesystem.h"

namespace {

constexpr size_t kFileBytes = size_t{64} << 20;
constexpr size_t kCopyBufferBytes = 4096;

// Bytes that vary (xorshift), so that no layer can treat the file as a
// run of one value.
void writeSourceFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::vector<uint64_t> block((size_t{1} << 20) / sizeof(uint64_t));
    uint64_t state = 0x9E3779B97F4A7C15u;
    for (size_t written = 0; written < kFileBytes; written += block.size() * sizeof(uint64_t)) {
        for (uint64_t& word : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        std::fwrite(block.data(), sizeof(uint64_t), block.size(), file);
    }
    std::fclose(file);
}

// The source, written once, and one copy target for each side.
struct Files {
    std::string source = ScratchFiles::instance().path("source.bin");
    std::string oursCopy = ScratchFiles::instance().path("copy-ours.bin");
    std::string baseCopy = ScratchFiles::instance().path("copy-base.bin");
};

const Files& files() {
    static const Files paths = [] {
        Files p;
        writeSourceFile(p.source);
        return p;
    }();
    return paths;
}

void initModules() {
    ovFileSystemModuleInit();
    ovStreamModuleInit();
}

size_t fileBytes(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return 0;
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fclose(file);
    return size < 0 ? 0 : static_cast<size_t>(size);
}

// ---------------------------------------------------------------------------
// FileDuplicate
// ---------------------------------------------------------------------------

void oursFileDuplicate(benchmark::State& state) {
    initModules();
    String* from = ovStringFromCString(files().source.c_str());
    String* to = ovStringFromCString(files().oursCopy.c_str());
    for (auto _ : state)
        if (FileDuplicate(from, to) != 1) state.SkipWithError("FileDuplicate failed");
    ovKeepAlive(from);
    ovKeepAlive(to);
    if (fileBytes(files().oursCopy) != kFileBytes) state.SkipWithError("copy has the wrong length");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

bool copyWithStdio(const char* from, const char* to) {
    std::FILE* in = std::fopen(from, "rb");
    if (in == nullptr) return false;
    std::FILE* out = std::fopen(to, "wb");
    if (out == nullptr) {
        std::fclose(in);
        return false;
    }
    char buffer[kCopyBufferBytes];
    bool written = true;
    for (size_t n; written && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
        written = std::fwrite(buffer, 1, n, out) == n;
    std::fclose(in);
    return std::fclose(out) == 0 && written;
}

void baseFileDuplicate(benchmark::State& state) {
    const std::string& from = files().source;
    const std::string& to = files().baseCopy;
    for (auto _ : state)
        if (!copyWithStdio(from.c_str(), to.c_str())) state.SkipWithError("copy failed");
    if (fileBytes(to) != kFileBytes) state.SkipWithError("copy has the wrong length");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

// ---------------------------------------------------------------------------
// LoadBytes
// ---------------------------------------------------------------------------

void oursLoadBytes(benchmark::State& state) {
    initModules();
    String* from = ovStringFromCString(files().source.c_str());
    for (auto _ : state) {
        Array* bytes = LoadBytes(from);
        if (static_cast<size_t>(bytes->count()) != kFileBytes) state.SkipWithError("LoadBytes has the wrong length");
        benchmark::DoNotOptimize(bytes);
    }
    ovKeepAlive(from);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

// A C program's whole-file load: a buffer of the file's size allocated
// before reading, one fread, and the buffer freed when done; LoadBytes too
// returns fresh memory each time, so both pay for mapping it.
void baseLoadBytes(benchmark::State& state) {
    const std::string& from = files().source;
    for (auto _ : state) {
        auto* buffer = static_cast<uint8_t*>(std::malloc(kFileBytes));
        std::FILE* in = std::fopen(from.c_str(), "rb");
        const size_t n = in == nullptr || buffer == nullptr ? 0 : std::fread(buffer, 1, kFileBytes, in);
        if (in != nullptr) std::fclose(in);
        if (n != kFileBytes) state.SkipWithError("fread has the wrong length");
        benchmark::DoNotOptimize(buffer);
        std::free(buffer);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
}

}  // namespace

BENCHMARK(oursFileDuplicate)->Name("ours/stream.FileDuplicate")->Unit(benchmark::kMillisecond);
BENCHMARK(baseFileDuplicate)->Name("base/stream.FileDuplicate")->Unit(benchmark::kMillisecond);
BENCHMARK(oursLoadBytes)->Name("ours/stream.LoadBytes")->Unit(benchmark::kMillisecond);
BENCHMARK(baseLoadBytes)->Name("base/stream.LoadBytes")->Unit(benchmark::kMillisecond);
