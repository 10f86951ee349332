// Positions and transfer lengths of streams over a block of memory (bank
// streams, RAM streams): a position always lies within 0..size, and a
// transfer never reaches past the end of the block.
#pragma once

#include <cstdint>

// The position a seek to pos ends at.
inline int32_t ovClampPosition(int32_t pos, int32_t size) {
    if (pos < 0) return 0;
    return pos > size ? size : pos;
}

// How many of count bytes lie between pos and the end of the block.
inline int32_t ovBytesWithin(int32_t pos, int32_t size, int32_t count) {
    if (count <= 0 || pos >= size) return 0;
    return count > size - pos ? size - pos : count;
}
