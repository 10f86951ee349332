// RAM streams: a stream over memory the caller owns and keeps valid for the
// stream's life.  It never grows: reads and writes stop at the end of the
// block, and each direction works only when it was allowed at creation.
// Its factory serves the "incbin" protocol: "incbin::name" opens the
// embedded file registered under name (runtime/embedded.h), read-only.
#pragma once

#include <cstdint>

#include "runtime/object.h"
#include "streams/factory.h"
#include "streams/stream.h"

struct TRamStream;

struct TRamStreamClass : TStreamClass {
    TRamStream* (*Create)(uint8_t* address, int32_t size, int32_t readable, int32_t writeable);  // class function
};

struct TRamStream : TStream {
    int32_t _pos;
    int32_t _size;
    uint8_t* _buf;   // not owned
    int32_t _read;   // non-zero when reading is allowed
    int32_t _write;  // non-zero when writing is allowed
};

struct TRamStreamFactory : TStreamFactory {};

// A new stream at position 0 over size bytes at address (a negative size
// counts as 0).
TRamStream* TRamStreamCreate(uint8_t* address, int32_t size, int32_t readable, int32_t writeable);
TRamStream* RamStreamOpen(uint8_t* address, int32_t size, int32_t readable, int32_t writeable);

// The operations of the two classes.  The factory refuses to open embedded
// files for writing.
int32_t TRamStreamNew(Object* self);
int32_t TRamStreamPos(TIO* self);
int32_t TRamStreamSize(TIO* self);
int32_t TRamStreamSeek(TIO* self, int32_t pos);
int32_t TRamStreamRead(TIO* self, uint8_t* buf, int32_t count);
int32_t TRamStreamWrite(TIO* self, const uint8_t* buf, int32_t count);
TStream* TRamStreamFactoryCreateStream(TStreamFactory* self, Object* target, String* protocol, String* path,
                                       int32_t readable, int32_t writeable);

extern const ovScope TRamStreamScope, TRamStreamFactoryScope;
extern const TRamStreamClass TRamStreamType;
extern const TStreamFactoryClass TRamStreamFactoryType;

inline constexpr TRamStreamClass TRamStreamType =
    ovMakeClass<TRamStreamClass, TRamStream>(TStreamType, &TRamStreamScope, [](auto& r) {
        r.New = TRamStreamNew;
        r.Pos = TRamStreamPos;
        r.Size = TRamStreamSize;
        r.Seek = TRamStreamSeek;
        r.Read = TRamStreamRead;
        r.Write = TRamStreamWrite;
        r.Create = TRamStreamCreate;
    });
inline constexpr TStreamFactoryClass TRamStreamFactoryType =
    ovFactoryClass<TRamStreamFactoryType>(&TRamStreamFactoryScope, TRamStreamFactoryCreateStream);

// The RAM stream module's initialiser: runs the stream module's initialiser,
// registers TRamStream and TRamStreamFactory and links the one factory into
// the chain, once.
void ovRamStreamModuleInit();
