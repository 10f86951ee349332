// Text streams: characters, hexadecimal bytes, strings and numbers, the
// construction and reflection of the class, and the factory.
#include "streams/textstream.h"

#include "runtime/buffer.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/reflection.h"
#include "runtime/string.h"
#include "streams/load_save.h"
#include "streams/stream_scope_internal.h"
#include "streams/textstream_internal.h"

using namespace ovTextStreamParts;

namespace {

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

namespace ovTextEntry {
OV_TEXT_OPERATIONS(OV_NAMED_ENTRY)
}  // namespace ovTextEntry

const ovScopeEntry textStreamEntries[] = {
    ovConstantEntry("LATIN1", ovLiteral(u"1")),
    ovConstantEntry("UTF8", ovLiteral(u"2")),
    ovConstantEntry("UTF16BE", ovLiteral(u"3")),
    ovConstantEntry("UTF16LE", ovLiteral(u"4")),
    OV_FIELD_ENTRY(TTextStream, _encoding, "i"),
    OV_FIELD_ENTRY(TTextStream, _bufcount, "i"),
    ovObjectEntry::New,
    ovStreamEntry::Read,
    ovStreamEntry::Write,
    ovStreamEntry::ReadByte,
    ovStreamEntry::WriteByte,
    ovStreamEntry::ReadShort,
    ovStreamEntry::WriteShort,
    ovStreamEntry::ReadInt,
    ovStreamEntry::WriteInt,
    ovStreamEntry::ReadLong,
    ovStreamEntry::WriteLong,
    ovStreamEntry::ReadFloat,
    ovStreamEntry::WriteFloat,
    ovStreamEntry::ReadDouble,
    ovStreamEntry::WriteDouble,
    ovStreamEntry::ReadLine,
    ovTextEntry::ReadFile,
    ovStreamEntry::WriteLine,
    ovStreamEntry::ReadString,
    ovStreamEntry::WriteString,
    ovTextEntry::ReadChar,
    ovTextEntry::WriteChar,
    OV_FUNCTION_ENTRY(TTextStreamClass, Create, "(:TStream,i):TTextStream"),
    OV_TEXT_BYTE_OPERATIONS(OV_LISTED_ENTRY) ovScopeEndEntry,
};

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
// Strings
// ---------------------------------------------------------------------------

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

void ovTextStreamModuleInit() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        ovCoreModuleInit();
        ovStreamModuleInit();
        ovObjectRegisterType(&TTextStreamType);
        ovInstallFactory(TTextStreamFactoryType);
    });
}
