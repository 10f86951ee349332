// TCStream: a stream over a C-library file handle.
#include "streams/cstream.h"

#include <cstring>

#include <sys/stat.h>

#include <algorithm>

#include "runtime/exception.h"
#include "runtime/reflection.h"
#include "runtime/string.h"
#include "streams/bytes_internal.h"
#include "streams/cfile_io_internal.h"
#include "streams/cstream_bytes_internal.h"
#include "streams/stream_scope_internal.h"
#include "system/clib/clib.h"

namespace {

// Positions are Ints: a position beyond the Int range reads as its maximum
// rather than wrapping to a negative one.
int32_t clampToInt(int64_t value) { return static_cast<int32_t>(std::min<int64_t>(value, INT32_MAX)); }

inline TCStream* asCStream(TIO* self) { return static_cast<TCStream*>(self); }

bool isDirectory(std::FILE* handle) {
    struct stat status;
    return fstat(fileno(handle), &status) == 0 && S_ISDIR(status.st_mode);
}

const ovScopeEntry cstreamEntries[] = {
    ovConstantEntry("MODE_READ", ovLiteral(u"1")),
    ovConstantEntry("MODE_WRITE", ovLiteral(u"2")),
    OV_FIELD_ENTRY(TCStream, _pos, "i"),
    OV_FIELD_ENTRY(TCStream, _size, "i"),
    OV_FIELD_ENTRY(TCStream, _cstream, "*b"),
    OV_FIELD_ENTRY(TCStream, _mode, "i"),
    OV_FIELD_ENTRY(TCStream, _unseekable, "i"),
    OV_FIELD_ENTRY(TCStream, _atEnd, "i"),
    OV_FIELD_ENTRY(TCStream, _writeFailed, "i"),
    ovObjectEntry::New,
    ovObjectEntry::Delete,
    ovStreamEntry::Eof,
    ovStreamEntry::Pos,
    ovStreamEntry::Size,
    ovStreamEntry::Seek,
    ovStreamEntry::Read,
    ovStreamEntry::Write,
    ovStreamEntry::Flush,
    ovStreamEntry::Close,
    OV_CSTREAM_FUNCTIONS(OV_LISTED_FUNCTION_ENTRY) ovScopeEndEntry,
};

// The C mode and the _mode value for the flags: read and write keeps the
// content ("r+b"), write only truncates or creates ("wb"), anything else reads.
struct OpenMode {
    String* text;
    int32_t mode;
};

OpenMode openModeFor(int32_t readable, int32_t writeable) {
    if (readable && writeable) return {ovLiteral(u"r+b"), TCStream::MODE_READ | TCStream::MODE_WRITE};
    if (writeable) return {ovLiteral(u"wb"), TCStream::MODE_WRITE};
    return {ovLiteral(u"rb"), TCStream::MODE_READ};
}

}  // namespace

const ovScope TCStreamScope = {OV_SCOPE_CLASS, "TCStream", cstreamEntries};

// ---------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------

int32_t TCStreamEof(TIO* io) {
    TCStream* self = asCStream(io);
    if (self->_unseekable) return self->_atEnd;
    return self->_pos == self->_size ? 1 : 0;
}

int32_t TCStreamPos(TIO* self) { return asCStream(self)->_pos; }
int32_t TCStreamSize(TIO* self) { return asCStream(self)->_size; }

// A failed fseek leaves _pos at the handle's real position (-1 when the
// handle cannot seek at all).
int32_t TCStreamSeek(TIO* io, int32_t pos) {
    TCStream* self = asCStream(io);
    if (self->_cstream == nullptr) return 0;
    std::fseek(self->_cstream, pos, SEEK_SET);
    self->_pos = clampToInt(std::ftell(self->_cstream));
    return self->_pos;
}

int32_t TCStreamRead(TIO* io, uint8_t* buf, int32_t count) {
    TCStream* self = asCStream(io);
    if (self->_cstream == nullptr || count <= 0) return 0;
    const int32_t n = ovCFileRead(self->_cstream, buf, count);
    if (self->_unseekable)
        self->_atEnd = n == 0 ? 1 : 0;
    else
        self->_pos = clampToInt(int64_t{self->_pos} + n);
    return n;
}

namespace {

void append(ovByteBuffer& line, const uint8_t* bytes, size_t count) {
    std::memcpy(line.resize(int64_t{line.size()} + static_cast<int64_t>(count)) + line.size() - count, bytes, count);
}

}  // namespace

// A line whose bytes lie whole in the handle's buffer becomes its String
// straight from there; others gather their pieces first.
String* TCStreamReadLine(TStream* stream) {
    if (!ovCStreamBytes::serves(stream)) return TStreamReadLine(stream);
    ovCStreamBytes bytes(asCStream(stream));
    ovByteBuffer line;
    for (;;) {
        const auto [block, count] = bytes.block();
        if (count == 0) break;
        size_t from = 0;
        size_t at = ovFirstLineStop(block, count, false);
        while (at < count && block[at] == '\r') {
            append(line, block + from, at - from);
            from = at + 1;
            at = from + ovFirstLineStop(block + from, count - from, false);
        }
        if (at == count) {
            append(line, block + from, count - from);
            bytes.take(count);
            continue;
        }
        // The line's end is read too.
        if (line.size() == 0) {
            String* whole = ovStringFromBytes(block + from, static_cast<int32_t>(at - from));
            bytes.take(at + 1);
            return whole;
        }
        append(line, block + from, at - from);
        bytes.take(at + 1);
        break;
    }
    return ovStringFromBytes(line.data(), line.size());
}

int32_t TCStreamWrite(TIO* io, const uint8_t* buf, int32_t count) {
    TCStream* self = asCStream(io);
    if (self->_cstream == nullptr || count <= 0) return 0;
    const int32_t n = ovCFileWrite(self->_cstream, buf, count);
    if (!self->_unseekable) {
        self->_pos = clampToInt(int64_t{self->_pos} + n);
        self->_size = std::max(self->_size, self->_pos);
    }
    return n;
}

// Data the C library still buffered when a flush fails is lost (it does not
// keep it for another try), so the failure is remembered until the close.
int32_t TCStreamFlush(TIO* io) {
    TCStream* self = asCStream(io);
    if (self->_cstream == nullptr) return 0;
    if (std::fflush(self->_cstream) != 0) self->_writeFailed = 1;
    return self->_writeFailed ? -1 : 0;
}

int32_t TCStreamClose(TIO* io) {
    TCStream* self = asCStream(io);
    if (self->_cstream == nullptr) return 0;
    self->Flush();
    if (std::fclose(self->_cstream) != 0) self->_writeFailed = 1;
    self->_cstream = nullptr;
    self->_pos = 0;
    self->_size = 0;
    self->_unseekable = 0;
    self->_atEnd = 0;
    return self->_writeFailed ? -1 : 0;
}

int32_t TCStreamNew(Object* object) {
    auto* self = ovChainNew<TCStream, TCStreamType>(object);
    self->_pos = 0;
    self->_size = 0;
    self->_cstream = nullptr;
    self->_mode = 0;
    self->_unseekable = 0;
    self->_atEnd = 0;
    self->_writeFailed = 0;
    return 0;
}

int32_t TCStreamDelete(Object* object) {
    TCStreamClose(static_cast<TCStream*>(object));
    return ovChainDelete<TCStreamType>(object);
}

// A directory is refused: fopen of one succeeds here, and a reader of it
// would never see its end.
TCStream* TCStreamOpenFile(String* path, int32_t readable, int32_t writeable) {
    const OpenMode mode = openModeFor(readable, writeable);
    String* platformPath = ovStringReplace(path, ovLiteral(u"\\"), ovLiteral(u"/"));
    std::FILE* handle = ovFileOpen(platformPath, mode.text);
    if (handle == nullptr) return ovNullOf<TCStream>();
    if (isDirectory(handle)) {
        std::fclose(handle);
        return ovNullOf<TCStream>();
    }
    return TCStreamCreateWithCStream(handle, mode.mode);
}

// ftell fails on a handle that cannot seek (pipe, FIFO, terminal): such a
// stream reports Pos -1 and Size 0 and finds its end by reading.
TCStream* TCStreamCreateWithCStream(std::FILE* cstream, int32_t mode) {
    if (cstream == nullptr) return ovNullOf<TCStream>();
    auto* self = ovNew<TCStream>(&TCStreamType);
    self->_cstream = cstream;
    self->_mode = mode;
    const long start = std::ftell(cstream);
    if (start < 0) {
        self->_unseekable = 1;
        self->_pos = -1;
        return self;
    }
    self->_pos = clampToInt(start);
    std::fseek(cstream, 0, SEEK_END);
    self->_size = clampToInt(std::ftell(cstream));
    std::fseek(cstream, start, SEEK_SET);
    return self;
}
