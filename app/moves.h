// Runs of "+" and "<", taken eight commands at a time.
//
// The effect of up to eight moves on the cells around the head is looked
// up in a table by which of them are "+".  Walking a run chunk by chunk is
// what both fusing a run into one operation and applying it straight to the
// tape are made of.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "app/program.h"

// The effect of up to eight moves on cells relative to the head before them.
struct ChunkEffect {
    int8_t delta = 0;
    int8_t low = 0;  // the first and the last cell flipped; none when low > high
    int8_t high = -1;
    // The cells -8 .. 7 flipped an odd number of times, -8 as the top bit.
    uint16_t flips = 0;

    constexpr bool touches() const { return low <= high; }
};

namespace moves_internal {

// Effects of every chunk, at (1 << length) | pattern, where bit k of the
// pattern is set when the k-th command is "+".
struct ChunkTable {
    ChunkEffect effects[512] = {};
    constexpr ChunkTable() {
        for (unsigned length = 0; length <= 8; ++length) {
            for (unsigned pattern = 0; pattern < (1u << length); ++pattern)
                effects[(1u << length) | pattern] = effectOf(length, pattern);
        }
    }
    static constexpr ChunkEffect effectOf(unsigned length, unsigned pattern) {
        ChunkEffect effect;
        int head = 0;
        for (unsigned k = 0; k < length; ++k) {
            if ((pattern >> k & 1) == 0) {
                --head;
                continue;
            }
            effect.low = static_cast<int8_t>(effect.touches() ? std::min<int>(effect.low, head) : head);
            effect.high = static_cast<int8_t>(std::max<int>(effect.high, head));
            effect.flips = static_cast<uint16_t>(effect.flips ^ (0x8000u >> (head + 8)));
            ++head;
        }
        effect.delta = static_cast<int8_t>(head);
        return effect;
    }
};
inline constexpr ChunkTable kChunks;

inline constexpr uint64_t kLowBitOfEachByte = 0x0101010101010101;

// The eight commands from `at`, the first in the low byte.
inline uint64_t loadEight(const uint8_t* at) {
    uint64_t word;
    std::memcpy(&word, at, sizeof word);
    if constexpr (std::endian::native == std::endian::big) {
        uint64_t swapped = 0;
        for (int k = 0; k < 8; ++k) swapped = swapped << 8 | (word >> (8 * k) & 0xFF);
        word = swapped;
    }
    return word;
}

// Of the five command codes, bit 4 differs from bit 0 in "+" (2B) and "<"
// (3C) only: the others have the low bit of their byte set here.
inline uint64_t otherCommands(uint64_t word) { return ~(word ^ word >> 4) & kLowBitOfEachByte; }

// Bit k set when the k-th command is "+", which has bit 0 set, "<" not.
inline unsigned flipPattern(uint64_t word) {
    return static_cast<unsigned>(((word & kLowBitOfEachByte) * 0x0102040810204080) >> 56);
}

}  // namespace moves_internal

// Walks the run of moves from command `from` up to `end` or another
// command, calling visit(effect, head) for each chunk, with the head
// relative to the run's start.  Returns the index after the run and sets
// delta to its head move; when visit returns false, the walk stops there:
// the index is that of the chunk's first command, delta the head before it.
// Eight bytes past `end` must be readable.  Whole chunks advance by eight,
// so that the next load need not wait for this one.
template <class Visit>
size_t WalkMoves(const uint8_t* commands, size_t from, size_t end, int64_t& delta, Visit&& visit) {
    using namespace moves_internal;
    int64_t head = 0;
    for (size_t i = from;; i += 8) {
        const uint64_t word = loadEight(commands + i);
        const uint64_t others = otherCommands(word);
        if (others != 0 || end - i < 8) {
            const size_t moves = others == 0 ? 8 : static_cast<size_t>(std::countr_zero(others)) / 8;
            const size_t length = std::min(moves, end - i);
            const unsigned used = (1u << length) - 1;
            const ChunkEffect& effect = kChunks.effects[(used + 1) | (flipPattern(word) & used)];
            const bool walked = visit(effect, head);
            delta = walked ? head + effect.delta : head;
            return walked ? i + length : i;
        }
        const ChunkEffect& effect = kChunks.effects[256 | flipPattern(word)];
        if (!visit(effect, head)) {
            delta = head;
            return i;
        }
        head += effect.delta;
    }
}
