// Endian streams and their factory.
#include "streams/endianstream.h"

#include <cstring>
#include <type_traits>

#include "runtime/exception.h"
#include "runtime/reflection.h"
#include "runtime/string.h"
#include "streams/load_save.h"
#include "streams/stream_scope_internal.h"

namespace {

TXEndianStream* asEndian(TStream* stream) { return static_cast<TXEndianStream*>(stream); }

template <size_t Width>
using WordOf = std::conditional_t<Width == 2, uint16_t, std::conditional_t<Width == 4, uint32_t, uint64_t>>;

template <size_t Width>
void reverseBytes(uint8_t* bytes) {
    WordOf<Width> word;
    std::memcpy(&word, bytes, Width);
    if constexpr (Width == 2)
        word = __builtin_bswap16(word);
    else if constexpr (Width == 4)
        word = __builtin_bswap32(word);
    else
        word = __builtin_bswap64(word);
    std::memcpy(bytes, &word, Width);
}

// Typed values are read and written once per value, several dispatches
// deep.  Where the record still holds the operation this class defines or
// inherits (no subclass replaced it), the helpers below make the same call
// one dispatch cheaper, as the text streams do.

// The swap slot for the width: a subclass's swap is the one applied.
template <size_t Width>
void swapInPlace(TXEndianStream* self, uint8_t* bytes) {
    static_assert(Width == 2 || Width == 4 || Width == 8);
    constexpr auto slot = Width == 2   ? &TXEndianStreamClass::Swap2
                          : Width == 4 ? &TXEndianStreamClass::Swap4
                                       : &TXEndianStreamClass::Swap8;
    if (ovUsesOperationOf(self, slot, TXEndianStreamType))
        reverseBytes<Width>(bytes);
    else
        (self->record<TXEndianStreamClass>()->*slot)(self, bytes);
}

// The stream's own ReadBytes.  TStream's ReadBytes over the wrapper's
// forwarding Read makes exactly the Read calls of TStream's ReadBytes over
// the wrapped stream, so that is called directly.
void readBytes(TXEndianStream* self, uint8_t* bytes, int32_t count) {
    if (ovUsesOperationOf(self, &TStreamClass::ReadBytes, TStreamType) &&
        ovUsesOperationOf(self, &TIOClass::Read, TStreamWrapperType))
        TStreamReadBytes(self->_stream, bytes, count);
    else
        self->ReadBytes(bytes, count);
}

void writeBytes(TXEndianStream* self, const uint8_t* bytes, int32_t count) {
    if (ovUsesOperationOf(self, &TStreamClass::WriteBytes, TStreamType) &&
        ovUsesOperationOf(self, &TIOClass::Write, TStreamWrapperType))
        TStreamWriteBytes(self->_stream, bytes, count);
    else
        self->WriteBytes(bytes, count);
}

// The value's bytes come in the wrapped stream's order and are reversed into
// the machine's; the bit pattern is copied, never converted, so Float and
// Double keep NaN payloads and the sign of zero.
template <class T>
T readSwapped(TStream* stream) {
    TXEndianStream* self = asEndian(stream);
    uint8_t bytes[sizeof(T)] = {};
    readBytes(self, bytes, sizeof bytes);
    swapInPlace<sizeof(T)>(self, bytes);
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

template <class T>
int32_t writeSwapped(TStream* stream, T value) {
    TXEndianStream* self = asEndian(stream);
    uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof bytes);
    swapInPlace<sizeof(T)>(self, bytes);
    writeBytes(self, bytes, sizeof bytes);
    return 0;
}

using WrapFunction = TStream* (*)(TStream* stream);

// The wrapping function a protocol names, or 0.
WrapFunction wrapperOfProtocol(String* protocol) {
    if (ovStringCompare(protocol, ovLiteral(u"bigendian")) == 0) return WrapBigEndian;
    if (ovStringCompare(protocol, ovLiteral(u"littleendian")) == 0) return WrapLittleEndian;
    return nullptr;
}

constexpr ovScopeEntry endianStreamEntries[] = {
    ovObjectEntry::New,
    ovObjectEntry::Delete,
    OV_ENDIAN_OPERATIONS(OV_LISTED_ENTRY)
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
    OV_FUNCTION_ENTRY(TXEndianStreamClass, Create, "(:TStream):TXEndianStream"),
    OV_FUNCTION_ENTRY(TXEndianStreamClass, BigEndian, "(:TStream):TStream"),
    OV_FUNCTION_ENTRY(TXEndianStreamClass, LittleEndian, "(:TStream):TStream"),
    ovScopeEndEntry,
};

}  // namespace

constexpr ovScope TXEndianStreamScope = {OV_SCOPE_CLASS, "TXEndianStream", endianStreamEntries};
constexpr ovScope TXEndianStreamFactoryScope = {OV_SCOPE_CLASS, "TXEndianStreamFactory", ovFactoryOverrideEntries};

int32_t TXEndianStreamSwap2(TXEndianStream*, uint8_t* bytes) {
    reverseBytes<2>(bytes);
    return 0;
}
int32_t TXEndianStreamSwap4(TXEndianStream*, uint8_t* bytes) {
    reverseBytes<4>(bytes);
    return 0;
}
int32_t TXEndianStreamSwap8(TXEndianStream*, uint8_t* bytes) {
    reverseBytes<8>(bytes);
    return 0;
}

int32_t TXEndianStreamReadShort(TStream* self) { return readSwapped<uint16_t>(self); }
int32_t TXEndianStreamWriteShort(TStream* self, int32_t n) { return writeSwapped(self, static_cast<uint16_t>(n)); }
int32_t TXEndianStreamReadInt(TStream* self) { return readSwapped<int32_t>(self); }
int32_t TXEndianStreamWriteInt(TStream* self, int32_t n) { return writeSwapped(self, n); }
int64_t TXEndianStreamReadLong(TStream* self) { return readSwapped<int64_t>(self); }
int32_t TXEndianStreamWriteLong(TStream* self, int64_t n) { return writeSwapped(self, n); }
float TXEndianStreamReadFloat(TStream* self) { return readSwapped<float>(self); }
int32_t TXEndianStreamWriteFloat(TStream* self, float n) { return writeSwapped(self, n); }
double TXEndianStreamReadDouble(TStream* self) { return readSwapped<double>(self); }
int32_t TXEndianStreamWriteDouble(TStream* self, double n) { return writeSwapped(self, n); }

TXEndianStream* TXEndianStreamCreate(TStream* stream) {
    if (stream == ovNullOf<TStream>()) return ovNullOf<TXEndianStream>();
    auto* endian = ovNew<TXEndianStream>(&TXEndianStreamType);
    endian->SetStream(stream);
    return endian;
}

TStream* TXEndianStreamBigEndian(TStream* stream) { return TXEndianStreamType.Create(stream); }
TStream* TXEndianStreamLittleEndian(TStream* stream) { return stream; }

TStream* WrapBigEndian(TStream* stream) { return TXEndianStreamType.BigEndian(stream); }
TStream* WrapLittleEndian(TStream* stream) { return TXEndianStreamType.LittleEndian(stream); }

// The path is opened through StreamOpen again, so it may carry a protocol of
// its own; when nothing serves it the result is the Null object.
TStream* TXEndianStreamFactoryCreateStream(TStreamFactory*, Object*, String* protocol, String* path,
                                           int32_t readable, int32_t writeable) {
    const WrapFunction wrap = wrapperOfProtocol(protocol);
    if (wrap == nullptr) return ovNullOf<TStream>();
    return wrap(StreamOpen(path, readable, writeable));
}

void ovEndianStreamModuleInit() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        ovCoreModuleInit();
        ovStreamModuleInit();
        ovObjectRegisterType(&TXEndianStreamType);
        ovInstallFactory(TXEndianStreamFactoryType);
    });
}
