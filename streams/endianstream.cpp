// Endian streams and their factory.
#include "streams/endianstream.h"

#include <algorithm>
#include <cstring>

#include "runtime/exception.h"
#include "runtime/reflection.h"
#include "runtime/string.h"
#include "streams/load_save.h"

namespace {

TXEndianStream* asEndian(TStream* stream) { return static_cast<TXEndianStream*>(stream); }

template <int Width>
int32_t reverseBytes(uint8_t* bytes) {
    std::reverse(bytes, bytes + Width);
    return 0;
}

// The swap slot for a value of the width, so that a subclass's swap is the
// one applied.
template <size_t Width>
void swapInPlace(TXEndianStream* self, uint8_t* bytes) {
    static_assert(Width == 2 || Width == 4 || Width == 8);
    if constexpr (Width == 2)
        self->Swap2(bytes);
    else if constexpr (Width == 4)
        self->Swap4(bytes);
    else
        self->Swap8(bytes);
}

// The value's bytes come in the wrapped stream's order and are reversed into
// the machine's; the bit pattern is copied, never converted, so Float and
// Double keep NaN payloads and the sign of zero.
template <class T>
T readSwapped(TStream* stream) {
    TXEndianStream* self = asEndian(stream);
    uint8_t bytes[sizeof(T)] = {};
    self->ReadBytes(bytes, sizeof bytes);
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
    self->WriteBytes(bytes, sizeof bytes);
    return 0;
}

using WrapFunction = TStream* (*)(TStream* stream);

// The wrapping function a protocol names, or 0.
WrapFunction wrapperOfProtocol(String* protocol) {
    if (ovStringCompare(protocol, ovLiteral(u"bigendian")) == 0) return WrapBigEndian;
    if (ovStringCompare(protocol, ovLiteral(u"littleendian")) == 0) return WrapLittleEndian;
    return nullptr;
}

#define OV_ENDIAN_METHOD(slot, type) OV_METHOD_ENTRY(TXEndianStreamClass, slot, type)

constexpr ovScopeEntry endianStreamEntries[] = {
    OV_ENDIAN_METHOD(New, "()i"),
    OV_ENDIAN_METHOD(Delete, "()i"),
    OV_ENDIAN_METHOD(Swap2, "(*b)i"),
    OV_ENDIAN_METHOD(Swap4, "(*b)i"),
    OV_ENDIAN_METHOD(Swap8, "(*b)i"),
    OV_ENDIAN_METHOD(ReadShort, "()i"),
    OV_ENDIAN_METHOD(WriteShort, "(i)i"),
    OV_ENDIAN_METHOD(ReadInt, "()i"),
    OV_ENDIAN_METHOD(WriteInt, "(i)i"),
    OV_ENDIAN_METHOD(ReadLong, "()l"),
    OV_ENDIAN_METHOD(WriteLong, "(l)i"),
    OV_ENDIAN_METHOD(ReadFloat, "()f"),
    OV_ENDIAN_METHOD(WriteFloat, "(f)i"),
    OV_ENDIAN_METHOD(ReadDouble, "()d"),
    OV_ENDIAN_METHOD(WriteDouble, "(d)i"),
    OV_FUNCTION_ENTRY(TXEndianStreamClass, Create, "(:TStream):TXEndianStream"),
    OV_FUNCTION_ENTRY(TXEndianStreamClass, BigEndian, "(:TStream):TStream"),
    OV_FUNCTION_ENTRY(TXEndianStreamClass, LittleEndian, "(:TStream):TStream"),
    ovScopeEndEntry,
};

#undef OV_ENDIAN_METHOD

}  // namespace

constexpr ovScope TXEndianStreamScope = {OV_SCOPE_CLASS, "TXEndianStream", endianStreamEntries};
constexpr ovScope TXEndianStreamFactoryScope = {OV_SCOPE_CLASS, "TXEndianStreamFactory", ovFactoryOverrideEntries};

int32_t TXEndianStreamSwap2(TXEndianStream*, uint8_t* bytes) { return reverseBytes<2>(bytes); }
int32_t TXEndianStreamSwap4(TXEndianStream*, uint8_t* bytes) { return reverseBytes<4>(bytes); }
int32_t TXEndianStreamSwap8(TXEndianStream*, uint8_t* bytes) { return reverseBytes<8>(bytes); }

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
    if (stream == ovNullStream()) return static_cast<TXEndianStream*>(ovNull);
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
    if (wrap == nullptr) return ovNullStream();
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
