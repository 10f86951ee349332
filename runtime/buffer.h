// A growable buffer of plain elements for building text and bytes.
//
// The first InlineCount elements live inside the object, so a buffer that is
// a local needs no heap for short contents; larger contents move to the C
// heap, which is released when the buffer goes out of scope, also when an
// exception passes.  Counts are Ints: a buffer never holds more than its
// limit (at most INT32_MAX elements), and asking for more raises the
// runtime error the owner names.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/string.h"

template <class T, int32_t InlineCount>
class ovBuffer {
    static_assert(std::is_trivially_copyable_v<T>);
    static_assert(InlineCount > 0);

public:
    explicit ovBuffer(int32_t limit = INT32_MAX, const char* tooLarge = "Buffer too large")
        : limit_(limit), tooLarge_(tooLarge) {}
    ~ovBuffer() {
        if (data_ != inline_) ovMemFree(data_);
    }
    ovBuffer(const ovBuffer&) = delete;
    ovBuffer& operator=(const ovBuffer&) = delete;

    T* data() { return data_; }
    const T* data() const { return data_; }
    int32_t size() const { return size_; }
    int32_t limit() const { return limit_; }

    void push(T value) {
        if (size_ == capacity_) grow(int64_t{size_} + 1);
        data_[size_++] = value;
    }

    // Makes room for exactly n elements and counts them as held; the ones
    // past the previous size are not initialised.
    T* resize(int64_t n) {
        reserve(n);
        size_ = static_cast<int32_t>(n);
        return data_;
    }

    // Room for n elements in all.
    void reserve(int64_t n) {
        if (n > capacity_) grow(n);
    }

    // Room for at least one more element; spare() and spareCount() show the
    // room past the held ones, and commit counts those filled as held.
    void reserveSpare() { reserve(int64_t{size_} + 1); }
    T* spare() { return data_ + size_; }
    int32_t spareCount() const { return capacity_ - size_; }
    void commit(int32_t count) { size_ += count; }

    // Hands the contents to the caller as a block of ovMemAlloc, which the
    // caller frees (or lets the collector adopt), and empties the buffer.
    // Contents on the heap are handed over as they are; inline ones are
    // copied into a block of their size.
    T* release() {
        const size_t kept = sizeof(T) * static_cast<size_t>(size_);
        T* data = data_ != inline_ ? data_ : static_cast<T*>(std::memcpy(ovMemAlloc(kept), inline_, kept));
        data_ = inline_;
        size_ = 0;
        capacity_ = InlineCount;
        return data;
    }

private:
    // At least wanted elements, doubling so that pushes stay amortised O(1).
    void grow(int64_t wanted) {
        if (wanted > limit_) ovRuntimeError(tooLarge_);
        const auto capacity = static_cast<int32_t>(std::clamp<int64_t>(int64_t{capacity_} * 2, wanted, limit_));
        const size_t bytes = sizeof(T) * static_cast<size_t>(capacity);
        const size_t kept = sizeof(T) * static_cast<size_t>(size_);
        if (data_ == inline_) {
            data_ = static_cast<T*>(std::memcpy(ovMemAlloc(bytes), inline_, kept));
        } else {
            data_ = static_cast<T*>(ovMemExtend(data_, kept, bytes));
        }
        capacity_ = capacity;
    }

    alignas(16) T inline_[InlineCount];
    T* data_ = inline_;
    int32_t size_ = 0;
    int32_t capacity_ = InlineCount;
    int32_t limit_;
    const char* tooLarge_;
};

// Units or bytes that become one String: held to the longest String.
template <class T, int32_t InlineCount = 1024>
class ovTextBuffer : public ovBuffer<T, InlineCount> {
public:
    ovTextBuffer() : ovBuffer<T, InlineCount>(OV_STRING_MAX_LENGTH, "String too long") {}
};
