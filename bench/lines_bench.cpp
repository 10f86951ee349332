// Line reading, which goes one byte per Read by design, against plain C doing
// the same in the same run, over one 16 MiB text of short lines with some
// two- and three-byte UTF-8 characters:
//  - ReadLine of a TCStream against getline;
//  - ReadLine of a UTF-8 text stream against getline followed by a plain
//    UTF-8 to UTF-16 decode loop over each line.
// Every side counts the lines and the characters it got, and a count that
// differs from the text's own marks the run as failed.
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/scratch_files.h"
#include "runtime/memory.h"
#include "runtime/string.h"
#include "streams/cstream.h"
#include "streams/load_save.h"
#include "streams/stream.h"
#include "streams/textstream.h"
#include "system/filesystem/filesystem.h"

namespace {

constexpr size_t kTextBytes = size_t{16} << 20;

// What one pass over the text finds: its lines and their characters (line
// ends excluded).
struct Counts {
    int64_t lines = 0;
    int64_t characters = 0;

    bool operator==(const Counts&) const = default;
};

bool isUtf8Continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Short lines (about 25 bytes) of words and numbers, ending in LF.
// The text and what a reader finds in it, taking each byte as a character
// (asBytes) or decoding it as UTF-8 (asUnits).
struct Text {
    std::string content;
    Counts asBytes;
    Counts asUnits;
};

Text makeText() {
    static const char* const kWords[] = {"plain", "café", "Grüße", "€uro", "naïve", "data", "straße", "x"};
    Text text;
    text.content.reserve(kTextBytes + 64);
    for (uint32_t i = 0; text.content.size() < kTextBytes; ++i) {
        const std::string line = "line " + std::to_string(i) + " " + kWords[i % 8] + " " + kWords[(i / 8) % 8];
        text.content += line;
        text.content += '\n';
        text.asBytes.lines += 1;
        text.asBytes.characters += static_cast<int64_t>(line.size());
        text.asUnits.lines += 1;
        for (unsigned char byte : line) text.asUnits.characters += isUtf8Continuation(byte) ? 0 : 1;
    }
    return text;
}

struct TextFile {
    std::string path;
    Counts asBytes;
    Counts asUnits;
};

const TextFile& textFile() {
    static const TextFile file = [] {
        const Text text = makeText();
        TextFile f{ScratchFiles::instance().path("lines.txt"), text.asBytes, text.asUnits};
        std::FILE* out = std::fopen(f.path.c_str(), "wb");
        if (out == nullptr || std::fwrite(text.content.data(), 1, text.content.size(), out) != text.content.size()) {
            std::perror(f.path.c_str());
            std::exit(1);
        }
        std::fclose(out);
        return f;
    }();
    return file;
}

void initModules() {
    ovFileSystemModuleInit();
    ovStreamModuleInit();
    ovTextStreamModuleInit();
}

// Checks the counts of the last pass and reports the size read.
void finish(benchmark::State& state, const Counts& found, const Counts& expected) {
    if (!(found == expected)) state.SkipWithError("the lines read differ from the text");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kTextBytes));
}

// One pass of ReadLine over the stream up to its end; closes the stream.
Counts readAllLines(TStream* stream) {
    Counts found;
    while (stream->Eof() == 0) {
        String* line = stream->ReadLine();
        found.lines += 1;
        found.characters += line->length;
    }
    stream->Close();
    return found;
}

// getline over the file, handing each line without its LF to the consumer,
// which gives the characters it found in it.
template <class Consume>
Counts getlineAll(const std::string& path, char*& line, size_t& capacity, Consume consume) {
    Counts found;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return found;
    for (ssize_t n; (n = getline(&line, &capacity, in)) > 0;) {
        const size_t length = static_cast<size_t>(line[n - 1] == '\n' ? n - 1 : n);
        found.lines += 1;
        found.characters += consume(line, length);
    }
    std::fclose(in);
    return found;
}

// ---------------------------------------------------------------------------
// ReadLine of a TCStream
// ---------------------------------------------------------------------------

void oursCStreamReadLine(benchmark::State& state) {
    initModules();
    String* path = ovStringFromCString(textFile().path.c_str());
    Counts found;
    for (auto _ : state) found = readAllLines(TCStreamOpenFile(path, 1, 0));
    ovKeepAlive(path);
    finish(state, found, textFile().asBytes);
}

void baseGetline(benchmark::State& state) {
    char* line = nullptr;
    size_t capacity = 0;
    Counts found;
    for (auto _ : state)
        found = getlineAll(textFile().path, line, capacity,
                           [](const char*, size_t length) { return static_cast<int64_t>(length); });
    std::free(line);
    finish(state, found, textFile().asBytes);
}

// ---------------------------------------------------------------------------
// ReadLine of a UTF-8 text stream
// ---------------------------------------------------------------------------

void oursUtf8ReadLine(benchmark::State& state) {
    initModules();
    String* path = ovStringFromCString(textFile().path.c_str());
    Counts found;
    for (auto _ : state) {
        TStream* text = TTextStreamCreate(TCStreamOpenFile(path, 1, 0), TTextStream::UTF8);
        found = readAllLines(text);
    }
    ovKeepAlive(path);
    finish(state, found, textFile().asUnits);
}

// UTF-16 units of the UTF-8 bytes, one to three bytes a character; a
// sequence cut short by the end of the line ends the decoding.
size_t decodeUtf8(const unsigned char* bytes, size_t length, char16_t* out) {
    size_t units = 0;
    for (size_t i = 0; i < length;) {
        const unsigned lead = bytes[i];
        if (lead < 0x80) {
            out[units++] = static_cast<char16_t>(lead);
            i += 1;
        } else if (lead < 0xE0 && i + 1 < length) {
            out[units++] = static_cast<char16_t>((lead & 0x1F) << 6 | (bytes[i + 1] & 0x3F));
            i += 2;
        } else if (i + 2 < length) {
            out[units++] = static_cast<char16_t>((lead & 0x0F) << 12 | (bytes[i + 1] & 0x3F) << 6 | (bytes[i + 2] & 0x3F));
            i += 3;
        } else {
            break;
        }
    }
    return units;
}

void baseUtf8Decode(benchmark::State& state) {
    char* line = nullptr;
    size_t capacity = 0;
    std::vector<char16_t> decoded;
    Counts found;
    for (auto _ : state)
        found = getlineAll(textFile().path, line, capacity, [&decoded](const char* bytes, size_t length) {
            if (decoded.size() < length) decoded.resize(length);
            const size_t units = decodeUtf8(reinterpret_cast<const unsigned char*>(bytes), length, decoded.data());
            benchmark::DoNotOptimize(decoded.data());
            return static_cast<int64_t>(units);
        });
    std::free(line);
    finish(state, found, textFile().asUnits);
}

}  // namespace

BENCHMARK(oursCStreamReadLine)->Name("ours/lines.ReadLine_TCStream")->Unit(benchmark::kMillisecond);
BENCHMARK(baseGetline)->Name("base/lines.ReadLine_TCStream")->Unit(benchmark::kMillisecond);
BENCHMARK(oursUtf8ReadLine)->Name("ours/lines.ReadLine_UTF8")->Unit(benchmark::kMillisecond);
BENCHMARK(baseUtf8Decode)->Name("base/lines.ReadLine_UTF8")->Unit(benchmark::kMillisecond);
