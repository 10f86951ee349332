// The bytes of a TCStream taken straight from its handle's buffer, for the
// line readers: the bytes taken change the stream's position and end exactly
// as one-byte TCStream Reads would, without a dispatch per byte.  Callers use
// it only while the stream's Read (and everything TStream builds its byte
// reads on) is TCStream's own.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "streams/cstream.h"

// A line reader stops and looks at NUL, LF and CR, and in UTF-8 also at
// every byte above 127 (part of a character of several bytes).

#if defined(__SSE2__)
// One bit for each of the sixteen bytes from bytes on where a line reader
// stops.
inline unsigned ovLineStopsIn16(const uint8_t* bytes, bool highBytes) {
    const __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    const __m128i controls =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(sixteen, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(sixteen, _mm_set1_epi8('\r'))),
                     _mm_cmpeq_epi8(sixteen, _mm_setzero_si128()));
    const int stops = _mm_movemask_epi8(controls) | (highBytes ? _mm_movemask_epi8(sixteen) : 0);
    return static_cast<unsigned>(stops);
}
#endif

// The first stop in bytes[0, count), or count when there is none.
inline size_t ovFirstLineStop(const uint8_t* bytes, size_t count, bool highBytes) {
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= count; i += 16)
        if (const unsigned stops = ovLineStopsIn16(bytes + i, highBytes); stops != 0)
            return i + static_cast<size_t>(__builtin_ctz(stops));
#endif
    for (; i < count; ++i) {
        const uint8_t b = bytes[i];
        if (b == '\n' || b == 0 || b == '\r' || (highBytes && b > 127)) return i;
    }
    return count;
}

class ovCStreamBytes {
public:
    explicit ovCStreamBytes(TCStream* stream) : stream_(stream) {}

    // True when the stream is one whose bytes this reads as its own Read
    // would: its Read, ReadByte, ReadBytes and Eof are TCStream's.
    static bool serves(TStream* stream) {
        return ovUsesOperationOf(stream, &TIOClass::Read, TCStreamType) &&
               ovUsesOperationOf(stream, &TIOClass::Eof, TCStreamType) &&
               ovUsesOperationOf(stream, &TStreamClass::ReadByte, TCStreamType) &&
               ovUsesOperationOf(stream, &TStreamClass::ReadBytes, TCStreamType);
    }

    // The stream's Eof.
    bool atEnd() const { return stream_->_unseekable ? stream_->_atEnd != 0 : stream_->_pos == stream_->_size; }

    // The next byte, or -1 where a one-byte Read would bring nothing.
    int next() {
        std::FILE* handle = stream_->_cstream;
        if (handle == nullptr) return -1;
        const int c = getc_unlocked(handle);
        taken(c == EOF ? 0 : 1);
        return c == EOF ? -1 : c;
    }

    // The bytes the handle has buffered, at least one unless the data has
    // ended (which a one-byte Read would have found: the end is noted).
    // None of them is taken until take() says so.
    struct Block {
        const uint8_t* bytes;
        size_t count;
    };
    Block block() {
        std::FILE* handle = stream_->_cstream;
        if (handle == nullptr) return {nullptr, 0};
#if defined(__GLIBC__)
        if (handle->_IO_read_ptr < handle->_IO_read_end) return buffered(handle);
        const int c = getc_unlocked(handle);  // refills the buffer
        if (c == EOF) {
            taken(0);
            return {nullptr, 0};
        }
        --handle->_IO_read_ptr;  // the byte stays in the buffer, untaken
        return buffered(handle);
#else
        const int c = getc_unlocked(handle);
        if (c == EOF) {
            taken(0);
            return {nullptr, 0};
        }
        ungetc(c, handle);
        pending_ = static_cast<uint8_t>(c);
        return {&pending_, 1};
#endif
    }

    // How many of count bytes can be taken before Eof turns true: a file's
    // end is its size when it was opened.
    size_t untilEnd(size_t count) const {
        if (stream_->_unseekable || stream_->_pos > stream_->_size) return count;
        return std::min(count, static_cast<size_t>(stream_->_size - stream_->_pos));
    }

    // Takes the first count bytes of the last block.
    void take(size_t count) {
        if (count == 0) return;
#if defined(__GLIBC__)
        stream_->_cstream->_IO_read_ptr += count;
#else
        getc_unlocked(stream_->_cstream);
#endif
        taken(count);
    }

private:
#if defined(__GLIBC__)
    static Block buffered(std::FILE* handle) {
        return {reinterpret_cast<const uint8_t*>(handle->_IO_read_ptr),
                static_cast<size_t>(handle->_IO_read_end - handle->_IO_read_ptr)};
    }
#else
    uint8_t pending_ = 0;
#endif

    // What count one-byte Reads leave in the fields; none means one found
    // the end.
    void taken(size_t count) {
        if (stream_->_unseekable)
            stream_->_atEnd = count == 0 ? 1 : 0;
        else
            stream_->_pos = static_cast<int32_t>(std::min<int64_t>(int64_t{stream_->_pos} + count, INT32_MAX));
    }

    TCStream* stream_;
};
