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

extern const TBankStreamClass& TBankStreamType;

struct TBankStream : TStream {
    int32_t _pos;
    TBank* _bank;  // counted reference; Null in a fresh instance
};

// The factory that serves bank objects, whatever the protocol.
struct TBankStreamFactory : TStreamFactory {};
extern const TStreamFactoryClass& TBankStreamFactoryType;

// A new stream at position 0 over the bank.
TBankStream* TBankStreamCreate(TBank* bank);
// The same, over a new empty bank when bank is the Null object.
TBankStream* BankStreamOpen(TBank* bank);

// The bank stream module's initialiser: runs the bank module's initialiser,
// registers TBankStream and TBankStreamFactory and links the one factory into
// the chain, once.
void ovBankStreamModuleInit();
