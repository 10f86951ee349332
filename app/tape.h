// The interpreter's bit tape.
//
// Cells are addressed by position, an Int that may be negative.  The tape
// covers positions -offset() .. size() - 1 and grows on demand: an access
// left of the covered range extends it on the left to exactly that
// position, an access at size() extends it by one cell on the right.  These
// two counters, and length() = size() + offset(), are the observable state.
//
// Storage is one bit per cell in 64-bit words, most significant bit first,
// so the eight cells at a position read as one byte with the first cell as
// its top bit in a single shift.  The storage itself grows by doubling in
// whichever direction needs room, so growth costs amortised constant time
// per cell; cells it holds beyond the covered range are always zero, which
// is what a newly covered cell must read as.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// XORs the 16 bits of a window, top bit first, into words of bits stored
// most significant first, from bit `at` on; the word after the one holding
// bit `at` must exist, and `at` is not negative.
inline void XorWindow(uint64_t* words, int64_t at, uint16_t window) {
    const uint64_t top = uint64_t{window} << 48;
    const size_t w = static_cast<uint64_t>(at) / 64;
    const int s = static_cast<int>(static_cast<uint64_t>(at) % 64);
    words[w] ^= top >> s;
    words[w + 1] ^= (top << 1) << (63 - s);  // the bits that spill over; none when s is 0
}

class Tape {
public:
    static constexpr int64_t kInitialSize = 64;
    // Positions and lengths are Ints, so no tape may hold more cells.
    static constexpr int64_t kMaxCells = INT32_MAX;

    explicit Tape(int64_t maxCells = kMaxCells);

    int64_t size() const { return size_; }
    int64_t offset() const { return offset_; }
    int64_t length() const { return size_ + offset_; }

    // Accounts for accesses to every position in [low, high) (low < high),
    // growing the covered range as those accesses would one by one.  Returns
    // false, changing nothing, when the tape would exceed its cell limit.
    bool cover(int64_t low, int64_t high) { return (low >= -offset_ && high <= size_) || grow(low, high); }

    // The accessors below take covered positions only.
    int cell(int64_t position) const {
        const int64_t j = bitIndex(position);
        return (words_[wordOf(j)] & (kTopBit >> shiftOf(j))) != 0 ? 1 : 0;
    }
    void flip(int64_t position) {
        const int64_t j = bitIndex(position);
        words_[wordOf(j)] ^= kTopBit >> shiftOf(j);
    }
    // Cells position .. position + 7, the first as the most significant bit.
    uint8_t readByte(int64_t position) const {
        const int64_t j = bitIndex(position);
        const size_t w = wordOf(j);
        const int s = shiftOf(j);
        uint64_t window = words_[w] << s;
        if (s != 0) window |= words_[w + 1] >> (kWordBits - s);
        return static_cast<uint8_t>(window >> 56);
    }
    // Sets cells position .. position + 7 to the bits of value, the least
    // significant bit at position.
    void writeBitsLowFirst(int64_t position, uint8_t value);
    // Flips every cell position + i whose bit i of the mask is set; the mask
    // holds the bits most significant first, bits past its length are zero.
    void flipMasked(int64_t position, const uint64_t* mask, int64_t bits);
    // Flips the cells position .. position + 15 marked in the window, the
    // first as its top bit.  Only the marked cells need be covered: the
    // others may lie up to 16 cells outside.
    void flipWindow(int64_t position, uint16_t window) { XorWindow(words_.data(), bitIndex(position), window); }

private:
    static constexpr int kWordBits = 64;
    static constexpr uint64_t kTopBit = uint64_t{1} << 63;
    // Spare words kept around the covered range, so that a window of up to
    // two words read or written at any covered cell, or a flip window
    // around one, stays inside storage.
    static constexpr int64_t kPadWords = 2;

    bool grow(int64_t low, int64_t high);
    void reserve(int64_t low, int64_t high);
    int64_t bitIndex(int64_t position) const { return position - first_; }
    // Bits of covered cells are never negative.
    static size_t wordOf(int64_t bit) { return static_cast<uint64_t>(bit) / kWordBits; }
    static int shiftOf(int64_t bit) { return static_cast<int>(static_cast<uint64_t>(bit) % kWordBits); }

    std::vector<uint64_t> words_;
    int64_t first_;  // position of the top bit of words_[0]; changes by whole words
    int64_t size_ = kInitialSize;
    int64_t offset_ = 0;
    int64_t maxCells_;
};
