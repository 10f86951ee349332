// Byte buffers of the stream module: the bytes of a line or a text, on the
// stack while they fit 1024.
#pragma once

#include <cstdint>

#include "runtime/buffer.h"
#include "runtime/string.h"

class ovByteBuffer : public ovBuffer<uint8_t, 1024> {
public:
    ovByteBuffer() : ovBuffer(INT32_MAX, "Stream buffer too large") {}
};

// The low 8 bits of every unit of the text, one byte per character.
inline void ovNarrowInto(ovByteBuffer& out, String* text) {
    ovStringNarrowInto(text, reinterpret_cast<char*>(out.resize(int64_t{text->length} + 1)));
    out.resize(text->length);  // the terminator is not one of the bytes
}
