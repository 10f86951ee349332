// Helpers shared by the String implementation files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "runtime/memory.h"
#include "runtime/charclass.h"
#include "runtime/string.h"

// A new String of n units for a length computed in 64 bits, so that sums and
// products of lengths are checked before they could wrap.
String* ovStringNewChecked(int64_t n);

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
String* ovStringCopyRange(String* s, int32_t first, int32_t n);

// ovStringSlice over 64-bit bounds, for callers whose arithmetic on Int
// positions could leave the Int range.
String* ovStringSliceWide(String* s, int64_t from, int64_t to);

// The unit class shared by trimming and splitting.
inline bool ovIsBlankUnit(uint16_t u) { return u <= 0x20; }
