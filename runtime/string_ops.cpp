// Comparison, search, concatenation, slicing, trimming and replacing.
#include <algorithm>

#include "runtime/string.h"
#include "runtime/string_internal.h"

namespace {

// Does sub occur in s at position p?  The caller keeps p + length(sub)
// within s.
bool matchesAt(String* s, String* sub, int64_t p) { return ovUnitsEqual(s->units() + p, sub->units(), sub->length); }

void fillSpaces(uint16_t* units, int64_t n) { std::fill_n(units, n, static_cast<uint16_t>(u' ')); }

}  // namespace

ovOccurrences::ovOccurrences(String* text, String* pattern, int64_t from)
    : text_(text->units()),
      pattern_(pattern->units()),
      patternLength_(pattern->length),
      last_(static_cast<int64_t>(text->length) - pattern->length),
      from_(from),
      block_(from - kBlock),
      candidates_(0) {
#if defined(__SSE2__)
    heads_ = _mm_set1_epi16(static_cast<short>(pattern_[0]));
    tails_ = _mm_set1_epi16(static_cast<short>(pattern_[patternLength_ - 1]));
#endif
}

#if defined(__SSE2__)
// One byte for each of the sixteen positions from block on, all ones where
// the pattern's first and last units match there.  The pattern fits at all
// sixteen.
inline __m128i ovOccurrences::candidateBytesAt(int64_t block) const {
    auto matches = [&](int64_t at, __m128i units) {
        return _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text_ + at)), units);
    };
    const int64_t tail = block + patternLength_ - 1;
    const __m128i low = _mm_and_si128(matches(block, heads_), matches(tail, tails_));
    const __m128i high = _mm_and_si128(matches(block + 8, heads_), matches(tail + 8, tails_));
    return _mm_packs_epi16(low, high);
}
#endif

inline uint32_t ovOccurrences::candidatesAt(int64_t block) const {
#if defined(__SSE2__)
    if (block + kBlock - 1 <= last_) return static_cast<uint32_t>(_mm_movemask_epi8(candidateBytesAt(block)));
#endif
    const uint16_t head = pattern_[0];
    const uint16_t tail = pattern_[patternLength_ - 1];
    uint32_t candidates = 0;
    for (int64_t p = block; p <= last_ && p < block + kBlock; ++p)
        if (text_[p] == head && text_[p + patternLength_ - 1] == tail) candidates |= 1u << (p - block);
    return candidates;
}

bool ovOccurrences::nextCandidates() {
    int64_t block = std::max(block_ + kBlock, from_);
#if defined(__SSE2__)
    for (const int64_t lastWhole = last_ - (kBlock - 1); block <= lastWhole; block += kBlock) {
        const auto found = static_cast<uint32_t>(_mm_movemask_epi8(candidateBytesAt(block)));
        if (found != 0) return holdCandidates(block, found);
    }
#endif
    for (; block <= last_; block += kBlock) {
        const uint32_t found = candidatesAt(block);
        if (found != 0) return holdCandidates(block, found);
    }
    // Past the end, where later calls find nothing either.
    holdCandidates(block - kBlock, 0);
    return false;
}

int64_t ovOccurrences::count() {
    int64_t found = 0;
    if (patternLength_ > 1) {
        while (next() != -1) ++found;
        return found;
    }
    // Each candidate of a single unit is an occurrence, and none overlaps
    // another, so the candidates are counted without being visited.
    found = __builtin_popcount(candidates_);
    int64_t block = std::max(block_ + kBlock, from_);
#if defined(__SSE2__)
    // Sums of the all-ones bytes: 255 for each candidate.
    __m128i sums = _mm_setzero_si128();
    for (; block + kBlock - 1 <= last_; block += kBlock)
        sums = _mm_add_epi64(sums, _mm_sad_epu8(candidateBytesAt(block), _mm_setzero_si128()));
    found += (_mm_cvtsi128_si64(sums) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums))) / 0xFF;
#endif
    for (; block <= last_; block += kBlock) found += __builtin_popcount(candidatesAt(block));
    block_ = block - kBlock;
    candidates_ = 0;
    return found;
}

int32_t ovStringCompare(String* a, String* b) {
    const int32_t n = std::min(a->length, b->length);
    const uint16_t* x = a->units();
    const uint16_t* y = b->units();
    for (int32_t i = 0; i < n; ++i)
        if (x[i] != y[i]) return static_cast<int32_t>(x[i]) - static_cast<int32_t>(y[i]);
    return a->length - b->length;
}

int32_t ovStringStartsWith(String* s, String* prefix) {
    return s->length >= prefix->length && matchesAt(s, prefix, 0) ? 1 : 0;
}

int32_t ovStringEndsWith(String* s, String* suffix) {
    return s->length >= suffix->length && matchesAt(s, suffix, s->length - suffix->length) ? 1 : 0;
}

int32_t ovStringFind(String* s, String* sub, int32_t start) {
    if (sub->length == 0) return start <= s->length ? std::max(start, 0) : -1;
    return ovOccurrences(s, sub, std::max(start, 0)).next();
}

int32_t ovStringFindLast(String* s, String* sub, int32_t start) {
    const int64_t length = s->length;
    int64_t p = length - start;
    if (p + sub->length > length) p = length - sub->length;
    for (; p >= 0; --p)
        if (matchesAt(s, sub, p)) return static_cast<int32_t>(p);
    return -1;
}

int32_t ovStringContains(String* s, String* sub) { return ovStringFind(s, sub, 0) != -1 ? 1 : 0; }

int32_t ovStringAsc(String* s) { return s->length > 0 ? s->units()[0] : -1; }

String* ovStringConcat(String* a, String* b) {
    String* result = ovStringNewChecked(static_cast<int64_t>(a->length) + b->length);
    ovCopyUnits(result->units(), a->units(), a->length);
    ovCopyUnits(result->units() + a->length, b->units(), b->length);
    return result;
}

String* ovStringSliceWide(String* s, int64_t from, int64_t to) {
    const int64_t n = to - from;
    if (n <= 0) return &ovEmptyString;
    String* result = ovStringNewChecked(n);
    uint16_t* out = result->units();
    // Three runs: padding before the text, the text inside the range, padding
    // after it.
    const int64_t before = std::min(n, std::max<int64_t>(0, -from));
    const int64_t insideFrom = std::max<int64_t>(from, 0);
    const int64_t inside = std::max<int64_t>(0, std::min<int64_t>(to, s->length) - insideFrom);
    fillSpaces(out, before);
    ovCopyUnits(out + before, s->units() + insideFrom, inside);
    fillSpaces(out + before + inside, n - before - inside);
    return result;
}

String* ovStringSlice(String* s, int32_t from, int32_t to) { return ovStringSliceWide(s, from, to); }

String* ovStringTrim(String* s) {
    const uint16_t* units = s->units();
    int32_t first = 0;
    int32_t end = s->length;
    while (first < end && ovIsBlankUnit(units[first])) ++first;
    if (first == end) return &ovEmptyString;
    while (ovIsBlankUnit(units[end - 1])) --end;
    if (first == 0 && end == s->length) return s;
    return ovStringCopyRange(s, first, end - first);
}

String* ovStringReplace(String* s, String* find, String* with) {
    if (find->length == 0) return s;
    const int64_t count = ovOccurrences(s, find, 0).count();
    if (count == 0) return s;
    String* result = ovStringNewChecked(s->length + (static_cast<int64_t>(with->length) - find->length) * count);
    uint16_t* out = result->units();
    int32_t done = 0;  // end of the previous occurrence in s
    ovOccurrences occurrences(s, find, 0);
    for (int32_t p = occurrences.next(); p != -1; p = occurrences.next()) {
        ovCopyUnits(out, s->units() + done, p - done);
        out += p - done;
        ovCopyUnits(out, with->units(), with->length);
        out += with->length;
        done = p + find->length;
    }
    ovCopyUnits(out, s->units() + done, s->length - done);
    return result;
}
