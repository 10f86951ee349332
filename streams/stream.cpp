// The stream core: TIO's defaults, TStream's typed and text operations, the
// wrappers, the stream exceptions and the module functions.
#include "streams/stream.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "runtime/array.h"
#include "runtime/buffer.h"
#include "runtime/exception.h"
#include "runtime/string.h"
#include "streams/cstream.h"
#include "streams/factory.h"
#include "system/clib/clib.h"

static_assert(std::endian::native == std::endian::little,
              "typed stream values are copied in the machine's order, which must be little-endian");

namespace {

// The size of the scratch and first line buffers, and the default buffer of
// the copy functions when they are handed an unusable size.
constexpr int32_t kScratchSize = 1024;

constexpr uint8_t kNul = 0;
constexpr uint8_t kLineFeed = 10;
constexpr uint8_t kCarriageReturn = 13;

// ---------------------------------------------------------------------------
// Byte buffers
// ---------------------------------------------------------------------------

// Bytes of a line or a text, on the stack while they fit 1024.
class ByteBuffer : public ovBuffer<uint8_t, kScratchSize> {
public:
    ByteBuffer() : ovBuffer(INT32_MAX, "Stream buffer too large") {}
};

// The low 8 bits of every unit of the text, one byte per character.
void narrowInto(ByteBuffer& out, String* text) {
    uint8_t* bytes = out.resize(text->length);
    const uint16_t* units = text->units();
    for (int32_t i = 0; i < text->length; ++i) bytes[i] = static_cast<uint8_t>(units[i]);
}

// ---------------------------------------------------------------------------
// Reflection
// ---------------------------------------------------------------------------

#define OV_IO_METHOD(slot, type) OV_METHOD_ENTRY(TIOClass, slot, type)
#define OV_STREAM_METHOD(slot, type) OV_METHOD_ENTRY(TStreamClass, slot, type)

constexpr ovScopeEntry newDeleteEntries[] = {
    OV_METHOD_ENTRY(ObjectClass, New, "()i"),
    OV_METHOD_ENTRY(ObjectClass, Delete, "()i"),
    ovScopeEndEntry,
};
constexpr ovScopeEntry exceptionTextEntries[] = {
    OV_METHOD_ENTRY(ObjectClass, ToString, "()$"),
    ovScopeEndEntry,
};

constexpr ovScopeEntry ioEntries[] = {
    OV_METHOD_ENTRY(ObjectClass, New, "()i"),
    OV_METHOD_ENTRY(ObjectClass, Delete, "()i"),
    OV_IO_METHOD(Eof, "()i"),
    OV_IO_METHOD(Pos, "()i"),
    OV_IO_METHOD(Size, "()i"),
    OV_IO_METHOD(Seek, "(i)i"),
    OV_IO_METHOD(Flush, "()i"),
    OV_IO_METHOD(Close, "()i"),
    OV_IO_METHOD(Read, "(*b,i)i"),
    OV_IO_METHOD(Write, "(*b,i)i"),
    ovScopeEndEntry,
};

constexpr ovScopeEntry streamEntries[] = {
    OV_STREAM_METHOD(ReadBytes, "(*b,i)i"),
    OV_STREAM_METHOD(WriteBytes, "(*b,i)i"),
    OV_STREAM_METHOD(SkipBytes, "(i)i"),
    OV_STREAM_METHOD(ReadByte, "()i"),
    OV_STREAM_METHOD(WriteByte, "(i)i"),
    OV_STREAM_METHOD(ReadShort, "()i"),
    OV_STREAM_METHOD(WriteShort, "(i)i"),
    OV_STREAM_METHOD(ReadInt, "()i"),
    OV_STREAM_METHOD(WriteInt, "(i)i"),
    OV_STREAM_METHOD(ReadLong, "()l"),
    OV_STREAM_METHOD(WriteLong, "(l)i"),
    OV_STREAM_METHOD(ReadFloat, "()f"),
    OV_STREAM_METHOD(WriteFloat, "(f)i"),
    OV_STREAM_METHOD(ReadDouble, "()d"),
    OV_STREAM_METHOD(WriteDouble, "(d)i"),
    OV_STREAM_METHOD(ReadLine, "()$"),
    OV_STREAM_METHOD(WriteLine, "($)i"),
    OV_STREAM_METHOD(ReadString, "(i)$"),
    OV_STREAM_METHOD(WriteString, "($)i"),
    OV_STREAM_METHOD(ReadObject, "():Object"),
    OV_STREAM_METHOD(WriteObject, "(:Object)i"),
    ovScopeEndEntry,
};

constexpr ovScopeEntry wrapperEntries[] = {
    OV_FIELD_ENTRY(TStreamWrapper, _stream, ":TStream"),
    OV_METHOD_ENTRY(ObjectClass, New, "()i"),
    OV_METHOD_ENTRY(ObjectClass, Delete, "()i"),
    OV_METHOD_ENTRY(TStreamWrapperClass, SetStream, "(:TStream)i"),
    OV_IO_METHOD(Eof, "()i"),
    OV_IO_METHOD(Pos, "()i"),
    OV_IO_METHOD(Size, "()i"),
    OV_IO_METHOD(Seek, "(i)i"),
    OV_IO_METHOD(Flush, "()i"),
    OV_IO_METHOD(Close, "()i"),
    OV_IO_METHOD(Read, "(*b,i)i"),
    OV_IO_METHOD(Write, "(*b,i)i"),
    OV_STREAM_METHOD(ReadByte, "()i"),
    OV_STREAM_METHOD(WriteByte, "(i)i"),
    OV_STREAM_METHOD(ReadShort, "()i"),
    OV_STREAM_METHOD(WriteShort, "(i)i"),
    OV_STREAM_METHOD(ReadInt, "()i"),
    OV_STREAM_METHOD(WriteInt, "(i)i"),
    OV_STREAM_METHOD(ReadFloat, "()f"),
    OV_STREAM_METHOD(WriteFloat, "(f)i"),
    OV_STREAM_METHOD(ReadDouble, "()d"),
    OV_STREAM_METHOD(WriteDouble, "(d)i"),
    OV_STREAM_METHOD(ReadLine, "()$"),
    OV_STREAM_METHOD(WriteLine, "($)i"),
    OV_STREAM_METHOD(ReadString, "(i)$"),
    OV_STREAM_METHOD(WriteString, "($)i"),
    OV_STREAM_METHOD(ReadObject, "():Object"),
    OV_STREAM_METHOD(WriteObject, "(:Object)i"),
    ovScopeEndEntry,
};

constexpr ovScopeEntry streamStreamEntries[] = {
    OV_IO_METHOD(Close, "()i"),
    OV_FUNCTION_ENTRY(TStreamStreamClass, Create, "(:TStream):TStreamStream"),
    ovScopeEndEntry,
};

#undef OV_IO_METHOD
#undef OV_STREAM_METHOD

constexpr ovScope streamExceptionScope = {OV_SCOPE_CLASS, "TStreamException", newDeleteEntries};
constexpr ovScope readExceptionScope = {OV_SCOPE_CLASS, "TStreamReadException", exceptionTextEntries};
constexpr ovScope writeExceptionScope = {OV_SCOPE_CLASS, "TStreamWriteException", exceptionTextEntries};
constexpr ovScope ioScope = {OV_SCOPE_CLASS, "TIO", ioEntries};
constexpr ovScope streamScope = {OV_SCOPE_CLASS, "TStream", streamEntries};
constexpr ovScope wrapperScope = {OV_SCOPE_CLASS, "TStreamWrapper", wrapperEntries};
constexpr ovScope streamStreamScope = {OV_SCOPE_CLASS, "TStreamStream", streamStreamEntries};

// ---------------------------------------------------------------------------
// Exception records
// ---------------------------------------------------------------------------

String* readExceptionText(Object*) { return ovLiteral(u"Error reading from stream"); }
String* writeExceptionText(Object*) { return ovLiteral(u"Error writing to stream"); }

extern const ObjectClass streamExceptionRecord, readExceptionRecord, writeExceptionRecord;

constexpr ObjectClass streamExceptionRecord =
    ovExceptionClass<streamExceptionRecord>(ObjectType, &streamExceptionScope);
constexpr ObjectClass readExceptionRecord =
    ovExceptionClass<readExceptionRecord>(streamExceptionRecord, &readExceptionScope, readExceptionText);
constexpr ObjectClass writeExceptionRecord =
    ovExceptionClass<writeExceptionRecord>(streamExceptionRecord, &writeExceptionScope, writeExceptionText);

// ---------------------------------------------------------------------------
// TIO
// ---------------------------------------------------------------------------

int32_t ioEof(TIO* self) { return self->Pos() == self->Size() ? 1 : 0; }
int32_t ioPos(TIO*) { return -1; }
int32_t ioSize(TIO*) { return 0; }
int32_t ioSeek(TIO*, int32_t) { return -1; }
int32_t ioFlush(TIO*) { return 0; }
int32_t ioClose(TIO*) { return 0; }
int32_t ioRead(TIO*, uint8_t*, int32_t) { RaiseRuntimeError(ovLiteral(u"Stream is not readable")); }
int32_t ioWrite(TIO*, const uint8_t*, int32_t) { RaiseRuntimeError(ovLiteral(u"Stream is not writeable")); }

extern const TIOClass ioRecord;

constexpr TIOClass ioRecord = ovMakeClass<TIOClass, TIO>(ObjectType, &ioScope, [](auto& r) {
    r.New = TIONew;
    r.Delete = TIODelete;
    r.Eof = ioEof;
    r.Pos = ioPos;
    r.Size = ioSize;
    r.Seek = ioSeek;
    r.Flush = ioFlush;
    r.Close = ioClose;
    r.Read = ioRead;
    r.Write = ioWrite;
});

// ---------------------------------------------------------------------------
// TStream
// ---------------------------------------------------------------------------

int32_t streamReadBytes(TStream* self, uint8_t* buf, int32_t count) {
    for (int32_t remaining = count; remaining > 0;) {
        const int32_t n = self->Read(buf, remaining);
        if (n <= 0) ovThrowStreamRead();
        buf += n;
        remaining -= n;
    }
    return count;
}

int32_t streamWriteBytes(TStream* self, const uint8_t* buf, int32_t count) {
    for (int32_t remaining = count; remaining > 0;) {
        const int32_t n = self->Write(buf, remaining);
        if (n <= 0) ovThrowStreamWrite();
        buf += n;
        remaining -= n;
    }
    return count;
}

int32_t streamSkipBytes(TStream* self, int32_t count) {
    uint8_t scratch[kScratchSize];
    for (int32_t remaining = count; remaining > 0;) {
        const int32_t n = self->Read(scratch, std::min(remaining, kScratchSize));
        if (n <= 0) ovThrowStreamRead();
        remaining -= n;
    }
    return count;
}

// A typed value read or written whole in the machine's (little-endian) order.
template <class T>
T readValue(TStream* self) {
    T value;
    self->ReadBytes(reinterpret_cast<uint8_t*>(&value), sizeof value);
    return value;
}

template <class T>
int32_t writeValue(TStream* self, T value) {
    self->WriteBytes(reinterpret_cast<const uint8_t*>(&value), sizeof value);
    return 0;
}

// The text streams read their bytes one at a time through here.  While
// ReadBytes is TStream's own, reading one byte is one Read, so that Read is
// made directly, with the same end-of-data exception.
int32_t streamReadByte(TStream* self) {
    if (self->record<TStreamClass>()->ReadBytes != streamReadBytes) return readValue<uint8_t>(self);
    uint8_t byte;
    if (self->Read(&byte, 1) <= 0) ovThrowStreamRead();
    return byte;
}
int32_t streamReadShort(TStream* self) { return readValue<uint16_t>(self); }
int32_t streamReadInt(TStream* self) { return readValue<int32_t>(self); }
int64_t streamReadLong(TStream* self) { return readValue<int64_t>(self); }
float streamReadFloat(TStream* self) { return readValue<float>(self); }
double streamReadDouble(TStream* self) { return readValue<double>(self); }

int32_t streamWriteByte(TStream* self, int32_t n) { return writeValue(self, static_cast<uint8_t>(n)); }
int32_t streamWriteShort(TStream* self, int32_t n) { return writeValue(self, static_cast<uint16_t>(n)); }
int32_t streamWriteInt(TStream* self, int32_t n) { return writeValue(self, n); }
int32_t streamWriteLong(TStream* self, int64_t n) { return writeValue(self, n); }
int32_t streamWriteFloat(TStream* self, float n) { return writeValue(self, n); }
int32_t streamWriteDouble(TStream* self, double n) { return writeValue(self, n); }

// One Read per byte, so the stream is never read past the line's end.
String* streamReadLine(TStream* self) {
    ByteBuffer line;
    uint8_t byte;
    while (self->Read(&byte, 1) == 1 && byte != kNul && byte != kLineFeed)
        if (byte != kCarriageReturn) line.push(byte);
    return ovStringFromBytes(line.data(), line.size());
}

int32_t streamWriteLine(TStream* self, String* text) {
    static constexpr uint8_t lineEnd[] = {kCarriageReturn, kLineFeed};
    ByteBuffer bytes;
    narrowInto(bytes, text);
    if (self->Write(bytes.data(), bytes.size()) != bytes.size()) return 0;
    return self->Write(lineEnd, 2) == 2 ? 1 : 0;
}

String* streamReadString(TStream* self, int32_t length) {
    ByteBuffer bytes;
    uint8_t* data = bytes.resize(std::max(length, 0));
    self->ReadBytes(data, bytes.size());
    return ovStringFromBytes(data, bytes.size());
}

int32_t streamWriteString(TStream* self, String* text) {
    ByteBuffer bytes;
    narrowInto(bytes, text);
    self->WriteBytes(bytes.data(), bytes.size());
    return 0;
}

Object* streamReadObject(TStream*) { ovThrow(ovLiteral(u"Unable to read object")); }
int32_t streamWriteObject(TStream*, Object*) { ovThrow(ovLiteral(u"Unable to write object")); }

extern const TStreamClass streamRecord;

constexpr TStreamClass streamRecord = ovMakeClass<TStreamClass, TStream>(ioRecord, &streamScope, [](auto& r) {
    r.New = TStreamNew;
    r.Delete = TStreamDelete;
    r.ReadBytes = streamReadBytes;
    r.WriteBytes = streamWriteBytes;
    r.SkipBytes = streamSkipBytes;
    r.ReadByte = streamReadByte;
    r.WriteByte = streamWriteByte;
    r.ReadShort = streamReadShort;
    r.WriteShort = streamWriteShort;
    r.ReadInt = streamReadInt;
    r.WriteInt = streamWriteInt;
    r.ReadLong = streamReadLong;
    r.WriteLong = streamWriteLong;
    r.ReadFloat = streamReadFloat;
    r.WriteFloat = streamWriteFloat;
    r.ReadDouble = streamReadDouble;
    r.WriteDouble = streamWriteDouble;
    r.ReadLine = streamReadLine;
    r.WriteLine = streamWriteLine;
    r.ReadString = streamReadString;
    r.WriteString = streamWriteString;
    r.ReadObject = streamReadObject;
    r.WriteObject = streamWriteObject;
});

// ---------------------------------------------------------------------------
// TStreamWrapper
// ---------------------------------------------------------------------------

// The wrapped stream; dispatching through it when it is Null throws
// TNullObjectException.
inline TStream* inner(Object* self) { return static_cast<TStreamWrapper*>(self)->_stream; }

extern const TStreamWrapperClass wrapperRecord;

int32_t wrapperNew(Object* self) {
    auto* wrapper = ovChainNew<TStreamWrapper, wrapperRecord>(self);
    ovInitRef(wrapper->_stream, ovNullStream());
    return 0;
}

// Releases the wrapped stream without closing it.
int32_t wrapperDelete(Object* self) {
    ovReleaseRef(static_cast<TStreamWrapper*>(self)->_stream);
    return ovChainDelete<wrapperRecord>(self);
}

int32_t wrapperSetStream(TStreamWrapper* self, TStream* stream) {
    ovStore(self->_stream, stream);
    return 0;
}

int32_t wrapperEof(TIO* self) { return inner(self)->Eof(); }
int32_t wrapperPos(TIO* self) { return inner(self)->Pos(); }
int32_t wrapperSize(TIO* self) { return inner(self)->Size(); }
int32_t wrapperSeek(TIO* self, int32_t pos) { return inner(self)->Seek(pos); }
int32_t wrapperFlush(TIO* self) { return inner(self)->Flush(); }
int32_t wrapperClose(TIO* self) { return inner(self)->Close(); }
int32_t wrapperRead(TIO* self, uint8_t* buf, int32_t count) { return inner(self)->Read(buf, count); }
int32_t wrapperWrite(TIO* self, const uint8_t* buf, int32_t count) { return inner(self)->Write(buf, count); }
int32_t wrapperReadByte(TStream* self) { return inner(self)->ReadByte(); }
int32_t wrapperWriteByte(TStream* self, int32_t n) { return inner(self)->WriteByte(n); }
int32_t wrapperReadShort(TStream* self) { return inner(self)->ReadShort(); }
int32_t wrapperWriteShort(TStream* self, int32_t n) { return inner(self)->WriteShort(n); }
int32_t wrapperReadInt(TStream* self) { return inner(self)->ReadInt(); }
int32_t wrapperWriteInt(TStream* self, int32_t n) { return inner(self)->WriteInt(n); }
float wrapperReadFloat(TStream* self) { return inner(self)->ReadFloat(); }
int32_t wrapperWriteFloat(TStream* self, float n) { return inner(self)->WriteFloat(n); }
double wrapperReadDouble(TStream* self) { return inner(self)->ReadDouble(); }
int32_t wrapperWriteDouble(TStream* self, double n) { return inner(self)->WriteDouble(n); }
String* wrapperReadLine(TStream* self) { return inner(self)->ReadLine(); }
int32_t wrapperWriteLine(TStream* self, String* text) { return inner(self)->WriteLine(text); }
String* wrapperReadString(TStream* self, int32_t length) { return inner(self)->ReadString(length); }
int32_t wrapperWriteString(TStream* self, String* text) { return inner(self)->WriteString(text); }
Object* wrapperReadObject(TStream* self) { return inner(self)->ReadObject(); }
int32_t wrapperWriteObject(TStream* self, Object* obj) { return inner(self)->WriteObject(obj); }

constexpr TStreamWrapperClass wrapperRecord =
    ovMakeClass<TStreamWrapperClass, TStreamWrapper>(streamRecord, &wrapperScope, [](auto& r) {
        r.New = wrapperNew;
        r.Delete = wrapperDelete;
        r.Eof = wrapperEof;
        r.Pos = wrapperPos;
        r.Size = wrapperSize;
        r.Seek = wrapperSeek;
        r.Flush = wrapperFlush;
        r.Close = wrapperClose;
        r.Read = wrapperRead;
        r.Write = wrapperWrite;
        r.ReadByte = wrapperReadByte;
        r.WriteByte = wrapperWriteByte;
        r.ReadShort = wrapperReadShort;
        r.WriteShort = wrapperWriteShort;
        r.ReadInt = wrapperReadInt;
        r.WriteInt = wrapperWriteInt;
        r.ReadFloat = wrapperReadFloat;
        r.WriteFloat = wrapperWriteFloat;
        r.ReadDouble = wrapperReadDouble;
        r.WriteDouble = wrapperWriteDouble;
        r.ReadLine = wrapperReadLine;
        r.WriteLine = wrapperWriteLine;
        r.ReadString = wrapperReadString;
        r.WriteString = wrapperWriteString;
        r.ReadObject = wrapperReadObject;
        r.WriteObject = wrapperWriteObject;
        r.SetStream = wrapperSetStream;
    });

// ---------------------------------------------------------------------------
// TStreamStream
// ---------------------------------------------------------------------------

// Detaches only: the caller who handed the stream in still owns it.
int32_t streamStreamClose(TIO* self) { return static_cast<TStreamWrapper*>(self)->SetStream(ovNullStream()); }

extern const TStreamStreamClass streamStreamRecord;

constexpr TStreamStreamClass streamStreamRecord =
    ovMakeClass<TStreamStreamClass, TStreamStream>(wrapperRecord, &streamStreamScope, [](auto& r) {
        r.New = ovFieldlessNew<streamStreamRecord>;
        r.Delete = ovChainDelete<streamStreamRecord>;
        r.Close = streamStreamClose;
        r.Create = TStreamStreamCreate;
    });

// ---------------------------------------------------------------------------
// Whole targets
// ---------------------------------------------------------------------------

TStream* openForLoad(Object* target) {
    TStream* stream = StreamOpenRead(target);
    if (stream == ovNull) ovThrowStreamRead();
    return stream;
}

TStream* openForSave(Object* target) {
    TStream* stream = StreamOpenWrite(target);
    if (stream == ovNull) ovThrowStreamWrite();
    return stream;
}

// The first load buffer: room for all a stream of known size still holds, so
// that a file is read by one call and never copied to grow; 1024 bytes when
// the size is unknown (or small).
int32_t firstLoadSize(TStream* stream) {
    const int32_t pos = stream->Pos();
    const int64_t remaining = int64_t{stream->Size()} - pos;
    return pos >= 0 && remaining > kScratchSize ? static_cast<int32_t>(remaining) : kScratchSize;
}

// The next size of the load buffer (3/2), kept within the Int range.
int32_t grownLoadSize(int32_t size) {
    const int64_t grown = std::min<int64_t>(int64_t{size} * 3 / 2, INT32_MAX);
    if (grown == size) ovThrowStreamRead();  // the data does not fit an array
    return static_cast<int32_t>(grown);
}

// The result of StreamFlush, StreamClose and the writing module functions,
// whatever the method they forward to returns.
constexpr int32_t zeroAfter(int32_t) { return 0; }

int32_t usableBufferSize(int32_t bufferSize) { return bufferSize > 0 ? bufferSize : kScratchSize; }

}  // namespace

// ---------------------------------------------------------------------------
// Public records and functions
// ---------------------------------------------------------------------------

const ObjectClass& TStreamExceptionType = streamExceptionRecord;
const ObjectClass& TStreamReadExceptionType = readExceptionRecord;
const ObjectClass& TStreamWriteExceptionType = writeExceptionRecord;
const TIOClass& TIOType = ioRecord;
const TStreamClass& TStreamType = streamRecord;
const TStreamWrapperClass& TStreamWrapperType = wrapperRecord;
const TStreamStreamClass& TStreamStreamType = streamStreamRecord;

void ovThrowStreamRead() { ovThrow(ovObjectNew(&readExceptionRecord)); }
void ovThrowStreamWrite() { ovThrow(ovObjectNew(&writeExceptionRecord)); }

int32_t TIONew(Object* self) { return ovFieldlessNew<ioRecord>(self); }

// TIO's own Close does nothing, so there is nothing to close here; classes
// holding resources close them in their own Delete.
int32_t TIODelete(Object* self) { return ovChainDelete<ioRecord>(self); }

int32_t TStreamNew(Object* self) { return ovFieldlessNew<streamRecord>(self); }
int32_t TStreamDelete(Object* self) { return ovChainDelete<streamRecord>(self); }

TStreamStream* TStreamStreamCreate(TStream* stream) {
    auto* wrapper = ovNew<TStreamStream>(&streamStreamRecord);
    wrapper->SetStream(stream);
    return wrapper;
}

int32_t StreamEof(TStream* stream) { return stream->Eof(); }
int32_t StreamPosition(TStream* stream) { return stream->Pos(); }
int32_t StreamLength(TStream* stream) { return stream->Size(); }
int32_t StreamSeek(TStream* stream, int32_t pos) { return stream->Seek(pos); }
int32_t StreamFlush(TStream* stream) { return zeroAfter(stream->Flush()); }
int32_t StreamClose(TStream* stream) { return zeroAfter(stream->Close()); }
int32_t StreamReadByte(TStream* stream) { return stream->ReadByte(); }
int32_t StreamReadShort(TStream* stream) { return stream->ReadShort(); }
int32_t StreamReadInt(TStream* stream) { return stream->ReadInt(); }
int64_t StreamReadLong(TStream* stream) { return stream->ReadLong(); }
float StreamReadFloat(TStream* stream) { return stream->ReadFloat(); }
double StreamReadDouble(TStream* stream) { return stream->ReadDouble(); }
String* StreamReadString(TStream* stream, int32_t length) { return stream->ReadString(length); }
String* StreamReadLine(TStream* stream) { return stream->ReadLine(); }
int32_t StreamWriteByte(TStream* stream, int32_t n) { return zeroAfter(stream->WriteByte(n)); }
int32_t StreamWriteShort(TStream* stream, int32_t n) { return zeroAfter(stream->WriteShort(n)); }
int32_t StreamWriteInt(TStream* stream, int32_t n) { return zeroAfter(stream->WriteInt(n)); }
int32_t StreamWriteLong(TStream* stream, int64_t n) { return zeroAfter(stream->WriteLong(n)); }
int32_t StreamWriteFloat(TStream* stream, float n) { return zeroAfter(stream->WriteFloat(n)); }
int32_t StreamWriteDouble(TStream* stream, double n) { return zeroAfter(stream->WriteDouble(n)); }
int32_t StreamWriteString(TStream* stream, String* text) { return zeroAfter(stream->WriteString(text)); }
int32_t StreamWriteLine(TStream* stream, String* text) { return zeroAfter(stream->WriteLine(text)); }

// Reads until Eof or until a read brings nothing, so a stream whose Eof
// never turns true still ends the load.
Array* LoadBytes(Object* target) {
    TStream* stream = openForLoad(target);
    const int32_t firstSize = firstLoadSize(stream);
    Array* buffer = ovArrayAlloc("b", 1, &firstSize);  // bytes past the length are never read
    int32_t length = 0;
    while (!stream->Eof()) {
        if (length == buffer->count()) buffer = ovArraySlice("b", buffer, 0, grownLoadSize(length));
        const int32_t n = stream->Read(buffer->elements<uint8_t>() + length, buffer->count() - length);
        if (n <= 0) break;
        length += n;
    }
    stream->Close();
    return length == buffer->count() ? buffer : ovArraySlice("b", buffer, 0, length);
}

String* LoadStringBytes(Object* target) { return ovStringFromArray(LoadBytes(target)); }

int32_t SaveStringBytes(String* text, Object* target) {
    TStream* stream = openForSave(target);
    ByteBuffer bytes;
    narrowInto(bytes, text);
    stream->WriteBytes(bytes.data(), bytes.size());
    stream->Close();
    return 0;
}

int32_t SaveBytes(Array* bytes, Object* target) {
    TStream* stream = openForSave(target);
    stream->WriteBytes(bytes->elements<uint8_t>(), bytes->dataSize);
    ovKeepAlive(bytes);
    stream->Close();
    return 0;
}

Object* LoadObjectFrom(Object* target) {
    TStream* stream = openForLoad(target);
    Object* object = stream->ReadObject();
    stream->Close();
    return object;
}

int32_t SaveObjectTo(Object* object, Object* target) {
    TStream* stream = openForSave(target);
    stream->WriteObject(object);
    stream->Close();
    return 0;
}

int32_t StreamCopyAll(TStream* from, TStream* to, int32_t bufferSize) {
    Array* buffer = ovArrayNew1D("b", usableBufferSize(bufferSize));
    uint8_t* data = buffer->elements<uint8_t>();
    while (!from->Eof()) {
        const int32_t n = from->Read(data, buffer->count());
        if (n <= 0) break;
        to->WriteBytes(data, n);
    }
    ovKeepAlive(buffer);
    return 0;
}

int32_t StreamCopyCount(TStream* from, TStream* to, int32_t count, int32_t bufferSize) {
    Array* buffer = ovArrayNew1D("b", usableBufferSize(bufferSize));
    uint8_t* data = buffer->elements<uint8_t>();
    for (int32_t remaining = count; remaining > 0;) {
        const int32_t n = std::min(remaining, buffer->count());
        from->ReadBytes(data, n);
        to->WriteBytes(data, n);
        remaining -= n;
    }
    ovKeepAlive(buffer);
    return 0;
}

void ovStreamModuleInit() {
    static bool initialised = false;
    if (initialised) return;
    initialised = true;
    ovCoreModuleInit();
    ovStdCModuleInit();
    ovCStreamClassInit();
    for (const ObjectClass* cls :
         {&streamExceptionRecord, &readExceptionRecord, &writeExceptionRecord,
          static_cast<const ObjectClass*>(&ioRecord), static_cast<const ObjectClass*>(&streamRecord),
          static_cast<const ObjectClass*>(&wrapperRecord), static_cast<const ObjectClass*>(&streamStreamRecord),
          static_cast<const ObjectClass*>(&TCStreamType), static_cast<const ObjectClass*>(&TStreamFactoryType)})
        ovObjectRegisterType(cls);
}
