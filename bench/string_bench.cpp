// Strings against std::u16string doing the same work: building a text from
// pieces, replace, split, join and find over 1 MB, Int formatting and parsing.
#include <benchmark/benchmark.h>

#include <charconv>
#include <string>
#include <vector>

#include "runtime/array.h"
#include "runtime/memory.h"
#include "runtime/string.h"
#include "bench/thread_alive.h"

namespace {

constexpr int kPieces = 100000;
constexpr size_t kTextUnits = 1 << 20;

std::u16string pieceText(int i) {
    std::string ascii = "word" + std::to_string(i % 1000) + ",";
    return std::u16string(ascii.begin(), ascii.end());
}

String* toString(const std::u16string& text) {
    return ovStringFromShorts(reinterpret_cast<const uint16_t*>(text.data()), static_cast<int32_t>(text.size()));
}

// About 1 MB of comma-separated words, with "needle" patterns near its end.
std::u16string makeText() {
    std::u16string text;
    for (int i = 0; text.size() < kTextUnits; ++i) text += pieceText(i);
    return text;
}

const std::u16string& sampleText() {
    static const std::u16string text = makeText();
    return text;
}

const std::u16string kShortPattern = u"needle";
const std::u16string kLongPattern = std::u16string(100, u'w') + u"needle";

std::u16string textWithPatterns() {
    return sampleText() + kShortPattern + kLongPattern;
}

// ---------------------------------------------------------------------------

void oursBuild(benchmark::State& state) {
    Array* parts = ovArrayNew1D("$", kPieces);
    ovGCRetain(parts);
    for (int i = 0; i < kPieces; ++i) ovStore(parts->elements<String*>()[i], toString(pieceText(i)));
    for (auto _ : state) benchmark::DoNotOptimize(ovStringJoin(&ovEmptyString, parts));
    ovGCRelease(parts);
}

void baseBuild(benchmark::State& state) {
    std::vector<std::u16string> parts;
    for (int i = 0; i < kPieces; ++i) parts.push_back(pieceText(i));
    for (auto _ : state) {
        std::u16string text;
        for (const auto& p : parts) text += p;
        benchmark::DoNotOptimize(text.data());
    }
}

void oursReplace(benchmark::State& state) {
    String* text = toString(sampleText());
    String* find = ovStringFromCString("word1");
    String* with = ovStringFromCString("WORD-ONE");
    for (auto _ : state) benchmark::DoNotOptimize(ovStringReplace(text, find, with));
    ovKeepAlive(text);
}

void baseReplace(benchmark::State& state) {
    const std::u16string& text = sampleText();
    const std::u16string find = u"word1", with = u"WORD-ONE";
    for (auto _ : state) {
        std::u16string out;
        size_t from = 0;
        for (size_t at; (at = text.find(find, from)) != std::u16string::npos; from = at + find.size()) {
            out.append(text, from, at - from);
            out += with;
        }
        out.append(text, from);
        benchmark::DoNotOptimize(out.data());
    }
}

void oursSplit(benchmark::State& state) {
    String* text = toString(sampleText());
    String* comma = ovStringFromCString(",");
    for (auto _ : state) benchmark::DoNotOptimize(ovStringSplit(text, comma));
    ovKeepAlive(text);
}

void oursSplitWithThreadAlive(benchmark::State& state) {
    SleepingThread alive;
    oursSplit(state);
}

void baseSplit(benchmark::State& state) {
    const std::u16string& text = sampleText();
    for (auto _ : state) {
        std::vector<std::u16string> parts;
        size_t from = 0;
        for (size_t at; (at = text.find(u',', from)) != std::u16string::npos; from = at + 1)
            parts.emplace_back(text, from, at - from);
        parts.emplace_back(text, from);
        benchmark::DoNotOptimize(parts.data());
    }
}

void oursJoin(benchmark::State& state) {
    Array* parts = ovStringSplit(toString(sampleText()), ovStringFromCString(","));
    String* comma = ovStringFromCString(",");
    for (auto _ : state) benchmark::DoNotOptimize(ovStringJoin(comma, parts));
    ovKeepAlive(parts);
}

void baseJoin(benchmark::State& state) {
    std::vector<std::u16string> parts;
    const std::u16string& text = sampleText();
    size_t from = 0;
    for (size_t at; (at = text.find(u',', from)) != std::u16string::npos; from = at + 1)
        parts.emplace_back(text, from, at - from);
    for (auto _ : state) {
        std::u16string out;
        for (size_t i = 0; i < parts.size(); ++i) {
            if (i != 0) out += u',';
            out += parts[i];
        }
        benchmark::DoNotOptimize(out.data());
    }
}

void oursFind(benchmark::State& state, const std::u16string& pattern) {
    String* text = toString(textWithPatterns());
    String* sub = toString(pattern);
    for (auto _ : state) benchmark::DoNotOptimize(ovStringFind(text, sub, 0));
    ovKeepAlive(text);
    ovKeepAlive(sub);
}

void baseFind(benchmark::State& state, const std::u16string& pattern) {
    const std::u16string text = textWithPatterns();
    for (auto _ : state) benchmark::DoNotOptimize(text.find(pattern));
}

constexpr int kNumbers = 10000;

int32_t sampleInt(int i) { return static_cast<int32_t>(static_cast<uint32_t>(i) * 2654435761u); }

void oursFormatInt(benchmark::State& state) {
    for (auto _ : state)
        for (int i = 0; i < kNumbers; ++i) benchmark::DoNotOptimize(ovStringFromInt(sampleInt(i)));
}

void baseFormatInt(benchmark::State& state) {
    for (auto _ : state)
        for (int i = 0; i < kNumbers; ++i) {
            char buffer[16];
            auto end = std::to_chars(buffer, buffer + sizeof buffer, sampleInt(i)).ptr;
            std::u16string text(buffer, end);
            benchmark::DoNotOptimize(text.data());
        }
}

void oursParseInt(benchmark::State& state) {
    Array* texts = ovArrayNew1D("$", kNumbers);
    for (int i = 0; i < kNumbers; ++i) ovStore(texts->elements<String*>()[i], ovStringFromInt(sampleInt(i)));
    for (auto _ : state)
        for (int i = 0; i < kNumbers; ++i) benchmark::DoNotOptimize(ovStringToInt(texts->elements<String*>()[i]));
    ovKeepAlive(texts);
}

void baseParseInt(benchmark::State& state) {
    std::vector<std::string> texts;
    for (int i = 0; i < kNumbers; ++i) texts.push_back(std::to_string(sampleInt(i)));
    for (auto _ : state)
        for (const auto& t : texts) {
            int32_t value = 0;
            std::from_chars(t.data(), t.data() + t.size(), value);
            benchmark::DoNotOptimize(value);
        }
}

void oursFindShort(benchmark::State& s) { oursFind(s, kShortPattern); }
void baseFindShort(benchmark::State& s) { baseFind(s, kShortPattern); }
void oursFindLong(benchmark::State& s) { oursFind(s, kLongPattern); }
void baseFindLong(benchmark::State& s) { baseFind(s, kLongPattern); }

}  // namespace

#define OV_STRING_PAIR(name, ours, base)                                                \
    BENCHMARK(ours)->Name("ours/string." name)->Unit(benchmark::kMicrosecond);          \
    BENCHMARK(base)->Name("base/string." name)->Unit(benchmark::kMicrosecond)

OV_STRING_PAIR("build_from_pieces", oursBuild, baseBuild);
OV_STRING_PAIR("replace_1mb", oursReplace, baseReplace);
OV_STRING_PAIR("split_1mb", oursSplit, baseSplit);
OV_STRING_PAIR("split_with_thread_alive", oursSplitWithThreadAlive, oursSplit);
OV_STRING_PAIR("join_1mb", oursJoin, baseJoin);
OV_STRING_PAIR("find_short", oursFindShort, baseFindShort);
OV_STRING_PAIR("find_long", oursFindLong, baseFindLong);
OV_STRING_PAIR("format_int", oursFormatInt, baseFormatInt);
OV_STRING_PAIR("parse_int", oursParseInt, baseParseInt);
