// The bytes of a TCStream taken straight from its handle's buffer, for the
// line readers: each byte changes the stream's position and end exactly as a
// one-byte TCStream Read would, without a dispatch per byte.  Callers use it
// only while the stream's Read (and everything TStream builds its byte
// reads on) is TCStream's own.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "streams/cstream.h"

class ovCStreamBytes {
public:
    explicit ovCStreamBytes(TCStream* stream) : stream_(stream) {}

    // True when the stream is one whose bytes this reads as its own Read
    // would: its Read, ReadByte, ReadBytes and Eof are TCStream's.
    static bool serves(TStream* stream) {
        const auto* record = stream->record<TStreamClass>();
        return record->Read == TCStreamRead && record->Eof == TCStreamEof && record->ReadByte == TStreamReadByte &&
               record->ReadBytes == TStreamReadBytes;
    }

    // The stream's Eof.
    bool atEnd() const {
        return stream_->_unseekable ? stream_->_atEnd != 0 : stream_->_pos == stream_->_size;
    }

    // The next byte, or -1 where a one-byte Read would bring nothing.
    int next() {
        std::FILE* handle = stream_->_cstream;
        if (handle == nullptr) return -1;
        const int c = getc_unlocked(handle);
        if (stream_->_unseekable)
            stream_->_atEnd = c == EOF ? 1 : 0;
        else if (c != EOF && stream_->_pos < INT32_MAX)
            ++stream_->_pos;
        return c == EOF ? -1 : c;
    }

private:
    TCStream* stream_;
};
