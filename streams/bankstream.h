// Bank streams: a stream over the bytes of a bank, which it keeps alive.
// Reading stops at the bank's end; writing at or before the end overwrites
// and, past it, grows the bank.  StreamOpen turns a bank object into one of
// these through the bank stream factory.
#pragma once

#include <cstdint>

#include "runtime/object.h"
#include "streams/bank.h"
#include "streams/factory.h"
#include "streams/stream.h"

struct TBankStream;

struct TBankStreamClass : TStreamClass {
    TBankStream* (*Create)(TBank* bank);  // class function
};

struct TBankStream : TStream {
    int32_t _pos;
    ovRef<TBank> _bank;  // Null in a fresh instance
};

// The factory that serves bank objects, whatever the protocol.
struct TBankStreamFactory : TStreamFactory {};

// A new stream at position 0 over the bank.
TBankStream* TBankStreamCreate(TBank* bank);
// The same, over a new empty bank when bank is the Null object.
TBankStream* BankStreamOpen(TBank* bank);

// The operations of the two classes.
int32_t TBankStreamNew(Object* self);
int32_t TBankStreamDelete(Object* self);
int32_t TBankStreamPos(TIO* self);
int32_t TBankStreamSize(TIO* self);
int32_t TBankStreamSeek(TIO* self, int32_t pos);
int32_t TBankStreamRead(TIO* self, uint8_t* buf, int32_t count);
int32_t TBankStreamWrite(TIO* self, const uint8_t* buf, int32_t count);
TStream* TBankStreamFactoryCreateStream(TStreamFactory* self, Object* target, String* protocol, String* path,
                                        int32_t readable, int32_t writeable);

extern const ovScope TBankStreamScope, TBankStreamFactoryScope;
extern const TBankStreamClass TBankStreamType;
extern const TStreamFactoryClass TBankStreamFactoryType;

inline constexpr TBankStreamClass TBankStreamType =
    ovMakeClass<TBankStreamClass, TBankStream>(TStreamType, &TBankStreamScope, [](auto& r) {
        r.New = TBankStreamNew;
        r.Delete = TBankStreamDelete;
        r.Pos = TBankStreamPos;
        r.Size = TBankStreamSize;
        r.Seek = TBankStreamSeek;
        r.Read = TBankStreamRead;
        r.Write = TBankStreamWrite;
        r.Create = TBankStreamCreate;
    });
inline constexpr TStreamFactoryClass TBankStreamFactoryType =
    ovFactoryClass<TBankStreamFactoryType>(&TBankStreamFactoryScope, TBankStreamFactoryCreateStream);

// The bank stream module's initialiser: runs the bank module's initialiser,
// registers TBankStream and TBankStreamFactory and links the one factory into
// the chain, once.
void ovBankStreamModuleInit();
