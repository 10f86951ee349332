// Streams and helpers for the stream tests.
#include "tests/streams/stream_test_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "runtime/array.h"
#include "streams/load_save.h"

std::vector<std::string> ovSpyLog;

namespace {

// ---------------------------------------------------------------------------
// TMemoryTestStream
// ---------------------------------------------------------------------------

extern const TStreamClass memoryRecord;

TMemoryTestStream* asMemory(TIO* io) { return static_cast<TMemoryTestStream*>(io); }

int32_t memoryEof(TIO* io) {
    TMemoryTestStream* self = asMemory(io);
    if (self->eofNever) return 0;
    return self->pos >= static_cast<int32_t>(self->input->size()) ? 1 : 0;
}

int32_t memoryPos(TIO* io) { return asMemory(io)->sizeUnknown ? -1 : asMemory(io)->pos; }
int32_t memorySize(TIO* io) { return static_cast<int32_t>(asMemory(io)->input->size()); }

int32_t memoryRead(TIO* io, uint8_t* buf, int32_t count) {
    TMemoryTestStream* self = asMemory(io);
    ++self->reads;
    int32_t n = std::min(count, static_cast<int32_t>(self->input->size()) - self->pos);
    if (self->chunk > 0) n = std::min(n, self->chunk);
    if (n <= 0) return 0;
    std::memcpy(buf, self->input->data() + self->pos, static_cast<size_t>(n));
    self->pos += n;
    return n;
}

int32_t memoryWrite(TIO* io, const uint8_t* buf, int32_t count) {
    TMemoryTestStream* self = asMemory(io);
    int32_t n = count;
    if (self->chunk > 0) n = std::min(n, self->chunk);
    if (self->writeLimit >= 0) n = std::min(n, self->writeLimit - static_cast<int32_t>(self->output->size()));
    if (n <= 0) return 0;
    self->output->append(reinterpret_cast<const char*>(buf), static_cast<size_t>(n));
    return n;
}

int32_t memoryNew(Object* object) {
    auto* self = ovChainNew<TMemoryTestStream, memoryRecord>(object);
    self->input = new std::string;
    self->output = new std::string;
    self->pos = 0;
    self->chunk = 0;
    self->writeLimit = -1;
    self->eofNever = 0;
    self->sizeUnknown = 0;
    self->reads = 0;
    return 0;
}

int32_t memoryDelete(Object* object) {
    TMemoryTestStream* self = static_cast<TMemoryTestStream*>(object);
    delete self->input;
    delete self->output;
    return ovChainDelete<memoryRecord>(object);
}

constexpr ovScope memoryScope = {OV_SCOPE_CLASS, "TMemoryTestStream", ovNoScopeEntries};

constexpr TStreamClass memoryRecord =
    ovMakeClass<TStreamClass, TMemoryTestStream>(TStreamType, &memoryScope, [](auto& r) {
        r.New = memoryNew;
        r.Delete = memoryDelete;
        r.Eof = memoryEof;
        r.Pos = memoryPos;
        r.Size = memorySize;
        r.Read = memoryRead;
        r.Write = memoryWrite;
    });

// ---------------------------------------------------------------------------
// TSpyStream
// ---------------------------------------------------------------------------

extern const TStreamClass spyRecord;

void logCall(const char* name) { ovSpyLog.emplace_back(name); }

// The operations that take their receiver and arguments and return 7.
#define SPY_INT_OPERATIONS(X)                                                                              \
    X(Eof, TIO*) X(Pos, TIO*) X(Size, TIO*) X(Seek, TIO*, int32_t) X(Flush, TIO*) X(Close, TIO*)           \
    X(ReadBytes, TStream*, uint8_t*, int32_t) X(WriteBytes, TStream*, const uint8_t*, int32_t)              \
    X(SkipBytes, TStream*, int32_t) X(ReadByte, TStream*) X(WriteByte, TStream*, int32_t)                   \
    X(ReadShort, TStream*) X(WriteShort, TStream*, int32_t) X(ReadInt, TStream*) X(WriteInt, TStream*, int32_t) \
    X(WriteLong, TStream*, int64_t) X(WriteFloat, TStream*, float) X(WriteDouble, TStream*, double)         \
    X(WriteLine, TStream*, String*) X(WriteString, TStream*, String*) X(WriteObject, TStream*, Object*)

#define SPY_DEFINE(Name, ...)                 \
    int32_t spy##Name(__VA_ARGS__) {          \
        logCall(#Name);                       \
        return 7;                             \
    }
SPY_INT_OPERATIONS(SPY_DEFINE)
#undef SPY_DEFINE

int32_t spyRead(TIO*, uint8_t* buf, int32_t count) {
    logCall("Read");
    std::memset(buf, 'x', static_cast<size_t>(count));
    return count;
}
int32_t spyWrite(TIO*, const uint8_t*, int32_t count) {
    logCall("Write");
    return count;
}
int64_t spyReadLong(TStream*) {
    logCall("ReadLong");
    return 7;
}
float spyReadFloat(TStream*) {
    logCall("ReadFloat");
    return 7;
}
double spyReadDouble(TStream*) {
    logCall("ReadDouble");
    return 7;
}
String* spyReadLine(TStream*) {
    logCall("ReadLine");
    return ovLiteral(u"spy");
}
String* spyReadString(TStream*, int32_t) {
    logCall("ReadString");
    return ovLiteral(u"spy");
}
Object* spyReadObject(TStream*) {
    logCall("ReadObject");
    return ovNull;
}

constexpr ovScope spyScope = {OV_SCOPE_CLASS, "TSpyStream", ovNoScopeEntries};

constexpr TStreamClass spyRecord = ovMakeClass<TStreamClass, TSpyStream>(TStreamType, &spyScope, [](auto& r) {
        r.New = ovFieldlessNew<spyRecord>;
        r.Delete = ovChainDelete<spyRecord>;
#define SPY_ASSIGN(Name, ...) r.Name = spy##Name;
        SPY_INT_OPERATIONS(SPY_ASSIGN)
#undef SPY_ASSIGN
        r.Read = spyRead;
        r.Write = spyWrite;
        r.ReadLong = spyReadLong;
        r.ReadFloat = spyReadFloat;
        r.ReadDouble = spyReadDouble;
        r.ReadLine = spyReadLine;
        r.ReadString = spyReadString;
        r.ReadObject = spyReadObject;
    });

}  // namespace

void ovTestStreamsInit() {
    static bool done = false;
    if (done) return;
    done = true;
    ovStreamModuleInit();
}

TMemoryTestStream* ovTestMemoryStream(const std::string& input) {
    ovTestStreamsInit();
    auto* stream = ovNew<TMemoryTestStream>(&memoryRecord);
    *stream->input = input;
    return stream;
}

TSpyStream* ovTestSpyStream() {
    ovTestStreamsInit();
    return ovNew<TSpyStream>(&spyRecord);
}

std::string ovTestBytes(Array* a) { return std::string(a->elements<char>(), static_cast<size_t>(a->dataSize)); }

std::FILE* ovTestPipeHolding(const std::string& data) {
    int ends[2];
    if (pipe(ends) != 0) return nullptr;
    const ssize_t written = write(ends[1], data.data(), data.size());
    close(ends[1]);
    if (written != static_cast<ssize_t>(data.size())) return nullptr;
    return fdopen(ends[0], "rb");
}
