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

extern const TRamStreamClass& TRamStreamType;

struct TRamStream : TStream {
    int32_t _pos;
    int32_t _size;
    uint8_t* _buf;   // not owned
    int32_t _read;   // non-zero when reading is allowed
    int32_t _write;  // non-zero when writing is allowed
};

struct TRamStreamFactory : TStreamFactory {};
extern const TStreamFactoryClass& TRamStreamFactoryType;

// A new stream at position 0 over size bytes at address (a negative size
// counts as 0).
TRamStream* TRamStreamCreate(uint8_t* address, int32_t size, int32_t readable, int32_t writeable);
TRamStream* RamStreamOpen(uint8_t* address, int32_t size, int32_t readable, int32_t writeable);

// The RAM stream module's initialiser: runs the stream module's initialiser,
// registers TRamStream and TRamStreamFactory and links the one factory into
// the chain, once.
void ovRamStreamModuleInit();
