// Text streams, their factory, and the whole-text load and save functions.
#include "streams/textstream.h"

#include "runtime/buffer.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/reflection.h"
#include "runtime/string.h"
#include "streams/cstream_bytes_internal.h"
#include "streams/load_save.h"

namespace {

TTextStream* asText(Object* self) { return static_cast<TTextStream*>(self); }

// The readers below run once per byte or character, a few dispatches deep.
// Where the record still holds the text stream's own operation (no subclass
// replaced it), these call it directly, which is the same call one dispatch
// cheaper.

inline int32_t nextByte(TTextStream* self) {
    const auto readByte = self->record<TTextStreamClass>()->_ReadByte;
    return readByte == TTextStream_ReadByte ? TTextStream_ReadByte(self) : readByte(self);
}

// A text stream's Eof is the wrapper's: the wrapped stream's Eof.
inline int32_t atEnd(TTextStream* self) {
    const auto eof = self->record<TTextStreamClass>()->Eof;
    return eof == TStreamWrapperType.Eof ? self->_stream->Eof() : eof(self);
}

// The bytes of the characters come from a source: the text stream's own
// byte reader, or, for a line over a plain file stream, the file's buffer.
// next() gives a character's further bytes (and throws where the data ends).

// The UTF-8 character whose lead byte is b; continuation bytes are taken as
// they come, so the result may lie outside 0..65535 for malformed input.
template <class Bytes>
int32_t decodeUtf8(Bytes& bytes, int32_t b) {
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
int32_t decodeAfter(Bytes& bytes, int32_t encoding, int32_t b) {
    switch (encoding) {
        case TTextStream::LATIN1:
            return b;
        case TTextStream::UTF8:
            return decodeUtf8(bytes, b);
        case TTextStream::UTF16BE:
            return b * 256 + bytes.next();
        case TTextStream::UTF16LE:
            return b + bytes.next() * 256;
        default:
            return 0;
    }
}

// The text stream's own bytes.
struct StreamBytes {
    TTextStream* self;
    int32_t next() { return nextByte(self); }
};

int32_t decodeAfter(TTextStream* self, int32_t b) {
    StreamBytes bytes{self};
    return decodeAfter(bytes, self->_encoding, b);
}

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

inline int32_t nextChar(TTextStream* self) {
    const auto readChar = self->record<TTextStreamClass>()->ReadChar;
    return readChar == TTextStreamReadChar ? TTextStreamReadChar(self) : readChar(self);
}

// True while a byte of the text stream is one Read of the wrapped stream: no
// byte reader in between was replaced.
bool readsPlainBytes(TTextStream* self) {
    const auto* wrapped = self->_stream->record<TStreamClass>();
    return self->record<TTextStreamClass>()->_ReadByte == TTextStream_ReadByte &&
           wrapped->ReadByte == TStreamReadByte && wrapped->ReadBytes == TStreamReadBytes;
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
    if (self->record<TTextStreamClass>()->ReadChar != TTextStreamReadChar) {
        *c = nextChar(self);
        return true;
    }
    const int32_t first = firstByteOrEnd(self);
    if (first < 0) return false;
    *c = decodeAfter(self, first);
    return true;
}

// The wrapped stream receives bytes, 0 to 255, whatever the character: a
// stream that overrides WriteByte sees exactly what a file would hold.
inline void writeLowByte(TTextStream* self, int32_t value) { self->_WriteByte(value & 255); }

void writeUtf8(TTextStream* self, int32_t c) {
    if (c < 128) return writeLowByte(self, c);
    if (c < 2048) {
        writeLowByte(self, c / 64 | 192);
        return writeLowByte(self, c % 64 | 128);
    }
    writeLowByte(self, c / 4096 | 224);
    writeLowByte(self, c / 64 % 64 | 128);
    writeLowByte(self, c % 64 | 128);
}

constexpr int32_t kHexBytesPerLine = 32;

// "0"-"9" and "A"-"F" give 0 to 15; anything else gives some other value,
// which the byte takes as it comes.
int32_t hexDigitValue(int32_t character) {
    const int32_t value = character - 48;
    return value > 9 ? value - 7 : value;
}

int32_t hexDigit(int32_t value) { return value < 10 ? 48 + value : 55 + value; }

int32_t writeCharacters(TTextStream* self, String* text) {
    const uint16_t* units = text->units();
    for (int32_t i = 0; i < text->length; ++i) self->WriteChar(units[i]);
    ovKeepAlive(text);
    return 0;
}

template <class T, T (*Parse)(String*)>
T readNumber(TStream* stream) {
    TTextStream* self = asText(stream);
    self->_FlushRead();
    return Parse(self->ReadLine());
}

template <class T, String* (*Format)(T)>
int32_t writeNumber(TStream* stream, T n) {
    TTextStream* self = asText(stream);
    self->_FlushWrite();
    self->WriteLine(Format(n));
    return 0;
}

// The encoding a protocol names, or 0.
int32_t encodingOfProtocol(String* protocol) {
    struct Named {
        String* name;
        int32_t encoding;
    };
    const Named protocols[] = {
        {ovLiteral(u"latin1"), TTextStream::LATIN1},
        {ovLiteral(u"utf8"), TTextStream::UTF8},
        {ovLiteral(u"utf16be"), TTextStream::UTF16BE},
        {ovLiteral(u"utf16le"), TTextStream::UTF16LE},
    };
    for (const Named& named : protocols)
        if (ovStringCompare(protocol, named.name) == 0) return named.encoding;
    return 0;
}

#define OV_TEXT_METHOD(slot, type) OV_METHOD_ENTRY(TTextStreamClass, slot, type)

const ovScopeEntry textStreamEntries[] = {
    ovConstantEntry("LATIN1", ovLiteral(u"1")),
    ovConstantEntry("UTF8", ovLiteral(u"2")),
    ovConstantEntry("UTF16BE", ovLiteral(u"3")),
    ovConstantEntry("UTF16LE", ovLiteral(u"4")),
    OV_FIELD_ENTRY(TTextStream, _encoding, "i"),
    OV_FIELD_ENTRY(TTextStream, _bufcount, "i"),
    OV_TEXT_METHOD(New, "()i"),
    OV_TEXT_METHOD(Read, "(*b,i)i"),
    OV_TEXT_METHOD(Write, "(*b,i)i"),
    OV_TEXT_METHOD(ReadByte, "()i"),
    OV_TEXT_METHOD(WriteByte, "(i)i"),
    OV_TEXT_METHOD(ReadShort, "()i"),
    OV_TEXT_METHOD(WriteShort, "(i)i"),
    OV_TEXT_METHOD(ReadInt, "()i"),
    OV_TEXT_METHOD(WriteInt, "(i)i"),
    OV_TEXT_METHOD(ReadLong, "()l"),
    OV_TEXT_METHOD(WriteLong, "(l)i"),
    OV_TEXT_METHOD(ReadFloat, "()f"),
    OV_TEXT_METHOD(WriteFloat, "(f)i"),
    OV_TEXT_METHOD(ReadDouble, "()d"),
    OV_TEXT_METHOD(WriteDouble, "(d)i"),
    OV_TEXT_METHOD(ReadLine, "()$"),
    OV_TEXT_METHOD(ReadFile, "()$"),
    OV_TEXT_METHOD(WriteLine, "($)i"),
    OV_TEXT_METHOD(ReadString, "(i)$"),
    OV_TEXT_METHOD(WriteString, "($)i"),
    OV_TEXT_METHOD(ReadChar, "()i"),
    OV_TEXT_METHOD(WriteChar, "(i)i"),
    OV_FUNCTION_ENTRY(TTextStreamClass, Create, "(:TStream,i):TTextStream"),
    OV_TEXT_METHOD(_ReadByte, "()i"),
    OV_TEXT_METHOD(_WriteByte, "(i)i"),
    OV_TEXT_METHOD(_FlushRead, "()i"),
    OV_TEXT_METHOD(_FlushWrite, "()i"),
    ovScopeEndEntry,
};
#undef OV_TEXT_METHOD

// One byte of the stream, or false at its end: Eof, or a read that returns
// nothing (a stream that cannot tell its end in advance).
bool readMarkByte(TStream* stream, int32_t* byte) {
    uint8_t b = 0;
    if (stream->Eof() != 0 || stream->Read(&b, 1) != 1) return false;
    *byte = b;
    return true;
}

struct ByteOrderMark {
    int32_t encoding;  // 0 when the text starts with no mark
    uint8_t bytes[3];  // the bytes read looking for it
    int32_t count;
};

ByteOrderMark detectByteOrderMark(TStream* stream) {
    ByteOrderMark mark{};
    int32_t b = 0;
    while (mark.count < 2 && readMarkByte(stream, &b)) mark.bytes[mark.count++] = static_cast<uint8_t>(b);
    if (mark.count < 2) return mark;
    const uint8_t first = mark.bytes[0];
    const uint8_t second = mark.bytes[1];
    if (first == 254 && second == 255) {
        mark.encoding = TTextStream::UTF16BE;
    } else if (first == 255 && second == 254) {
        mark.encoding = TTextStream::UTF16LE;
    } else if (first == 239 && second == 187 && readMarkByte(stream, &b)) {
        mark.bytes[mark.count++] = static_cast<uint8_t>(b);
        if (b == 191) mark.encoding = TTextStream::UTF8;
    }
    return mark;
}

// The rest of the stream after the bytes already read, one character per
// byte; ends at Eof or at a read that returns nothing.
String* readLatin1Rest(TStream* stream, const ByteOrderMark& mark) {
    ovTextBuffer<uint8_t> bytes;
    for (int32_t i = 0; i < mark.count; ++i) bytes.push(mark.bytes[i]);
    while (stream->Eof() == 0) {
        bytes.reserveSpare();
        const int32_t n = stream->Read(bytes.spare(), bytes.spareCount());
        if (n <= 0) break;
        bytes.commit(n);
    }
    return ovStringFromBytes(bytes.data(), bytes.size());
}

bool fitsLatin1(String* text) {
    const uint16_t* units = text->units();
    for (int32_t i = 0; i < text->length; ++i)
        if (units[i] > 255) return false;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Raw bytes of the wrapped stream
// ---------------------------------------------------------------------------

int32_t TTextStream_ReadByte(TTextStream* self) { return self->_stream->ReadByte(); }
int32_t TTextStream_WriteByte(TTextStream* self, int32_t n) { return self->_stream->WriteByte(n); }

// ---------------------------------------------------------------------------
// Characters
// ---------------------------------------------------------------------------

int32_t TTextStreamReadChar(TTextStream* self) { return decodeAfter(self, nextByte(self)); }

int32_t TTextStreamWriteChar(TTextStream* self, int32_t c) {
    switch (self->_encoding) {
        case TTextStream::LATIN1:
            writeLowByte(self, c);
            break;
        case TTextStream::UTF8:
            writeUtf8(self, c);
            break;
        case TTextStream::UTF16BE:
            writeLowByte(self, c >> 8);
            writeLowByte(self, c);
            break;
        case TTextStream::UTF16LE:
            writeLowByte(self, c);
            writeLowByte(self, c >> 8);
            break;
        default:
            break;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Hexadecimal bytes
// ---------------------------------------------------------------------------

int32_t TTextStream_FlushRead(TTextStream* self) {
    if (self->_bufcount == 0) return 0;
    int32_t b = nextByte(self);
    if (b == 13) b = nextByte(self);
    if (b != 10) ovThrow(ovLiteral(u"Malformed line terminator"));
    self->_bufcount = 0;
    return 0;
}

int32_t TTextStream_FlushWrite(TTextStream* self) {
    if (self->_bufcount == 0) return 0;
    self->_WriteByte(13);
    self->_WriteByte(10);
    self->_bufcount = 0;
    return 0;
}

int32_t TTextStreamRead(TIO* io, uint8_t* buf, int32_t count) {
    TTextStream* self = asText(io);
    for (int32_t i = 0; i < count; ++i) {
        if (self->_bufcount == kHexBytesPerLine) self->_FlushRead();
        const int32_t high = hexDigitValue(nextByte(self));
        const int32_t low = hexDigitValue(nextByte(self));
        buf[i] = static_cast<uint8_t>(high * 16 | low);
        ++self->_bufcount;
    }
    return count > 0 ? count : 0;
}

int32_t TTextStreamWrite(TIO* io, const uint8_t* buf, int32_t count) {
    TTextStream* self = asText(io);
    for (int32_t i = 0; i < count; ++i) {
        self->_WriteByte(hexDigit(buf[i] >> 4));
        self->_WriteByte(hexDigit(buf[i] & 15));
        if (++self->_bufcount == kHexBytesPerLine) self->_FlushWrite();
    }
    return count > 0 ? count : 0;
}

// ---------------------------------------------------------------------------
// Lines and strings
// ---------------------------------------------------------------------------

// True while the characters of a line are the wrapped file stream's bytes
// decoded by the text stream's own operations: nothing in between was
// replaced, so the line may be decoded straight from the file's buffer.
bool readsFileDirectly(TTextStream* self) {
    const auto* record = self->record<TTextStreamClass>();
    return record->ReadChar == TTextStreamReadChar && record->_ReadByte == TTextStream_ReadByte &&
           record->Eof == TStreamWrapperType.Eof && ovCStreamBytes::serves(self->_stream);
}

// The bytes a character takes whose first byte is b.
inline size_t widthOf(int32_t encoding, uint8_t b) {
    switch (encoding) {
        case TTextStream::UTF8:
            return b < 128 ? 1 : b < 224 ? 2 : 3;
        case TTextStream::UTF16BE:
        case TTextStream::UTF16LE:
            return 2;
        default:
            return 1;
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
    ovWidenBytes(line.resize(int64_t{held} + static_cast<int64_t>(run)) + held, bytes + used, static_cast<int32_t>(run));
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

String* TTextStreamReadString(TStream* stream, int32_t length) {
    TTextStream* self = asText(stream);
    self->_FlushRead();
    ovTextBuffer<uint16_t> text;
    for (int32_t i = 0; i < length; ++i) text.push(static_cast<uint16_t>(nextChar(self)));
    return ovStringFromShorts(text.data(), text.size());
}

int32_t TTextStreamWriteString(TStream* stream, String* text) {
    TTextStream* self = asText(stream);
    self->_FlushWrite();
    return writeCharacters(self, text);
}

int32_t TTextStreamWriteLine(TStream* stream, String* text) {
    TTextStream* self = asText(stream);
    self->_FlushWrite();
    self->WriteString(text);
    self->WriteString(ovLiteral(u"\r\n"));
    return 0;
}

// ---------------------------------------------------------------------------
// Numbers as decimal lines
// ---------------------------------------------------------------------------

int32_t TTextStreamReadInt(TStream* self) { return readNumber<int32_t, ovStringToInt>(self); }
int32_t TTextStreamWriteInt(TStream* self, int32_t n) { return writeNumber<int32_t, ovStringFromInt>(self, n); }
int64_t TTextStreamReadLong(TStream* self) { return readNumber<int64_t, ovStringToLong>(self); }
int32_t TTextStreamWriteLong(TStream* self, int64_t n) { return writeNumber<int64_t, ovStringFromLong>(self, n); }
float TTextStreamReadFloat(TStream* self) { return readNumber<float, ovStringToFloat>(self); }
int32_t TTextStreamWriteFloat(TStream* self, float n) { return writeNumber<float, ovStringFromFloat>(self, n); }
double TTextStreamReadDouble(TStream* self) { return readNumber<double, ovStringToDouble>(self); }
int32_t TTextStreamWriteDouble(TStream* self, double n) { return writeNumber<double, ovStringFromDouble>(self, n); }

// ---------------------------------------------------------------------------
// Construction and reflection
// ---------------------------------------------------------------------------

const ovScope TTextStreamScope = {OV_SCOPE_CLASS, "TTextStream", textStreamEntries};
constexpr ovScope TTextStreamFactoryScope = {OV_SCOPE_CLASS, "TTextStreamFactory", ovFactoryOverrideEntries};

TTextStream* TTextStreamCreate(TStream* stream, int32_t encoding) {
    auto* text = ovNew<TTextStream>(&TTextStreamType);
    text->_encoding = encoding;
    text->SetStream(stream);
    return text;
}

int32_t TTextStreamNew(Object* self) {
    auto* text = ovChainNew<TTextStream, TTextStreamType>(self);
    text->_encoding = 0;
    text->_bufcount = 0;
    return 0;
}

// ---------------------------------------------------------------------------
// The factory
// ---------------------------------------------------------------------------

TStream* TTextStreamFactoryCreateStream(TStreamFactory*, Object*, String* protocol, String* path,
                                        int32_t readable, int32_t writeable) {
    const int32_t encoding = encodingOfProtocol(protocol);
    if (encoding == 0) return ovNullOf<TStream>();
    TStream* inner = StreamOpen(path, readable, writeable);
    if (inner == ovNullOf<TStream>()) return inner;
    return TTextStreamCreate(inner, encoding);
}

// ---------------------------------------------------------------------------
// Whole texts
// ---------------------------------------------------------------------------

String* LoadTextAuto(Object* target) {
    TStream* stream = StreamOpenRead(target);
    if (stream == ovNullOf<TStream>()) ovThrowStreamRead();
    ovStreamCloser closer(stream);
    const ByteOrderMark mark = detectByteOrderMark(stream);
    String* text = mark.encoding != 0 ? TTextStreamCreate(stream, mark.encoding)->ReadFile()
                                      : readLatin1Rest(stream, mark);
    closer.close();
    return text;
}

int32_t SaveTextAuto(String* text, Object* target) {
    if (fitsLatin1(text)) {
        SaveStringBytes(text, target);
        return 1;
    }
    TStream* stream = StreamOpenWrite(target);
    if (stream == ovNullOf<TStream>()) ovThrowStreamWrite();
    ovStreamCloser closer(stream);
    stream->WriteByte(255);
    stream->WriteByte(254);
    TTextStreamCreate(stream, TTextStream::UTF16LE)->WriteString(text);
    closer.closeWritten();
    return 1;
}

void ovTextStreamModuleInit() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        ovCoreModuleInit();
        ovStreamModuleInit();
        ovObjectRegisterType(&TTextStreamType);
        ovInstallFactory(TTextStreamFactoryType);
    });
}
