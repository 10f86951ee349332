// RAM streams and the "incbin" factory.
#include "streams/ramstream.h"

#include "runtime/embedded.h"
#include "runtime/memory.h"
#include "runtime/reflection.h"
#include "runtime/string.h"
#include "streams/load_save.h"
#include "streams/memspan_internal.h"
#include "streams/stream_scope_internal.h"

namespace {

TRamStream* asRamStream(TIO* io) { return static_cast<TRamStream*>(io); }

ovMemSpan spanOf(TIO* io) {
    TRamStream* self = asRamStream(io);
    return {self->_buf, self->_size, self->_pos};
}

constexpr ovScopeEntry ramStreamEntries[] = {
    OV_FIELD_ENTRY(TRamStream, _pos, "i"),
    OV_FIELD_ENTRY(TRamStream, _size, "i"),
    OV_FIELD_ENTRY(TRamStream, _buf, "*b"),
    OV_FIELD_ENTRY(TRamStream, _read, "i"),
    OV_FIELD_ENTRY(TRamStream, _write, "i"),
    ovObjectEntry::New,
    ovStreamEntry::Pos,
    ovStreamEntry::Size,
    ovStreamEntry::Seek,
    ovStreamEntry::Read,
    ovStreamEntry::Write,
    OV_FUNCTION_ENTRY(TRamStreamClass, Create, "(*b,i,i,i):TRamStream"),
    ovScopeEndEntry,
};

}  // namespace

constexpr ovScope TRamStreamScope = {OV_SCOPE_CLASS, "TRamStream", ramStreamEntries};
constexpr ovScope TRamStreamFactoryScope = {OV_SCOPE_CLASS, "TRamStreamFactory", ovFactoryOverrideEntries};

int32_t TRamStreamPos(TIO* io) { return asRamStream(io)->_pos; }
int32_t TRamStreamSize(TIO* io) { return asRamStream(io)->_size; }
int32_t TRamStreamSeek(TIO* io, int32_t pos) { return spanOf(io).seek(pos); }

int32_t TRamStreamRead(TIO* io, uint8_t* buffer, int32_t count) {
    return asRamStream(io)->_read != 0 ? spanOf(io).read(buffer, count) : 0;
}

int32_t TRamStreamWrite(TIO* io, const uint8_t* buffer, int32_t count) {
    return asRamStream(io)->_write != 0 ? spanOf(io).write(buffer, count) : 0;
}

int32_t TRamStreamNew(Object* self) {
    auto* stream = ovChainNew<TRamStream, TRamStreamType>(self);
    stream->_pos = 0;
    stream->_size = 0;
    stream->_buf = nullptr;
    stream->_read = 0;
    stream->_write = 0;
    return 0;
}

TStream* TRamStreamFactoryCreateStream(TStreamFactory*, Object*, String* protocol, String* path, int32_t readable,
                                       int32_t writeable) {
    if (writeable != 0 || ovStringCompare(protocol, ovLiteral(u"incbin")) != 0) return ovNullOf<TStream>();
    const uint8_t* address = ovEmbeddedAddress(path);
    if (address == nullptr) return ovNullOf<TStream>();
    // Writing is refused above, so the embedded bytes are never written.
    return TRamStreamCreate(const_cast<uint8_t*>(address), ovEmbeddedLength(path), readable, writeable);
}

TRamStream* TRamStreamCreate(uint8_t* address, int32_t size, int32_t readable, int32_t writeable) {
    auto* stream = ovNew<TRamStream>(&TRamStreamType);
    stream->_buf = address;
    stream->_size = size > 0 ? size : 0;
    stream->_read = readable;
    stream->_write = writeable;
    return stream;
}

TRamStream* RamStreamOpen(uint8_t* address, int32_t size, int32_t readable, int32_t writeable) {
    return TRamStreamType.Create(address, size, readable, writeable);
}

void ovRamStreamModuleInit() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        ovStreamModuleInit();
        ovObjectRegisterType(&TRamStreamType);
        ovInstallFactory(TRamStreamFactoryType);
    });
}
