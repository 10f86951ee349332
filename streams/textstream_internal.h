// What the text stream units share: a text stream's next byte, character
// and end, and the decoding of a character from the bytes of any source.
#pragma once

#include <cstdint>

#include "streams/textstream.h"

namespace ovTextStreamParts {

inline TTextStream* asText(Object* self) { return static_cast<TTextStream*>(self); }

// The readers below run once per byte or character, a few dispatches deep.
// Where the record still holds the text stream's own operation (no subclass
// replaced it), these call it directly, which is the same call one dispatch
// cheaper.

inline int32_t nextByte(TTextStream* self) {
    return ovUsesOperationOf(self, &TTextStreamClass::_ReadByte, TTextStreamType) ? TTextStream_ReadByte(self)
                                                                                  : self->_ReadByte();
}

// A text stream's Eof is the wrapper's: the wrapped stream's Eof.
inline int32_t atEnd(TTextStream* self) {
    return ovUsesOperationOf(self, &TIOClass::Eof, TStreamWrapperType) ? self->_stream->Eof() : self->Eof();
}

// The bytes of the characters come from a source: the text stream's own
// byte reader, or, for a line over a plain file stream, the file's buffer.
// next() gives a character's further bytes (and throws where the data ends).

// The UTF-8 character whose lead byte is b; continuation bytes are taken as
// they come, so the result may lie outside 0..65535 for malformed input.
template <class Bytes>
inline int32_t decodeUtf8(Bytes& bytes, int32_t b) {
    if (b < 128) return b;
    if (b < 224) {
        const int32_t c = bytes.next();
        return (b - 192) * 64 + (c - 128);
    }
    const int32_t c = bytes.next();
    const int32_t d = bytes.next();
    if (b < 240) return (b - 224) * 4096 + (c - 128) * 64 + (d - 128);
    return 0;  // four-byte sequences are beyond 16-bit characters; the fourth byte stays unread
}

// The character in the encoding that starts with the byte b already read.
template <class Bytes>
inline int32_t decodeAfter(Bytes& bytes, int32_t encoding, int32_t b) {
    switch (encoding) {
        case TTextStream::LATIN1: return b;
        case TTextStream::UTF8: return decodeUtf8(bytes, b);
        case TTextStream::UTF16BE: return b * 256 + bytes.next();
        case TTextStream::UTF16LE: return b + bytes.next() * 256;
        default: return 0;
    }
}

// The text stream's own bytes.
struct StreamBytes {
    TTextStream* self;
    int32_t next() { return nextByte(self); }
};

inline int32_t decodeAfter(TTextStream* self, int32_t b) {
    StreamBytes bytes{self};
    return decodeAfter(bytes, self->_encoding, b);
}

inline int32_t nextChar(TTextStream* self) {
    return ovUsesOperationOf(self, &TTextStreamClass::ReadChar, TTextStreamType) ? TTextStreamReadChar(self)
                                                                                 : self->ReadChar();
}

}  // namespace ovTextStreamParts
