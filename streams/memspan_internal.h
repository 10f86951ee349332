// The position logic of streams over a block of memory (bank streams, RAM
// streams): a position always lies within 0..size, and a transfer never
// reaches past the end of the block.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/memory.h"

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

// A stream's view of its block: the bytes, their number and the stream's own
// position field, which seeks and transfers move.
struct ovMemSpan {
    uint8_t* bytes;
    int32_t size;
    int32_t& pos;

    int32_t seek(int32_t to) {
        pos = ovClampPosition(to, size);
        return pos;
    }

    // Each copies what lies between the position and the end of the block,
    // at most count bytes, and returns how many it copied.
    int32_t read(uint8_t* buffer, int32_t count) {
        const int32_t n = ovBytesWithin(pos, size, count);
        if (n > 0) ovMemMove(buffer, bytes + pos, static_cast<size_t>(n));
        pos += n;
        return n;
    }
    int32_t write(const uint8_t* buffer, int32_t count) {
        const int32_t n = ovBytesWithin(pos, size, count);
        if (n > 0) ovMemMove(bytes + pos, buffer, static_cast<size_t>(n));
        pos += n;
        return n;
    }
};
