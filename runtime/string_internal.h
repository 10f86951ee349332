// Helpers shared by the String implementation files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "runtime/charclass.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/string.h"

// A new String of n units for a length computed in 64 bits, so that sums and
// products of lengths are checked before they could wrap.  Inline, since
// every builder of the String files calls it, most for short texts.
inline String* ovStringNewChecked(int64_t n) {
    if (n <= 0) return &ovEmptyString;
    if (n > OV_STRING_MAX_LENGTH) ovRuntimeError("String too long");
    auto* s = static_cast<String*>(ovGCAllocObject(static_cast<int32_t>(ovStringBlockSize(n)), &StringType));
    s->length = static_cast<int32_t>(n);
    return s;
}

// Copies n units between two different blocks.  Most pieces of text are
// short, so small counts are moved with fixed-size copies (which compile to
// plain loads and stores) instead of a call to memcpy; the two copies of a
// range may overlap each other.
inline void ovCopyUnits(uint16_t* to, const uint16_t* from, int64_t n) {
    if (n <= 0) return;
    if (n >= 16) {
        std::memcpy(to, from, 2 * static_cast<size_t>(n));
    } else if (n >= 8) {
        std::memcpy(to, from, 16);
        std::memcpy(to + n - 8, from + n - 8, 16);
    } else if (n >= 4) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 4, from + n - 4, 8);
    } else if (n >= 2) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 2, from + n - 2, 4);
    } else {
        to[0] = from[0];
    }
}

// A new String of the n units of s from first on, which lie inside s.
inline String* ovStringCopyRange(String* s, int32_t first, int32_t n) {
    String* result = ovStringNewChecked(n);
    ovCopyUnits(result->units(), s->units() + first, result->length);
    return result;
}

// ovStringSlice over 64-bit bounds, for callers whose arithmetic on Int
// positions could leave the Int range.
String* ovStringSliceWide(String* s, int64_t from, int64_t to);

// The unit class shared by trimming and splitting.
inline bool ovIsBlankUnit(uint16_t u) { return u <= 0x20; }

// Unit-by-unit equality that stops at the first difference: candidates of a
// search mostly differ early, where a call to memcmp would cost more than the
// comparison.
inline bool ovUnitsEqual(const uint16_t* a, const uint16_t* b, int64_t n) {
    for (int64_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// The occurrences of a pattern of at least one unit in a String, from left to
// right, each beginning at or after the end of the one before: the
// occurrences that Find finds, Replace replaces and Split splits at.  A
// position is a candidate when the pattern's first and last units match
// there.  The candidates of a block of sixteen positions are found at once
// (with SSE2 in two comparisons) and kept as a mask between calls, so that
// walking through many occurrences costs little more than one search.
class ovOccurrences {
public:
    ovOccurrences(String* text, String* pattern, int64_t from);

    // The position of the next occurrence, or -1 when there is none.
    int32_t next() {
        do {
            while (candidates_ != 0) {
                const int64_t p = block_ + __builtin_ctz(candidates_);
                candidates_ &= candidates_ - 1;
                // A candidate inside the previous occurrence overlaps it.
                if (p >= from_ && middleMatches(p)) {
                    from_ = p + patternLength_;
                    return static_cast<int32_t>(p);
                }
            }
        } while (nextCandidates());
        return -1;
    }

    // How many occurrences next() would still return; uses them up.
    int64_t count();

private:
    static constexpr int64_t kBlock = 16;

    // The first and last units match at p; the ones between decide.
    bool middleMatches(int64_t p) const {
        return patternLength_ <= 2 || ovUnitsEqual(text_ + p + 1, pattern_ + 1, patternLength_ - 2);
    }

    // Takes the candidates of the next block that has any; false when no
    // block up to the last position where the pattern fits has one.
    bool nextCandidates();
    bool holdCandidates(int64_t block, uint32_t candidates) {
        block_ = block;
        candidates_ = candidates;
        return true;
    }
    // One bit for each position of the block where the pattern's first and
    // last units match.
    uint32_t candidatesAt(int64_t block) const;
#if defined(__SSE2__)
    __m128i candidateBytesAt(int64_t block) const;
#endif

    const uint16_t* text_;
    const uint16_t* pattern_;
    int64_t patternLength_;
    int64_t last_;         // the last position where the pattern fits
    int64_t from_;         // the next occurrence begins here or later
    int64_t block_;        // the first position of the current block
    uint32_t candidates_;  // the candidates of the block not yet tried
#if defined(__SSE2__)
    __m128i heads_;
    __m128i tails_;
#endif
};
