// Helpers shared by the String implementation files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/memory.h"
#include "runtime/string.h"

// A new String of n units for a length computed in 64 bits, so that sums and
// products of lengths are checked before they could wrap.
String* ovStringNewChecked(int64_t n);

// ovStringSlice over 64-bit bounds, for callers whose arithmetic on Int
// positions could leave the Int range.
String* ovStringSliceWide(String* s, int64_t from, int64_t to);

// Writes the low 8 bits of each unit and a NUL byte: length + 1 bytes.
void ovStringNarrowInto(String* s, char* bytes);

// Unit classes shared by trimming, splitting and number parsing.
inline bool ovIsBlankUnit(uint16_t u) { return u <= 0x20; }
inline bool ovIsSpaceUnit(uint16_t u) { return u == 0x20 || (u >= 0x09 && u <= 0x0D); }

// Scratch memory that lives on the stack for small sizes and on the C heap
// otherwise; freed when the scope ends, also when an exception passes.
template <size_t InlineBytes>
class ovScratch {
public:
    explicit ovScratch(size_t bytes)
        : data_(bytes <= InlineBytes ? inline_ : static_cast<char*>(ovMemAlloc(bytes))) {}
    ~ovScratch() {
        if (data_ != inline_) ovMemFree(data_);
    }
    ovScratch(const ovScratch&) = delete;
    ovScratch& operator=(const ovScratch&) = delete;

    template <class T>
    T* as() {
        return reinterpret_cast<T*>(data_);
    }

private:
    alignas(16) char inline_[InlineBytes];
    char* data_;
};
