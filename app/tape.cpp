#include "app/tape.h"

#include <algorithm>

namespace {

constexpr int64_t wordsFor(int64_t bits) { return (bits + 63) / 64; }

// The cells 0 .. 7 of a byte in storage order: bit k of value becomes the
// k-th most significant bit.
uint8_t reverseBits(uint8_t value) {
    uint8_t reversed = 0;
    for (int k = 0; k < 8; ++k) reversed = static_cast<uint8_t>(reversed | (((value >> k) & 1) << (7 - k)));
    return reversed;
}

}  // namespace

Tape::Tape(int64_t maxCells)
    : words_(static_cast<size_t>(wordsFor(kInitialSize) + 2 * kPadWords), 0),
      first_(-kPadWords * kWordBits),
      maxCells_(maxCells) {}

bool Tape::grow(int64_t low, int64_t high) {
    const int64_t offset = std::max(offset_, -low);
    const int64_t size = std::max(size_, high);
    if (size + offset > maxCells_) return false;
    reserve(low, high);
    offset_ = offset;
    size_ = size;
    return true;
}

// Makes storage reach kPadWords beyond both low and high.  A side that must
// grow grows by at least the current storage (doubling), but never further
// than the cell limit could ever need.
void Tape::reserve(int64_t low, int64_t high) {
    const int64_t pad = kPadWords * kWordBits;
    const int64_t words = static_cast<int64_t>(words_.size());
    const int64_t end = first_ + words * kWordBits;
    int64_t addLeft = low - pad < first_ ? wordsFor(first_ - (low - pad)) : 0;
    int64_t addRight = high + pad > end ? wordsFor(high + pad - end) : 0;
    if (addLeft == 0 && addRight == 0) return;
    const int64_t room = std::max<int64_t>(wordsFor(maxCells_) + 2 * kPadWords - words - addLeft - addRight, 0);
    const int64_t doubling = std::min(words, room);
    if (addLeft > 0) addLeft += doubling;
    else addRight += doubling;
    std::vector<uint64_t> grown(static_cast<size_t>(words + addLeft + addRight), 0);
    std::copy(words_.begin(), words_.end(), grown.begin() + addLeft);
    words_.swap(grown);
    first_ -= addLeft * kWordBits;
}

void Tape::writeBitsLowFirst(int64_t position, uint8_t value) {
    const uint64_t change = static_cast<uint64_t>(readByte(position) ^ reverseBits(value)) << 56;
    flipMasked(position, &change, 8);
}

void Tape::flipMasked(int64_t position, const uint64_t* mask, int64_t bits) {
    const int64_t j = bitIndex(position);
    const size_t w = wordOf(j);
    const int s = shiftOf(j);
    const size_t n = static_cast<size_t>(wordsFor(bits));
    if (s == 0) {
        for (size_t i = 0; i < n; ++i) words_[w + i] ^= mask[i];
        return;
    }
    for (size_t i = 0; i < n; ++i) {
        words_[w + i] ^= mask[i] >> s;
        words_[w + i + 1] ^= mask[i] << (kWordBits - s);
    }
}
