// Endian streams: a wrapper whose typed reads and writes (Short, Int, Long,
// Float, Double) reverse the bytes of each value, so that a stream can carry
// big-endian data on this little-endian machine.  Everything else (raw bytes,
// single bytes, lines, strings, positions) passes through to the wrapped
// stream unchanged.
//
// The module also serves the stream protocols "bigendian" and "littleendian":
// "bigendian::data.bin" is a big-endian stream over data.bin, and the path
// may name a protocol of its own ("bigendian::incbin::table.bin").
#pragma once

#include <cstdint>

#include "runtime/object.h"
#include "streams/factory.h"
#include "streams/stream.h"
#include "streams/wrapper.h"

struct TXEndianStream;

// TXEndianStream's own operations, in slot order (see "Lists of operations"
// in runtime/object.h): reverse the first 2, 4 or 8 bytes at the pointer in
// place; return 0.
#define OV_ENDIAN_OPERATIONS(X)                                            \
    X(TXEndianStream, int32_t, Swap2, (uint8_t * bytes), (bytes), "(*b)i") \
    X(TXEndianStream, int32_t, Swap4, (uint8_t * bytes), (bytes), "(*b)i") \
    X(TXEndianStream, int32_t, Swap8, (uint8_t * bytes), (bytes), "(*b)i")

struct TXEndianStreamClass : TStreamWrapperClass {
    OV_ENDIAN_OPERATIONS(OV_SLOT)
    // Class functions.
    TXEndianStream* (*Create)(TStream* stream);
    TStream* (*BigEndian)(TStream* stream);
    TStream* (*LittleEndian)(TStream* stream);
};

// Typed values pass through ReadBytes and WriteBytes of the endian stream
// itself, so a short transfer throws TStreamReadException or
// TStreamWriteException as on any stream; ReadShort is unsigned (0..65535).
struct TXEndianStream : TStreamWrapper {
    OV_ENDIAN_OPERATIONS(OV_DISPATCH)
};

// The factory of "bigendian" and "littleendian"; no fields of its own.
struct TXEndianStreamFactory : TStreamFactory {};

// A new endian stream over the stream (which it holds, and closes when it is
// closed), or the Null object for the Null object.
TXEndianStream* TXEndianStreamCreate(TStream* stream);
// The stream as big-endian: a new endian stream over it (Null for Null).
TStream* TXEndianStreamBigEndian(TStream* stream);
// The stream as little-endian: the machine's order already, so the stream
// itself.
TStream* TXEndianStreamLittleEndian(TStream* stream);

// TXEndianStream.BigEndian and TXEndianStream.LittleEndian.
TStream* WrapBigEndian(TStream* stream);
TStream* WrapLittleEndian(TStream* stream);

// ---------------------------------------------------------------------------
// Operations and records
// ---------------------------------------------------------------------------

OV_ENDIAN_OPERATIONS(OV_DECLARE_OWN)
int32_t TXEndianStreamReadShort(TStream* self);
int32_t TXEndianStreamWriteShort(TStream* self, int32_t n);
int32_t TXEndianStreamReadInt(TStream* self);
int32_t TXEndianStreamWriteInt(TStream* self, int32_t n);
int64_t TXEndianStreamReadLong(TStream* self);
int32_t TXEndianStreamWriteLong(TStream* self, int64_t n);
float TXEndianStreamReadFloat(TStream* self);
int32_t TXEndianStreamWriteFloat(TStream* self, float n);
double TXEndianStreamReadDouble(TStream* self);
int32_t TXEndianStreamWriteDouble(TStream* self, double n);
TStream* TXEndianStreamFactoryCreateStream(TStreamFactory* self, Object* target, String* protocol, String* path,
                                           int32_t readable, int32_t writeable);

extern const ovScope TXEndianStreamScope, TXEndianStreamFactoryScope;
extern const TXEndianStreamClass TXEndianStreamType;
extern const TStreamFactoryClass TXEndianStreamFactoryType;

inline constexpr TXEndianStreamClass TXEndianStreamType =
    ovMakeClass<TXEndianStreamClass, TXEndianStream>(TStreamWrapperType, &TXEndianStreamScope, [](auto& r) {
        r.New = ovFieldlessNew<TXEndianStreamType>;
        r.Delete = ovChainDelete<TXEndianStreamType>;
        OV_ENDIAN_OPERATIONS(OV_FILL_OWN)
        r.ReadShort = TXEndianStreamReadShort;
        r.WriteShort = TXEndianStreamWriteShort;
        r.ReadInt = TXEndianStreamReadInt;
        r.WriteInt = TXEndianStreamWriteInt;
        r.ReadLong = TXEndianStreamReadLong;
        r.WriteLong = TXEndianStreamWriteLong;
        r.ReadFloat = TXEndianStreamReadFloat;
        r.WriteFloat = TXEndianStreamWriteFloat;
        r.ReadDouble = TXEndianStreamReadDouble;
        r.WriteDouble = TXEndianStreamWriteDouble;
        r.Create = TXEndianStreamCreate;
        r.BigEndian = TXEndianStreamBigEndian;
        r.LittleEndian = TXEndianStreamLittleEndian;
    });
inline constexpr TStreamFactoryClass TXEndianStreamFactoryType =
    ovFactoryClass<TXEndianStreamFactoryType>(&TXEndianStreamFactoryScope, TXEndianStreamFactoryCreateStream);

// The endian stream module's initialiser: runs the core and stream modules'
// initialisers, registers TXEndianStream and TXEndianStreamFactory and links
// the one factory into the chain, once.
void ovEndianStreamModuleInit();
