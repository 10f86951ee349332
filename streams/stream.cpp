// The stream core: TIO's defaults, TStream's typed and text operations, the
// stream exceptions, the module functions that forward to the methods and
// copy between streams, and the closing guard.
#include "streams/stream.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "runtime/array.h"
#include "runtime/exception.h"
#include "runtime/reflection.h"
#include "runtime/string.h"
#include "streams/bytes_internal.h"
#include "streams/stream_scope_internal.h"

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
// Reflection
// ---------------------------------------------------------------------------

constexpr ovScopeEntry newDeleteEntries[] = {ovObjectEntry::New, ovObjectEntry::Delete, ovScopeEndEntry};
constexpr ovScopeEntry exceptionTextEntries[] = {ovObjectEntry::ToString, ovScopeEndEntry};

}  // namespace

namespace {
constexpr auto ioEntries =
    ovJoinScopeEntries([](const ovScopeEntry&) { return true; }, newDeleteEntries, TIOMethodEntries);
}  // namespace

constexpr ovScope TStreamExceptionScope = {OV_SCOPE_CLASS, "TStreamException", newDeleteEntries};
constexpr ovScope TStreamReadExceptionScope = {OV_SCOPE_CLASS, "TStreamReadException", exceptionTextEntries};
constexpr ovScope TStreamWriteExceptionScope = {OV_SCOPE_CLASS, "TStreamWriteException", exceptionTextEntries};
constexpr ovScope TIOScope = {OV_SCOPE_CLASS, "TIO", ioEntries.data()};
constexpr ovScope TStreamScope = {OV_SCOPE_CLASS, "TStream", TStreamMethodEntries};

// ---------------------------------------------------------------------------
// Exceptions
// ---------------------------------------------------------------------------

String* TStreamReadExceptionToString(Object*) { return ovLiteral(u"Error reading from stream"); }
String* TStreamWriteExceptionToString(Object*) { return ovLiteral(u"Error writing to stream"); }

void ovThrowStreamRead() { ovThrow(ovObjectNew(&TStreamReadExceptionType)); }
void ovThrowStreamWrite() { ovThrow(ovObjectNew(&TStreamWriteExceptionType)); }

// ---------------------------------------------------------------------------
// TIO
// ---------------------------------------------------------------------------

int32_t TIONew(Object* self) { return ovFieldlessNew<TIOType>(self); }

// TIO's own Close does nothing, so there is nothing to close here; classes
// holding resources close them in their own Delete.
int32_t TIODelete(Object* self) { return ovChainDelete<TIOType>(self); }

int32_t TIOEof(TIO* self) { return self->Pos() == self->Size() ? 1 : 0; }
int32_t TIOPos(TIO*) { return -1; }
int32_t TIOSize(TIO*) { return 0; }
int32_t TIOSeek(TIO*, int32_t) { return -1; }
int32_t TIOFlush(TIO*) { return 0; }
int32_t TIOClose(TIO*) { return 0; }
int32_t TIORead(TIO*, uint8_t*, int32_t) { RaiseRuntimeError(ovLiteral(u"Stream is not readable")); }
int32_t TIOWrite(TIO*, const uint8_t*, int32_t) { RaiseRuntimeError(ovLiteral(u"Stream is not writeable")); }

// ---------------------------------------------------------------------------
// TStream
// ---------------------------------------------------------------------------

namespace {

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

}  // namespace

int32_t TStreamNew(Object* self) { return ovFieldlessNew<TStreamType>(self); }
int32_t TStreamDelete(Object* self) { return ovChainDelete<TStreamType>(self); }

int32_t TStreamReadBytes(TStream* self, uint8_t* buf, int32_t count) {
    for (int32_t remaining = count; remaining > 0;) {
        const int32_t n = self->Read(buf, remaining);
        if (n <= 0) ovThrowStreamRead();
        buf += n;
        remaining -= n;
    }
    return count;
}

int32_t TStreamWriteBytes(TStream* self, const uint8_t* buf, int32_t count) {
    for (int32_t remaining = count; remaining > 0;) {
        const int32_t n = self->Write(buf, remaining);
        if (n <= 0) ovThrowStreamWrite();
        buf += n;
        remaining -= n;
    }
    return count;
}

int32_t TStreamSkipBytes(TStream* self, int32_t count) {
    uint8_t scratch[kScratchSize];
    for (int32_t remaining = count; remaining > 0;) {
        const int32_t n = self->Read(scratch, std::min(remaining, kScratchSize));
        if (n <= 0) ovThrowStreamRead();
        remaining -= n;
    }
    return count;
}

// The text streams read their bytes one at a time through here.  While
// ReadBytes is TStream's own, reading one byte is one Read, so that Read is
// made directly, with the same end-of-data exception.
int32_t TStreamReadByte(TStream* self) {
    if (!ovUsesOperationOf(self, &TStreamClass::ReadBytes, TStreamType)) return readValue<uint8_t>(self);
    uint8_t byte;
    if (self->Read(&byte, 1) <= 0) ovThrowStreamRead();
    return byte;
}
int32_t TStreamReadShort(TStream* self) { return readValue<uint16_t>(self); }
int32_t TStreamReadInt(TStream* self) { return readValue<int32_t>(self); }
int64_t TStreamReadLong(TStream* self) { return readValue<int64_t>(self); }
float TStreamReadFloat(TStream* self) { return readValue<float>(self); }
double TStreamReadDouble(TStream* self) { return readValue<double>(self); }

int32_t TStreamWriteByte(TStream* self, int32_t n) { return writeValue(self, static_cast<uint8_t>(n)); }
int32_t TStreamWriteShort(TStream* self, int32_t n) { return writeValue(self, static_cast<uint16_t>(n)); }
int32_t TStreamWriteInt(TStream* self, int32_t n) { return writeValue(self, n); }
int32_t TStreamWriteLong(TStream* self, int64_t n) { return writeValue(self, n); }
int32_t TStreamWriteFloat(TStream* self, float n) { return writeValue(self, n); }
int32_t TStreamWriteDouble(TStream* self, double n) { return writeValue(self, n); }

// One Read per byte, so the stream is never read past the line's end.
String* TStreamReadLine(TStream* self) {
    ovByteBuffer line;
    uint8_t byte;
    while (self->Read(&byte, 1) == 1 && byte != kNul && byte != kLineFeed)
        if (byte != kCarriageReturn) line.push(byte);
    return ovStringFromBytes(line.data(), line.size());
}

int32_t TStreamWriteLine(TStream* self, String* text) {
    static constexpr uint8_t lineEnd[] = {kCarriageReturn, kLineFeed};
    ovByteBuffer bytes;
    ovNarrowInto(bytes, text);
    if (self->Write(bytes.data(), bytes.size()) != bytes.size()) return 0;
    return self->Write(lineEnd, 2) == 2 ? 1 : 0;
}

String* TStreamReadString(TStream* self, int32_t length) {
    ovByteBuffer bytes;
    uint8_t* data = bytes.resize(std::max(length, 0));
    self->ReadBytes(data, bytes.size());
    return ovStringFromBytes(data, bytes.size());
}

int32_t TStreamWriteString(TStream* self, String* text) {
    ovByteBuffer bytes;
    ovNarrowInto(bytes, text);
    self->WriteBytes(bytes.data(), bytes.size());
    return 0;
}

Object* TStreamReadObject(TStream*) { ovThrow(ovLiteral(u"Unable to read object")); }
int32_t TStreamWriteObject(TStream*, Object*) { ovThrow(ovLiteral(u"Unable to write object")); }

// ---------------------------------------------------------------------------
// Module functions
// ---------------------------------------------------------------------------

namespace {

// The result of StreamFlush, StreamClose and the writing module functions,
// whatever the method they forward to returns.
constexpr int32_t zeroAfter(int32_t) { return 0; }

int32_t usableBufferSize(int32_t bufferSize) { return bufferSize > 0 ? bufferSize : kScratchSize; }

}  // namespace

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

// ---------------------------------------------------------------------------
// Closing guard
// ---------------------------------------------------------------------------

ovStreamCloser::~ovStreamCloser() {
    if (stream_ == nullptr) return;
    OV_TRY { stream_->Close(); }
    OV_CATCH(ignored) { static_cast<void>(ignored); }
    OV_END_TRY
}

int32_t ovStreamCloser::close() {
    TIO* stream = stream_;
    stream_ = nullptr;
    return stream->Close();
}

void ovStreamCloser::closeWritten() {
    if (close() != 0) ovThrowStreamWrite();
}
