// A text stream's lines and whole text, with a line over a plain file
// stream decoded straight from the file's buffer.
#include "runtime/buffer.h"
#include "runtime/exception.h"
#include "runtime/string.h"
#include "streams/cstream_bytes_internal.h"
#include "streams/textstream.h"
#include "streams/textstream_internal.h"

using namespace ovTextStreamParts;

namespace {

// A file stream's bytes, where the end inside a character throws as the
// file stream's ReadByte would.
struct FileBytes {
    ovCStreamBytes file;
    int32_t next() {
        const int32_t b = file.next();
        if (b < 0) ovThrowStreamRead();
        return b;
    }
};

// True while a byte of the text stream is one Read of the wrapped stream: no
// byte reader in between was replaced.
bool readsPlainBytes(TTextStream* self) {
    TStream* wrapped = self->_stream;
    return ovUsesOperationOf(self, &TTextStreamClass::_ReadByte, TTextStreamType) &&
           ovUsesOperationOf(wrapped, &TStreamClass::ReadByte, TStreamType) &&
           ovUsesOperationOf(wrapped, &TStreamClass::ReadBytes, TStreamType);
}

// A stream that learns of its end only when a read comes back empty (a pipe,
// a FIFO) reports Eof from then on: a byte read that failed there met the end
// of the data.  Where Eof stays false (the console at the end of its input)
// the failure stands.
bool endedAtFailedRead(TTextStream* self) { return atEnd(self) != 0; }

// The first byte of the next character, or -1 when the data ends before it.
int32_t firstByteOrEnd(TTextStream* self) {
    if (readsPlainBytes(self)) {
        uint8_t byte;
        if (self->_stream->Read(&byte, 1) > 0) return byte;
        if (endedAtFailedRead(self)) return -1;
        ovThrowStreamRead();
    }
    int32_t byte = -1;
    OV_TRY { byte = nextByte(self); }
    OV_CATCH(e) {
        if (!ovIsInstance(e, &TStreamReadExceptionType) || !endedAtFailedRead(self)) ovThrow(e);
    }
    OV_END_TRY
    return byte;
}

// The next character of a line, or false at the end of the data.  A
// character cut short still throws.  A replaced ReadChar is called as it is:
// only it knows where its characters begin.
bool nextLineChar(TTextStream* self, int32_t* c) {
    if (atEnd(self) != 0) return false;
    if (!ovUsesOperationOf(self, &TTextStreamClass::ReadChar, TTextStreamType)) {
        *c = nextChar(self);
        return true;
    }
    const int32_t first = firstByteOrEnd(self);
    if (first < 0) return false;
    *c = decodeAfter(self, first);
    return true;
}

// The wrapped stream receives bytes, 0 to 255, whatever the character: a

// True while the characters of a line are the wrapped file stream's bytes
// decoded by the text stream's own operations: nothing in between was
// replaced, so the line may be decoded straight from the file's buffer.
bool readsFileDirectly(TTextStream* self) {
    return ovUsesOperationOf(self, &TTextStreamClass::ReadChar, TTextStreamType) &&
           ovUsesOperationOf(self, &TTextStreamClass::_ReadByte, TTextStreamType) &&
           ovUsesOperationOf(self, &TIOClass::Eof, TStreamWrapperType) && ovCStreamBytes::serves(self->_stream);
}

// The bytes a character takes whose first byte is b.
inline size_t widthOf(int32_t encoding, uint8_t b) {
    switch (encoding) {
        case TTextStream::UTF8: return b < 128 ? 1 : b < 224 ? 2 : 3;
        case TTextStream::UTF16BE:
        case TTextStream::UTF16LE: return 2;
        default: return 1;
    }
}

// Bytes of a character known to lie whole in a block.
struct BlockBytes {
    const uint8_t* at;
    int32_t next() { return *at++; }
};

// Adds a line's character; false where it ends the line.
inline bool addToLine(ovTextBuffer<uint16_t>& line, int32_t c) {
    if (c == 0 || c == 10) return false;
    if (c != 13) line.push(static_cast<uint16_t>(c));
    return true;
}

// In Latin-1, and in UTF-8 up to the first byte above 127, every byte where
// a line reader does not stop is the character of its value: such a run is
// added to the line without decoding.  Sixteen bytes are widened a step, the
// units past the run included, which the line holds room for but does not
// count (so the last sixteen units below its limit go one at a time).
// Returns the bytes used.
size_t addPlainRun(ovTextBuffer<uint16_t>& line, int32_t encoding, const uint8_t* bytes, size_t count) {
    if (encoding != TTextStream::LATIN1 && encoding != TTextStream::UTF8) return 0;
    const bool highBytes = encoding == TTextStream::UTF8;
    size_t used = 0;
#if defined(__SSE2__)
    for (; count - used >= 16 && int64_t{line.size()} + 16 <= line.limit(); used += 16) {
        line.reserve(int64_t{line.size()} + 16);
        ovWidenBytes(line.spare(), bytes + used, 16);
        if (const unsigned stops = ovLineStopsIn16(bytes + used, highBytes); stops != 0) {
            const auto run = static_cast<int32_t>(__builtin_ctz(stops));
            line.commit(run);
            return used + static_cast<size_t>(run);
        }
        line.commit(16);
    }
#endif
    const size_t run = ovFirstLineStop(bytes + used, count - used, highBytes);
    const int32_t held = line.size();
    ovWidenBytes(line.resize(int64_t{held} + static_cast<int64_t>(run)) + held, bytes + used,
                 static_cast<int32_t>(run));
    return used + run;
}

// One character byte by byte, for one that straddles the handle's buffer;
// false where the line ends (the data too, without error, where it may).
bool addCharByBytes(FileBytes& bytes, int32_t encoding, ovTextBuffer<uint16_t>& line) {
    const int32_t first = bytes.file.next();
    if (first < 0) {
        if (bytes.file.atEnd()) return false;
        ovThrowStreamRead();
    }
    return addToLine(line, decodeAfter(bytes, encoding, first));
}

// A line from the file's buffer, with the same characters, the same end and
// the same position of the file as the character-by-character reader below:
// the characters whole in a block are decoded in place, the others byte by
// byte.
String* lineFromFile(TTextStream* self, ovTextBuffer<uint16_t>& line) {
    FileBytes bytes{ovCStreamBytes(static_cast<TCStream*>(self->_stream.get()))};
    ovCStreamBytes& file = bytes.file;
    const int32_t encoding = self->_encoding;
    while (!file.atEnd()) {
        const auto [block, available] = file.block();
        const size_t count = file.untilEnd(available);
        size_t used = 0;
        bool more = true;
        while (more && used < count) {
            used += addPlainRun(line, encoding, block + used, count - used);
            if (used == count) break;
            const size_t width = widthOf(encoding, block[used]);
            if (width > count - used) break;
            BlockBytes inBlock{block + used + 1};
            more = addToLine(line, decodeAfter(inBlock, encoding, block[used]));
            used += width;
        }
        file.take(used);
        if (!more || (used < count && !addCharByBytes(bytes, encoding, line))) break;
        if (count == 0 && !addCharByBytes(bytes, encoding, line)) break;
    }
    return ovStringFromShorts(line.data(), line.size());
}

}  // namespace

String* TTextStreamReadLine(TStream* stream) {
    TTextStream* self = asText(stream);
    self->_FlushRead();
    ovTextBuffer<uint16_t> line;
    if (readsFileDirectly(self)) return lineFromFile(self, line);
    int32_t c = 0;
    while (nextLineChar(self, &c) && c != 0 && c != 10) {
        if (c != 13) line.push(static_cast<uint16_t>(c));
    }
    return ovStringFromShorts(line.data(), line.size());
}

// Reads to the end.  A stream that learns of its end only when a read comes
// back empty (a pipe, the console) ends the text there too, provided no
// character was cut short: the text read so far is the whole of it.
String* TTextStreamReadFile(TTextStream* self) {
    self->_FlushRead();
    ovTextBuffer<uint16_t> text;
    bool inCharacter = false;
    OV_TRY {
        while (atEnd(self) == 0) {
            const int32_t first = nextByte(self);
            inCharacter = true;
            text.push(static_cast<uint16_t>(decodeAfter(self, first)));
            inCharacter = false;
        }
    }
    OV_CATCH(e) {
        if (inCharacter || !ovIsInstance(e, &TStreamReadExceptionType)) ovThrow(e);
    }
    OV_END_TRY
    return ovStringFromShorts(text.data(), text.size());
}
