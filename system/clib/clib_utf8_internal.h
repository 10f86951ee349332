// UTF-8 sequence checks shared by the platform text conversions and the
// console reader of the C-library layer.
#pragma once

#include <cstddef>
#include <cstdint>

// The length of the sequence a lead byte starts (1-4), or 0 for a byte that
// cannot start one (a continuation byte, C0, C1, F5-FF).
int ovUTF8SequenceLength(uint8_t lead);
// Checks the sequence at bytes, of which `available` (at least 1) are present:
// its length when it is complete and valid (no overlong form, no encoded
// surrogate, nothing beyond U+10FFFF), 0 when the present bytes already make
// it invalid, -1 when they are a valid but incomplete start.
int ovUTF8Check(const uint8_t* bytes, size_t available);
// The code point of a valid sequence of the given length.
uint32_t ovUTF8Value(const uint8_t* bytes, int length);
// The UTF-16 units of a code point (1, or 2 for a surrogate pair).
int ovUTF16FromValue(uint32_t value, uint16_t* units);
